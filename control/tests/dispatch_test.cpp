// The control's IDispatch as a host sees it: the DISPIDs and names of _DSlideport, argument
// checking and conversion, result types, and its type information.
#include <string>
#include <vector>

#include "slideport_fixture.h"

namespace pressmark::control::testing {
namespace {

using namespace pressmark::platform;

class DispatchTest : public SlideportFixture {};

TEST_F(DispatchTest, NamesResolveToTheHostsDispids) {
  struct Case {
    const char16_t* name;
    DISPID dispid;
  };
  const Case cases[] = {
      {u"Next", 2},          {u"Previous", 3},   {u"GetCurrentSlideNo", 4}, {u"Export", 5},
      {u"InitControl", 6},   {u"LoadFile", 7},   {u"GetSlideCount", 8},     {u"Quit", 9},
      {u"AboutBox", -552},   {u"loadfile", 7},   {u"EXPORT", 5},
  };
  for (const Case& c : cases) {
    LPCOLESTR names[] = {c.name};
    DISPID dispid = 0;
    EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, names, 1, 0, &dispid), S_OK)
        << utf16ToUtf8(c.name);
    EXPECT_EQ(dispid, c.dispid) << utf16ToUtf8(c.name);
  }
  LPCOLESTR unknown[] = {u"Open"};
  DISPID dispid = 0;
  EXPECT_EQ(control_->GetIDsOfNames(IID_NULL, unknown, 1, 0, &dispid), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(dispid, DISPID_UNKNOWN);
}

TEST_F(DispatchTest, TypeInformationDescribesTheDispatchInterface) {
  UINT count = 0;
  ASSERT_EQ(control_->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(control_->GetTypeInfo(0, 0, info.put()), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->guid, DIID__DSlideport);
  EXPECT_EQ(attributes->typekind, TKIND_DISPATCH);
  EXPECT_EQ(attributes->cFuncs, 9);
  info->ReleaseTypeAttr(attributes);

  // The control answers its dispinterface's IID with the same IDispatch.
  ComPtr<IDispatch> dispinterface;
  ASSERT_EQ(control_.queryAs(DIID__DSlideport, &dispinterface), S_OK);
  EXPECT_EQ(dispinterface.get(), control_.get());

  ComPtr<IProvideClassInfo> classInfo = control_.query<IProvideClassInfo>();
  ASSERT_TRUE(classInfo);
  ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(classInfo->GetClassInfo(coclass.put()), S_OK);
  ASSERT_EQ(coclass->GetTypeAttr(&attributes), S_OK);
  EXPECT_EQ(attributes->guid, CLSID_Slideport);
  EXPECT_EQ(attributes->typekind, TKIND_COCLASS);
  coclass->ReleaseTypeAttr(attributes);
}

TEST_F(DispatchTest, ExportWithFourArgumentsIsABadParameterCount) {
  ASSERT_EQ(ok(dispidInitControl).boolVal, VARIANT_TRUE);
  takeLog();
  const CallResult result =
      call(dispidExport, {bstr("talk.ppt"), bstr("/out/"), bstr("BMP"), i2(800)});
  EXPECT_EQ(result.hr, DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(takeLog(), std::vector<std::string>{}) << "nothing may reach the application";
}

TEST_F(DispatchTest, ArgumentsAreConvertedOrRejectedWithTheirIndex) {
  ASSERT_EQ(ok(dispidInitControl).boolVal, VARIANT_TRUE);
  takeLog();
  // Sizes given as 32-bit integers or numeric text convert to short.
  EXPECT_EQ(ok(dispidExport, {bstr("a.ppt"), bstr("/o/"), bstr("BMP"), Variant(LONG{800}),
                              bstr("600")})
                .boolVal,
            VARIANT_TRUE);
  takeLog();
  struct Case {
    const char* name;
    std::vector<Variant> args;
    UINT argErr;  // index in rgvarg: the last argument is 0
  };
  const std::vector<Case> cases = {
      {"width not a number", {bstr("a.ppt"), bstr("/o/"), bstr("BMP"), bstr("wide"), i2(600)}, 1},
      {"height out of range", {bstr("a.ppt"), bstr("/o/"), bstr("BMP"), i2(800), Variant(LONG{70000})}, 0},
      {"folder an object", {bstr("a.ppt"), Variant(static_cast<IDispatch*>(nullptr)), bstr("BMP"), i2(800), i2(600)}, 3},
  };
  for (const Case& c : cases) {
    const CallResult result = call(dispidExport, c.args);
    EXPECT_EQ(result.hr, DISP_E_TYPEMISMATCH) << c.name;
    EXPECT_EQ(result.argErr, c.argErr) << c.name;
    EXPECT_EQ(takeLog(), std::vector<std::string>{}) << c.name;
  }
}

TEST_F(DispatchTest, UnknownDispidsAreNotMembers) {
  for (DISPID dispid : {1, 0, 10, -551}) {
    EXPECT_EQ(call(dispid).hr, DISP_E_MEMBERNOTFOUND) << dispid;
  }
}

TEST_F(DispatchTest, NonAsciiPathsReachTheApplicationIntact) {
  ASSERT_EQ(ok(dispidInitControl).boolVal, VARIANT_TRUE);
  takeLog();
  ok(dispidLoadFile, {Variant(std::u16string_view(u"/tmp/Präsentation \u00e9t\u00e9.ppt"))});
  const std::vector<std::string> lines = takeLog();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[2],
            "Presentations#1.2005 method(BSTR \"/tmp/Präsentation été.ppt\", I4 0, I4 0, I4 0) "
            "-> result");
}

}  // namespace
}  // namespace pressmark::control::testing
