// The in-process server: the module's class objects, its four entry points (plus
// DllGetTypeLib, through which the platform loads a module's type library) and the
// registration of the type library and of the two classes in the class registry.
#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "pressmark/control/slideport_ids.h"
#include "pressmark/platform/errors.h"
#include "pressmark/platform/object.h"
#include "pressmark/platform/registry.h"
#include "pressmark/platform/typeinfo.h"
#include "slideport_ctrl.h"
#include "slideport_typelib.h"

using namespace pressmark::platform;
using pressmark::control::CLSID_Slideport;
using pressmark::control::CLSID_SlideportPropPage;
using pressmark::control::LIBID_SLIDEPORTLib;

PRESSMARK_EXPORT HRESULT DllRegisterServer();

namespace {

// The module's class objects, made when the module is loaded, and the module-wide lock the
// entry points take while they walk them.
ClassFactory g_controlFactory(CLSID_Slideport,
                              &createObjectOf<pressmark::control::CSlideportCtrl>);
ClassFactory g_propPageFactory(CLSID_SlideportPropPage,
                               &createObjectOf<pressmark::control::CSlideportPropPage>);
const std::array<ClassFactory*, 2> g_classObjects{&g_controlFactory, &g_propPageFactory};
std::mutex g_classObjectsLock;

constexpr const char* kControlTypeName = "Slideport ActiveX Control";  // string resource 1
constexpr const char* kPropPageTypeName = "Slideport Property Page";   // string resource 2
constexpr int kToolboxBitmap = 1;
constexpr long kControlMiscStatus = 131473;
constexpr WORD kLibMajor = 1;
constexpr WORD kLibMinor = 0;

std::string modulePath() { return moduleFileName(reinterpret_cast<const void*>(&DllRegisterServer)); }

bool succeededOrMissing(LSTATUS status) {
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND || status == ERROR_BADKEY;
}

// ---- registration ---------------------------------------------------------------------------

bool registerTypeLib(const std::string& path) {
  ComPtr<ITypeLib> lib;
  if (FAILED(LoadTypeLib(path, lib.put())) || !lib) return false;
  TLIBATTR* attributes = nullptr;
  if (FAILED(lib->GetLibAttr(&attributes)) || attributes == nullptr) return false;
  const bool ours = attributes->guid == LIBID_SLIDEPORTLib;
  lib->ReleaseTLibAttr(attributes);
  return ours && RegisterTypeLib(lib.get(), path, "") == S_OK;
}

struct RegistryEntry {
  std::string key;  // below HKEY_CLASSES_ROOT
  std::string name;  // "" = the key's default value
  std::string data;
};

// Writes the entries in order and stops at the first write that fails.
bool writeEntries(const std::vector<RegistryEntry>& entries) {
  const RegKey root = RegKey::classesRoot();
  for (const RegistryEntry& entry : entries) {
    RegKey key;
    if (root.createSubKey(entry.key, &key) != ERROR_SUCCESS) return false;
    if (key.setValue(entry.name, entry.data) != ERROR_SUCCESS) return false;
  }
  return true;
}

bool registerControlClass(const std::string& path) {
  const std::string clsid = formatGuid(CLSID_Slideport);
  const std::string libid = formatGuid(LIBID_SLIDEPORTLib);
  if (clsid.size() != kGuidTextLength || libid.size() != kGuidTextLength) return false;
  const std::string progId = pressmark::control::kSlideportProgId;
  const std::string classKey = "CLSID\\" + clsid;
  return writeEntries({
      {progId, "", kControlTypeName},
      {progId + "\\CLSID", "", clsid},
      {classKey, "", kControlTypeName},
      {classKey + "\\ProgID", "", progId},
      {classKey + "\\InprocServer32", "", path},
      {classKey + "\\ToolboxBitmap32", "", path + ", " + std::to_string(kToolboxBitmap)},
      {classKey + "\\MiscStatus", "", "0"},
      {classKey + "\\MiscStatus\\1", "", std::to_string(kControlMiscStatus)},
      {classKey + "\\Control", "", ""},
      {classKey + "\\TypeLib", "", libid},
      {classKey + "\\Version", "", std::to_string(kLibMajor) + "." + std::to_string(kLibMinor)},
      {classKey + "\\InprocServer32", "ThreadingModel", "Apartment"},
  });
}

bool registerPropPageClass(const std::string& path) {
  const std::string clsid = formatGuid(CLSID_SlideportPropPage);
  if (clsid.size() != kGuidTextLength) return false;
  const std::string classKey = "CLSID\\" + clsid;
  return writeEntries({
      {classKey, "", kPropPageTypeName},
      {classKey + "\\InprocServer32", "", path},
  });
}

// ---- unregistration -------------------------------------------------------------------------

// Removes the locale keys of every version of the library, keeping those that also describe a
// 16-bit library; answers false when something was kept.
LSTATUS removeTypeLibVersions(const RegKey& libKey, bool* keptAny) {
  std::vector<std::string> versions;
  if (const LSTATUS status = libKey.enumSubKeys(&versions); status != ERROR_SUCCESS) return status;
  for (const std::string& version : versions) {
    RegKey versionKey;
    if (const LSTATUS status = libKey.openSubKey(version, &versionKey); status != ERROR_SUCCESS) {
      return status;
    }
    std::vector<std::string> locales;
    if (const LSTATUS status = versionKey.enumSubKeys(&locales); status != ERROR_SUCCESS) {
      return status;
    }
    bool keptVersion = false;
    for (const std::string& locale : locales) {
      if (locale == "HELPDIR" || locale == "FLAGS") continue;
      RegKey localeKey;
      if (const LSTATUS status = versionKey.openSubKey(locale, &localeKey);
          status != ERROR_SUCCESS) {
        return status;
      }
      RegKey win16;
      LSTATUS status = ERROR_SUCCESS;
      if (localeKey.openSubKey("win16", &win16) == ERROR_SUCCESS) {
        status = localeKey.deleteSubKeyTree("win32");
        keptVersion = true;
      } else {
        status = versionKey.deleteSubKeyTree(locale);
      }
      if (!succeededOrMissing(status)) return status;
    }
    if (keptVersion) {
      *keptAny = true;
    } else if (const LSTATUS status = libKey.deleteSubKeyTree(version);
               !succeededOrMissing(status)) {
      return status;
    }
  }
  return ERROR_SUCCESS;
}

bool unregisterTypeLib() {
  ComPtr<ITypeLib> held;
  if (FAILED(LoadRegTypeLib(LIBID_SLIDEPORTLib, kLibMajor, kLibMinor, LOCALE_NEUTRAL,
                            held.put()))) {
    held.reset();
  }
  const RegKey root = RegKey::classesRoot();
  const std::string libKeyName = "TypeLib\\" + formatGuid(LIBID_SLIDEPORTLib);
  RegKey libKey;
  LSTATUS status = root.openSubKey(libKeyName, &libKey);
  if (status != ERROR_SUCCESS) {
    status = root.deleteSubKeyTree(libKeyName);
  } else {
    bool keptAny = false;
    status = removeTypeLibVersions(libKey, &keptAny);
    if (succeededOrMissing(status) && !keptAny) status = root.deleteSubKeyTree(libKeyName);
  }
  if (!succeededOrMissing(status)) return false;

  // The interface keys go only once no registered library describes them any more.
  ComPtr<ITypeLib> stillThere;
  if (held && FAILED(LoadRegTypeLib(LIBID_SLIDEPORTLib, kLibMajor, kLibMinor, LOCALE_NEUTRAL,
                                    stillThere.put()))) {
    for (UINT i = 0; i < held->GetTypeInfoCount(); ++i) {
      TYPEKIND kind{};
      if (FAILED(held->GetTypeInfoType(i, &kind))) continue;
      if (kind != TKIND_DISPATCH && kind != TKIND_INTERFACE) continue;
      ComPtr<ITypeInfo> info;
      if (FAILED(held->GetTypeInfo(i, info.put()))) continue;
      TYPEATTR* attributes = nullptr;
      if (FAILED(info->GetTypeAttr(&attributes)) || attributes == nullptr) continue;
      const std::string interfaceKey = "Interface\\" + formatGuid(attributes->guid);
      info->ReleaseTypeAttr(attributes);
      if (!succeededOrMissing(root.deleteSubKeyTree(interfaceKey))) return false;
    }
  }
  return true;
}

// A class registered by a 16-bit server as well keeps its class key and ProgID; only our
// 32-bit entries go.
bool unregisterClass(const CLSID& clsid, const char* progId) {
  const RegKey root = RegKey::classesRoot();
  const std::string classKey = "CLSID\\" + formatGuid(clsid);
  RegKey sixteenBit;
  if (root.openSubKey(classKey + "\\InprocServer", &sixteenBit) != ERROR_SUCCESS) {
    if (!succeededOrMissing(root.deleteSubKeyTree(classKey))) return false;
    return progId == nullptr || succeededOrMissing(root.deleteSubKeyTree(progId));
  }
  return succeededOrMissing(root.deleteSubKeyTree(classKey + "\\InprocServer32")) &&
         succeededOrMissing(root.deleteSubKeyTree(classKey + "\\ToolboxBitmap32"));
}

}  // namespace

PRESSMARK_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  const std::lock_guard lock(g_classObjectsLock);
  for (ClassFactory* factory : g_classObjects) {
    if (factory->clsid() == rclsid) return factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

PRESSMARK_EXPORT HRESULT DllCanUnloadNow() {
  const std::lock_guard lock(g_classObjectsLock);
  return ModuleCanUnloadNow();
}

PRESSMARK_EXPORT HRESULT DllRegisterServer() {
  try {
    const std::string path = modulePath();
    if (!registerTypeLib(path)) return SELFREG_E_TYPELIB;
    if (!registerControlClass(path) || !registerPropPageClass(path)) return SELFREG_E_CLASS;
    return S_OK;
  } catch (const std::exception&) {
    // Only the module path lookup throws: without it there is no library to register.
    return SELFREG_E_TYPELIB;
  }
}

PRESSMARK_EXPORT HRESULT DllUnregisterServer() {
  try {
    if (!unregisterTypeLib()) return SELFREG_E_TYPELIB;
    if (!unregisterClass(CLSID_Slideport, pressmark::control::kSlideportProgId) ||
        !unregisterClass(CLSID_SlideportPropPage, nullptr)) {
      return SELFREG_E_CLASS;
    }
    return S_OK;
  } catch (const std::exception&) {
    return SELFREG_E_CLASS;
  }
}

PRESSMARK_EXPORT HRESULT DllGetTypeLib(ITypeLib** pptlib) {
  if (pptlib == nullptr) return E_POINTER;
  *pptlib = nullptr;
  try {
    return pressmark::control::slideportTypeLib().copyTo(pptlib);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception&) {
    return E_FAIL;
  }
}
