// The calls the control makes into the presentation application, checked against the log of
// the test application: which objects, which DISPIDs, which kinds and arguments, in which
// order, and what the host gets back when the application fails.
#include <string>
#include <vector>

#include "slideport_fixture.h"

namespace pressmark::control::testing {
namespace {

using namespace pressmark::platform;
using Lines = std::vector<std::string>;

constexpr HRESULT RPC_E_DISCONNECTED = hresultOf(0x80010108);

const Lines kLoadTalkPpt = {
    "Application#1.2001 get() -> result",
    "create Presentations#1",
    "Presentations#1.2005 method(BSTR \"talk.ppt\", I4 0, I4 0, I4 0) -> result",
    "create Presentation#1",
    "Presentation#1.2015 get() -> result",
    "create SlideShowSettings#1",
    "SlideShowSettings#1.2010 put(named -3 I4 1)",
    "SlideShowSettings#1.2008 method() -> result",
    "create SlideShowWindow#1",
};

class AutomationTest : public SlideportFixture {
 protected:
  void initControl() {
    ASSERT_EQ(ok(dispidInitControl).boolVal, VARIANT_TRUE);
    ASSERT_EQ(takeLog(), Lines{"create Application#1"});
  }
  void loadTalk() {
    ASSERT_EQ(ok(dispidLoadFile, {bstr("talk.ppt")}).boolVal, VARIANT_TRUE);
  }
};

TEST_F(AutomationTest, InitControlTwiceCreatesOneApplication) {
  const Variant first = ok(dispidInitControl);
  EXPECT_EQ(first.vt, VT_BOOL);
  EXPECT_EQ(first.boolVal, VARIANT_TRUE);
  EXPECT_EQ(ok(dispidInitControl).boolVal, VARIANT_TRUE);
  EXPECT_EQ(takeLog(), Lines{"create Application#1"});
}

TEST_F(AutomationTest, InitControlFailureIsFalseWithoutError) {
  log_->refuseCreation = true;
  EXPECT_EQ(ok(dispidInitControl).boolVal, VARIANT_FALSE);
  ASSERT_EQ(unregisterModule(FAKE_APP_MODULE_PATH), S_OK);
  log_->refuseCreation = false;
  EXPECT_EQ(ok(dispidInitControl).boolVal, VARIANT_FALSE) << "ProgID not registered";
  ASSERT_EQ(registerModule(FAKE_APP_MODULE_PATH), S_OK);
  EXPECT_EQ(ok(dispidInitControl).boolVal, VARIANT_TRUE);
  EXPECT_EQ(takeLog(), Lines{"create Application#1"});
}

TEST_F(AutomationTest, EveryOperationBeforeInitControlCallsNothing) {
  struct Case {
    const char* name;
    DISPID dispid;
    std::vector<Variant> args;
    VARTYPE resultType;
  };
  const std::vector<Case> cases = {
      {"LoadFile", dispidLoadFile, {bstr("talk.ppt")}, VT_BOOL},
      {"Export", dispidExport, {bstr("talk.ppt"), bstr("/tmp/"), bstr("BMP"), i2(800), i2(600)},
       VT_BOOL},
      {"Next", dispidNext, {}, VT_EMPTY},
      {"Previous", dispidPrevious, {}, VT_EMPTY},
      {"GetCurrentSlideNo", dispidGetCurrentSlideNo, {}, VT_I2},
      {"GetSlideCount", dispidGetSlideCount, {}, VT_I2},
      {"Quit", dispidQuit, {}, VT_EMPTY},
  };
  for (const Case& c : cases) {
    const Variant result = ok(c.dispid, c.args);
    EXPECT_EQ(result.vt, c.resultType) << c.name;
    if (result.vt == VT_BOOL) {
      EXPECT_EQ(result.boolVal, VARIANT_FALSE) << c.name;
    }
    if (result.vt == VT_I2) {
      EXPECT_EQ(result.iVal, 0) << c.name;
    }
    EXPECT_EQ(takeLog(), Lines{}) << c.name;
  }
}

TEST_F(AutomationTest, LoadFileOpensRunsAndShowsThePresentation) {
  initControl();
  loadTalk();
  EXPECT_EQ(takeLog(), kLoadTalkPpt);
}

TEST_F(AutomationTest, LoadFileLooksOnlyAtTheLastThreeCharacters) {
  struct Case {
    const char* name;
    bool accepted;
  };
  const Case cases[] = {
      {"talk.ppt", true}, {"TALK.PPS", true},  {"deck.pps", true}, {"DECK.PPT", true},
      {"notappt", true},  {"ppt", true},       {"talk.Ppt", false}, {"talk.pptx", false},
      {"pp", false},      {"talk.pPS", false}, {"", false},
  };
  initControl();
  for (const Case& c : cases) {
    EXPECT_EQ(ok(dispidLoadFile, {bstr(c.name)}).boolVal, c.accepted ? VARIANT_TRUE : VARIANT_FALSE)
        << c.name;
    const Lines lines = takeLog();
    bool opened = false;
    for (const std::string& line : lines) {
      if (line.find(".2005 method(BSTR \"" + std::string(c.name) + "\"") != std::string::npos) {
        opened = true;
      }
    }
    EXPECT_EQ(opened, c.accepted) << c.name;
    if (!c.accepted) {
      EXPECT_EQ(lines, Lines{}) << c.name;
    }
  }
}

TEST_F(AutomationTest, ExportOpensAndExportsWithSignWidenedSizes) {
  initControl();
  EXPECT_EQ(ok(dispidExport, {bstr("any name.odp"), bstr("/out/talk/"), bstr("BMP"), i2(800),
                              i2(-2)})
                .boolVal,
            VARIANT_TRUE);
  EXPECT_EQ(takeLog(), (Lines{
                           "Application#1.2001 get() -> result",
                           "create Presentations#1",
                           "Presentations#1.2005 method(BSTR \"any name.odp\", I4 0, I4 0, I4 0) "
                           "-> result",
                           "create Presentation#1",
                           "Presentation#1.2038 method(BSTR \"/out/talk/\", BSTR \"BMP\", I4 800, "
                           "I4 -2)",
                       }));
}

TEST_F(AutomationTest, ExportLeavesTheEarlierPresentationOpenAndCountsTheNewOne) {
  initControl();
  loadTalk();
  takeLog();
  log_->slideCount = 7;
  EXPECT_EQ(ok(dispidExport, {bstr("other.ppt"), bstr("/out/"), bstr("BMP"), i2(800), i2(600)})
                .boolVal,
            VARIANT_TRUE);
  EXPECT_EQ(takeLog(), (Lines{
                           "Application#1.2001 get() -> result",
                           "create Presentations#2",
                           "release Presentations#1",
                           "Presentations#2.2005 method(BSTR \"other.ppt\", I4 0, I4 0, I4 0) -> "
                           "result",
                           "create Presentation#2",
                           "release Presentation#1",
                           "Presentation#2.2038 method(BSTR \"/out/\", BSTR \"BMP\", I4 800, I4 600)",
                       }))
      << "the earlier presentation is released, never closed";
  const Variant count = ok(dispidGetSlideCount);
  EXPECT_EQ(count.vt, VT_I2);
  EXPECT_EQ(count.iVal, 7);
  EXPECT_EQ(takeLog(), (Lines{"Presentation#2.2011 get() -> result", "create Slides#1",
                              "Slides#1.11 get() -> result"}));
  // The show of the LoadFile keeps running and stays the one Next acts on.
  ok(dispidNext);
  EXPECT_EQ(takeLog(), (Lines{"SlideShowWindow#1.2003 get() -> result", "create SlideShowView#1",
                              "SlideShowView#1.2019 method()"}));
}

TEST_F(AutomationTest, ShowNavigationFetchesTheViewEachTime) {
  initControl();
  loadTalk();
  takeLog();
  ok(dispidNext);
  ok(dispidPrevious);
  log_->showPosition = 0x12345;  // only the low 16 bits reach the host
  const Variant position = ok(dispidGetCurrentSlideNo);
  EXPECT_EQ(position.vt, VT_I2);
  EXPECT_EQ(position.iVal, 0x2345);
  EXPECT_EQ(takeLog(), (Lines{
                           "SlideShowWindow#1.2003 get() -> result",
                           "create SlideShowView#1",
                           "SlideShowView#1.2019 method()",
                           "SlideShowWindow#1.2003 get() -> result",
                           "create SlideShowView#2",
                           "release SlideShowView#1",
                           "SlideShowView#2.2020 method()",
                           "SlideShowWindow#1.2003 get() -> result",
                           "create SlideShowView#3",
                           "release SlideShowView#2",
                           "SlideShowView#3.2027 get() -> result",
                       }));
}

TEST_F(AutomationTest, ShowNavigationWithoutAShowDoesNothing) {
  initControl();
  ok(dispidExport, {bstr("talk.ppt"), bstr("/out/"), bstr("BMP"), i2(800), i2(600)});
  takeLog();
  ok(dispidNext);
  ok(dispidPrevious);
  EXPECT_EQ(ok(dispidGetCurrentSlideNo).iVal, 0);
  EXPECT_EQ(takeLog(), Lines{});
}

TEST_F(AutomationTest, SlideCountKeepsTheLowSixteenBits) {
  initControl();
  EXPECT_EQ(ok(dispidGetSlideCount).iVal, 0) << "no presentation yet";
  loadTalk();
  log_->slideCount = 65537;
  EXPECT_EQ(ok(dispidGetSlideCount).iVal, 1);
}

TEST_F(AutomationTest, QuitClosesThenQuitsAndASecondQuitDoesNothing) {
  initControl();
  loadTalk();
  takeLog();
  ok(dispidQuit);
  EXPECT_EQ(takeLog(), (Lines{"Presentation#1.2039 method()", "Application#1.2021 method()",
                              "release Application#1"}));
  ok(dispidQuit);
  EXPECT_EQ(ok(dispidGetSlideCount).iVal, 0);
  EXPECT_EQ(takeLog(), Lines{});
}

TEST_F(AutomationTest, QuitWithoutPresentationOnlyQuits) {
  initControl();
  ok(dispidQuit);
  EXPECT_EQ(takeLog(), (Lines{"Application#1.2021 method()", "release Application#1"}));
}

TEST_F(AutomationTest, FailingCloseInQuitKeepsTheApplication) {
  initControl();
  loadTalk();
  takeLog();
  log_->failOnce("Presentation.2039", {.result = DISP_E_EXCEPTION,
                                       .code = 1001,
                                       .source = "Presentation application",
                                       .description = "The presentation cannot be closed.",
                                       .helpFile = "app.hlp",
                                       .helpContext = 42,
                                       .scode = hresultOf(0x80048240)});
  const CallResult quit = call(dispidQuit);
  EXPECT_EQ(quit.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(quit.code, 1001);
  EXPECT_EQ(quit.source, "Presentation application");
  EXPECT_EQ(quit.description, "The presentation cannot be closed.");
  EXPECT_EQ(quit.helpFile, "app.hlp");
  EXPECT_EQ(quit.helpContext, 42u);
  EXPECT_EQ(quit.scode, hresultOf(0x80048240));
  EXPECT_EQ(takeLog(), Lines{"Presentation#1.2039 method()"}) << "Quit must not be sent";
  // The application is still held: the next Quit goes through.
  ok(dispidQuit);
  EXPECT_EQ(takeLog(), (Lines{"Presentation#1.2039 method()", "Application#1.2021 method()",
                              "release Application#1"}));
}

TEST_F(AutomationTest, ApplicationFailuresReachTheHostUnchanged) {
  struct Case {
    const char* name;
    const char* member;
    bool deferred;
  };
  const Case cases[] = {
      {"Presentations getter", "Application.2001", false},
      {"Open", "Presentations.2005", true},
      {"SlideShowSettings getter", "Presentation.2015", false},
      {"ShowType put", "SlideShowSettings.2010", true},
      {"Run", "SlideShowSettings.2008", false},
  };
  initControl();
  for (const Case& c : cases) {
    log_->failOnce(c.member, {.result = DISP_E_EXCEPTION,
                              .code = 7,
                              .source = "Fake",
                              .description = std::string("failed: ") + c.name,
                              .helpFile = "fake.hlp",
                              .helpContext = 3,
                              .scode = E_ACCESSDENIED,
                              .deferred = c.deferred});
    const CallResult load = call(dispidLoadFile, {bstr("talk.ppt")});
    EXPECT_EQ(load.hr, DISP_E_EXCEPTION) << c.name;
    EXPECT_EQ(load.code, 7) << c.name;
    EXPECT_EQ(load.source, "Fake") << c.name;
    EXPECT_EQ(load.description, std::string("failed: ") + c.name);
    EXPECT_EQ(load.helpFile, "fake.hlp") << c.name;
    EXPECT_EQ(load.helpContext, 3u) << c.name;
    EXPECT_EQ(load.scode, E_ACCESSDENIED) << c.name;
  }
}

TEST_F(AutomationTest, UndescribedFailureNamesTheCall) {
  initControl();
  log_->failOnce("Presentation.2038", {.result = E_FAIL});
  const CallResult exported =
      call(dispidExport, {bstr("talk.ppt"), bstr("/out/"), bstr("BMP"), i2(800), i2(600)});
  EXPECT_EQ(exported.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(exported.scode, E_FAIL);
  EXPECT_EQ(exported.source, "Slideport");
  EXPECT_NE(exported.description.find("Presentation.Export"), std::string::npos)
      << exported.description;
}

TEST_F(AutomationTest, FailedOpenKeepsTheEarlierPresentation) {
  initControl();
  loadTalk();
  log_->failOnce("Presentations.2005", {.result = E_FAIL});
  EXPECT_EQ(call(dispidLoadFile, {bstr("missing.ppt")}).hr, DISP_E_EXCEPTION);
  takeLog();
  ok(dispidGetSlideCount);
  const Lines lines = takeLog();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.front(), "Presentation#1.2011 get() -> result");
}

TEST_F(AutomationTest, OpenAnsweringNoPresentationIsAnError) {
  initControl();
  log_->openAnswersNothing = true;
  const CallResult load = call(dispidLoadFile, {bstr("talk.ppt")});
  EXPECT_EQ(load.hr, DISP_E_EXCEPTION);
  EXPECT_EQ(load.scode, E_POINTER);
  EXPECT_NE(load.description.find("Presentation.SlideShowSettings"), std::string::npos)
      << load.description;
}

TEST_F(AutomationTest, ShowOfAnEndedApplicationFails) {
  initControl();
  loadTalk();
  ok(dispidQuit);
  ASSERT_EQ(ok(dispidInitControl).boolVal, VARIANT_TRUE);
  takeLog();
  for (DISPID dispid : {dispidNext, dispidPrevious, dispidGetCurrentSlideNo}) {
    const CallResult result = call(dispid);
    EXPECT_EQ(result.hr, DISP_E_EXCEPTION) << dispid;
    EXPECT_EQ(result.scode, RPC_E_DISCONNECTED) << dispid;
    EXPECT_NE(result.description.find("SlideShowWindow.View"), std::string::npos)
        << result.description;
  }
  EXPECT_EQ(takeLog(), (Lines{"SlideShowWindow#1.2003 get() -> result",
                              "SlideShowWindow#1.2003 get() -> result",
                              "SlideShowWindow#1.2003 get() -> result"}));
}

TEST_F(AutomationTest, DestroyingTheControlReleasesInObjectModelOrder) {
  initControl();
  loadTalk();
  ok(dispidNext);
  ok(dispidGetSlideCount);
  takeLog();
  control_.reset();
  EXPECT_EQ(takeLog(), (Lines{"release Slides#1", "release SlideShowView#1",
                              "release SlideShowWindow#1", "release SlideShowSettings#1",
                              "release Presentation#1", "release Presentations#1",
                              "release Application#1"}));
}

TEST_F(AutomationTest, WindowDestructionClosesThePresentationOnly) {
  ComPtr<IOleObject> object = control_.query<IOleObject>();
  ASSERT_TRUE(object);
  // No host window: the control is active without a window of its own.
  ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, 0, 0, nullptr), S_OK);
  initControl();
  loadTalk();
  takeLog();
  ComPtr<IOleInPlaceObject> inPlace = control_.query<IOleInPlaceObject>();
  ASSERT_EQ(inPlace->InPlaceDeactivate(), S_OK);
  EXPECT_EQ(takeLog(), Lines{"Presentation#1.2039 method()"}) << "the application keeps running";
  ASSERT_EQ(inPlace->InPlaceDeactivate(), S_OK);
  EXPECT_EQ(takeLog(), Lines{}) << "a window goes only once";
}

TEST_F(AutomationTest, WindowDestructionWithoutPresentationCallsNothing) {
  ComPtr<IOleObject> object = control_.query<IOleObject>();
  ASSERT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, 0, 0, nullptr), S_OK);
  initControl();
  ASSERT_EQ(object->Close(OLECLOSE_NOSAVE), S_OK);
  EXPECT_EQ(takeLog(), Lines{});
}

}  // namespace
}  // namespace pressmark::control::testing
