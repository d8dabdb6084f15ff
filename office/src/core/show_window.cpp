#include "show_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace pressmark::office {

namespace {

struct DisplayClose {
    void operator()(Display* d) const { XCloseDisplay(d); }
};

// Nearest-neighbour scaling into a w x h frame, centred, black around it:
// the window shows the slide undistorted at whatever size the host gives it.
std::vector<std::uint32_t> composeFrame(const BgrImage& image, int w, int h) {
    std::vector<std::uint32_t> frame(static_cast<std::size_t>(w) * h, 0);
    if (image.width <= 0 || image.height <= 0) return frame;
    const double scale = std::min(double(w) / image.width, double(h) / image.height);
    const int dw = std::max(1, int(image.width * scale)), dh = std::max(1, int(image.height * scale));
    const int x0 = (w - dw) / 2, y0 = (h - dh) / 2;
    for (int y = 0; y < dh && y0 + y < h; ++y) {
        const std::uint8_t* src = image.row(std::min(image.height - 1, int(y / scale)));
        std::uint32_t* dst = frame.data() + static_cast<std::size_t>(y0 + y) * w + x0;
        for (int x = 0; x < dw && x0 + x < w; ++x) {
            const std::uint8_t* p = src + 3 * std::min(image.width - 1, int(x / scale));
            dst[x] = (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[1]) << 8) | p[0];
        }
    }
    return frame;
}

// Xlib's error handler is per process. A window of ours may be destroyed
// under us (its adoptive parent went away), and the default handler would
// then end the whole process: errors on our own connections are ignored,
// all others go to whoever handled them before.
std::mutex gDisplaysMutex;
std::vector<Display*> gOurDisplays;
XErrorHandler gPreviousHandler = nullptr;

int ignoreOurErrors(Display* display, XErrorEvent* event) {
    {
        std::lock_guard lock(gDisplaysMutex);
        if (std::find(gOurDisplays.begin(), gOurDisplays.end(), display) != gOurDisplays.end())
            return 0;
    }
    return gPreviousHandler != nullptr ? gPreviousHandler(display, event) : 0;
}

void adoptDisplay(Display* display) {
    std::lock_guard lock(gDisplaysMutex);
    static std::once_flag installed;
    std::call_once(installed, [] { gPreviousHandler = XSetErrorHandler(ignoreOurErrors); });
    gOurDisplays.push_back(display);
}

void forgetDisplay(Display* display) {
    std::lock_guard lock(gDisplaysMutex);
    gOurDisplays.erase(std::remove(gOurDisplays.begin(), gOurDisplays.end(), display),
                       gOurDisplays.end());
}

}  // namespace

struct ShowWindow::State {
    std::unique_ptr<Display, DisplayClose> display;
    Window window = 0;
    int screenWidth = 0;
    int screenHeight = 0;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
    std::atomic<bool> destroyed{false};  // by someone else (its parent's end)
    std::mutex mutex;
    BgrImage image;  // guarded by mutex
    std::jthread thread;

    ~State() {
        if (wakeFd >= 0) ::close(wakeFd);
        if (display) forgetDisplay(display.get());
    }

    void wake() {
        std::uint64_t one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd, &one, sizeof one);
    }

    void paint() {
        Display* d = display.get();
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(d, window, &attributes)) return;
        const int w = attributes.width, h = attributes.height;
        if (w <= 0 || h <= 0) return;
        std::vector<std::uint32_t> frame;
        {
            std::lock_guard lock(mutex);
            frame = composeFrame(image, w, h);
        }
        if (attributes.depth < 24) return;  // nothing sensible to draw on
        XImage* ximage = XCreateImage(d, attributes.visual, attributes.depth, ZPixmap, 0,
                                      reinterpret_cast<char*>(frame.data()), w, h, 32, 0);
        if (ximage == nullptr) return;
        XPutImage(d, window, DefaultGC(d, DefaultScreen(d)), ximage, 0, 0, 0, 0, w, h);
        ximage->data = nullptr;  // the frame vector owns the pixels
        XDestroyImage(ximage);
        XFlush(d);
    }

    void run() {
        Display* d = display.get();
        pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {wakeFd, POLLIN, 0}};
        bool dirty = true;
        while (!stopping) {
            while (XPending(d) > 0) {
                XEvent event;
                XNextEvent(d, &event);
                if (event.type == DestroyNotify && event.xdestroywindow.window == window) {
                    destroyed = true;
                    return;
                }
                if (event.type == Expose || event.type == ConfigureNotify || event.type == MapNotify)
                    dirty = true;
            }
            if (dirty) {
                paint();
                dirty = false;
            }
            if (::poll(fds, 2, 500) > 0 && (fds[1].revents & POLLIN)) {
                std::uint64_t count;
                [[maybe_unused]] auto n = ::read(wakeFd, &count, sizeof count);
                dirty = true;
            }
        }
    }
};

std::unique_ptr<ShowWindow> ShowWindow::open(const std::string& title) {
    const char* name = std::getenv("DISPLAY");
    if (name == nullptr || *name == '\0') return nullptr;
    auto state = std::make_unique<State>();
    state->display.reset(XOpenDisplay(name));
    if (!state->display) return nullptr;
    Display* d = state->display.get();
    adoptDisplay(d);
    const int screen = DefaultScreen(d);
    state->screenWidth = DisplayWidth(d, screen);
    state->screenHeight = DisplayHeight(d, screen);
    state->window = XCreateSimpleWindow(d, RootWindow(d, screen), 0, 0, state->screenWidth,
                                        state->screenHeight, 0, BlackPixel(d, screen),
                                        BlackPixel(d, screen));
    XClassHint hint;
    std::string className = "screenClass";
    hint.res_name = className.data();
    hint.res_class = className.data();
    XSetClassHint(d, state->window, &hint);
    XStoreName(d, state->window, title.c_str());
    XSelectInput(d, state->window, ExposureMask | StructureNotifyMask);
    XMapWindow(d, state->window);
    // The window exists on the server before Run returns, so that the
    // caller can find it by its class at once.
    XSync(d, False);
    state->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (state->wakeFd < 0) return nullptr;
    State* raw = state.get();
    state->thread = std::jthread([raw] { raw->run(); });
    return std::unique_ptr<ShowWindow>(new ShowWindow(std::move(state)));
}

ShowWindow::ShowWindow(std::unique_ptr<State> state) : state_(std::move(state)) {}

ShowWindow::~ShowWindow() {
    state_->stopping = true;
    state_->wake();
    if (state_->thread.joinable()) state_->thread.join();
    if (!state_->destroyed) XDestroyWindow(state_->display.get(), state_->window);
    XSync(state_->display.get(), False);
}

int ShowWindow::screenWidth() const { return state_->screenWidth; }
int ShowWindow::screenHeight() const { return state_->screenHeight; }
unsigned long ShowWindow::windowId() const { return state_->window; }

void ShowWindow::show(BgrImage image) {
    {
        std::lock_guard lock(state_->mutex);
        state_->image = std::move(image);
    }
    state_->wake();
}

}  // namespace pressmark::office
