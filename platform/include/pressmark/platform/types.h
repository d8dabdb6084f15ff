#pragma once
// Basic automation types with the binary meaning they have on Windows: the
// integer aliases, GUID/CLSID/IID with their braced text form, HRESULT and the
// Win32 error codes that the registry calls answer, and the system message
// text for a result.
//
// Everything lives in namespace pressmark::platform under its Windows name so
// that code written against the Windows API reads the same; callers usually
// write `using namespace pressmark::platform;` inside their own namespace.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pressmark::platform {

// ---- integer aliases (sizes as on Windows, where LONG is 32 bits) ----------
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using INT = std::int32_t;
using UINT = std::uint32_t;
using BOOL = std::int32_t;  // Win32 BOOL: 0 = false, anything else = true
using LCID = std::uint32_t;
using DISPID = std::int32_t;
using MEMBERID = DISPID;
using VARTYPE = std::uint16_t;
using VARIANT_BOOL = std::int16_t;
using OLECHAR = char16_t;
using HRESULT = std::int32_t;
using SCODE = HRESULT;
using LSTATUS = LONG;  // Win32 error code answered by the registry calls

// A window handle. On Linux this is an X11 Window id; 0 means "no window"
// (a windowless host, e.g. without a display).
using HWND = std::uintptr_t;

// Some C headers (X11's Xmd.h, glib) define these as macros already.
#ifndef TRUE
inline constexpr BOOL TRUE = 1;
#endif
#ifndef FALSE
inline constexpr BOOL FALSE = 0;
#endif
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;
inline constexpr LCID LOCALE_NEUTRAL = 0;
inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
inline constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

// ---- GUID --------------------------------------------------------------------
struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0;
    std::uint16_t Data3 = 0;
    std::array<std::uint8_t, 8> Data4{};

    friend constexpr bool operator==(const GUID&, const GUID&) = default;
};
using CLSID = GUID;
using IID = GUID;
using REFGUID = const GUID&;
using REFCLSID = const CLSID&;
using REFIID = const IID&;

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};
inline constexpr CLSID CLSID_NULL{};

// Length of the braced text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
inline constexpr std::size_t kGuidTextLength = 38;

namespace detail {
constexpr int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
constexpr bool readHex(std::string_view s, std::size_t pos, std::size_t digits, std::uint64_t& out) {
    out = 0;
    for (std::size_t i = 0; i < digits; ++i) {
        const int v = hexValue(s[pos + i]);
        if (v < 0) return false;
        out = (out << 4) | static_cast<std::uint64_t>(v);
    }
    return true;
}
}  // namespace detail

// Parses the braced form (hex digits of either case), exactly 38 characters,
// as CLSIDFromString does. Anything else answers nothing.
constexpr std::optional<GUID> tryParseGuid(std::string_view text) {
    if (text.size() != kGuidTextLength || text.front() != '{' || text.back() != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-')
        return std::nullopt;
    GUID g;
    std::uint64_t v = 0;
    if (!detail::readHex(text, 1, 8, v)) return std::nullopt;
    g.Data1 = static_cast<std::uint32_t>(v);
    if (!detail::readHex(text, 10, 4, v)) return std::nullopt;
    g.Data2 = static_cast<std::uint16_t>(v);
    if (!detail::readHex(text, 15, 4, v)) return std::nullopt;
    g.Data3 = static_cast<std::uint16_t>(v);
    constexpr std::size_t bytePos[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (std::size_t i = 0; i < 8; ++i) {
        if (!detail::readHex(text, bytePos[i], 2, v)) return std::nullopt;
        g.Data4[i] = static_cast<std::uint8_t>(v);
    }
    return g;
}

// Like tryParseGuid but throws std::invalid_argument; usable for compile-time
// constants: `constexpr CLSID CLSID_X = parseGuid("{...}");` fails to compile
// when the text is malformed.
constexpr GUID parseGuid(std::string_view text) {
    const auto g = tryParseGuid(text);
    if (!g) throw std::invalid_argument("malformed GUID text: " + std::string(text));
    return *g;
}

// The braced, upper-case form: always 38 characters.
std::string formatGuid(const GUID& guid);

inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

// ---- HRESULT -----------------------------------------------------------------
constexpr HRESULT hresultOf(std::uint32_t bits) { return static_cast<HRESULT>(bits); }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr std::uint32_t HRESULT_CODE(HRESULT hr) { return static_cast<std::uint32_t>(hr) & 0xFFFFu; }
constexpr std::uint32_t HRESULT_FACILITY(HRESULT hr) { return (static_cast<std::uint32_t>(hr) >> 16) & 0x1FFFu; }
inline constexpr std::uint32_t FACILITY_WIN32 = 7;
// A Win32 error code as an HRESULT (0x8007xxxx); 0 stays S_OK.
constexpr HRESULT HRESULT_FROM_WIN32(LONG code) {
    return code <= 0 ? code : hresultOf((static_cast<std::uint32_t>(code) & 0xFFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = hresultOf(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = hresultOf(0x80004002);
inline constexpr HRESULT E_POINTER = hresultOf(0x80004003);
inline constexpr HRESULT E_ABORT = hresultOf(0x80004004);
inline constexpr HRESULT E_FAIL = hresultOf(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = hresultOf(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = hresultOf(0x80070005);
inline constexpr HRESULT E_HANDLE = hresultOf(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = hresultOf(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = hresultOf(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = hresultOf(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresultOf(0x80040111);
inline constexpr HRESULT REGDB_E_READREGDB = hresultOf(0x80040150);
inline constexpr HRESULT REGDB_E_WRITEREGDB = hresultOf(0x80040151);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = hresultOf(0x80040154);
inline constexpr HRESULT OLE_E_NOTRUNNING = hresultOf(0x80040005);
inline constexpr HRESULT OLEOBJ_E_NOVERBS = hresultOf(0x80040180);
inline constexpr HRESULT OLEOBJ_E_INVALIDVERB = hresultOf(0x80040181);
inline constexpr HRESULT SELFREG_E_TYPELIB = hresultOf(0x80040200);
inline constexpr HRESULT SELFREG_E_CLASS = hresultOf(0x80040201);
inline constexpr HRESULT CO_E_NOTINITIALIZED = hresultOf(0x800401F0);
inline constexpr HRESULT CO_E_CLASSSTRING = hresultOf(0x800401F3);
inline constexpr HRESULT CO_E_DLLNOTFOUND = hresultOf(0x800401F8);
inline constexpr HRESULT CO_E_ERRORINDLL = hresultOf(0x800401F9);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = hresultOf(0x80020001);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = hresultOf(0x80020003);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = hresultOf(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = hresultOf(0x80020005);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = hresultOf(0x80020006);
inline constexpr HRESULT DISP_E_NONAMEDARGS = hresultOf(0x80020007);
inline constexpr HRESULT DISP_E_BADVARTYPE = hresultOf(0x80020008);
inline constexpr HRESULT DISP_E_EXCEPTION = hresultOf(0x80020009);
inline constexpr HRESULT DISP_E_OVERFLOW = hresultOf(0x8002000A);
inline constexpr HRESULT DISP_E_BADINDEX = hresultOf(0x8002000B);
inline constexpr HRESULT DISP_E_UNKNOWNLCID = hresultOf(0x8002000C);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = hresultOf(0x8002000E);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = hresultOf(0x8002000F);
inline constexpr HRESULT TYPE_E_REGISTRYACCESS = hresultOf(0x8002801C);
inline constexpr HRESULT TYPE_E_LIBNOTREGISTERED = hresultOf(0x8002801D);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = hresultOf(0x8002802B);
inline constexpr HRESULT TYPE_E_CANTLOADLIBRARY = hresultOf(0x80029C4A);
inline constexpr HRESULT STG_E_READFAULT = hresultOf(0x8003001E);
inline constexpr HRESULT STG_E_WRITEFAULT = hresultOf(0x8003001D);
inline constexpr HRESULT STG_E_INVALIDFUNCTION = hresultOf(0x80030001);
inline constexpr HRESULT STG_E_INVALIDPOINTER = hresultOf(0x80030009);

// ---- Win32 error codes (answered by the registry calls) ----------------------
inline constexpr LONG ERROR_SUCCESS = 0;
inline constexpr LONG ERROR_FILE_NOT_FOUND = 2;
inline constexpr LONG ERROR_ACCESS_DENIED = 5;
inline constexpr LONG ERROR_INVALID_HANDLE = 6;
inline constexpr LONG ERROR_OUTOFMEMORY = 14;
inline constexpr LONG ERROR_INVALID_PARAMETER = 87;
inline constexpr LONG ERROR_MOD_NOT_FOUND = 126;
inline constexpr LONG ERROR_PROC_NOT_FOUND = 127;
inline constexpr LONG ERROR_NO_MORE_ITEMS = 259;
inline constexpr LONG ERROR_BADDB = 1009;
inline constexpr LONG ERROR_BADKEY = 1010;
inline constexpr LONG ERROR_CANTOPEN = 1011;
inline constexpr LONG ERROR_CANTREAD = 1012;
inline constexpr LONG ERROR_CANTWRITE = 1013;
inline constexpr LONG ERROR_KEY_DELETED = 1018;

// The system message text for an HRESULT, or for a Win32 error code wrapped
// with HRESULT_FROM_WIN32 (a bare Win32 code such as ERROR_FILE_NOT_FOUND is
// accepted too). Texts are Windows' English ones ("Class not registered",
// "No such interface supported", ...). Unknown codes answer
// "Unknown error 0x8XXXXXXX".
std::string hresultMessage(HRESULT hr);
// "0x80040154" (upper-case hex, 8 digits).
std::string formatHresult(HRESULT hr);

}  // namespace pressmark::platform

template <>
struct std::hash<pressmark::platform::GUID> {
    std::size_t operator()(const pressmark::platform::GUID& g) const noexcept {
        std::uint64_t h = g.Data1;
        h = h * 1000003u ^ g.Data2;
        h = h * 1000003u ^ g.Data3;
        for (auto b : g.Data4) h = h * 1000003u ^ b;
        return static_cast<std::size_t>(h);
    }
};
