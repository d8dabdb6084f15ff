#pragma once
// The whole automation layer in one include. See the individual headers:
//   types.h            GUID, HRESULT values and texts, integer aliases, HWND
//   bstr.h             BSTR, UTF-8 <-> UTF-16, BStr
//   variant.h          VARIANT, VariantChangeType, Variant, DISPPARAMS, EXCEPINFO
//   interfaces.h       IUnknown, IDispatch, IClassFactory, streams, persistence,
//                      type information, in-place activation
//   com_ptr.h          ComPtr<T>
//   object.h           ComObject, makeObject, ClassFactory, module lock count, exports
//   typeinfo.h         type libraries from data, DispatchTable, type-library registration
//   registry.h         the class registry (HKEY_CLASSES_ROOT in a .reg file)
//   creation.h         CoCreateInstance and friends
//   dispatch_client.h  calling IDispatch from C++
//   stream.h           MemoryStream, MemoryPropertyBag
//   errors.h           AutomationError
#include "pressmark/platform/bstr.h"
#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/creation.h"
#include "pressmark/platform/dispatch_client.h"
#include "pressmark/platform/errors.h"
#include "pressmark/platform/interfaces.h"
#include "pressmark/platform/object.h"
#include "pressmark/platform/registry.h"
#include "pressmark/platform/stream.h"
#include "pressmark/platform/typeinfo.h"
#include "pressmark/platform/types.h"
#include "pressmark/platform/variant.h"
