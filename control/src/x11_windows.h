// The few X11 window operations the control needs: its own window inside the host's window, the
// display child window, and moving the slide-show window of the presentation application into
// that child. Every Xlib call goes through one connection that the control opens itself; X
// window ids are server-wide, so windows of the host and of the application's process can be
// handled from it.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

struct _XDisplay;

namespace pressmark::control {

using NativeWindow = std::uintptr_t;  // an X11 Window id; 0 is no window

struct WindowRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
};

class X11Session {
 public:
  // Nothing when no X display can be opened: the control then runs without windows.
  static std::unique_ptr<X11Session> open();
  ~X11Session();
  X11Session(const X11Session&) = delete;
  X11Session& operator=(const X11Session&) = delete;

  // A mapped child window of `parent` at `rect` (parent coordinates); 0 when the parent is
  // not a window of this display.
  NativeWindow createChild(NativeWindow parent, const WindowRect& rect);
  void destroy(NativeWindow window);
  void setVisible(NativeWindow window, bool visible);
  // Hands every child of `window` back to the root window, so that destroying `window` does
  // not destroy windows that belong to another process.
  void releaseChildren(NativeWindow window);
  void setBounds(NativeWindow window, const WindowRect& rect);
  void lowerToBottom(NativeWindow window);
  WindowRect clientRect(NativeWindow window);

  // The first top-level window whose WM_CLASS class or instance name is `className`.
  NativeWindow findTopLevelByClass(std::string_view className);
  // Makes `window` a child of `parent` at (0, 0) with the given size and repaints it.
  void reparentInto(NativeWindow window, NativeWindow parent, int width, int height);

  void showBusyCursor(NativeWindow window);
  void restoreCursor(NativeWindow window);

 private:
  explicit X11Session(_XDisplay* display);
  _XDisplay* display_;
  unsigned long watchCursor_ = 0;
};

}  // namespace pressmark::control
