#pragma once
// BSTR: a length-prefixed UTF-16 string as on Windows. The pointer addresses
// the first character; the 32-bit byte count sits in the four bytes before
// it, and a NUL follows the last character. A null BSTR is the empty string.
// The caller of an automation call allocates and frees the BSTRs it passes.
//
// Allocation uses malloc/free so that a BSTR allocated in one module (each
// module links its own copy of this layer) can be freed in another.
#include <string>
#include <string_view>
#include <utility>

#include "pressmark/platform/types.h"

namespace pressmark::platform {

using BSTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;

// A copy of the NUL-terminated `text` (nullptr for a null `text`).
BSTR SysAllocString(LPCOLESTR text);
// `length` characters from `text` (text may be nullptr: uninitialised
// characters, here zero-filled). Answers nullptr when out of memory.
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Frees a BSTR from SysAllocString*; a null argument is allowed.
void SysFreeString(BSTR text);
// Characters in `text` (embedded NULs count), 0 for nullptr.
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);
// Replaces *target with a copy of `text`; false when out of memory.
BOOL SysReAllocString(BSTR* target, LPCOLESTR text);

// UTF-8 <-> UTF-16. Malformed input (bad UTF-8 sequences, lone surrogates)
// becomes U+FFFD instead of failing: text here is for display and paths.
std::u16string utf8ToUtf16(std::string_view text);
std::string utf16ToUtf8(std::u16string_view text);

// New BSTR from UTF-8 text; the caller frees it with SysFreeString.
BSTR SysAllocStringUtf8(std::string_view text);
// View on a BSTR's characters (empty for nullptr).
inline std::u16string_view bstrView(BSTR text) { return {text ? text : u"", SysStringLen(text)}; }
// A BSTR's text as UTF-8 ("" for nullptr).
inline std::string bstrToUtf8(BSTR text) { return utf16ToUtf8(bstrView(text)); }

// Owns one BSTR (like _bstr_t / CComBSTR). Copying duplicates the string.
class BStr {
public:
    BStr() = default;
    explicit BStr(std::string_view utf8) : s_(SysAllocStringUtf8(utf8)) {}
    explicit BStr(const char* utf8) : BStr(std::string_view(utf8 ? utf8 : "")) {}
    explicit BStr(std::u16string_view utf16)
        : s_(SysAllocStringLen(utf16.data(), static_cast<UINT>(utf16.size()))) {}
    BStr(const BStr& other) : s_(other.copy()) {}
    BStr(BStr&& other) noexcept : s_(other.detach()) {}
    BStr& operator=(BStr other) noexcept {
        std::swap(s_, other.s_);
        return *this;
    }
    ~BStr() { SysFreeString(s_); }

    // Takes ownership of an allocated BSTR.
    static BStr attach(BSTR owned) {
        BStr b;
        b.s_ = owned;
        return b;
    }
    // Gives up ownership; the caller frees the result.
    BSTR detach() noexcept { return std::exchange(s_, nullptr); }
    // A new copy for a callee that takes ownership (nullptr stays nullptr).
    BSTR copy() const { return s_ ? SysAllocStringLen(s_, SysStringLen(s_)) : nullptr; }
    // Frees the held string and answers the address for an [out] BSTR*.
    BSTR* out() {
        reset();
        return &s_;
    }
    void reset() { SysFreeString(std::exchange(s_, nullptr)); }

    BSTR get() const noexcept { return s_; }
    UINT length() const { return SysStringLen(s_); }
    bool empty() const { return length() == 0; }
    std::u16string_view view() const { return bstrView(s_); }
    std::string utf8() const { return bstrToUtf8(s_); }

    friend bool operator==(const BStr& a, const BStr& b) { return a.view() == b.view(); }

private:
    BSTR s_ = nullptr;
};

}  // namespace pressmark::platform
