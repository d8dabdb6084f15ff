// GUID text form, HRESULT texts, BSTR and UTF-8/UTF-16 conversion.
#include <gtest/gtest.h>

#include <cstring>

#include "pressmark/platform/com.h"

using namespace pressmark::platform;

namespace {

TEST(Guid, FormatsBracedUpperCaseAndParsesBack) {
    // Data4 bytes print in memory order: the classic IDispatch IID.
    constexpr GUID dispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
    EXPECT_EQ(formatGuid(dispatch), "{00020400-0000-0000-C000-000000000046}");
    EXPECT_EQ(IID_IDispatch, dispatch);

    const GUID g = parseGuid("{3f7a2c91-5b6e-4d08-9a1c-7e2b4d6f8a13}");
    EXPECT_EQ(g.Data1, 0x3F7A2C91u);
    EXPECT_EQ(g.Data2, 0x5B6Eu);
    EXPECT_EQ(g.Data3, 0x4D08u);
    EXPECT_EQ(g.Data4[0], 0x9A);
    EXPECT_EQ(g.Data4[7], 0x13);
    EXPECT_EQ(formatGuid(g), "{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}");
    EXPECT_EQ(formatGuid(g).size(), 38u);
    EXPECT_EQ(formatGuid(GUID_NULL), "{00000000-0000-0000-0000-000000000000}");

    // Usable at compile time for the modules' constants.
    static_assert(parseGuid("{00000001-0000-0000-C000-000000000046}") == IID_IClassFactory);

    OLECHAR wide[39];
    ASSERT_EQ(StringFromGUID2(g, wide, 39), 39);
    EXPECT_EQ(std::u16string(wide), u"{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}");
    EXPECT_EQ(StringFromGUID2(g, wide, 38), 0) << "a buffer without room for the NUL is refused";
}

TEST(Guid, RejectsMalformedText) {
    const struct {
        const char* name;
        const char* text;
    } cases[] = {
        {"empty", ""},
        {"no braces", "3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13"},
        {"missing closing brace", "{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13"},
        {"one digit short", "{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A1}"},
        {"one digit long", "{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A133}"},
        {"hyphen moved", "{3F7A2C9-15B6E-4D08-9A1C-7E2B4D6F8A13}"},
        {"non-hex digit", "{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A1G}"},
        {"blank inside", "{3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F 8A1}"},
        {"sign inside", "{+F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13}"},
        {"parentheses", "(3F7A2C91-5B6E-4D08-9A1C-7E2B4D6F8A13)"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(tryParseGuid(c.text).has_value()) << c.name;
        EXPECT_THROW(parseGuid(c.text), std::invalid_argument) << c.name;
        if (c.text[0] == '{') {  // without a brace CLSIDFromString would look for a ProgID
            CLSID clsid;
            EXPECT_EQ(CLSIDFromString(c.text, &clsid), CO_E_CLASSSTRING) << c.name;
        }
    }
}

TEST(Hresult, ValuesAndSystemTextsAreWindows) {
    // Values and English texts as Windows' winerror.h / FormatMessage give them.
    const struct {
        HRESULT hr;
        std::uint32_t bits;
        const char* text;
    } cases[] = {
        {REGDB_E_CLASSNOTREG, 0x80040154, "Class not registered"},
        {E_NOINTERFACE, 0x80004002, "No such interface supported"},
        {E_FAIL, 0x80004005, "Unspecified error"},
        {DISP_E_EXCEPTION, 0x80020009, "Exception occurred."},
        {DISP_E_BADPARAMCOUNT, 0x8002000E, "Invalid number of parameters."},
        {DISP_E_TYPEMISMATCH, 0x80020005, "Type mismatch."},
        {DISP_E_MEMBERNOTFOUND, 0x80020003, "Member not found."},
        {E_INVALIDARG, 0x80070057, "The parameter is incorrect."},
        {CLASS_E_CLASSNOTAVAILABLE, 0x80040111, "ClassFactory cannot supply requested class"},
        {HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), 0x80070002, "The system cannot find the file specified."},
        {SELFREG_E_TYPELIB, 0x80040200, nullptr},
        {SELFREG_E_CLASS, 0x80040201, nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(static_cast<std::uint32_t>(c.hr), c.bits) << formatHresult(c.hr);
        EXPECT_TRUE(FAILED(c.hr));
        if (c.text) {
            EXPECT_EQ(hresultMessage(c.hr), c.text) << formatHresult(c.hr);
        }
    }
    EXPECT_EQ(hresultMessage(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.")
        << "a bare Win32 code reads like its HRESULT form";
    EXPECT_EQ(hresultMessage(hresultOf(0x80041234)), "Unknown error 0x80041234");
    EXPECT_TRUE(SUCCEEDED(S_FALSE));
    EXPECT_EQ(formatHresult(REGDB_E_CLASSNOTREG), "0x80040154");
}

TEST(Bstr, KeepsLengthPrefixEmbeddedNulAndNullMeaningEmpty) {
    const char16_t text[] = {u'a', u'\0', u'b'};
    BSTR s = SysAllocStringLen(text, 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(SysStringByteLen(s), 6u);
    // The prefix holds the byte count, the string is NUL-terminated.
    std::uint32_t prefix;
    std::memcpy(&prefix, reinterpret_cast<const char*>(s) - 4, 4);
    EXPECT_EQ(prefix, 6u);
    EXPECT_EQ(s[3], u'\0');
    SysFreeString(s);

    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(bstrToUtf8(nullptr), "");
    SysFreeString(nullptr);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr) << "an empty string is not a null BSTR";
    EXPECT_EQ(SysStringLen(empty), 0u);
    EXPECT_TRUE(SysReAllocString(&empty, u"xyz"));
    EXPECT_EQ(bstrView(empty), u"xyz");
    SysFreeString(empty);

    BStr a("Präsentation");
    BStr b = a;  // deep copy
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(a, b);
    BSTR taken = b.detach();
    EXPECT_EQ(b.get(), nullptr);
    BStr c = BStr::attach(taken);
    EXPECT_EQ(c.utf8(), "Präsentation");
}

TEST(Bstr, Utf8AndUtf16RoundTripIncludingNonBmp) {
    const struct {
        const char* name;
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"ascii", "C:/Temp/deck.ppt", u"C:/Temp/deck.ppt"},
        {"latin", "Übersicht é", u"\u00DCbersicht \u00E9"},
        {"cjk", "幻灯片", u"\u5E7B\u706F\u7247"},
        {"non-BMP emoji as a surrogate pair", "a\xF0\x9F\x98\x80z", u"a\xD83D\xDE00z"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
        {"empty", "", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.name;
        EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8) << c.name;
        BStr b(c.utf8);
        EXPECT_EQ(b.view(), c.utf16) << c.name;
        EXPECT_EQ(b.utf8(), c.utf8) << c.name;
    }
}

TEST(Bstr, MalformedInputBecomesReplacementCharacters) {
    const struct {
        const char* name;
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"stray continuation byte", "a\x80z", u"a\uFFFDz"},
        {"truncated sequence at the end", "a\xE2\x82", u"a\uFFFD\uFFFD"},
        {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.name;
    EXPECT_EQ(utf16ToUtf8(u"a\xD800z"), "a\xEF\xBF\xBDz") << "lone high surrogate";
    EXPECT_EQ(utf16ToUtf8(u"\xDC00"), "\xEF\xBF\xBD") << "lone low surrogate";
}

}  // namespace
