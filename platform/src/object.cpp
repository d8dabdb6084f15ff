// The module lock count, the static class factory and module file names.
#include "pressmark/platform/object.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <memory>

#include "pressmark/platform/errors.h"

namespace pressmark::platform {

namespace {
// One per module (this library is linked statically into each module).
std::atomic<LONG> moduleLocks{0};
}  // namespace

void ModuleAddRef() { ++moduleLocks; }
void ModuleRelease() { --moduleLocks; }
LONG ModuleLockCount() { return moduleLocks.load(); }
HRESULT ModuleCanUnloadNow() { return moduleLocks.load() == 0 ? S_OK : S_FALSE; }

HRESULT ClassFactory::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IUnknown::iid && riid != IClassFactory::iid) return E_NOINTERFACE;
    AddRef();
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
}

ULONG ClassFactory::AddRef() {
    ModuleAddRef();
    return ++refs_;
}

ULONG ClassFactory::Release() {
    ModuleRelease();
    return --refs_;  // module lifetime: never deleted
}

HRESULT ClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) {
    if (!ppvObject) return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter) return CLASS_E_NOAGGREGATION;
    return create_(pUnkOuter, riid, ppvObject);
}

HRESULT ClassFactory::LockServer(BOOL fLock) {
    if (fLock)
        ModuleAddRef();
    else
        ModuleRelease();
    return S_OK;
}

std::string moduleFileName(const void* addressInModule) {
    Dl_info info{};
    if (!dladdr(addressInModule, &info) || !info.dli_fname)
        throw AutomationError(E_INVALIDARG, "The address belongs to no loaded module");
    // dli_fname is the name the module was loaded under (maybe relative);
    // registrations need the full path.
    std::unique_ptr<char, decltype(&free)> full(realpath(info.dli_fname, nullptr), &free);
    if (!full) throw AutomationError(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND),
                                     std::string("Cannot resolve the module path ") + info.dli_fname);
    return full.get();
}

}  // namespace pressmark::platform
