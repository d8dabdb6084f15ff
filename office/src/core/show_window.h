#pragma once
// The slide-show window on an X11 display: a plain top-level window of the
// class "screenClass" (what the control looks for to adopt the show) that
// shows the current slide, scaled to whatever size the window is given.
//
// The window has its own display connection served by its own thread, so it
// repaints while the thread that drives the office is busy or idle; that
// thread only hands over finished slide images.
#include "slide_image.h"

#include <memory>
#include <string>

namespace pressmark::office {

class ShowWindow {
public:
    // A full-screen window titled after the presentation, or nullptr when
    // there is no display to show it on.
    static std::unique_ptr<ShowWindow> open(const std::string& title);
    ~ShowWindow();
    ShowWindow(const ShowWindow&) = delete;
    ShowWindow& operator=(const ShowWindow&) = delete;

    // The screen size: the size slides are rendered at.
    int screenWidth() const;
    int screenHeight() const;
    unsigned long windowId() const;
    // Shows this image from now on (copied to the window's thread).
    void show(BgrImage image);

private:
    struct State;
    explicit ShowWindow(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

}  // namespace pressmark::office
