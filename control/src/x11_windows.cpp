#include "x11_windows.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>

#include <algorithm>

namespace pressmark::control {

namespace {

// Xlib reports protocol errors through one process-wide handler whose default ends the
// process. Windows of other processes may vanish between two of our requests, so every
// request runs inside a trap that records the error instead. The recorded code has to live
// outside the trap object because the handler is a plain C callback.
int g_trappedError = 0;

int recordError(Display*, XErrorEvent* event) {
  g_trappedError = event->error_code;
  return 0;
}

class ErrorTrap {
 public:
  explicit ErrorTrap(Display* display) : display_(display) {
    XSync(display_, False);
    g_trappedError = 0;
    previous_ = XSetErrorHandler(&recordError);
  }
  ~ErrorTrap() {
    XSync(display_, False);
    XSetErrorHandler(previous_);
  }
  ErrorTrap(const ErrorTrap&) = delete;
  ErrorTrap& operator=(const ErrorTrap&) = delete;

  bool failed() {
    XSync(display_, False);
    return g_trappedError != 0;
  }

 private:
  Display* display_;
  XErrorHandler previous_ = nullptr;
};

bool classMatches(Display* display, Window window, std::string_view className) {
  XClassHint hint{};
  if (XGetClassHint(display, window, &hint) == 0) return false;
  const bool match = (hint.res_class != nullptr && className == hint.res_class) ||
                     (hint.res_name != nullptr && className == hint.res_name);
  if (hint.res_class != nullptr) XFree(hint.res_class);
  if (hint.res_name != nullptr) XFree(hint.res_name);
  return match;
}

struct ChildList {
  Window* windows = nullptr;
  unsigned int count = 0;
  ChildList() = default;
  ChildList(const ChildList&) = delete;
  ChildList& operator=(const ChildList&) = delete;
  ~ChildList() {
    if (windows != nullptr) XFree(windows);
  }
};

bool queryChildren(Display* display, Window window, ChildList& list) {
  Window root = 0;
  Window parent = 0;
  return XQueryTree(display, window, &root, &parent, &list.windows, &list.count) != 0;
}

}  // namespace

std::unique_ptr<X11Session> X11Session::open() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  return std::unique_ptr<X11Session>(new X11Session(display));
}

X11Session::X11Session(Display* display) : display_(display) {}

X11Session::~X11Session() {
  if (watchCursor_ != 0) XFreeCursor(display_, watchCursor_);
  XCloseDisplay(display_);
}

NativeWindow X11Session::createChild(NativeWindow parent, const WindowRect& rect) {
  if (parent == 0) return 0;
  ErrorTrap trap(display_);
  const int screen = DefaultScreen(display_);
  const Window window = XCreateSimpleWindow(
      display_, parent, rect.left, rect.top, static_cast<unsigned>(std::max(rect.width(), 1)),
      static_cast<unsigned>(std::max(rect.height(), 1)), 0, BlackPixel(display_, screen),
      WhitePixel(display_, screen));
  if (trap.failed()) return 0;
  XMapWindow(display_, window);
  if (trap.failed()) {
    XDestroyWindow(display_, window);
    return 0;
  }
  return window;
}

void X11Session::destroy(NativeWindow window) {
  if (window == 0) return;
  ErrorTrap trap(display_);
  XDestroyWindow(display_, window);
}

void X11Session::setVisible(NativeWindow window, bool visible) {
  if (window == 0) return;
  ErrorTrap trap(display_);
  if (visible) {
    XMapWindow(display_, window);
  } else {
    XUnmapWindow(display_, window);
  }
}

void X11Session::releaseChildren(NativeWindow window) {
  if (window == 0) return;
  ErrorTrap trap(display_);
  ChildList children;
  if (!queryChildren(display_, window, children)) return;
  for (unsigned int i = 0; i < children.count; ++i) {
    XReparentWindow(display_, children.windows[i], DefaultRootWindow(display_), 0, 0);
  }
}

void X11Session::setBounds(NativeWindow window, const WindowRect& rect) {
  if (window == 0) return;
  ErrorTrap trap(display_);
  XMoveResizeWindow(display_, window, rect.left, rect.top,
                    static_cast<unsigned>(std::max(rect.width(), 1)),
                    static_cast<unsigned>(std::max(rect.height(), 1)));
}

void X11Session::lowerToBottom(NativeWindow window) {
  if (window == 0) return;
  ErrorTrap trap(display_);
  XLowerWindow(display_, window);
}

WindowRect X11Session::clientRect(NativeWindow window) {
  if (window == 0) return {};
  ErrorTrap trap(display_);
  XWindowAttributes attributes{};
  if (XGetWindowAttributes(display_, window, &attributes) == 0 || trap.failed()) return {};
  return {0, 0, attributes.width, attributes.height};
}

NativeWindow X11Session::findTopLevelByClass(std::string_view className) {
  ErrorTrap trap(display_);
  ChildList topLevels;
  if (!queryChildren(display_, DefaultRootWindow(display_), topLevels)) return 0;
  for (unsigned int i = 0; i < topLevels.count; ++i) {
    const Window candidate = topLevels.windows[i];
    if (classMatches(display_, candidate, className)) return candidate;
    // Under a window manager the application's window sits inside a frame window that
    // carries no class of its own.
    ChildList framed;
    if (!queryChildren(display_, candidate, framed)) continue;
    for (unsigned int j = 0; j < framed.count; ++j) {
      if (classMatches(display_, framed.windows[j], className)) return framed.windows[j];
    }
  }
  return 0;
}

void X11Session::reparentInto(NativeWindow window, NativeWindow parent, int width, int height) {
  if (window == 0 || parent == 0) return;
  ErrorTrap trap(display_);
  XReparentWindow(display_, window, parent, 0, 0);
  XMoveResizeWindow(display_, window, 0, 0, static_cast<unsigned>(std::max(width, 1)),
                    static_cast<unsigned>(std::max(height, 1)));
  XMapRaised(display_, window);
  XClearArea(display_, window, 0, 0, 0, 0, True);
}

void X11Session::showBusyCursor(NativeWindow window) {
  if (window == 0) return;
  ErrorTrap trap(display_);
  if (watchCursor_ == 0) watchCursor_ = XCreateFontCursor(display_, XC_watch);
  XDefineCursor(display_, window, watchCursor_);
}

void X11Session::restoreCursor(NativeWindow window) {
  if (window == 0) return;
  ErrorTrap trap(display_);
  XUndefineCursor(display_, window);
}

}  // namespace pressmark::control
