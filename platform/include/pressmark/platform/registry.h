#pragma once
// The class registry: our HKEY_CLASSES_ROOT. Keys, subkeys and string values
// with Windows semantics: key and value names compare case-insensitively
// (ASCII letters) and keep the case they were created with; a key's unnamed
// ("default") value has the name ""; subkeys enumerate in case-insensitive
// name order; key paths use '\' between names.
//
// The registry lives in one text file in the Windows .reg export format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_CLASSES_ROOT\CLSID\{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}]
//   @="Slideport ActiveX Control"
//   "ThreadingModel"="Apartment"
//
// (UTF-8 text; inside quotes `\` and `"` are escaped with a backslash; only
// string values). Every call is one transaction: it takes an exclusive
// flock() on "<file>.lock" (shared for reads), loads the file afresh, applies
// the change and writes a temporary file in the same folder that then
// replaces the old one by rename(), so two processes never lose each other's
// writes and a failed write leaves the old file as it was. A file that cannot
// be parsed is never overwritten: calls answer ERROR_BADDB (also when the
// machine's file beneath does not parse: it is read under its own shared
// lock in the same call).
//
// Two files make up HKEY_CLASSES_ROOT, as Windows merges
// HKLM\Software\Classes beneath HKCU\Software\Classes: the user's file and
// the machine's. Through classesRoot() lookups (open, query, enumerate) see
// a key when either file has it; a value comes from the user's file when it
// has one, else from the machine's; enumerations list the union (the user's
// spelling wins). Writes and deletions touch only the user's file: creating
// below a key that only the machine has creates its levels in the user's
// file; deleting what only the machine has answers ERROR_FILE_NOT_FOUND.
// Registering for every user means writing the machine's file (pmregsvr
// /machine points the user's file at it for its process).
//
// The user's file: $PRESSMARK_CLASSES_REG if set (tests always set it), else
// $XDG_DATA_HOME/pressmark/classes.reg, else
// ~/.local/share/pressmark/classes.reg. The machine's file:
// $PRESSMARK_MACHINE_CLASSES_REG if set, else /var/lib/pressmark/classes.reg;
// but when PRESSMARK_CLASSES_REG is set and PRESSMARK_MACHINE_CLASSES_REG is
// not, there is no machine file beneath, so a test or a build tree that names
// its own registry never sees what happens to be installed on the machine.
// The variables are read on each call.
//
// Results are Win32 error codes (types.h): ERROR_SUCCESS,
// ERROR_FILE_NOT_FOUND (no such key or value), ERROR_KEY_DELETED (the key of
// this handle is gone), ERROR_BADKEY (malformed key name), ERROR_ACCESS_DENIED
// (deleting a key that has subkeys with deleteSubKey), ERROR_INVALID_PARAMETER
// (a name or value the file cannot hold: NUL, CR, LF), ERROR_CANTREAD /
// ERROR_CANTWRITE (I/O), ERROR_BADDB (corrupt file), ERROR_NO_MORE_ITEMS.
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pressmark/platform/types.h"

namespace pressmark::platform {

// The user's file: the one classesRoot() writes (see above).
std::filesystem::path classesRegistryPath();
// The machine's file, whether or not classesRoot() merges it: what
// registration for every user writes.
std::filesystem::path machineClassesRegistryPath();
// The machine's file classesRoot() merges beneath the user's; empty when
// none (PRESSMARK_CLASSES_REG alone is set).
std::filesystem::path mergedMachineRegistryPath();

// A key of the registry: a handle that names the registry file (and the
// machine's file merged beneath it, if any) and the key's path below
// HKEY_CLASSES_ROOT ("" = the root itself). Opening checks that the key
// exists at that moment; later calls answer ERROR_KEY_DELETED if someone
// removed it meanwhile. Handles are cheap values (copyable); nothing needs
// closing.
class RegKey {
public:
    // An empty handle: every call answers ERROR_INVALID_HANDLE.
    RegKey() = default;

    // HKEY_CLASSES_ROOT as this process sees it now: classesRegistryPath()
    // with mergedMachineRegistryPath() beneath.
    static RegKey classesRoot();
    // HKEY_CLASSES_ROOT of one given file alone.
    static RegKey classesRoot(std::filesystem::path file);
    // HKEY_CLASSES_ROOT of `userFile` with `machineFile` merged beneath (an
    // empty machineFile, or the same file twice, means userFile alone).
    static RegKey classesRoot(std::filesystem::path userFile, std::filesystem::path machineFile);

    bool valid() const { return !file_.empty(); }
    // The file writes go to.
    const std::filesystem::path& file() const { return file_; }
    // The file merged beneath it for lookups; empty when none.
    const std::filesystem::path& machineFile() const { return machineFile_; }
    // Path below HKEY_CLASSES_ROOT, in the case used to open it.
    const std::string& path() const { return path_; }

    // RegCreateKeyEx: opens `subKey` ("A\B\C" allowed), creating missing
    // levels. `out` (may be null) receives the handle.
    LSTATUS createSubKey(std::string_view subKey, RegKey* out = nullptr) const;
    // RegOpenKeyEx: ERROR_FILE_NOT_FOUND when the key does not exist.
    LSTATUS openSubKey(std::string_view subKey, RegKey* out) const;
    // True when this key still exists.
    bool exists() const;

    // RegSetValueEx (REG_SZ): name "" is the default value.
    LSTATUS setValue(std::string_view name, std::string_view data) const;
    // RegQueryValueEx: ERROR_FILE_NOT_FOUND when the value is not set.
    LSTATUS queryValue(std::string_view name, std::string* data) const;
    LSTATUS deleteValue(std::string_view name) const;
    // RegSetValue: sets the default value of `subKey` ("" = this key),
    // creating the subkey when missing.
    LSTATUS setSubKeyValue(std::string_view subKey, std::string_view data) const;
    // RegQueryValue: the default value of `subKey`; a key without a default
    // value answers ERROR_SUCCESS with "" (as Windows does).
    LSTATUS querySubKeyValue(std::string_view subKey, std::string* data) const;

    // RegDeleteKey: deletes `subKey` if it has no subkeys
    // (ERROR_ACCESS_DENIED otherwise, as on Windows NT).
    LSTATUS deleteSubKey(std::string_view subKey) const;
    // RegDeleteTree: deletes `subKey` with all its subkeys. An empty subKey
    // deletes this key's values and subkeys but keeps the key.
    LSTATUS deleteSubKeyTree(std::string_view subKey) const;

    // RegEnumKeyEx: the names of the direct subkeys, in order.
    LSTATUS enumSubKeys(std::vector<std::string>* names) const;
    // One subkey name by index; ERROR_NO_MORE_ITEMS past the end.
    LSTATUS enumSubKey(DWORD index, std::string* name) const;
    // The names of the values set on this key ("" = default), in order.
    LSTATUS enumValues(std::vector<std::string>* names) const;

private:
    RegKey(std::filesystem::path file, std::filesystem::path machineFile, std::string path)
        : file_(std::move(file)), machineFile_(std::move(machineFile)), path_(std::move(path)) {}
    std::string childPath(std::string_view subKey) const;
    RegKey withPath(std::string path) const { return RegKey(file_, machineFile_, std::move(path)); }

    std::filesystem::path file_;
    std::filesystem::path machineFile_;
    std::string path_;
};

// Why the registry file at `file` cannot be used (it does not parse, naming
// the line, or cannot be read), or nothing when it is fine or absent.
std::optional<std::string> findRegistryFileProblem(const std::filesystem::path& file);

// A Win32 registry result as text ("The system cannot find the file
// specified."), as hresultMessage(HRESULT_FROM_WIN32(code)) answers.
std::string win32Message(LSTATUS code);

}  // namespace pressmark::platform
