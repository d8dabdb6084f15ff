// Server entry points of the presentation application module and its
// registration under the ProgIDs the control looks up.
#include "automation.h"

#include <pressmark/platform/object.h>
#include <pressmark/platform/registry.h>

#include <array>
#include <string>

using namespace pressmark::platform;
using pressmark::office::CLSID_ImpressApplication;
using pressmark::office::ImpressApplication;

namespace {

constexpr const char* kDescription = "Pressmark Presentation Application (LibreOffice Impress)";
// Windows compares key names without case, so these are one key there and
// here; both spellings are written because the control may look up either.
constexpr std::array<const char*, 2> kProgIds = {"PowerPoint.Application", "Powerpoint.Application"};

HRESULT fromRegistry(LSTATUS status) {
    return status == ERROR_SUCCESS ? S_OK : SELFREG_E_CLASS;
}

ClassFactory& classFactory() {
    static ClassFactory factory(CLSID_ImpressApplication, &createObjectOf<ImpressApplication>);
    return factory;
}

}  // namespace

PRESSMARK_EXPORT HRESULT DllCanUnloadNow() {
    const HRESULT hr = ModuleCanUnloadNow();
    // The caller unloads us on S_OK, but the loader may keep the library
    // mapped (the UNO headers give it symbols that pin it), so its statics
    // would not end: the warm office is ended here, with nothing in use.
    if (hr == S_OK) pressmark::office::officePool().drain();
    return hr;
}

PRESSMARK_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_ImpressApplication) return CLASS_E_CLASSNOTAVAILABLE;
    return classFactory().QueryInterface(riid, ppv);
}

PRESSMARK_EXPORT HRESULT DllRegisterServer() {
    try {
        const std::string clsid = formatGuid(CLSID_ImpressApplication);
        const std::string path = moduleFileName(reinterpret_cast<const void*>(&DllRegisterServer));
        RegKey root = RegKey::classesRoot();
        RegKey clsidKey;
        if (LSTATUS s = root.createSubKey("CLSID\\" + clsid, &clsidKey); s != ERROR_SUCCESS)
            return fromRegistry(s);
        LSTATUS s = clsidKey.setValue("", kDescription);
        if (s == ERROR_SUCCESS) s = clsidKey.setSubKeyValue("InprocServer32", path);
        if (s == ERROR_SUCCESS) {
            RegKey server;
            s = clsidKey.openSubKey("InprocServer32", &server);
            if (s == ERROR_SUCCESS) s = server.setValue("ThreadingModel", "Apartment");
        }
        if (s == ERROR_SUCCESS) s = clsidKey.setSubKeyValue("ProgID", kProgIds[0]);
        for (const char* progId : kProgIds) {
            if (s == ERROR_SUCCESS) s = root.setSubKeyValue(progId, kDescription);
            if (s == ERROR_SUCCESS) s = root.setSubKeyValue(std::string(progId) + "\\CLSID", clsid);
        }
        return fromRegistry(s);
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}

PRESSMARK_EXPORT HRESULT DllUnregisterServer() {
    try {
        const std::string clsid = formatGuid(CLSID_ImpressApplication);
        RegKey root = RegKey::classesRoot();
        for (const char* progId : kProgIds) {
            // Leave a ProgID alone that another server has taken over.
            std::string registered;
            if (root.querySubKeyValue(std::string(progId) + "\\CLSID", &registered) == ERROR_SUCCESS &&
                tryParseGuid(registered) == std::optional<GUID>(CLSID_ImpressApplication))
                root.deleteSubKeyTree(progId);
        }
        LSTATUS s = root.deleteSubKeyTree("CLSID\\" + clsid);
        return s == ERROR_SUCCESS || s == ERROR_FILE_NOT_FOUND ? S_OK : SELFREG_E_CLASS;
    } catch (...) {
        return SELFREG_E_CLASS;
    }
}
