#pragma once
// AutomationError: a failed automation call, keeping its HRESULT and, for
// DISP_E_EXCEPTION, what the server said (source, description, help).
// The platform layer does not depend on the imaging layer's error hierarchy;
// the application wraps this where it needs a pressmark::Error.
#include <stdexcept>
#include <string>
#include <string_view>

#include "pressmark/platform/types.h"
#include "pressmark/platform/variant.h"

namespace pressmark::platform {

class AutomationError : public std::runtime_error {
public:
    // A plain failure: the message is `description`, or the system text of
    // `hr` when the description is empty.
    explicit AutomationError(HRESULT hr, std::string description = {}, std::string source = {},
                             std::string helpFile = {}, DWORD helpContext = 0);

    // DISP_E_EXCEPTION from Invoke: takes the server's EXCEPINFO (after
    // running its deferred fill-in); the HRESULT kept is its scode when set.
    static AutomationError fromExcepInfo(EXCEPINFO& info);

    HRESULT hresult() const noexcept { return hr_; }
    const std::string& source() const noexcept { return source_; }
    const std::string& description() const noexcept { return description_; }
    const std::string& helpFile() const noexcept { return helpFile_; }
    DWORD helpContext() const noexcept { return helpContext_; }

private:
    HRESULT hr_;
    std::string source_;
    std::string description_;
    std::string helpFile_;
    DWORD helpContext_;
};

// Throws AutomationError(hr, "<what>: <system text>") when hr failed.
void checkHresult(HRESULT hr, std::string_view what);

}  // namespace pressmark::platform
