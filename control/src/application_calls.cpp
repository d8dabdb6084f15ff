#include "application_calls.h"

#include <vector>

namespace pressmark::control {

using namespace pressmark::platform;

namespace {

std::string describeUndescribed(HRESULT result, std::string_view call) {
  return "The presentation application failed in " + std::string(call) + ": " +
         hresultMessage(result) + " (" + formatHresult(result) + ").";
}

// Invokes `member`; `result` may be null when the call's result is not used, which also tells
// the application that no result is wanted.
void invokeApplication(IDispatch* object, const ApplicationMember& member,
                       std::initializer_list<Variant> args, VARIANT* result) {
  if (object == nullptr) {
    throw ApplicationFailure(E_POINTER, member.name);
  }
  // Dispatch arguments travel last-first.
  std::vector<Variant> reversed(std::rbegin(args), std::rend(args));
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params{};
  params.rgvarg = reversed.empty() ? nullptr : static_cast<VARIANT*>(reversed.data());
  params.cArgs = static_cast<UINT>(reversed.size());
  if (member.kind == DISPATCH_PROPERTYPUT) {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
  }
  ExcepInfo info;
  UINT argError = 0;
  const HRESULT hr = object->Invoke(member.dispid, IID_NULL, LOCALE_NEUTRAL, member.kind, &params,
                                    result, &info, &argError);
  if (hr == DISP_E_EXCEPTION) {
    FillExcepInfo(&info);
    throw ApplicationFailure(info);
  }
  if (FAILED(hr)) throw ApplicationFailure(hr, member.name);
}

}  // namespace

ApplicationFailure::ApplicationFailure(EXCEPINFO& info)
    : std::runtime_error(bstrToUtf8(info.bstrDescription)),
      code_(info.wCode),
      source_(BStr::attach(std::exchange(info.bstrSource, nullptr))),
      description_(BStr::attach(std::exchange(info.bstrDescription, nullptr))),
      helpFile_(BStr::attach(std::exchange(info.bstrHelpFile, nullptr))),
      helpContext_(info.dwHelpContext),
      scode_(info.scode) {
  ClearExcepInfo(&info);
}

ApplicationFailure::ApplicationFailure(HRESULT result, std::string_view call)
    : std::runtime_error(result == E_POINTER
                             ? "The presentation application gave no object to call " +
                                   std::string(call) + " on."
                             : describeUndescribed(result, call)),
      source_("Slideport"),
      description_(std::string_view(what())),
      scode_(result) {}

void ApplicationFailure::handTo(EXCEPINFO* target) {
  if (target == nullptr) return;
  ClearExcepInfo(target);
  target->wCode = code_;
  target->bstrSource = source_.detach();
  target->bstrDescription = description_.detach();
  target->bstrHelpFile = helpFile_.detach();
  target->dwHelpContext = helpContext_;
  target->scode = scode_;
}

void callApplication(IDispatch* object, const ApplicationMember& member,
                     std::initializer_list<Variant> args) {
  invokeApplication(object, member, args, nullptr);
}

ComPtr<IDispatch> getApplicationObject(IDispatch* object, const ApplicationMember& member,
                                       std::initializer_list<Variant> args) {
  Variant result;
  invokeApplication(object, member, args, &result);
  if (result.vt == VT_EMPTY || result.vt == VT_NULL) return {};
  Variant converted;
  const HRESULT hr = VariantChangeType(&converted, &result, 0, VT_DISPATCH);
  if (FAILED(hr)) throw ApplicationFailure(hr, member.name);
  return ComPtr<IDispatch>(converted.pdispVal);
}

LONG getApplicationLong(IDispatch* object, const ApplicationMember& member) {
  Variant result;
  invokeApplication(object, member, {}, &result);
  Variant converted;
  const HRESULT hr = VariantChangeType(&converted, &result, 0, VT_I4);
  if (FAILED(hr)) throw ApplicationFailure(hr, member.name);
  return converted.lVal;
}

}  // namespace pressmark::control
