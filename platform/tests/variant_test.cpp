// VariantChangeType and the ownership rules of VARIANT.
#include <gtest/gtest.h>

#include "pressmark/platform/com.h"

using namespace pressmark::platform;

namespace {

// A dispatch object that only counts references.
class Counted final : public ComObject<IDispatch> {
public:
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPCOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
};

Variant bstr(const char* text) { return Variant(std::string_view(text)); }

TEST(VariantChangeType, ConvertsLikeWindows) {
    SHORT shortValue = 7;
    Variant byRef;
    byRef.vt = VT_I2 | VT_BYREF;
    byRef.piVal = &shortValue;

    // Expected values are Windows' documented results (rounding half to even,
    // VARIANT_TRUE = -1, "-1"/"0" for booleans without VARIANT_ALPHABOOL).
    const struct {
        const char* name;
        Variant from;
        VARTYPE to;
        USHORT flags;
        HRESULT hr;
        Variant expected;
    } cases[] = {
        {"I4 to I2", Variant(LONG{-1234}), VT_I2, 0, S_OK, Variant(SHORT{-1234})},
        {"I4 too large for I2", Variant(LONG{40000}), VT_I2, 0, DISP_E_OVERFLOW, {}},
        {"I2 to I4", Variant(SHORT{-5}), VT_I4, 0, S_OK, Variant(LONG{-5})},
        {"I2 by reference to I4", byRef, VT_I4, 0, S_OK, Variant(LONG{7})},
        {"BSTR number to I2", bstr(" 800 "), VT_I2, 0, S_OK, Variant(SHORT{800})},
        {"BSTR half rounds to even", bstr("2.5"), VT_I2, 0, S_OK, Variant(SHORT{2})},
        {"BSTR negative half rounds to even", bstr("-3.5"), VT_I4, 0, S_OK, Variant(LONG{-4})},
        {"BSTR with exponent", bstr("1e3"), VT_I4, 0, S_OK, Variant(LONG{1000})},
        {"BSTR text to I4", bstr("abc"), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"BSTR empty to I4", bstr(""), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"BSTR number with trailing text", bstr("12px"), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"BSTR too large for I2", bstr("70000"), VT_I2, 0, DISP_E_OVERFLOW, {}},
        {"BSTR True to BOOL", bstr("true"), VT_BOOL, 0, S_OK, Variant::boolean(true)},
        {"BSTR False to BOOL", bstr("FALSE"), VT_BOOL, 0, S_OK, Variant::boolean(false)},
        {"BSTR number to BOOL", bstr("2"), VT_BOOL, 0, S_OK, Variant::boolean(true)},
        {"BOOL true to I2", Variant::boolean(true), VT_I2, 0, S_OK, Variant(SHORT{-1})},
        {"BOOL to BSTR", Variant::boolean(true), VT_BSTR, 0, S_OK, bstr("-1")},
        {"BOOL to BSTR alpha", Variant::boolean(false), VT_BSTR, VARIANT_ALPHABOOL, S_OK, bstr("False")},
        {"I4 to BOOL", Variant(LONG{0}), VT_BOOL, 0, S_OK, Variant::boolean(false)},
        {"I2 to BSTR", Variant(SHORT{-600}), VT_BSTR, 0, S_OK, bstr("-600")},
        {"R8 to I4 rounds half to even", Variant(3.5), VT_I4, 0, S_OK, Variant(LONG{4})},
        {"R8 to BSTR", Variant(0.25), VT_BSTR, 0, S_OK, bstr("0.25")},
        {"EMPTY to I4", Variant(), VT_I4, 0, S_OK, Variant(LONG{0})},
        {"EMPTY to BSTR", Variant(), VT_BSTR, 0, S_OK, bstr("")},
        {"NULL to I4", Variant::null(), VT_I4, 0, DISP_E_TYPEMISMATCH, {}},
        {"NULL to BSTR", Variant::null(), VT_BSTR, 0, DISP_E_TYPEMISMATCH, {}},
        {"I4 to DISPATCH", Variant(LONG{1}), VT_DISPATCH, 0, DISP_E_TYPEMISMATCH, {}},
        {"to an unknown type", Variant(LONG{1}), 99, 0, DISP_E_BADVARTYPE, {}},
    };
    for (const auto& c : cases) {
        Variant out = Variant::error(12345);  // must stay untouched on failure
        EXPECT_EQ(VariantChangeType(&out, &c.from, c.flags, c.to), c.hr) << c.name;
        if (FAILED(c.hr)) {
            EXPECT_EQ(out.vt, VT_ERROR) << c.name;
            EXPECT_EQ(out.scode, 12345) << c.name;
            continue;
        }
        ASSERT_EQ(out.vt, c.expected.vt) << c.name;
        switch (out.vt) {
            case VT_I2: EXPECT_EQ(out.iVal, c.expected.iVal) << c.name; break;
            case VT_I4: EXPECT_EQ(out.lVal, c.expected.lVal) << c.name; break;
            case VT_BOOL: EXPECT_EQ(out.boolVal, c.expected.boolVal) << c.name; break;
            case VT_BSTR: EXPECT_EQ(bstrView(out.bstrVal), bstrView(c.expected.bstrVal)) << c.name; break;
            default: FAIL() << c.name << ": unexpected type " << out.vt;
        }
    }
}

TEST(VariantChangeType, ConvertsInPlaceAndFreesTheOldString) {
    Variant v = bstr("-42");
    ASSERT_EQ(VariantChangeType(&v, &v, 0, VT_I2), S_OK);  // the BSTR must be freed (LSan checks)
    EXPECT_EQ(v.vt, VT_I2);
    EXPECT_EQ(v.iVal, -42);
}

TEST(Variant, CopyClearAndInterfaceReferences) {
    ComPtr<Counted> object = makeObject<Counted>();
    {
        Variant a(static_cast<IDispatch*>(object.get()));
        EXPECT_EQ(object->refCount(), 2u);
        Variant b = a;
        EXPECT_EQ(object->refCount(), 3u);
        Variant asUnknown;
        ASSERT_EQ(VariantChangeType(&asUnknown, &a, 0, VT_UNKNOWN), S_OK);
        EXPECT_EQ(object->refCount(), 4u);
        Variant back;
        ASSERT_EQ(VariantChangeType(&back, &asUnknown, 0, VT_DISPATCH), S_OK);
        EXPECT_EQ(back.pdispVal, static_cast<IDispatch*>(object.get()));
        EXPECT_EQ(object->refCount(), 5u);
        b.clear();
        EXPECT_EQ(object->refCount(), 4u);
    }
    EXPECT_EQ(object->refCount(), 1u) << "every VARIANT released its reference";

    Variant s = bstr("slide");
    Variant t = s;
    EXPECT_NE(s.bstrVal, t.bstrVal) << "a copied BSTR is a new string";
    EXPECT_EQ(bstrView(t.bstrVal), u"slide");

    // A by-reference VARIANT does not own what it points to.
    BSTR owned = SysAllocString(u"owned");
    VARIANT ref;
    VariantInit(&ref);
    ref.vt = VT_BSTR | VT_BYREF;
    ref.pbstrVal = &owned;
    Variant value;
    ASSERT_EQ(VariantCopyInd(&value, &ref), S_OK);
    EXPECT_EQ(value.vt, VT_BSTR);
    EXPECT_EQ(VariantClear(&ref), S_OK);
    EXPECT_EQ(bstrView(owned), u"owned");
    SysFreeString(owned);

    VARIANT bad;
    VariantInit(&bad);
    bad.vt = 77;
    EXPECT_EQ(VariantClear(&bad), DISP_E_BADVARTYPE);
}

TEST(Variant, ConvertingAccessorsThrowAutomationError) {
    EXPECT_EQ(bstr("12").toShort(), 12);
    EXPECT_TRUE(Variant(LONG{3}).toBool());
    EXPECT_EQ(Variant::boolean(true).toUtf8(), "True");
    try {
        (void)bstr("twelve").toLong();
        FAIL() << "no exception";
    } catch (const AutomationError& e) {
        EXPECT_EQ(e.hresult(), DISP_E_TYPEMISMATCH);
        EXPECT_STREQ(e.what(), "Type mismatch.");
    }
}

TEST(ExcepInfo, ClearFreesStringsAndRunsDeferredFillIn) {
    ExcepInfo info;
    info.pfnDeferredFillIn = [](EXCEPINFO* e) -> HRESULT {
        e->bstrDescription = SysAllocString(u"filled later");
        e->scode = E_FAIL;
        return S_OK;
    };
    const AutomationError error = AutomationError::fromExcepInfo(info);
    EXPECT_EQ(error.description(), "filled later");
    EXPECT_EQ(error.hresult(), E_FAIL);
    EXPECT_EQ(info.pfnDeferredFillIn, nullptr);
}

}  // namespace
