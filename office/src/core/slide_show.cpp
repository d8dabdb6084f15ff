#include "slide_show.h"

#include <algorithm>
#include <filesystem>

namespace pressmark::office {

SlideShow::SlideShow(std::shared_ptr<SlideDeck> deck) : deck_(std::move(deck)) {
    if (deck_->slideCount() == 0)
        throw OfficeError(deck_->path(), "the presentation has no slides to show");
    window_ = ShowWindow::open("Slide Show - " +
                               std::filesystem::path(deck_->path()).filename().string());
    showCurrent();
}

void SlideShow::requireRunning(const std::string& doing) const {
    // The show lives in the office: once the application has quit, asking
    // the show anything is an error, as it is for any object of the office.
    if (!deck_->isOpen()) throw OfficeError(deck_->path(), "the slide show has ended: its presentation was closed");
    deck_->requireOffice(doing);
}

int SlideShow::position() const {
    requireRunning("reading the slide-show position");
    return position_;
}

void SlideShow::next() {
    requireRunning("going to the next slide");
    const int count = deck_->slideCount();
    if (position_ < count) {
        ++position_;
        showCurrent();
    }
}

void SlideShow::previous() {
    requireRunning("going to the previous slide");
    if (position_ > 1) {
        --position_;
        showCurrent();
    }
}

void SlideShow::showCurrent() {
    if (!window_) return;
    window_->show(deck_->renderSlide(position_ - 1, window_->screenWidth(), window_->screenHeight()));
}

void SlideShow::closeWindow() noexcept { window_.reset(); }

}  // namespace pressmark::office
