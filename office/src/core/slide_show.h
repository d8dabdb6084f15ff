#pragma once
// A running slide show of one presentation: the 1-based position, stepping,
// and on a display the window that shows the current slide.
#include "show_window.h"
#include "slide_deck.h"

#include <memory>

namespace pressmark::office {

class SlideShow {
public:
    // Starts at the first slide; opens the window when there is a display.
    explicit SlideShow(std::shared_ptr<SlideDeck> deck);

    int position() const;
    void next();
    void previous();
    // Ends the show window (the application quit); positions stay readable
    // only as long as the office is there.
    void closeWindow() noexcept;
    const ShowWindow* window() const { return window_.get(); }

private:
    void requireRunning(const std::string& doing) const;
    void showCurrent();

    std::shared_ptr<SlideDeck> deck_;
    int position_ = 1;
    std::unique_ptr<ShowWindow> window_;
};

}  // namespace pressmark::office
