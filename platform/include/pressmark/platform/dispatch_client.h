#pragma once
// Calling an IDispatch from C++: build the DISPPARAMS (arguments given in
// natural order, reversed for the call as Windows expects), invoke, and turn
// failures into AutomationError (DISP_E_EXCEPTION with the server's
// EXCEPINFO; any other failure with the system text of its HRESULT).
#include <initializer_list>
#include <span>
#include <string_view>

#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/errors.h"
#include "pressmark/platform/interfaces.h"
#include "pressmark/platform/variant.h"

namespace pressmark::platform {

// Invoke with positional arguments in natural order (args[0] = first).
// Answers the HRESULT; *result (may be null) receives the result,
// *excepInfo (may be null) the exception information, *argErr (may be null)
// the failing argument's rgvarg index.
HRESULT invokeRaw(IDispatch* object, DISPID dispid, WORD flags, std::span<const Variant> args, Variant* result,
                  EXCEPINFO* excepInfo, UINT* argErr);

// Throwing forms. `what` names the call in the error message
// ("Presentations.Open").
Variant invokeMethod(IDispatch* object, DISPID dispid, std::span<const Variant> args = {},
                     std::string_view what = {});
inline Variant invokeMethod(IDispatch* object, DISPID dispid, std::initializer_list<Variant> args,
                            std::string_view what = {}) {
    return invokeMethod(object, dispid, std::span<const Variant>(args.begin(), args.size()), what);
}
Variant getProperty(IDispatch* object, DISPID dispid, std::string_view what = {});
// Property put: passes `value` with the named argument DISPID_PROPERTYPUT.
void putProperty(IDispatch* object, DISPID dispid, const Variant& value, std::string_view what = {});

// The DISPID of a member by name (IDispatch::GetIDsOfNames, IID_NULL, locale 0).
DISPID dispidOf(IDispatch* object, std::string_view name);

// A VT_DISPATCH result as a ComPtr (throws AutomationError(DISP_E_TYPEMISMATCH)
// for another type; an empty pointer for a null VT_DISPATCH).
ComPtr<IDispatch> toDispatch(const Variant& value);

}  // namespace pressmark::platform
