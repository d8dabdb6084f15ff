// Object creation through the class registry and the cache of loaded modules.
#include "pressmark/platform/creation.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <map>
#include <memory>
#include <mutex>

#include "pressmark/platform/errors.h"
#include "pressmark/platform/object.h"
#include "pressmark/platform/registry.h"

namespace pressmark::platform {

namespace {

class LoadedModule {
public:
    explicit LoadedModule(void* handle) : handle_(handle) {}
    LoadedModule(const LoadedModule&) = delete;
    LoadedModule& operator=(const LoadedModule&) = delete;
    ~LoadedModule() { dlclose(handle_); }
    void* symbol(const char* name) const { return dlsym(handle_, name); }

private:
    void* handle_;
};

// Loaded modules by path. Deliberately never destroyed: unloading code at
// process exit while some static still holds one of its objects would crash
// in that object's Release. Modules go only through CoFreeUnusedLibraries.
struct ModuleCache {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<LoadedModule>> modules;
};

ModuleCache& moduleCache() {
    static ModuleCache* cache = new ModuleCache;
    return *cache;
}

std::string canonicalPath(std::string_view path) {
    const std::string text(path);
    std::unique_ptr<char, decltype(&free)> full(realpath(text.c_str(), nullptr), &free);
    return full ? std::string(full.get()) : text;
}

LoadedModule* loadModule(std::string_view path, std::string* error) {
    const std::string key = canonicalPath(path);
    ModuleCache& cache = moduleCache();
    std::lock_guard lock(cache.mutex);
    if (auto it = cache.modules.find(key); it != cache.modules.end()) return it->second.get();
    void* handle = dlopen(key.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) *error = dlerror();
        return nullptr;
    }
    return cache.modules.emplace(key, std::make_unique<LoadedModule>(handle)).first->second.get();
}

std::string classKey(REFCLSID clsid) { return "CLSID\\" + formatGuid(clsid); }

// CoGetClassObject with the reason of a failure in words.
HRESULT getClassObject(REFCLSID clsid, DWORD clsContext, REFIID riid, void** ppv, std::string* detail) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!(clsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
    std::string path;
    const LSTATUS status = RegKey::classesRoot().querySubKeyValue(classKey(clsid) + "\\InprocServer32", &path);
    if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && path.empty())) return REGDB_E_CLASSNOTREG;
    if (status != ERROR_SUCCESS) {
        *detail = win32Message(status);
        return REGDB_E_READREGDB;
    }
    std::string loadError;
    LoadedModule* module = loadModule(path, &loadError);
    if (!module) {
        *detail = "the module \"" + path + "\" cannot be loaded: " + loadError;
        return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
    }
    auto entry = reinterpret_cast<DllGetClassObjectFunction>(module->symbol("DllGetClassObject"));
    if (!entry) {
        *detail = "the module \"" + path + "\" exports no DllGetClassObject";
        return CO_E_ERRORINDLL;
    }
    return entry(clsid, riid, ppv);
}

HRESULT createWithDetail(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, void** ppv,
                         std::string* detail) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    ComPtr<IClassFactory> factory;
    if (const HRESULT hr = getClassObject(clsid, clsContext, IClassFactory::iid, factory.putVoid(), detail); FAILED(hr))
        return hr;
    return factory->CreateInstance(outer, riid, ppv);
}

thread_local int apartmentInitCount = 0;

}  // namespace

HRESULT CoInitialize(void*) { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
HRESULT CoInitializeEx(void*, DWORD) { return apartmentInitCount++ == 0 ? S_OK : S_FALSE; }
void CoUninitialize() {
    if (apartmentInitCount > 0) --apartmentInitCount;
}

HRESULT CLSIDFromProgID(std::string_view progId, CLSID* clsid) {
    if (!clsid) return E_INVALIDARG;
    *clsid = CLSID_NULL;
    if (progId.empty() || progId.find('\\') != std::string_view::npos) return CO_E_CLASSSTRING;
    const RegKey root = RegKey::classesRoot();
    std::string text;
    LSTATUS status = root.querySubKeyValue(std::string(progId) + "\\CLSID", &text);
    if (status == ERROR_FILE_NOT_FOUND) {
        // A version-independent ProgID names its current version.
        std::string current;
        if (root.querySubKeyValue(std::string(progId) + "\\CurVer", &current) != ERROR_SUCCESS || current.empty() ||
            current.find('\\') != std::string::npos)
            return CO_E_CLASSSTRING;
        status = root.querySubKeyValue(current + "\\CLSID", &text);
        if (status == ERROR_FILE_NOT_FOUND) return CO_E_CLASSSTRING;
    }
    if (status != ERROR_SUCCESS) return REGDB_E_READREGDB;
    const auto parsed = tryParseGuid(text);
    if (!parsed) return CO_E_CLASSSTRING;
    *clsid = *parsed;
    return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, std::string* progId) {
    if (!progId) return E_INVALIDARG;
    std::string text;
    const LSTATUS status = RegKey::classesRoot().querySubKeyValue(classKey(clsid) + "\\ProgID", &text);
    if (status == ERROR_FILE_NOT_FOUND || (status == ERROR_SUCCESS && text.empty())) return REGDB_E_CLASSNOTREG;
    if (status != ERROR_SUCCESS) return REGDB_E_READREGDB;
    *progId = text;
    return S_OK;
}

HRESULT CLSIDFromString(std::string_view text, CLSID* clsid) {
    if (!clsid) return E_INVALIDARG;
    if (!text.empty() && text.front() == '{') {
        const auto parsed = tryParseGuid(text);
        *clsid = parsed.value_or(CLSID_NULL);
        return parsed ? S_OK : CO_E_CLASSSTRING;
    }
    return CLSIDFromProgID(text, clsid);
}

INT StringFromGUID2(REFGUID guid, OLECHAR* buffer, INT cchMax) {
    if (!buffer || cchMax < static_cast<INT>(kGuidTextLength + 1)) return 0;
    const std::string text = formatGuid(guid);
    for (std::size_t i = 0; i < text.size(); ++i) buffer[i] = static_cast<OLECHAR>(text[i]);
    buffer[text.size()] = u'\0';
    return static_cast<INT>(text.size() + 1);
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void*, REFIID riid, void** ppv) {
    std::string detail;
    return getClassObject(clsid, clsContext, riid, ppv, &detail);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, void** ppv) {
    std::string detail;
    return createWithDetail(clsid, outer, clsContext, riid, ppv, &detail);
}

void CoFreeUnusedLibraries() {
    ModuleCache& cache = moduleCache();
    std::lock_guard lock(cache.mutex);
    for (auto it = cache.modules.begin(); it != cache.modules.end();) {
        auto canUnload = reinterpret_cast<DllCanUnloadNowFunction>(it->second->symbol("DllCanUnloadNow"));
        if (canUnload && canUnload() == S_OK)
            it = cache.modules.erase(it);
        else
            ++it;
    }
}

std::size_t loadedModuleCount() {
    ModuleCache& cache = moduleCache();
    std::lock_guard lock(cache.mutex);
    return cache.modules.size();
}

HRESULT OleRun(IUnknown* object) { return object ? S_OK : E_INVALIDARG; }

namespace {
ComPtr<IUnknown> createOrThrow(REFCLSID clsid, DWORD clsContext, const std::string& name) {
    ComPtr<IUnknown> object;
    std::string detail;
    const HRESULT hr = createWithDetail(clsid, nullptr, clsContext, IUnknown::iid, object.putVoid(), &detail);
    if (FAILED(hr)) {
        std::string message = "Cannot create " + name + ": " + hresultMessage(hr);
        if (!detail.empty()) message += " (" + detail + ")";
        throw AutomationError(hr, message);
    }
    return object;
}
}  // namespace

ComPtr<IUnknown> createInstance(REFCLSID clsid, DWORD clsContext) {
    return createOrThrow(clsid, clsContext, formatGuid(clsid));
}

ComPtr<IUnknown> createInstance(std::string_view progId, DWORD clsContext) {
    CLSID clsid;
    if (const HRESULT hr = CLSIDFromProgID(progId, &clsid); FAILED(hr))
        throw AutomationError(hr, "Cannot create \"" + std::string(progId) + "\": " + hresultMessage(hr));
    return createOrThrow(clsid, clsContext, "\"" + std::string(progId) + "\" " + formatGuid(clsid));
}

void* findModuleSymbol(std::string_view path, const char* symbol, std::string* error) {
    LoadedModule* module = loadModule(path, error);
    if (!module) return nullptr;
    void* address = module->symbol(symbol);
    if (!address && error) *error = std::string("no exported ") + symbol;
    return address;
}

}  // namespace pressmark::platform
