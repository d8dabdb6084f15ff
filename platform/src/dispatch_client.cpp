// Calling IDispatch members from C++.
#include "pressmark/platform/dispatch_client.h"

#include <vector>

namespace pressmark::platform {

HRESULT invokeRaw(IDispatch* object, DISPID dispid, WORD flags, std::span<const Variant> args, Variant* result,
                  EXCEPINFO* excepInfo, UINT* argErr) {
    if (!object) return E_POINTER;
    // rgvarg holds the arguments last-first.
    std::vector<Variant> reversed(args.rbegin(), args.rend());
    DISPID putId = DISPID_PROPERTYPUT;
    const bool isPut = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), isPut ? &putId : nullptr,
                      static_cast<UINT>(reversed.size()), isPut ? 1u : 0u};
    Variant local;
    UINT localArgErr = 0;
    const HRESULT hr = object->Invoke(dispid, IID_NULL, LOCALE_NEUTRAL, flags, &params,
                                      result ? result->out() : local.out(), excepInfo, argErr ? argErr : &localArgErr);
    return hr;
}

namespace {
Variant invokeChecked(IDispatch* object, DISPID dispid, WORD flags, std::span<const Variant> args,
                      std::string_view what) {
    if (!object) throw AutomationError(E_POINTER, std::string(what.empty() ? "Call" : what) + ": no object");
    Variant result;
    ExcepInfo info;
    const HRESULT hr = invokeRaw(object, dispid, flags, args, &result, &info, nullptr);
    if (hr == DISP_E_EXCEPTION) throw AutomationError::fromExcepInfo(info);
    if (FAILED(hr)) {
        std::string message = hresultMessage(hr);
        if (!what.empty()) message = std::string(what) + ": " + message;
        throw AutomationError(hr, message);
    }
    return result;
}
}  // namespace

Variant invokeMethod(IDispatch* object, DISPID dispid, std::span<const Variant> args, std::string_view what) {
    return invokeChecked(object, dispid, DISPATCH_METHOD, args, what);
}

Variant getProperty(IDispatch* object, DISPID dispid, std::string_view what) {
    return invokeChecked(object, dispid, DISPATCH_PROPERTYGET, {}, what);
}

void putProperty(IDispatch* object, DISPID dispid, const Variant& value, std::string_view what) {
    invokeChecked(object, dispid, DISPATCH_PROPERTYPUT, std::span<const Variant>(&value, 1), what);
}

DISPID dispidOf(IDispatch* object, std::string_view name) {
    if (!object) throw AutomationError(E_POINTER);
    const std::u16string wide = utf8ToUtf16(name);
    LPCOLESTR names[] = {wide.c_str()};
    DISPID id = DISPID_UNKNOWN;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_NEUTRAL, &id);
    if (FAILED(hr)) throw AutomationError(hr, "\"" + std::string(name) + "\": " + hresultMessage(hr));
    return id;
}

ComPtr<IDispatch> toDispatch(const Variant& value) {
    if (value.vt != VT_DISPATCH) throw AutomationError(DISP_E_TYPEMISMATCH, "An object was expected");
    return ComPtr<IDispatch>(value.pdispVal);
}

}  // namespace pressmark::platform
