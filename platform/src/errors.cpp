#include "pressmark/platform/errors.h"

namespace pressmark::platform {

namespace {
std::string messageFor(HRESULT hr, const std::string& description) {
    return description.empty() ? hresultMessage(hr) : description;
}
}  // namespace

AutomationError::AutomationError(HRESULT hr, std::string description, std::string source, std::string helpFile,
                                 DWORD helpContext)
    : std::runtime_error(messageFor(hr, description)),
      hr_(hr),
      source_(std::move(source)),
      description_(description.empty() ? hresultMessage(hr) : std::move(description)),
      helpFile_(std::move(helpFile)),
      helpContext_(helpContext) {}

AutomationError AutomationError::fromExcepInfo(EXCEPINFO& info) {
    FillExcepInfo(&info);
    const HRESULT hr = info.scode != 0 ? info.scode : DISP_E_EXCEPTION;
    return AutomationError(hr, bstrToUtf8(info.bstrDescription), bstrToUtf8(info.bstrSource),
                           bstrToUtf8(info.bstrHelpFile), info.dwHelpContext);
}

void checkHresult(HRESULT hr, std::string_view what) {
    if (FAILED(hr)) {
        std::string message = hresultMessage(hr);
        if (!what.empty()) message = std::string(what) + ": " + message;
        throw AutomationError(hr, std::move(message));
    }
}

}  // namespace pressmark::platform
