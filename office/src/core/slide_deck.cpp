#include "slide_deck.h"

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/drawing/GraphicExportFilter.hpp>
#include <com/sun/star/drawing/XGraphicExportFilter.hpp>
#include <com/sun/star/drawing/XDrawPages.hpp>
#include <com/sun/star/drawing/XDrawPagesSupplier.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/util/CloseVetoException.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace pressmark::office {

namespace {

namespace fs = std::filesystem;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

css::beans::PropertyValue property(const char* name, const Any& value) {
    css::beans::PropertyValue p;
    p.Name = ::rtl::OUString::createFromAscii(name);
    p.Value = value;
    return p;
}

Sequence<css::beans::PropertyValue> properties(std::initializer_list<css::beans::PropertyValue> list) {
    return Sequence<css::beans::PropertyValue>(list.begin(), static_cast<sal_Int32>(list.size()));
}

// What is checked of the file the office wrote before it is kept.
enum class ImageCheck { None, PngSize, OfficeBmp };

struct GraphicFormat {
    std::string_view name;       // the filter name callers pass, upper case
    std::string_view mediaType;  // what the office is asked to write
    ImageCheck check;
};

constexpr std::array kGraphicFormats = {
    GraphicFormat{"BMP", "image/x-MS-bmp", ImageCheck::OfficeBmp},
    GraphicFormat{"PNG", "image/png", ImageCheck::PngSize},
    GraphicFormat{"JPG", "image/jpeg", ImageCheck::None},
    GraphicFormat{"JPEG", "image/jpeg", ImageCheck::None},
    GraphicFormat{"GIF", "image/gif", ImageCheck::None},
    GraphicFormat{"TIF", "image/tiff", ImageCheck::None},
    GraphicFormat{"TIFF", "image/tiff", ImageCheck::None},
};

const GraphicFormat* findGraphicFormat(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    for (const auto& format : kGraphicFormats)
        if (format.name == name) return &format;
    return nullptr;
}

// A private folder for the office's renderings, removed with its contents:
// the office writes each image through a temporary file of its own beside
// the target, which an office that dies mid-write leaves behind.
class TemporaryFolder {
public:
    // In the system's temporary folder.
    TemporaryFolder() : TemporaryFolder(temporaryBase(), "pressmark-slides-") {}
    // Inside `base`, hidden, so that finished files are renamed into `base`
    // without copying.
    TemporaryFolder(const fs::path& base, const std::string& prefix) {
        std::string pattern = (base / (prefix + "XXXXXX")).string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (::mkdtemp(buffer.data()) == nullptr)
            throw WriteError(pattern, std::string("cannot create a temporary folder: ") +
                                          std::strerror(errno));
        path_ = buffer.data();
    }
    ~TemporaryFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// Says in plain words why a file cannot be opened before the office tries.
void requireReadableFile(const std::string& path) {
    std::error_code ec;
    auto status = fs::status(path, ec);
    if (!fs::exists(status)) throw ReadError(path, "the file does not exist");
    if (fs::is_directory(status)) throw ReadError(path, "this is a folder, not a presentation file");
    if (::access(path.c_str(), R_OK) != 0)
        throw ReadError(path, std::string("the file cannot be read: ") + std::strerror(errno));
    if (fs::is_regular_file(status) && fs::file_size(path, ec) == 0)
        throw BadInputError(path, "the file is empty");
}

// The office must render at the size asked for: an image of another size
// would silently change the page.
void requireRenderedSize(const std::string& rendered, const std::string& target, PixelSize size,
                         int slide) {
    const PixelSize got = readPngSize(rendered);
    if (got == size) return;
    throw WriteError(target, "the presentation application rendered slide " + std::to_string(slide) +
                                 " at " + std::to_string(got.width) + " x " + std::to_string(got.height) +
                                 " instead of " + std::to_string(size.width) + " x " +
                                 std::to_string(size.height));
}

}  // namespace

OfficeProcess& OfficeSession::require(const std::string& file, const std::string& doing) {
    if (!process_)
        throw OfficeGoneError(file, "the presentation application has been quit and cannot continue " +
                                        doing);
    return *process_;
}

SlideDeck::SlideDeck(std::shared_ptr<OfficeSession> session, std::string path)
    : session_(std::move(session)), path_(std::move(path)) {
    if (path_.empty()) throw ReadError(path_, "no presentation file was named");
    requireReadableFile(path_);
    const std::string doing = "opening the presentation";
    OfficeProcess& o = office(doing);
    const auto url = fileUrl(path_);
    // Hidden: the office shows nothing of its own. No interaction handler:
    // a file that needs a password or a decision fails instead of waiting
    // for an answer nobody can give. Always read-only, whatever the caller
    // asks: nothing is ever saved through this application, and a writable
    // open puts a lock file beside the presentation that a killed office
    // leaves behind, after which no office opens that file without asking.
    const auto arguments = properties({property("Hidden", Any(true)),
                                       property("ReadOnly", Any(true)),
                                       property("Silent", Any(true))});
    Reference<css::lang::XComponent> component = o.call(path_, doing, [&] {
        Reference<css::frame::XComponentLoader> loader(o.desktop(), UNO_QUERY_THROW);
        try {
            return loader->loadComponentFromURL(url, "_blank", 0, arguments);
        } catch (const css::io::IOException&) {
        } catch (const css::lang::IllegalArgumentException&) {
        }
        return Reference<css::lang::XComponent>();
    });
    if (!component.is())
        throw BadInputError(path_, "the presentation application cannot open this file: it is "
                                   "damaged, protected by a password, or not in a format it reads");
    document_ = component;
    bool isPresentation = o.call(path_, doing, [&] {
        return Reference<css::drawing::XDrawPagesSupplier>(component, UNO_QUERY).is();
    });
    if (!isPresentation) {
        try {
            close();
        } catch (const std::exception&) {
        }
        throw BadInputError(path_, "the file is not a presentation");
    }
}

SlideDeck::~SlideDeck() = default;

OfficeProcess& SlideDeck::office(const std::string& doing) {
    return session_->require(path_, doing);
}

int SlideDeck::slideCount() {
    const std::string doing = "counting the slides";
    OfficeProcess& o = office(doing);
    if (!document_.is()) throw OfficeError(path_, "the presentation is closed");
    return o.call(path_, doing, [&] { return static_cast<int>(drawPages()->getCount()); });
}

const Reference<css::drawing::XDrawPages>& SlideDeck::drawPages() {
    // The office makes a new collection object on every request; one per
    // deck saves a round trip per slide.
    if (!pages_.is()) {
        Reference<css::drawing::XDrawPagesSupplier> supplier(document_, UNO_QUERY_THROW);
        pages_ = supplier->getDrawPages();
    }
    return pages_;
}

Reference<css::drawing::XDrawPage> SlideDeck::page(int index) {
    Reference<css::drawing::XDrawPage> page;
    drawPages()->getByIndex(index) >>= page;
    if (!page.is()) throw css::uno::RuntimeException("the slide is missing");
    return page;
}

std::pair<double, double> SlideDeck::slideSize(int index) {
    const std::string doing = "reading the slide size";
    OfficeProcess& o = office(doing);
    if (!document_.is()) throw OfficeError(path_, "the presentation is closed");
    return o.call(path_, doing, [&] { return pageSize(page(index)); });
}

std::pair<double, double> SlideDeck::pageSize(const Reference<css::drawing::XDrawPage>& slide) {
    Reference<css::beans::XPropertySet> pageProperties(slide, UNO_QUERY_THROW);
    sal_Int32 width = 0, height = 0;
    pageProperties->getPropertyValue("Width") >>= width;
    pageProperties->getPropertyValue("Height") >>= height;
    return {width, height};
}

Reference<css::drawing::XGraphicExportFilter> SlideDeck::makeExportFilter() {
    OfficeProcess& o = office("preparing the slide export");
    return o.call(path_, "preparing the slide export",
                  [&] { return css::drawing::GraphicExportFilter::create(o.context()); });
}

PixelSize SlideDeck::renderTo(const Reference<css::drawing::XGraphicExportFilter>& filter, int index,
                              const std::string& file, const std::string& mediaType, int boxWidth,
                              int boxHeight, bool quick) {
    const std::string doing = "rendering slide " + std::to_string(index + 1);
    OfficeProcess& o = office(doing);
    if (!document_.is()) throw OfficeError(path_, "the presentation is closed");
    const auto url = fileUrl(file);
    PixelSize size;
    // One guarded call per slide: every round trip to the office counts.
    bool written = o.call(path_, doing, [&] {
        const auto slide = page(index);
        const auto [width, height] = pageSize(slide);
        size = fitSlide(width, height, boxWidth, boxHeight);
        filter->setSourceDocument(Reference<css::lang::XComponent>(slide, UNO_QUERY_THROW));
        auto filterData = properties({property("PixelWidth", Any(static_cast<sal_Int32>(size.width))),
                                      property("PixelHeight", Any(static_cast<sal_Int32>(size.height)))});
        if (quick) {
            // The lowest deflate level for a PNG that only carries pixels to
            // us: the default level costs the office a third of its time.
            filterData.realloc(3);
            filterData.getArray()[2] = property("Compression", Any(static_cast<sal_Int32>(1)));
        }
        const auto descriptor = properties({property("URL", Any(url)),
                                            property("MediaType", Any(fromUtf8(mediaType))),
                                            property("FilterData", Any(filterData))});
        return static_cast<bool>(filter->filter(descriptor));
    });
    std::error_code ec;
    if (!written || !fs::exists(file, ec))
        throw WriteError(file, "the presentation application did not write the image of slide " +
                                   std::to_string(index + 1) + " of \"" + path_ + "\"");
    return size;
}

BgrImage SlideDeck::renderSlide(int index, int boxWidth, int boxHeight) {
    TemporaryFolder temporary;
    const std::string file = temporary.path() + "/slide.png";
    renderTo(makeExportFilter(), index, file, "image/png", boxWidth, boxHeight, true);
    return readPng(file);
}

void SlideDeck::exportSlides(const std::string& folder, const std::string& filterName,
                             int boxWidth, int boxHeight) {
    const GraphicFormat* format = findGraphicFormat(filterName);
    if (format == nullptr)
        throw OfficeError(path_, "the graphic format \"" + filterName +
                                     "\" is not supported (use BMP, PNG, JPG, GIF or TIF)");
    if (boxWidth <= 0 || boxHeight <= 0)
        throw OfficeError(path_, "the image size " + std::to_string(boxWidth) + " x " +
                                     std::to_string(boxHeight) + " is not valid");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder))
        throw WriteError(folder, "the folder for the slide images cannot be created" +
                                     (ec ? ": " + ec.message() : std::string()));
    const int count = slideCount();
    const auto filter = makeExportFilter();
    // Rendered into a hidden folder beside the targets and renamed when
    // checked: a slide image is complete or absent, and whatever a failed
    // office left goes with the folder.
    TemporaryFolder staging(folder, ".slides-");
    for (int i = 0; i < count; ++i) {
        const std::string name = "Slide" + std::to_string(i + 1) + "." + filterName;
        const std::string target = (fs::path(folder) / name).string();
        const std::string rendered = staging.path() + "/" + name;
        try {
            const PixelSize size =
                renderTo(filter, i, rendered, std::string(format->mediaType), boxWidth, boxHeight, false);
            if (format->check == ImageCheck::PngSize) requireRenderedSize(rendered, target, size, i + 1);
            if (format->check == ImageCheck::OfficeBmp) completeOfficeBmp(rendered, size);
        } catch (...) {
            fs::remove(rendered, ec);
            throw;
        }
        fs::rename(rendered, target, ec);
        if (ec) {
            fs::remove(rendered, ec);
            throw WriteError(target, "the slide image cannot be put in place");
        }
    }
}

void SlideDeck::close() {
    if (!document_.is()) return;
    const std::string doing = "closing the presentation";
    OfficeProcess& o = office(doing);
    o.call(path_, doing, [&] {
        Reference<css::util::XCloseable> closeable(document_, UNO_QUERY);
        if (closeable.is()) {
            try {
                closeable->close(true);
            } catch (const css::util::CloseVetoException&) {
                document_->dispose();
            }
        } else {
            document_->dispose();
        }
    });
    pages_.clear();
    document_.clear();
}

}  // namespace pressmark::office
