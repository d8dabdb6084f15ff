// Type-library registration in the class registry, and loading a library
// from a module or by its registered LIBID.
#include <cstdio>
#include <filesystem>

#include "pressmark/platform/creation.h"
#include "pressmark/platform/registry.h"
#include "pressmark/platform/typeinfo.h"

namespace pressmark::platform {

namespace {

std::string versionText(WORD major, WORD minor) { return std::to_string(major) + "." + std::to_string(minor); }

std::string lcidText(LCID lcid) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(lcid));
    return text;
}

std::string typeLibKey(REFGUID libid) { return "TypeLib\\" + formatGuid(libid); }

// Owns a TLIBATTR from ITypeLib::GetLibAttr.
class LibAttr {
public:
    explicit LibAttr(ITypeLib* lib) : lib_(lib) { hr_ = lib->GetLibAttr(&attr_); }
    LibAttr(const LibAttr&) = delete;
    LibAttr& operator=(const LibAttr&) = delete;
    ~LibAttr() {
        if (attr_) lib_->ReleaseTLibAttr(attr_);
    }
    HRESULT status() const { return hr_; }
    const TLIBATTR* operator->() const { return attr_; }

private:
    ITypeLib* lib_;
    TLIBATTR* attr_ = nullptr;
    HRESULT hr_;
};

struct InterfaceEntry {
    IID iid;
    std::string name;
};

// The dispinterfaces a library describes.
std::vector<InterfaceEntry> dispinterfacesOf(ITypeLib* lib) {
    std::vector<InterfaceEntry> result;
    for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
        TYPEKIND kind;
        if (FAILED(lib->GetTypeInfoType(i, &kind)) || kind != TKIND_DISPATCH) continue;
        ComPtr<ITypeInfo> info;
        if (FAILED(lib->GetTypeInfo(i, info.put()))) continue;
        TYPEATTR* attr = nullptr;
        if (FAILED(info->GetTypeAttr(&attr))) continue;
        const IID iid = attr->guid;
        info->ReleaseTypeAttr(attr);
        BStr name;
        info->GetDocumentation(MEMBERID_NIL, name.out(), nullptr, nullptr, nullptr);
        result.push_back({iid, name.utf8()});
    }
    return result;
}

}  // namespace

HRESULT RegisterTypeLib(ITypeLib* lib, std::string_view fullPath, std::string_view helpDir) {
    if (!lib || fullPath.empty()) return E_INVALIDARG;
    const LibAttr attr(lib);
    if (FAILED(attr.status())) return attr.status();
    BStr name, doc;
    if (const HRESULT hr = lib->GetDocumentation(-1, name.out(), doc.out(), nullptr, nullptr); FAILED(hr)) return hr;

    const RegKey root = RegKey::classesRoot();
    const std::string libid = formatGuid(attr->guid);
    const std::string version = typeLibKey(attr->guid) + "\\" + versionText(attr->wMajorVerNum, attr->wMinorVerNum);
    const std::string folder = std::filesystem::path(std::string(fullPath)).parent_path().string();
    const std::string helpFolder = helpDir.empty() ? folder : std::string(helpDir);
    const std::pair<std::string, std::string> entries[] = {
        {version, doc.empty() ? name.utf8() : doc.utf8()},
        {version + "\\FLAGS", std::to_string(attr->wLibFlags)},
        {version + "\\HELPDIR", helpFolder},
        {version + "\\" + lcidText(attr->lcid) + "\\" + std::string(kTypeLibPlatformKey), std::string(fullPath)},
    };
    for (const auto& [key, value] : entries)
        if (root.setSubKeyValue(key, value) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;

    const std::string proxy = formatGuid(CLSID_PSDispatch);
    for (const InterfaceEntry& entry : dispinterfacesOf(lib)) {
        const std::string key = "Interface\\" + formatGuid(entry.iid);
        RegKey typeLib;
        if (root.setSubKeyValue(key, entry.name) != ERROR_SUCCESS ||
            root.setSubKeyValue(key + "\\ProxyStubClsid", proxy) != ERROR_SUCCESS ||
            root.setSubKeyValue(key + "\\ProxyStubClsid32", proxy) != ERROR_SUCCESS ||
            root.setSubKeyValue(key + "\\TypeLib", libid) != ERROR_SUCCESS ||
            root.openSubKey(key + "\\TypeLib", &typeLib) != ERROR_SUCCESS ||
            typeLib.setValue("Version", versionText(attr->wMajorVerNum, attr->wMinorVerNum)) != ERROR_SUCCESS)
            return TYPE_E_REGISTRYACCESS;
    }
    return S_OK;
}

HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND) {
    ComPtr<ITypeLib> lib;
    LoadRegTypeLib(libid, major, minor, lcid, lib.put());  // for its interfaces, if it still loads

    const RegKey root = RegKey::classesRoot();
    const std::string libKey = typeLibKey(libid);
    const std::string version = libKey + "\\" + versionText(major, minor);
    const std::string locale = version + "\\" + lcidText(lcid);
    const auto okOrMissing = [](LSTATUS s) { return s == ERROR_SUCCESS || s == ERROR_FILE_NOT_FOUND; };

    if (!okOrMissing(root.deleteSubKeyTree(locale + "\\" + std::string(kTypeLibPlatformKey))))
        return TYPE_E_REGISTRYACCESS;
    // Remove what is left empty: the locale, then the version (FLAGS and
    // HELPDIR do not count), then the library key.
    std::vector<std::string> names;
    RegKey key;
    if (root.openSubKey(locale, &key) == ERROR_SUCCESS && key.enumSubKeys(&names) == ERROR_SUCCESS && names.empty())
        root.deleteSubKeyTree(locale);
    if (root.openSubKey(version, &key) == ERROR_SUCCESS && key.enumSubKeys(&names) == ERROR_SUCCESS) {
        bool onlyBookkeeping = true;
        for (const std::string& n : names) {
            std::string upper = n;
            for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            onlyBookkeeping = onlyBookkeeping && (upper == "FLAGS" || upper == "HELPDIR");
        }
        if (onlyBookkeeping) root.deleteSubKeyTree(version);
    }
    if (root.openSubKey(libKey, &key) == ERROR_SUCCESS && key.enumSubKeys(&names) == ERROR_SUCCESS && names.empty())
        root.deleteSubKeyTree(libKey);

    if (lib) {
        const std::string libidText = formatGuid(libid);
        for (const InterfaceEntry& entry : dispinterfacesOf(lib.get())) {
            const std::string key = "Interface\\" + formatGuid(entry.iid);
            std::string owner;
            if (root.querySubKeyValue(key + "\\TypeLib", &owner) == ERROR_SUCCESS && owner == libidText)
                root.deleteSubKeyTree(key);
        }
    }
    return S_OK;
}

HRESULT LoadTypeLib(std::string_view modulePath, ITypeLib** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::string error;
    auto entry = reinterpret_cast<DllGetTypeLibFunction>(findModuleSymbol(modulePath, "DllGetTypeLib", &error));
    if (!entry) return TYPE_E_CANTLOADLIBRARY;
    const HRESULT hr = entry(out);
    return FAILED(hr) ? TYPE_E_CANTLOADLIBRARY : S_OK;
}

HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    const RegKey root = RegKey::classesRoot();
    const std::string version = typeLibKey(libid) + "\\" + versionText(major, minor);
    std::string path;
    bool found = false;
    for (LCID candidate : {lcid, LCID{0}}) {
        const std::string key = version + "\\" + lcidText(candidate) + "\\" + std::string(kTypeLibPlatformKey);
        if (root.querySubKeyValue(key, &path) == ERROR_SUCCESS && !path.empty()) {
            found = true;
            break;
        }
    }
    if (!found) return TYPE_E_LIBNOTREGISTERED;
    ComPtr<ITypeLib> lib;
    if (FAILED(LoadTypeLib(path, lib.put()))) return TYPE_E_CANTLOADLIBRARY;
    TLIBATTR* attr = nullptr;
    if (FAILED(lib->GetLibAttr(&attr))) return TYPE_E_CANTLOADLIBRARY;
    const bool same = attr->guid == libid;
    lib->ReleaseTLibAttr(attr);
    if (!same) return TYPE_E_LIBNOTREGISTERED;
    *out = lib.detach();
    return S_OK;
}

}  // namespace pressmark::platform
