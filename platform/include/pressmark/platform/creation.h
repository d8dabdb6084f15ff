#pragma once
// Creating objects of in-process servers registered in the class registry,
// the way CoCreateInstance does it:
//
//   ProgID --(ProgID\CLSID)--> CLSID --(CLSID\{..}\InprocServer32)--> module
//   path --dlopen--> DllGetClassObject --> IClassFactory::CreateInstance.
//
// Loaded modules stay in a process-wide cache (one per copy of this library,
// i.e. per module that links it) and are unloaded only by
// CoFreeUnusedLibraries, and only when their DllCanUnloadNow answers S_OK.
//
// Threading is apartment-style: an object is used on the thread that created
// it; nothing marshals calls between threads. CoInitialize/CoUninitialize
// only keep a per-thread count (creation works without them).
#include <string>
#include <string_view>

#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/interfaces.h"

namespace pressmark::platform {

// Class contexts. Only in-process servers exist here; a request that
// includes CLSCTX_INPROC_SERVER is served, others answer REGDB_E_CLASSNOTREG.
inline constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
inline constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
inline constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
inline constexpr DWORD CLSCTX_REMOTE_SERVER = 0x10;
inline constexpr DWORD CLSCTX_INPROC = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER;
inline constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER;
inline constexpr DWORD CLSCTX_ALL = CLSCTX_SERVER | CLSCTX_INPROC_HANDLER;

inline constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;
// S_OK the first time on a thread, S_FALSE when already initialised.
HRESULT CoInitialize(void* reserved = nullptr);
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
void CoUninitialize();

// ProgID\CLSID of the registry. CO_E_CLASSSTRING when the ProgID is not
// registered, REGDB_E_READREGDB when its CLSID text is malformed or the
// registry cannot be read.
HRESULT CLSIDFromProgID(std::string_view progId, CLSID* clsid);
// CLSID\{..}\ProgID. REGDB_E_CLASSNOTREG when the class or its ProgID is
// not registered.
HRESULT ProgIDFromCLSID(REFCLSID clsid, std::string* progId);
// The braced text form, or a registered ProgID (like CLSIDFromString).
HRESULT CLSIDFromString(std::string_view text, CLSID* clsid);
// Writes the 38-character braced form plus NUL into `buffer`; answers the
// characters written including the NUL (39), or 0 when cchMax is too small.
INT StringFromGUID2(REFGUID guid, OLECHAR* buffer, INT cchMax);

// The class object of a registered in-process class.
// REGDB_E_CLASSNOTREG: no InprocServer32 for the class (or no in-process
// context requested); HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND): the module
// cannot be loaded; CO_E_ERRORINDLL: it exports no DllGetClassObject;
// otherwise what DllGetClassObject answers (CLASS_E_CLASSNOTAVAILABLE...).
HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsContext, void* reserved, REFIID riid, void** ppv);
// CoGetClassObject + IClassFactory::CreateInstance (the factory is
// released). Aggregation (outer != nullptr) is passed on to the factory.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsContext, REFIID riid, void** ppv);
// Unloads each cached module whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();
// Number of modules in this copy's cache (for tests).
std::size_t loadedModuleCount();

// Makes an object run. In-process objects always run: S_OK for any object,
// E_INVALIDARG for nullptr.
HRESULT OleRun(IUnknown* object);

// Throwing forms for C++ callers: the AutomationError's description names
// the class and the reason (with the loader's message when a module fails to
// load), e.g. "Cannot create {3F7A...}: Class not registered".
ComPtr<IUnknown> createInstance(REFCLSID clsid, DWORD clsContext = CLSCTX_INPROC_SERVER);
ComPtr<IUnknown> createInstance(std::string_view progId, DWORD clsContext = CLSCTX_INPROC_SERVER);

// The loaded module of `path` (dlopen through the cache; the handle stays
// cached) and one of its exported symbols; nullptr when the module cannot be
// loaded or lacks the symbol. `error` (may be null) receives the loader's
// message.
void* findModuleSymbol(std::string_view path, const char* symbol, std::string* error);

}  // namespace pressmark::platform
