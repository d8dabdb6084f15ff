// The control's windows on a real X server (a private Xvfb): its window inside the host's
// window, the display child window, and the slide-show window moved into that child.
#include "slideport_fixture.h"

// After GoogleTest: Xlib defines macros (None, Bool, Status) that clash with its names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace pressmark::control::testing {
namespace {

using namespace pressmark::platform;

// A private X server for the test; empty when Xvfb cannot be started.
class PrivateXServer {
 public:
  PrivateXServer() {
    int fds[2];
    if (::pipe(fds) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(fds[0]);
      const std::string fd = std::to_string(fds[1]);
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-screen", "0",
               "1024x768x24", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    std::string number;
    pollfd waitFor{fds[0], POLLIN, 0};
    while (pid_ > 0 && ::poll(&waitFor, 1, 20000) > 0) {
      char c = 0;
      if (::read(fds[0], &c, 1) != 1 || c == '\n') break;
      number += c;
    }
    ::close(fds[0]);
    if (!number.empty()) display_ = ":" + number;
  }
  ~PrivateXServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  PrivateXServer(const PrivateXServer&) = delete;
  PrivateXServer& operator=(const PrivateXServer&) = delete;
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

struct DisplayCloser {
  void operator()(Display* d) const { XCloseDisplay(d); }
};

struct Geometry {
  int x, y;
  unsigned width, height;
  bool operator==(const Geometry&) const = default;
};

class X11Test : public SlideportFixture {
 protected:
  static void SetUpTestSuite() { server_ = new PrivateXServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    if (server_->display().empty()) GTEST_SKIP() << "Xvfb is not available";
    ::setenv("DISPLAY", server_->display().c_str(), 1);
    x_.reset(XOpenDisplay(server_->display().c_str()));
    ASSERT_TRUE(x_);
    SlideportFixture::SetUp();
    host_ = makeTopLevel(nullptr, 640, 480);
  }
  void TearDown() override {
    if (!x_) return;
    SlideportFixture::TearDown();
    x_.reset();
    ::unsetenv("DISPLAY");
  }

  Window makeTopLevel(const char* wmClass, unsigned width, unsigned height) {
    Display* d = x_.get();
    const Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, width, height, 0, 0, 0);
    if (wmClass != nullptr) {
      XClassHint hint{const_cast<char*>("soffice"), const_cast<char*>(wmClass)};
      XSetClassHint(d, w, &hint);
    }
    XMapWindow(d, w);
    XSync(d, False);
    return w;
  }

  Window parentOf(Window w) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(x_.get(), w, &root, &parent, &children, &count);
    if (children != nullptr) XFree(children);
    return parent;
  }
  std::vector<Window> childrenOf(Window w) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    XQueryTree(x_.get(), w, &root, &parent, &children, &count);
    std::vector<Window> out(children, children + count);
    if (children != nullptr) XFree(children);
    return out;
  }
  Geometry geometryOf(Window w) {
    XSync(x_.get(), False);
    XWindowAttributes a{};
    XGetWindowAttributes(x_.get(), w, &a);
    return {a.x, a.y, static_cast<unsigned>(a.width), static_cast<unsigned>(a.height)};
  }

  // Activates the control in the host window at (10, 20), 100 x 50 pixels.
  HWND activate() {
    ComPtr<IOleObject> object = control_.query<IOleObject>();
    const RECT position{10, 20, 110, 70};
    EXPECT_EQ(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, 0, host_, &position), S_OK);
    HWND window = 0;
    EXPECT_EQ(control_.query<IOleInPlaceObject>()->GetWindow(&window), S_OK);
    return window;
  }

  static PrivateXServer* server_;
  std::unique_ptr<Display, DisplayCloser> x_;
  Window host_ = 0;
};

PrivateXServer* X11Test::server_ = nullptr;

TEST_F(X11Test, ControlWindowAndDisplayChildFollowTheHost) {
  const HWND window = activate();
  ASSERT_NE(window, 0u);
  EXPECT_EQ(parentOf(window), host_);
  EXPECT_EQ(geometryOf(window), (Geometry{10, 20, 100, 50}));
  const std::vector<Window> children = childrenOf(window);
  ASSERT_EQ(children.size(), 1u) << "exactly the display child window";
  EXPECT_EQ(geometryOf(children[0]), (Geometry{0, 0, 100, 50})) << "fitted to the client area";

  const RECT larger{0, 0, 300, 200};
  ASSERT_EQ(control_.query<IOleInPlaceObject>()->SetObjectRects(&larger, &larger), S_OK);
  EXPECT_EQ(geometryOf(window), (Geometry{0, 0, 300, 200}));
  EXPECT_EQ(geometryOf(children[0]), (Geometry{0, 0, 300, 200}));

  ASSERT_EQ(control_.query<IOleInPlaceObject>()->InPlaceDeactivate(), S_OK);
  XSync(x_.get(), False);
  EXPECT_TRUE(childrenOf(host_).empty()) << "the control's window is gone";
}

TEST_F(X11Test, LoadFileMovesTheSlideShowWindowIntoTheDisplayChild) {
  const Window unrelated = makeTopLevel("otherClass", 50, 50);
  const Window show = makeTopLevel("screenClass", 800, 600);
  const HWND window = activate();
  const std::vector<Window> children = childrenOf(window);
  ASSERT_EQ(children.size(), 1u);
  const Window displayChild = children[0];

  ASSERT_EQ(ok(dispidInitControl).boolVal, VARIANT_TRUE);
  ASSERT_EQ(ok(dispidLoadFile, {bstr("talk.ppt")}).boolVal, VARIANT_TRUE);
  EXPECT_EQ(parentOf(show), displayChild);
  EXPECT_EQ(geometryOf(show), (Geometry{0, 0, 100, 50}));
  EXPECT_EQ(parentOf(unrelated), DefaultRootWindow(x_.get()));

  // Sizing the control resizes the display child, not the show inside it.
  const RECT larger{0, 0, 300, 200};
  ASSERT_EQ(control_.query<IOleInPlaceObject>()->SetObjectRects(&larger, &larger), S_OK);
  EXPECT_EQ(geometryOf(displayChild), (Geometry{0, 0, 300, 200}));
  EXPECT_EQ(geometryOf(show), (Geometry{0, 0, 100, 50}));

  // The window goes: the application's show window survives it, the presentation is closed.
  takeLog();
  ASSERT_EQ(control_.query<IOleInPlaceObject>()->InPlaceDeactivate(), S_OK);
  EXPECT_EQ(parentOf(show), DefaultRootWindow(x_.get()));
  EXPECT_EQ(takeLog(), std::vector<std::string>{"Presentation#1.2039 method()"});
}

TEST_F(X11Test, LoadFileWithoutSlideShowWindowStillSucceeds) {
  activate();
  ASSERT_EQ(ok(dispidInitControl).boolVal, VARIANT_TRUE);
  EXPECT_EQ(ok(dispidLoadFile, {bstr("talk.ppt")}).boolVal, VARIANT_TRUE);
}

TEST_F(X11Test, HostWindowOfAnotherDisplayFailsActivation) {
  ComPtr<IOleObject> object = control_.query<IOleObject>();
  const RECT position{0, 0, 100, 50};
  EXPECT_TRUE(FAILED(object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, 0, 0x7FFFFF0, &position)));
  HWND window = 0;
  EXPECT_TRUE(FAILED(control_.query<IOleInPlaceObject>()->GetWindow(&window)));
}

}  // namespace
}  // namespace pressmark::control::testing
