// The presentation application as the control sees it: created by ProgID
// from the class registry, called by DISPID through IDispatch.
#include "impress_types.h"
#include "support/office_test_support.h"

#include <pressmark/platform/creation.h>
#include <pressmark/platform/dispatch_client.h>
#include <pressmark/platform/errors.h>
#include <pressmark/platform/object.h>
#include <pressmark/platform/registry.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

using namespace pressmark::platform;
using namespace pressmark::office;
using namespace office_test;

namespace {

// Each test registers the module into a registry file of its own.
class ImpressModuleTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("PRESSMARK_CLASSES_REG", (registryDir_ / "classes.reg").c_str(), 1);
        auto registerServer = reinterpret_cast<DllRegisterServerFunction>(
            findModuleSymbol(PRESSMARK_IMPRESS_MODULE, "DllRegisterServer", nullptr));
        ASSERT_NE(registerServer, nullptr);
        ASSERT_EQ(registerServer(), S_OK);
    }
    void TearDown() override { ::unsetenv("PRESSMARK_CLASSES_REG"); }

    static ComPtr<IDispatch> createApplication() {
        return createInstance("PowerPoint.Application").query<IDispatch>();
    }
    static ComPtr<IDispatch> open(IDispatch* app, const std::string& path) {
        auto presentations = toDispatch(getProperty(app, kDispPresentations, "Application.Presentations"));
        return toDispatch(invokeMethod(presentations.get(), kDispOpen,
                                       {Variant(path), Variant(LONG{0}), Variant(LONG{0}), Variant(LONG{0})},
                                       "Presentations.Open"));
    }
    static LONG slideCount(IDispatch* presentation) {
        auto slides = toDispatch(getProperty(presentation, kDispSlides, "Presentation.Slides"));
        return getProperty(slides.get(), kDispSlidesCount, "Slides.Count").toLong();
    }
    // The automation exception of a call that must fail.
    static void expectException(IDispatch* object, DISPID dispid, WORD flags, std::initializer_list<Variant> args,
                                const std::string& says, const std::string& name) {
        ExcepInfo info;
        Variant result;
        HRESULT hr = invokeRaw(object, dispid, flags, std::span<const Variant>(args.begin(), args.size()), &result,
                               &info, nullptr);
        EXPECT_EQ(hr, DISP_E_EXCEPTION) << name;
        EXPECT_NE(info.source().find("PowerPoint.Application"), std::string::npos) << name << ": " << info.source();
        EXPECT_NE(info.description().find(says), std::string::npos) << name << ": " << info.description();
    }

    TempDir registryDir_;
};

TEST_F(ImpressModuleTest, RegistersBothProgIdsForOneInProcessClass) {
    for (const char* progId : {"PowerPoint.Application", "Powerpoint.Application"}) {
        CLSID clsid;
        ASSERT_EQ(CLSIDFromProgID(progId, &clsid), S_OK) << progId;
        EXPECT_EQ(clsid, CLSID_ImpressApplication) << progId;
    }
    RegKey server;
    ASSERT_EQ(RegKey::classesRoot().openSubKey("CLSID\\" + formatGuid(CLSID_ImpressApplication) + "\\InprocServer32",
                                              &server),
              ERROR_SUCCESS);
    std::string path, threading;
    server.queryValue("", &path);
    server.queryValue("ThreadingModel", &threading);
    EXPECT_EQ(std::filesystem::canonical(path), std::filesystem::canonical(PRESSMARK_IMPRESS_MODULE));
    EXPECT_EQ(threading, "Apartment");

    auto unregisterServer = reinterpret_cast<DllUnregisterServerFunction>(
        findModuleSymbol(PRESSMARK_IMPRESS_MODULE, "DllUnregisterServer", nullptr));
    ASSERT_EQ(unregisterServer(), S_OK);
    CLSID clsid;
    EXPECT_NE(CLSIDFromProgID("PowerPoint.Application", &clsid), S_OK);
}

// The conversion's calls for two decks in a row: open, count, export at
// 800 x 600, close, quit. The second deck gets the first one's office, warm,
// with nothing of the first deck in it; objects of the quit application fail.
TEST_F(ImpressModuleTest, ExportsTwoDecksInARowWithOneOffice) {
    ::setenv("PRESSMARK_OFFICE_GRACE", "60", 1);
    auto counts = manifestSlideCounts();
    TempDir out;
    ComPtr<IDispatch> firstPresentation;
    std::vector<pid_t> firstOffices;
    for (const char* name : {"basic_test_ppt_file.ppt", "table_test.ppt"}) {
        auto app = createApplication();
        ASSERT_TRUE(app);
        if (!firstOffices.empty()) {
            EXPECT_EQ(childOffices(), firstOffices) << "the warm office is reused";
        }
        firstOffices = childOffices();
        ASSERT_EQ(firstOffices.size(), 1u);
        auto presentation = open(app.get(), corpus(name));
        EXPECT_EQ(slideCount(presentation.get()), counts.at(name)) << name;
        const std::string folder = out / name;
        invokeMethod(presentation.get(), kDispExport,
                     {Variant(folder + "/"), Variant("BMP"), Variant(LONG{800}), Variant(LONG{600})},
                     "Presentation.Export");
        const std::string size = std::string(name) == "table_test.ppt" ? "800 450" : "800 600";
        for (int i = 1; i <= counts.at(name); ++i) {
            EXPECT_EQ(run("identify -format '%m %w %h %C' " + quoted(folder + "/Slide" + std::to_string(i) + ".BMP")),
                      "BMP3 " + size + " None")
                << name << " slide " << i;
        }
        EXPECT_EQ(slideCount(presentation.get()), counts.at(name)) << "a count after the export";
        invokeMethod(presentation.get(), kDispClose, {}, "Presentation.Close");
        invokeMethod(app.get(), kDispQuit, {}, "Application.Quit");
        if (!firstPresentation) firstPresentation = presentation;
    }
    expectException(firstPresentation.get(), kDispSlides, DISPATCH_PROPERTYGET, {}, "", "Slides of a quit application");
    ::unsetenv("PRESSMARK_OFFICE_GRACE");
}

TEST_F(ImpressModuleTest, FailuresAreAutomationExceptionsNamingTheFile) {
    auto app = createApplication();
    ASSERT_TRUE(app);
    auto presentations = toDispatch(getProperty(app.get(), kDispPresentations));
    TempDir dir;
    struct Case {
        const char* name;
        std::string path;
        const char* says;
    };
    const Case cases[] = {
        {"missing file", dir / "gone.ppt", "does not exist"},
        {"pictures.ppt (unreadable)", corpus("pictures.ppt"), "cannot open"},
        {"backgrounds.ppt (unreadable)", corpus("backgrounds.ppt"), "cannot open"},
        {"password-protected", corpus("rc4cryptoapi_password.ppt"), "password"},
    };
    for (const auto& c : cases) {
        expectException(presentations.get(), kDispOpen, DISPATCH_METHOD,
                        {Variant(c.path), Variant(LONG{0}), Variant(LONG{0}), Variant(LONG{0})}, c.path, c.name);
        expectException(presentations.get(), kDispOpen, DISPATCH_METHOD,
                        {Variant(c.path), Variant(LONG{0}), Variant(LONG{0}), Variant(LONG{0})}, c.says, c.name);
    }
    auto presentation = open(app.get(), corpus("testPPT.ppt"));
    expectException(presentation.get(), kDispExport, DISPATCH_METHOD,
                    {Variant(dir.path()), Variant("WMV"), Variant(LONG{800}), Variant(LONG{600})}, "WMV",
                    "an unknown graphic format");
    const std::string blocked = dir / "file-in-the-way";
    std::ofstream(blocked).put('x');
    expectException(presentation.get(), kDispExport, DISPATCH_METHOD,
                    {Variant(blocked + "/slides"), Variant("BMP"), Variant(LONG{800}), Variant(LONG{600})},
                    blocked, "a folder that cannot be created");
    invokeMethod(app.get(), kDispQuit);
    expectException(app.get(), kDispPresentations, DISPATCH_PROPERTYGET, {}, "quit", "Presentations after Quit");
}

// Finds a top-level window of a WM_CLASS on the display (what the control does).
Window findWindowOfClass(Display* display, const char* className) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XClassHint hint{};
        if (XGetClassHint(display, children[i], &hint)) {
            if (hint.res_class && std::string(hint.res_class) == className) found = children[i];
            if (hint.res_name) XFree(hint.res_name);
            if (hint.res_class) XFree(hint.res_class);
        }
    }
    if (children) XFree(children);
    return found;
}

// A private X server for the show window.
class VirtualDisplay {
public:
    VirtualDisplay() {
        for (int n = 90 + ::getpid() % 100; n < 400 && pid_ <= 0; ++n) {
            if (std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n))) continue;
            name_ = ":" + std::to_string(n);
            pid_ = ::fork();
            if (pid_ == 0) {
                ::execlp("Xvfb", "Xvfb", name_.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                         static_cast<char*>(nullptr));
                ::_exit(127);
            }
            const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            if (!eventually([&] { return std::filesystem::exists(socket); }, 10)) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
                pid_ = -1;
            }
        }
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    bool running() const { return pid_ > 0; }
    const std::string& name() const { return name_; }

private:
    pid_t pid_ = -1;
    std::string name_;
};

// Run shows the current slide in a top-level window of the class
// "screenClass"; Next and Previous step through the slides and
// CurrentShowPosition follows them. Without a display the positions work
// all the same.
TEST_F(ImpressModuleTest, SlideShowStepsThroughTheSlidesWithAndWithoutADisplay) {
    VirtualDisplay x;
    for (bool withDisplay : {false, true}) {
        SCOPED_TRACE(withDisplay ? "with a display" : "without a display");
        if (withDisplay) {
            ASSERT_TRUE(x.running()) << "Xvfb did not start";
            ::setenv("DISPLAY", x.name().c_str(), 1);
        } else {
            ::unsetenv("DISPLAY");
        }
        auto app = createApplication();
        auto presentation = open(app.get(), corpus("basic_test_ppt_file.ppt"));
        auto settings = toDispatch(getProperty(presentation.get(), kDispSlideShowSettings));
        putProperty(settings.get(), kDispShowType, Variant(LONG{1}), "SlideShowSettings.ShowType");
        auto window = toDispatch(invokeMethod(settings.get(), kDispRun, {}, "SlideShowSettings.Run"));
        auto position = [&] {
            auto view = toDispatch(getProperty(window.get(), kDispView, "SlideShowWindow.View"));
            return getProperty(view.get(), kDispCurrentShowPosition).toLong();
        };
        auto step = [&](DISPID dispid) {
            auto view = toDispatch(getProperty(window.get(), kDispView, "SlideShowWindow.View"));
            invokeMethod(view.get(), dispid);
        };
        EXPECT_EQ(position(), 1);
        step(kDispNext);
        EXPECT_EQ(position(), 2);
        step(kDispNext);
        EXPECT_EQ(position(), 2) << "the last slide stays";
        step(kDispPrevious);
        EXPECT_EQ(position(), 1);
        auto heldView = toDispatch(getProperty(window.get(), kDispView));
        if (withDisplay) {
            std::unique_ptr<Display, int (*)(Display*)> display(XOpenDisplay(x.name().c_str()), XCloseDisplay);
            ASSERT_TRUE(display);
            Window shown = findWindowOfClass(display.get(), "screenClass");
            ASSERT_NE(shown, 0u) << "no window of the class screenClass";
            // The slide (black text on white) is painted: the middle of the
            // screen is white, not the window's black background.
            bool painted = eventually(
                [&] {
                    XImage* image = XGetImage(display.get(), shown, 512, 384, 1, 1, AllPlanes, ZPixmap);
                    if (!image) return false;
                    unsigned long pixel = XGetPixel(image, 0, 0);
                    XDestroyImage(image);
                    return (pixel & 0xFFFFFF) == 0xFFFFFF;
                },
                10);
            EXPECT_TRUE(painted);
            invokeMethod(app.get(), kDispQuit);
            XSync(display.get(), False);
            EXPECT_EQ(findWindowOfClass(display.get(), "screenClass"), 0u) << "Quit ends the show window";
        } else {
            invokeMethod(app.get(), kDispQuit);
        }
        expectException(heldView.get(), kDispNext, DISPATCH_METHOD, {}, "quit", "Next after Quit");
        expectException(window.get(), kDispView, DISPATCH_PROPERTYGET, {}, "quit", "View after Quit");
    }
    ::unsetenv("DISPLAY");
}

// When nothing of the module is in use it can be unloaded, and no office of
// ours is left running, warm or not.
TEST_F(ImpressModuleTest, UnloadingTheModuleEndsItsOffice) {
    ::setenv("PRESSMARK_OFFICE_GRACE", "600", 1);
    {
        auto app = createApplication();
        auto presentation = open(app.get(), corpus("testPPT.ppt"));
        invokeMethod(app.get(), kDispQuit);
    }
    ASSERT_EQ(childOffices().size(), 1u) << "kept warm after Quit";
    const std::size_t before = loadedModuleCount();
    CoFreeUnusedLibraries();
    EXPECT_LT(loadedModuleCount(), before);
    EXPECT_TRUE(eventually([] { return childOffices().empty(); }, 10));
    ::unsetenv("PRESSMARK_OFFICE_GRACE");
}

// A program that converts a deck and returns from main with the office still
// warm in the pool (nothing calls DllCanUnloadNow, as in the control), or
// with the application still held by a static: the exit is clean, the office
// is ended and its profile removed.
TEST_F(ImpressModuleTest, ProcessExitWithALiveOfficeIsClean) {
    ::setenv("PRESSMARK_OFFICE_GRACE", "600", 1);
    for (const char* mode : {"quit", "keep-app"}) {
        TempDir out;
        const std::string command = std::string(PRESSMARK_OFFICE_EXIT_HELPER) + " " +
                                    quoted(corpus("basic_test_ppt_file.ppt")) + " " + quoted(out.path()) + " " +
                                    mode;
        std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
        ASSERT_TRUE(pipe) << mode;
        char line[4096] = {};
        const bool started = std::fgets(line, sizeof line, pipe.get()) != nullptr;
        const int status = ::pclose(pipe.release());
        ASSERT_TRUE(started) << mode << ": the helper printed no office";
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << mode << ": " << (WIFSIGNALED(status) ? "killed by signal " + std::to_string(WTERMSIG(status))
                                                    : "exit status " + std::to_string(WEXITSTATUS(status)));
        std::istringstream fields(line);
        pid_t office = 0;
        std::string profile;
        fields >> office >> profile;
        ASSERT_GT(office, 0) << mode << ": " << line;
        ASSERT_FALSE(profile.empty()) << mode << ": " << line;
        EXPECT_TRUE(std::filesystem::exists(out / "Slide2.BMP")) << mode;
        // The exit itself ended the office: no waiting for the parent-death
        // signal here.
        EXPECT_TRUE(processGone(office)) << mode << ": office " << office << " outlived the program";
        EXPECT_FALSE(std::filesystem::exists(profile)) << mode << ": " << profile << " left behind";
        EXPECT_EQ(run("pgrep -f " + quoted("[" + profile.substr(0, 1) + "]" + profile.substr(1))), "") << mode;
    }
    ::unsetenv("PRESSMARK_OFFICE_GRACE");
}

}  // namespace
