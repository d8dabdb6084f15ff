#pragma once
// Implementing COM objects and in-process servers: ComObject (IUnknown with
// real reference counting and QueryInterface over the interface chains),
// makeObject, the module lock count behind DllCanUnloadNow, a static class
// factory, and the server entry-point signatures.
//
// The platform library is static: every module (the program, each server
// module) links its own copy, so the module lock count below counts exactly
// the objects and locks whose code lives in that module. That is the number
// DllCanUnloadNow must look at.
#include <atomic>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/interfaces.h"

namespace pressmark::platform {

// ---- module lock count ---------------------------------------------------------------
// Live ComObjects, LockServer(TRUE) locks and client references on class
// factories of this module.
void ModuleAddRef();
void ModuleRelease();
LONG ModuleLockCount();
// S_OK when nothing of this module is in use, else S_FALSE.
HRESULT ModuleCanUnloadNow();

// ---- ComObject ---------------------------------------------------------------------------
namespace detail {
template <class I>
constexpr bool interfaceChainHas(REFIID riid) {
    if constexpr (std::is_void_v<I>) {
        return false;
    } else {
        return riid == I::iid || interfaceChainHas<typename I::Base>(riid);
    }
}
template <class First, class...>
struct FirstOf {
    using type = First;
};
}  // namespace detail

// Implements IUnknown for a class that derives from the given interfaces:
//
//   class CStream final : public ComObject<IStream> { ... };
//   ComPtr<CStream> s = makeObject<CStream>(args...);
//
// QueryInterface answers IUnknown, every listed interface and each of their
// bases (IStream also answers ISequentialStream), plus whatever
// queryExtraInterface answers. Objects start with one reference, which
// makeObject adopts; the last Release deletes the object.
template <class... Interfaces>
class ComObject : public Interfaces... {
    using Primary = typename detail::FirstOf<Interfaces...>::type;

public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        void* found = nullptr;
        if (riid == IUnknown::iid) {
            found = static_cast<IUnknown*>(static_cast<Primary*>(this));
        } else {
            ((found = found ? found
                            : (detail::interfaceChainHas<Interfaces>(riid) ? static_cast<Interfaces*>(this) : nullptr)),
             ...);
        }
        if (!found) found = queryExtraInterface(riid);
        if (!found) return E_NOINTERFACE;
        AddRef();
        *ppv = found;
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    // The current count, for tests and diagnostics.
    ULONG refCount() const { return refs_.load(); }
    // This object's identity (its IUnknown), without a new reference.
    IUnknown* identity() { return static_cast<IUnknown*>(static_cast<Primary*>(this)); }

protected:
    ComObject() { ModuleAddRef(); }
    virtual ~ComObject() { ModuleRelease(); }

    // Further interfaces, e.g. a dispinterface IID served by the IDispatch
    // part: `return riid == DIID_X ? static_cast<IDispatch*>(this) : nullptr;`
    // Do not AddRef: QueryInterface does.
    virtual void* queryExtraInterface(REFIID) { return nullptr; }

private:
    std::atomic<ULONG> refs_{1};
};

// Creates a ComObject-derived T and adopts its first reference.
template <class T, class... Args>
ComPtr<T> makeObject(Args&&... args) {
    return ComPtr<T>::attach(new T(std::forward<Args>(args)...));
}

// A CreateInstance body for a class T built by makeObject<T>(): rejects
// aggregation, maps allocation failure to E_OUTOFMEMORY and any other
// exception to E_FAIL (exceptions never cross a COM boundary).
template <class T>
HRESULT createObjectOf(IUnknown* outer, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
        ComPtr<T> object = makeObject<T>();
        return object->QueryInterface(riid, ppv);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

// ---- class factory -----------------------------------------------------------------------
using CreateInstanceFunction = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// A class object with module lifetime (declare it static in the server):
// it is never deleted; each client reference and each LockServer(TRUE)
// counts in the module lock count, so DllCanUnloadNow answers S_FALSE while a
// client holds the factory.
class ClassFactory final : public IClassFactory {
public:
    ClassFactory(const CLSID& clsid, CreateInstanceFunction create) : clsid_(clsid), create_(create) {}
    ClassFactory(const ClassFactory&) = delete;
    ClassFactory& operator=(const ClassFactory&) = delete;
    ~ClassFactory() = default;

    const CLSID& clsid() const { return clsid_; }
    // References held by clients (0 when none).
    ULONG clientReferences() const { return refs_.load(); }

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    HRESULT LockServer(BOOL fLock) override;

private:
    CLSID clsid_;
    CreateInstanceFunction create_;
    std::atomic<ULONG> refs_{0};
};

// ---- server module entry points ----------------------------------------------------------
// A server module is a shared library exporting these four functions with C
// linkage (and, when it carries a type library, DllGetTypeLib):
//
//   PRESSMARK_EXPORT HRESULT DllCanUnloadNow();
//   PRESSMARK_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
//   PRESSMARK_EXPORT HRESULT DllRegisterServer();
//   PRESSMARK_EXPORT HRESULT DllUnregisterServer();
//   PRESSMARK_EXPORT HRESULT DllGetTypeLib(ITypeLib** pptlib);   // our addition, see typeinfo.h
#define PRESSMARK_EXPORT extern "C" __attribute__((visibility("default")))

using DllCanUnloadNowFunction = HRESULT (*)();
using DllGetClassObjectFunction = HRESULT (*)(REFCLSID, REFIID, void**);
using DllRegisterServerFunction = HRESULT (*)();
using DllUnregisterServerFunction = HRESULT (*)();
using DllGetTypeLibFunction = HRESULT (*)(ITypeLib**);

// The full path of the loaded module (shared library or program) that holds
// `addressInModule` (pass the address of any function of the module): what
// Windows' GetModuleFileName answers for the module handle. Throws
// AutomationError when the address belongs to no module.
std::string moduleFileName(const void* addressInModule);

}  // namespace pressmark::platform
