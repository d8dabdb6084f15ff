// TSlideport against the real Slideport.OCX, with the control's test
// presentation application standing in for the office.
#include <gtest/gtest.h>

#include <algorithm>

#include "../../../control/tests/slideport_fixture.h"
#include "pressmark/app/slideport.h"
#include "pressmark/platform/errors.h"

namespace pressmark {
namespace {

namespace pf = pressmark::platform;
using control::testing::fakeAppLog;
using control::testing::registerModule;
using control::testing::TempRegistry;

class SlideportTest : public ::testing::Test {
protected:
    void SetUp() override {
        log_ = &fakeAppLog();
        log_->reset();
        ASSERT_EQ(registerModule(FAKE_APP_MODULE_PATH), pf::S_OK);
        ASSERT_EQ(registerModule(SLIDEPORT_MODULE_PATH), pf::S_OK);
    }
    void TearDown() override { EXPECT_EQ(log_->liveObjects, 0) << "objects of the application leaked"; }

    bool Logged(const std::string& line) const {
        return std::find(log_->lines.begin(), log_->lines.end(), line) != log_->lines.end();
    }

    TempRegistry registry_;
    control::testing::FakeAppLog* log_ = nullptr;
};

TEST_F(SlideportTest, TheFourMembersReachTheApplicationWithTheirArguments) {
    {
        TSlideport slideport;
        EXPECT_TRUE(slideport.InitControl());
        EXPECT_TRUE(slideport.LoadFile("talk.ppt"));
        EXPECT_TRUE(slideport.Export("Q3 review.pptx", "/out/Q3/", "BMP", 800, 600));
        slideport.Quit();
    }
    EXPECT_TRUE(Logged("Presentations#1.2005 method(BSTR \"talk.ppt\", I4 0, I4 0, I4 0) -> result"));
    EXPECT_TRUE(Logged("Presentations#2.2005 method(BSTR \"Q3 review.pptx\", I4 0, I4 0, I4 0) -> result"));
    EXPECT_TRUE(Logged("Presentation#2.2038 method(BSTR \"/out/Q3/\", BSTR \"BMP\", I4 800, I4 600)"));
    EXPECT_TRUE(Logged("Presentation#2.2039 method()")) << "Quit closes the presentation";
    EXPECT_TRUE(Logged("Application#1.2021 method()")) << "and ends the application";
}

TEST_F(SlideportTest, AFalseResultIsAnswered) {
    TSlideport slideport;
    EXPECT_FALSE(slideport.LoadFile("talk.ppt")) << "no application yet";
    EXPECT_FALSE(slideport.Export("talk.ppt", "/out/", "BMP", 800, 600));
    slideport.Quit();  // does nothing, raises nothing
}

TEST_F(SlideportTest, AnAutomationFailureCarriesTheControlsDescriptionAndSource) {
    control::testing::FakeFailure failure;
    failure.result = pf::DISP_E_EXCEPTION;
    failure.source = "Presentation";
    failure.description = "The disk is full.";
    failure.scode = pf::E_FAIL;
    log_->failOnce("Presentation.2038", failure);
    TSlideport slideport;
    ASSERT_TRUE(slideport.InitControl());
    try {
        slideport.Export("talk.ppt", "/out/", "BMP", 800, 600);
        FAIL() << "Export should have raised an error";
    } catch (const TSlideportError& e) {
        EXPECT_EQ(e.description(), "The disk is full.");
        EXPECT_EQ(e.source(), "Presentation");
        EXPECT_EQ(e.member(), "Export");
        EXPECT_NE(std::string(e.what()).find("The disk is full."), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find("Presentation"), std::string::npos) << e.what();
    }
    slideport.Quit();
}

TEST_F(SlideportTest, TheStoredStateIsHandedToTheControl) {
    // Version 1.0, extent 5292 x 2646 HIMETRIC (200 x 100 pixels), no stock properties.
    const std::array<std::byte, 16> state{std::byte{0x00}, std::byte{0x00}, std::byte{0x01}, std::byte{0x00},
                                          std::byte{0xAC}, std::byte{0x14}, std::byte{0x00}, std::byte{0x00},
                                          std::byte{0x56}, std::byte{0x0A}, std::byte{0x00}, std::byte{0x00},
                                          std::byte{0x00}, std::byte{0x00}, std::byte{0x00}, std::byte{0x00}};
    TSlideport slideport(0, state);
    slideport.InitControl();  // the first call activates the control
    const auto object = slideport.Control().query<pf::IOleObject>();
    ASSERT_TRUE(object);
    pf::SIZEL extent{};
    ASSERT_EQ(object->GetExtent(pf::DVASPECT_CONTENT, &extent), pf::S_OK);
    EXPECT_EQ(extent.cx, 5292);
    EXPECT_EQ(extent.cy, 2646);
    slideport.Quit();
}

TEST(SlideportCreation, AnUnregisteredControlFailsWithClassNotRegistered) {
    TempRegistry empty;
    try {
        TSlideport slideport;
        FAIL() << "creation should have failed";
    } catch (const pf::AutomationError& e) {
        EXPECT_EQ(e.hresult(), pf::REGDB_E_CLASSNOTREG);
        EXPECT_NE(std::string(e.what()).find("not registered"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace pressmark
