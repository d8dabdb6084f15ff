// The type library SLIDEPORTLib, kept as data in the module: it serves the control's
// GetTypeInfo, GetIDsOfNames and the argument checks of Invoke, and is what registration
// records under TypeLib and Interface.
#pragma once

#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/typeinfo.h"

namespace pressmark::control {

const platform::TypeLibDesc& slideportTypeLibDesc();
// A new library object. Not cached: a module-lifetime object would count as a live object
// and keep DllCanUnloadNow from ever answering S_OK.
platform::ComPtr<platform::ITypeLib> slideportTypeLib();

}  // namespace pressmark::control
