// Late-bound calls into the presentation application: every call is IDispatch::Invoke with a
// fixed DISPID, IID_NULL, locale 0 and positional arguments. A failed call becomes an
// ApplicationFailure holding the exception information the control's own Invoke hands to its
// host, so that the application's own error text reaches the user unchanged.
#pragma once

#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "pressmark/platform/bstr.h"
#include "pressmark/platform/com_ptr.h"
#include "pressmark/platform/interfaces.h"
#include "pressmark/platform/variant.h"

namespace pressmark::control {

namespace pf = pressmark::platform;

class ApplicationFailure : public std::runtime_error {
 public:
  // Takes over the strings of `info` (which is left cleared).
  explicit ApplicationFailure(pf::EXCEPINFO& info);
  // A failure the application did not describe itself: `call` names the member that failed.
  ApplicationFailure(pf::HRESULT result, std::string_view call);

  // Moves the exception information into a caller's EXCEPINFO (if any).
  void handTo(pf::EXCEPINFO* target);
  pf::SCODE scode() const { return scode_; }

 private:
  pf::WORD code_ = 0;
  pf::BStr source_;
  pf::BStr description_;
  pf::BStr helpFile_;
  pf::DWORD helpContext_ = 0;
  pf::SCODE scode_ = 0;
};

// One member of the application's object model, as the control calls it.
struct ApplicationMember {
  std::string_view name;  // "Presentations.Open": for messages only
  pf::DISPID dispid;
  pf::WORD kind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
};

// Calls `member` on `object` with `args` in their natural order, asking for no result.
void callApplication(pf::IDispatch* object, const ApplicationMember& member,
                            std::initializer_list<pf::Variant> args = {});
// The same, asking for a result converted to an object: empty when the application answered none.
pf::ComPtr<pf::IDispatch> getApplicationObject(pf::IDispatch* object,
                                               const ApplicationMember& member,
                                               std::initializer_list<pf::Variant> args = {});
// The same, asking for a result converted to VT_I4.
pf::LONG getApplicationLong(pf::IDispatch* object, const ApplicationMember& member);

}  // namespace pressmark::control
