#pragma once
// A presentation open in the office: count its slides, render them, export
// them as image files, close it.
#include "office_process.h"
#include "slide_image.h"

#include <com/sun/star/drawing/XDrawPage.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XGraphicExportFilter.hpp>
#include <com/sun/star/lang/XComponent.hpp>

#include <memory>
#include <string>

namespace pressmark::office {

// The office as long as one application holds it. Documents and shows keep
// the session, not the office: once the application has quit, the session
// is empty and every later call on them fails in words, even when the same
// office process has meanwhile been handed to another application.
class OfficeSession {
public:
    explicit OfficeSession(std::unique_ptr<OfficeProcess> process) : process_(std::move(process)) {}
    // The office; throws OfficeGoneError when the application has quit.
    OfficeProcess& require(const std::string& file, const std::string& doing);
    bool active() const noexcept { return process_ != nullptr; }
    std::unique_ptr<OfficeProcess> end() noexcept { return std::move(process_); }

private:
    std::unique_ptr<OfficeProcess> process_;
};

class SlideDeck {
public:
    // Loads the presentation hidden and read-only; throws an Error naming
    // the file.
    SlideDeck(std::shared_ptr<OfficeSession> session, std::string path);
    ~SlideDeck();
    SlideDeck(const SlideDeck&) = delete;
    SlideDeck& operator=(const SlideDeck&) = delete;

    const std::string& path() const noexcept { return path_; }
    // The office while the application that opened this deck runs; throws
    // OfficeGoneError (saying what we were `doing`) after it has quit.
    OfficeProcess& requireOffice(const std::string& doing) { return office(doing); }
    bool isOpen() const noexcept { return document_.is(); }

    int slideCount();
    // The slide's own size in 1/100 mm.
    std::pair<double, double> slideSize(int index);
    // Renders slide `index` (0-based) at the largest undistorted size that
    // fits the box.
    BgrImage renderSlide(int index, int boxWidth, int boxHeight);
    // Writes Slide1.<ext>, Slide2.<ext>, ... into `folder` (created when
    // missing) in the graphic format `filterName` ("BMP", "PNG", "JPG", ...),
    // each slide fitted into boxWidth x boxHeight.
    void exportSlides(const std::string& folder, const std::string& filterName, int boxWidth,
                      int boxHeight);
    void close();

private:
    OfficeProcess& office(const std::string& doing);
    // Inside a call into the office only.
    const css::uno::Reference<css::drawing::XDrawPages>& drawPages();
    css::uno::Reference<css::drawing::XDrawPage> page(int index);
    static std::pair<double, double> pageSize(const css::uno::Reference<css::drawing::XDrawPage>& slide);
    css::uno::Reference<css::drawing::XGraphicExportFilter> makeExportFilter();
    // Renders slide `index` into `file`, fitted into the box; answers the
    // size asked of the office. `quick`: a PNG for our own use, compressed
    // as little as possible.
    PixelSize renderTo(const css::uno::Reference<css::drawing::XGraphicExportFilter>& filter, int index,
                       const std::string& file, const std::string& mediaType, int boxWidth, int boxHeight,
                       bool quick);

    std::shared_ptr<OfficeSession> session_;
    std::string path_;
    css::uno::Reference<css::lang::XComponent> document_;
    css::uno::Reference<css::drawing::XDrawPages> pages_;  // fetched on first use
};

}  // namespace pressmark::office
