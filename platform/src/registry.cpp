// The class registry in a .reg file. Each call is one transaction: lock,
// load afresh, change, write a temporary file, rename it over the old one,
// unlock. The tree lives only for the transaction, so what another process
// wrote a moment ago is never overwritten with a stale copy.
#include "pressmark/platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <utility>

namespace pressmark::platform {

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kRootName = "HKEY_CLASSES_ROOT";
constexpr std::size_t kMaxKeyNameLength = 255;
constexpr std::size_t kMaxValueNameLength = 16383;

std::string folded(std::string_view name) {
    std::string out(name);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// ---- the tree ---------------------------------------------------------------------------
struct Node {
    std::string name;
    std::map<std::string, std::pair<std::string, std::string>> values;  // folded name -> (name, data)
    std::map<std::string, Node> children;                              // folded name -> child
};

// Splits "A\B\C" into names; false when a name is empty, too long or holds a
// character the file cannot carry.
bool splitPath(std::string_view path, std::vector<std::string_view>* parts) {
    parts->clear();
    if (path.empty()) return true;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
        if (part.empty() || part.size() > kMaxKeyNameLength || part.find_first_of(std::string_view("\0\r\n", 3)) != part.npos)
            return false;
        parts->push_back(part);
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

bool storable(std::string_view text) { return text.find_first_of(std::string_view("\0\r\n", 3)) == text.npos; }

// Works on both the tree being changed and the read-only machine tree.
template <class TreeNode>
TreeNode* findNode(TreeNode& root, std::string_view path) {
    std::vector<std::string_view> parts;
    if (!splitPath(path, &parts)) return nullptr;
    TreeNode* node = &root;
    for (auto part : parts) {
        auto it = node->children.find(folded(part));
        if (it == node->children.end()) return nullptr;
        node = &it->second;
    }
    return node;
}

// Creates missing levels; answers the node and whether anything was created.
Node* createNode(Node& root, std::string_view path, bool* created) {
    std::vector<std::string_view> parts;
    if (!splitPath(path, &parts)) return nullptr;
    Node* node = &root;
    for (auto part : parts) {
        auto [it, inserted] = node->children.try_emplace(folded(part));
        if (inserted) {
            it->second.name = std::string(part);
            *created = true;
        }
        node = &it->second;
    }
    return node;
}

// ---- .reg text ----------------------------------------------------------------------------
std::string regQuoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + '"';
}

void writeNode(std::ostream& out, const Node& node, const std::string& path) {
    if (!path.empty() || !node.values.empty()) {
        out << '\n' << '[' << kRootName << (path.empty() ? "" : "\\") << path << "]\n";
        for (const auto& [key, value] : node.values) {
            if (value.first.empty())
                out << '@';
            else
                out << regQuoted(value.first);
            out << '=' << regQuoted(value.second) << '\n';
        }
    }
    for (const auto& [key, child] : node.children)
        writeNode(out, child, path.empty() ? child.name : path + "\\" + child.name);
}

std::string serialize(const Node& root) {
    std::ostringstream out;
    out << kHeader << '\n';
    writeNode(out, root, "");
    return out.str();
}

// Reads a quoted string at text[pos] (which must be '"'), unescaping \\ and \".
bool readQuoted(std::string_view text, std::size_t& pos, std::string* value) {
    if (pos >= text.size() || text[pos] != '"') return false;
    value->clear();
    for (++pos; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= text.size()) return false;
            if (text[pos] != '\\' && text[pos] != '"') return false;
        }
        *value += text[pos];
    }
    return false;
}

struct ParseResult {
    bool ok = true;
    std::string problem;
};

ParseResult parse(std::string_view text, Node* root) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    Node* current = nullptr;
    bool sawHeader = false;
    std::size_t lineNumber = 0;
    const auto fail = [&](const std::string& why) {
        return ParseResult{false, "line " + std::to_string(lineNumber) + ": " + why};
    };
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (line.empty() || line.front() == ';') continue;
        if (!sawHeader) {
            if (line != kHeader && line != kHeader4) return fail("not a registry file (no \"" + std::string(kHeader) + "\" header)");
            sawHeader = true;
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') return fail("a key line must end with ']'");
            std::string_view path = line.substr(1, line.size() - 2);
            if (path.substr(0, kRootName.size()) != kRootName) return fail("only keys under HKEY_CLASSES_ROOT are supported");
            path.remove_prefix(kRootName.size());
            if (!path.empty()) {
                if (path.front() != '\\') return fail("only keys under HKEY_CLASSES_ROOT are supported");
                path.remove_prefix(1);
            }
            bool created = false;
            current = createNode(*root, path, &created);
            if (!current) return fail("malformed key name");
            continue;
        }
        if (!current) return fail("a value before the first key");
        std::string name;
        std::size_t pos = 0;
        if (line.front() == '@') {
            pos = 1;
        } else if (!readQuoted(line, pos, &name)) {
            return fail("malformed value name");
        }
        if (pos >= line.size() || line[pos] != '=') return fail("'=' expected after the value name");
        ++pos;
        std::string data;
        if (pos >= line.size() || line[pos] != '"') return fail("only string values are supported");
        if (!readQuoted(line, pos, &data) || pos != line.size()) return fail("malformed string value");
        current->values[folded(name)] = {name, data};
    }
    return {};
}

// ---- transactions ----------------------------------------------------------------------------
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    void reset(int fd) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

class Transaction {
public:
    enum class Mode { Read, Write };

    Transaction(const std::filesystem::path& file, Mode mode) : file_(file), mode_(mode) {
        status_ = lock();
        if (status_ == ERROR_SUCCESS) status_ = load();
    }

    LSTATUS status() const { return status_; }
    Node& root() { return root_; }

    // Writes the tree: a temporary file beside the registry, flushed, then
    // renamed over it. On failure the old file stays as it was.
    LSTATUS commit() {
        const std::string text = serialize(root_);
        std::string tempName = file_.string() + ".tmp-XXXXXX";
        FileDescriptor fd(::mkstemp(tempName.data()));
        if (fd.get() < 0) return ERROR_CANTWRITE;
        struct stat old {};
        const mode_t mode = ::stat(file_.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
        const bool written = ::fchmod(fd.get(), mode) == 0 && writeAll(fd.get(), text) && ::fsync(fd.get()) == 0;
        const bool closed = ::close(fd.release()) == 0;
        if (!written || !closed || ::rename(tempName.c_str(), file_.c_str()) != 0) {
            ::unlink(tempName.c_str());
            return ERROR_CANTWRITE;
        }
        return ERROR_SUCCESS;
    }

private:
    LSTATUS lock() {
        const std::filesystem::path lockFile = file_.string() + ".lock";
        if (mode_ == Mode::Write) {
            std::error_code ec;
            if (file_.has_parent_path()) std::filesystem::create_directories(file_.parent_path(), ec);
            lock_.reset(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
            if (lock_.get() < 0) return ERROR_CANTWRITE;
        } else {
            // A reader that cannot create the lock file (no folder yet, or a
            // read-only one) reads without it: the rename keeps the file whole.
            lock_.reset(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
            if (lock_.get() < 0) lock_.reset(::open(lockFile.c_str(), O_RDONLY | O_CLOEXEC));
            if (lock_.get() < 0) return ERROR_SUCCESS;
        }
        while (::flock(lock_.get(), mode_ == Mode::Write ? LOCK_EX : LOCK_SH) != 0) {
            if (errno != EINTR) return mode_ == Mode::Write ? ERROR_CANTWRITE : ERROR_CANTREAD;
        }
        return ERROR_SUCCESS;
    }

    LSTATUS load() {
        std::ifstream in(file_, std::ios::binary);
        if (!in) {
            std::error_code ec;
            return std::filesystem::exists(file_, ec) ? ERROR_CANTREAD : ERROR_SUCCESS;  // none yet: empty
        }
        std::ostringstream text;
        text << in.rdbuf();
        if (in.bad()) return ERROR_CANTREAD;
        return parse(text.str(), &root_).ok ? ERROR_SUCCESS : ERROR_BADDB;
    }

    std::filesystem::path file_;
    Mode mode_;
    FileDescriptor lock_;
    Node root_;
    LSTATUS status_ = ERROR_SUCCESS;
};

// Both trees of one call: the user's (the one written) and the machine's
// beneath it, read-only, or none.
struct Layers {
    Node& user;
    const Node* machine;

    bool has(std::string_view path) const {
        return findNode(user, path) != nullptr || (machine && findNode(*machine, path) != nullptr);
    }
    const Node* machineNode(std::string_view path) const { return machine ? findNode(*machine, path) : nullptr; }

    // The value `name` of the key at `path`: the user's if set there, else the machine's.
    const std::string* findValue(std::string_view path, std::string_view name) const {
        for (const Node* node : {static_cast<const Node*>(findNode(user, path)), machineNode(path)}) {
            if (!node) continue;
            auto it = node->values.find(folded(name));
            if (it != node->values.end()) return &it->second.second;
        }
        return nullptr;
    }

    // The subkey names (or value names) of the key at `path` in either tree,
    // in case-insensitive order, spelled as the user's tree spells them.
    std::vector<std::string> subKeyNames(std::string_view path) const {
        std::map<std::string, std::string> names;
        for (const Node* node : {static_cast<const Node*>(findNode(user, path)), machineNode(path)})
            if (node)
                for (const auto& [key, child] : node->children) names.try_emplace(key, child.name);
        return valuesOf(names);
    }
    std::vector<std::string> valueNames(std::string_view path) const {
        std::map<std::string, std::string> names;
        for (const Node* node : {static_cast<const Node*>(findNode(user, path)), machineNode(path)})
            if (node)
                for (const auto& [key, value] : node->values) names.try_emplace(key, value.first);
        return valuesOf(names);
    }

private:
    static std::vector<std::string> valuesOf(const std::map<std::string, std::string>& names) {
        std::vector<std::string> out;
        out.reserve(names.size());
        for (const auto& [key, name] : names) out.push_back(name);
        return out;
    }
};

// Two names for one registry file would mean locking it twice in one call,
// which flock() answers with a deadlock: such a pair is one file, unmerged.
bool sameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
    if (a.lexically_normal() == b.lexically_normal()) return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

// Runs `body(layers, &changed)` inside one transaction on `file`, with the
// machine's file (if any) read under its shared lock for the same span;
// writes `file` when changed. Locks are taken user first, machine second,
// and a machine-scope writer holds only the machine's, so no cycle forms.
template <class Body>
LSTATUS transact(const std::filesystem::path& file, const std::filesystem::path& machineFile,
                 Transaction::Mode mode, Body&& body) {
    if (file.empty()) return ERROR_INVALID_HANDLE;
    Transaction t(file, mode);
    if (t.status() != ERROR_SUCCESS) return t.status();
    std::optional<Transaction> machine;
    if (!machineFile.empty() && !sameFile(file, machineFile)) {
        machine.emplace(machineFile, Transaction::Mode::Read);
        if (machine->status() != ERROR_SUCCESS) return machine->status();
    }
    const Layers layers{t.root(), machine ? &machine->root() : nullptr};
    bool changed = false;
    const LSTATUS result = body(layers, &changed);
    if (result == ERROR_SUCCESS && changed) return t.commit();
    return result;
}

constexpr auto kRead = Transaction::Mode::Read;
constexpr auto kWrite = Transaction::Mode::Write;

bool isSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

}  // namespace

std::filesystem::path classesRegistryPath() {
    if (isSet("PRESSMARK_CLASSES_REG")) return std::getenv("PRESSMARK_CLASSES_REG");
    std::filesystem::path dataHome;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && xdg[0] == '/') {
        dataHome = xdg;
    } else {
        const char* home = std::getenv("HOME");
        dataHome = std::filesystem::path(home && *home ? home : "/") / ".local" / "share";
    }
    return dataHome / "pressmark" / "classes.reg";
}

std::filesystem::path machineClassesRegistryPath() {
    if (isSet("PRESSMARK_MACHINE_CLASSES_REG")) return std::getenv("PRESSMARK_MACHINE_CLASSES_REG");
    return "/var/lib/pressmark/classes.reg";
}

std::filesystem::path mergedMachineRegistryPath() {
    if (isSet("PRESSMARK_CLASSES_REG") && !isSet("PRESSMARK_MACHINE_CLASSES_REG")) return {};
    return machineClassesRegistryPath();
}

std::optional<std::string> findRegistryFileProblem(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec)) return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    if (!in) return "\"" + file.string() + "\": cannot be read";
    std::ostringstream text;
    text << in.rdbuf();
    Node root;
    const ParseResult result = parse(text.str(), &root);
    if (result.ok) return std::nullopt;
    return "\"" + file.string() + "\": " + result.problem;
}

std::string win32Message(LSTATUS code) { return hresultMessage(HRESULT_FROM_WIN32(code)); }

// ---- RegKey ------------------------------------------------------------------------------------
// Every call checks first that the handle's own key still exists in either
// tree (ERROR_KEY_DELETED otherwise), then looks in both and changes only
// the user's tree.
RegKey RegKey::classesRoot() { return classesRoot(classesRegistryPath(), mergedMachineRegistryPath()); }
RegKey RegKey::classesRoot(std::filesystem::path file) { return RegKey(std::move(file), {}, ""); }
RegKey RegKey::classesRoot(std::filesystem::path userFile, std::filesystem::path machineFile) {
    if (!machineFile.empty() && sameFile(userFile, machineFile)) machineFile.clear();
    return RegKey(std::move(userFile), std::move(machineFile), "");
}

std::string RegKey::childPath(std::string_view subKey) const {
    if (subKey.empty()) return path_;
    if (path_.empty()) return std::string(subKey);
    return path_ + "\\" + std::string(subKey);
}

bool RegKey::exists() const {
    bool found = false;
    transact(file_, machineFile_, kRead, [&](const Layers& layers, bool*) {
        found = layers.has(path_);
        return ERROR_SUCCESS;
    });
    return found;
}

LSTATUS RegKey::createSubKey(std::string_view subKey, RegKey* out) const {
    std::vector<std::string_view> parts;
    if (!splitPath(subKey, &parts)) return ERROR_BADKEY;
    const std::string path = childPath(subKey);
    const LSTATUS result = transact(file_, machineFile_, kWrite, [&](const Layers& layers, bool* changed) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        return createNode(layers.user, path, changed) ? ERROR_SUCCESS : ERROR_BADKEY;
    });
    if (result == ERROR_SUCCESS && out) *out = withPath(path);
    return result;
}

LSTATUS RegKey::openSubKey(std::string_view subKey, RegKey* out) const {
    std::vector<std::string_view> parts;
    if (!splitPath(subKey, &parts)) return ERROR_BADKEY;
    const std::string path = childPath(subKey);
    const LSTATUS result = transact(file_, machineFile_, kRead, [&](const Layers& layers, bool*) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        return layers.has(path) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
    if (result == ERROR_SUCCESS && out) *out = withPath(path);
    return result;
}

LSTATUS RegKey::setValue(std::string_view name, std::string_view data) const {
    if (!storable(name) || name.size() > kMaxValueNameLength || !storable(data)) return ERROR_INVALID_PARAMETER;
    return transact(file_, machineFile_, kWrite, [&](const Layers& layers, bool* changed) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        Node* node = createNode(layers.user, path_, changed);  // a key only the machine has gains a user copy
        if (!node) return ERROR_BADKEY;
        auto [it, inserted] = node->values.try_emplace(folded(name), std::string(name), std::string(data));
        if (!inserted) it->second.second = std::string(data);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegKey::queryValue(std::string_view name, std::string* data) const {
    return transact(file_, machineFile_, kRead, [&](const Layers& layers, bool*) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        const std::string* value = layers.findValue(path_, name);
        if (!value) return ERROR_FILE_NOT_FOUND;
        if (data) *data = *value;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegKey::deleteValue(std::string_view name) const {
    return transact(file_, machineFile_, kWrite, [&](const Layers& layers, bool* changed) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        Node* node = findNode(layers.user, path_);
        if (!node || node->values.erase(folded(name)) == 0) return ERROR_FILE_NOT_FOUND;
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegKey::setSubKeyValue(std::string_view subKey, std::string_view data) const {
    std::vector<std::string_view> parts;
    if (!splitPath(subKey, &parts)) return ERROR_BADKEY;
    if (!storable(data)) return ERROR_INVALID_PARAMETER;
    const std::string path = childPath(subKey);
    return transact(file_, machineFile_, kWrite, [&](const Layers& layers, bool* changed) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        Node* node = createNode(layers.user, path, changed);
        if (!node) return ERROR_BADKEY;
        node->values[""] = {"", std::string(data)};
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegKey::querySubKeyValue(std::string_view subKey, std::string* data) const {
    std::vector<std::string_view> parts;
    if (!splitPath(subKey, &parts)) return ERROR_BADKEY;
    const std::string path = childPath(subKey);
    return transact(file_, machineFile_, kRead, [&](const Layers& layers, bool*) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        if (!layers.has(path)) return ERROR_FILE_NOT_FOUND;
        const std::string* value = layers.findValue(path, "");
        if (data) *data = value ? *value : std::string();
        return ERROR_SUCCESS;
    });
}

namespace {
// The parent of `path` and the folded name of its last level.
std::pair<std::string, std::string> splitLast(const std::string& path) {
    const std::size_t slash = path.rfind('\\');
    if (slash == std::string::npos) return {"", folded(path)};
    return {path.substr(0, slash), folded(path.substr(slash + 1))};
}
}  // namespace

LSTATUS RegKey::deleteSubKey(std::string_view subKey) const {
    std::vector<std::string_view> parts;
    if (!splitPath(subKey, &parts)) return ERROR_BADKEY;
    const std::string path = childPath(subKey);
    if (path.empty()) return ERROR_ACCESS_DENIED;  // the root itself
    return transact(file_, machineFile_, kWrite, [&](const Layers& layers, bool* changed) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        const Node* node = findNode(layers.user, path);
        if (!node) return ERROR_FILE_NOT_FOUND;
        if (!node->children.empty()) return ERROR_ACCESS_DENIED;
        const auto [parentPath, name] = splitLast(path);
        findNode(layers.user, parentPath)->children.erase(name);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegKey::deleteSubKeyTree(std::string_view subKey) const {
    std::vector<std::string_view> parts;
    if (!splitPath(subKey, &parts)) return ERROR_BADKEY;
    const std::string path = childPath(subKey);
    return transact(file_, machineFile_, kWrite, [&](const Layers& layers, bool* changed) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        if (subKey.empty()) {
            if (Node* self = findNode(layers.user, path_)) {
                self->values.clear();
                self->children.clear();
                *changed = true;
            }
            return ERROR_SUCCESS;
        }
        if (!findNode(layers.user, path)) return ERROR_FILE_NOT_FOUND;
        const auto [parentPath, name] = splitLast(path);
        findNode(layers.user, parentPath)->children.erase(name);
        *changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS RegKey::enumSubKeys(std::vector<std::string>* names) const {
    return transact(file_, machineFile_, kRead, [&](const Layers& layers, bool*) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        *names = layers.subKeyNames(path_);
        return ERROR_SUCCESS;
    });
}

LSTATUS RegKey::enumSubKey(DWORD index, std::string* name) const {
    std::vector<std::string> names;
    if (const LSTATUS result = enumSubKeys(&names); result != ERROR_SUCCESS) return result;
    if (index >= names.size()) return ERROR_NO_MORE_ITEMS;
    *name = names[index];
    return ERROR_SUCCESS;
}

LSTATUS RegKey::enumValues(std::vector<std::string>* names) const {
    return transact(file_, machineFile_, kRead, [&](const Layers& layers, bool*) {
        if (!layers.has(path_)) return ERROR_KEY_DELETED;
        *names = layers.valueNames(path_);
        return ERROR_SUCCESS;
    });
}

}  // namespace pressmark::platform
