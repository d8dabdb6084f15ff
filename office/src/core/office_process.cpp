#include "office_process.h"

#include "office_profile.h"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <osl/file.hxx>
#include <rtl/bootstrap.hxx>
#include <rtl/ustring.hxx>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <set>
#include <vector>

extern char** environ;

namespace pressmark::office {

namespace {

using namespace std::chrono_literals;
using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

// LibreOffice asks its launcher for a restart with these exit codes (after
// a first start has set up the profile); the launcher is us.
constexpr int kExitRestart = 79;
constexpr int kExitNormalRestart = 81;

std::optional<std::chrono::milliseconds> secondsFromEnvironment(const char* name) {
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return std::nullopt;
    char* end = nullptr;
    double seconds = std::strtod(text, &end);
    if (end == text || seconds <= 0) return std::nullopt;
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

std::string secondsText(std::chrono::milliseconds d) {
    auto s = std::chrono::duration<double>(d).count();
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", s);
    return buffer;
}

// The local UNO runtime that bridges to the office. One per process: the
// UNO runtime keeps its own process-wide state underneath anyway.
Reference<css::uno::XComponentContext> bootstrapLocalContext() {
    try {
        // The installed office's own bootstrap file names the type and
        // service registries; a bootstrap variable (not the process
        // environment, which a library should leave alone) points to it.
        ::rtl::Bootstrap::set("URE_BOOTSTRAP",
                              "vnd.sun.star.pathname:" PRESSMARK_LO_PROGRAM "/fundamentalrc");
        return cppu::defaultBootstrap_InitialComponentContext();
    } catch (const cppu::BootstrapException& e) {
        throw OfficeError(PRESSMARK_LO_PROGRAM "/fundamentalrc",
                          "the UNO runtime cannot start: " + toUtf8(e.getMessage()));
    } catch (const css::uno::Exception& e) {
        throw OfficeError(PRESSMARK_LO_PROGRAM "/fundamentalrc",
                          "the UNO runtime cannot start: " + toUtf8(e.Message));
    }
}

Reference<css::uno::XComponentContext> localContext() {
    // Deliberately never destroyed: offices still held by statics (the warm
    // pool) are ended at exit after this would be, and their bridges need
    // the runtime until then. The UNO runtime is not torn down at exit.
    static const auto* context = new Reference<css::uno::XComponentContext>(bootstrapLocalContext());
    return *context;
}

// Every office of this process, for the exit hook. Deliberately never
// destroyed: offices still held by statics are ended during static teardown
// and deregister themselves then.
struct LiveOffices {
    std::mutex mutex;
    std::set<OfficeProcess*> offices;
};

LiveOffices& liveOffices() {
    static auto* live = new LiveOffices;
    return *live;
}

std::string uniquePipeName() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    return "pressmark_office_" + std::to_string(::getpid()) + "_" +
           std::to_string(counter++) + "_" + std::to_string(random());
}

// The office makes its pipe a socket in the temporary folder; killed, it
// cannot remove it, so we do.
void removePipeSocket(const std::string& pipeName) {
    std::error_code ec;
    const std::string name = "OSL_PIPE_" + std::to_string(::getuid()) + "_" + pipeName;
    for (const char* folder : {"/tmp", "/var/tmp"}) std::filesystem::remove(std::filesystem::path(folder) / name, ec);
}

// Profiles and pipe sockets carry the id of the process that made them.
// Those of processes that were killed (and could not clean up) are removed
// by the next process that starts an office.
void removeLeftoversOfDeadProcesses() {
    std::error_code ec;
    const std::string uidPrefix = "OSL_PIPE_" + std::to_string(::getuid()) + "_";
    for (const auto& folder : {temporaryBase(), std::filesystem::path("/tmp")}) {
        for (auto it = std::filesystem::directory_iterator(folder, ec);
             !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
            std::string name = it->path().filename().string();
            std::string rest;
            if (name.rfind("pressmark-office-", 0) == 0) rest = name.substr(17);
            else if (name.rfind(uidPrefix + "pressmark_office_", 0) == 0) rest = name.substr(uidPrefix.size() + 17);
            else continue;
            const long owner = std::strtol(rest.c_str(), nullptr, 10);
            if (owner <= 0 || owner == ::getpid() || ::kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH)
                continue;
            std::error_code ignored;
            std::filesystem::remove_all(it->path(), ignored);
        }
    }
}

std::string makeProfileDir() {
    static std::once_flag swept;
    std::call_once(swept, removeLeftoversOfDeadProcesses);
    std::string pattern =
        (temporaryBase() / ("pressmark-office-" + std::to_string(::getpid()) + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr)
        throw OfficeError(pattern, std::string("cannot create the office's profile folder: ") +
                                       std::strerror(errno));
    try {
        prepareProfile(buffer.data());
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(buffer.data(), ignored);
        throw;
    }
    return buffer.data();
}

// Offices are forked by one thread that lives as long as the process. The
// parent-death signal that ends an office with us belongs to the thread that
// forked it, not to the process: an office forked by a worker thread would
// be killed when that worker ends, even while another thread uses it (warm
// offices are handed from thread to thread).
class Launcher {
public:
    static Launcher& instance() {
        // Never destroyed: its thread waits for work until the process ends.
        static auto* launcher = new Launcher;
        return *launcher;
    }

    // Runs `fork` on the launcher thread and answers what it returns.
    pid_t run(std::function<pid_t()> fork) {
        std::packaged_task<pid_t()> task(std::move(fork));
        auto result = task.get_future();
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        ready_.notify_one();
        return result.get();
    }

private:
    Launcher() { std::thread([this] { loop(); }).detach(); }

    [[noreturn]] void loop() {
        // Signals are for the program's own threads; none interrupts a fork.
        // The child clears the mask before it becomes the office.
        sigset_t all;
        sigfillset(&all);
        ::pthread_sigmask(SIG_BLOCK, &all, nullptr);
        for (;;) {
            std::unique_lock lock(mutex_);
            ready_.wait(lock, [&] { return !tasks_.empty(); });
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
    }

    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::packaged_task<pid_t()>> tasks_;
};

}  // namespace

OfficeSettings OfficeSettings::fromEnvironment() {
    OfficeSettings settings;
    if (auto v = secondsFromEnvironment("PRESSMARK_OFFICE_TIMEOUT")) settings.callTimeout = *v;
    if (auto v = secondsFromEnvironment("PRESSMARK_OFFICE_START_TIMEOUT")) settings.startTimeout = *v;
    if (auto v = secondsFromEnvironment("PRESSMARK_OFFICE_GRACE")) settings.graceTime = *v;
    return settings;
}

std::string toUtf8(const ::rtl::OUString& s) {
    return ::rtl::OUStringToOString(s, RTL_TEXTENCODING_UTF8).getStr();
}

::rtl::OUString fromUtf8(const std::string& s) {
    return ::rtl::OStringToOUString(::rtl::OString(s.data(), static_cast<sal_Int32>(s.size())),
                                    RTL_TEXTENCODING_UTF8);
}

std::filesystem::path temporaryBase() {
    std::error_code ec;
    auto base = std::filesystem::temp_directory_path(ec);
    return ec ? std::filesystem::path("/tmp") : base;
}

::rtl::OUString fileUrl(const std::string& path) {
    std::error_code ec;
    auto absolute = std::filesystem::absolute(path, ec);
    ::rtl::OUString url;
    if (osl::FileBase::getFileURLFromSystemPath(fromUtf8(ec ? path : absolute.string()), url) !=
        osl::FileBase::E_None)
        throw OfficeError(path, "the name cannot be passed to the presentation application");
    return url;
}

OfficeProcess::OfficeProcess(OfficeSettings settings, std::string profileDir, std::string pipeName)
    : settings_(settings), profileDir_(std::move(profileDir)), pipeName_(std::move(pipeName)) {
    watchdog_ = std::jthread([this](std::stop_token stop) { watchdogLoop(stop); });
    std::lock_guard lock(liveOffices().mutex);
    liveOffices().offices.insert(this);
}

std::unique_ptr<OfficeProcess> OfficeProcess::start(const OfficeSettings& settings) {
    std::unique_ptr<OfficeProcess> process(
        new OfficeProcess(settings, makeProfileDir(), uniquePipeName()));
    try {
        process->spawn();
        process->connect();
    } catch (...) {
        process->kill();
        throw;
    }
    return process;
}

OfficeProcess::~OfficeProcess() {
    {
        // Waits while the exit hook ends this office, then keeps it away.
        std::lock_guard lock(liveOffices().mutex);
        liveOffices().offices.erase(this);
    }
    kill();
}

void OfficeProcess::endAllOffices() noexcept {
    std::lock_guard lock(liveOffices().mutex);
    for (OfficeProcess* office : liveOffices().offices) office->kill();
}

void OfficeProcess::spawn() {
    // Everything the child needs is built before fork: after fork only
    // async-signal-safe calls are allowed (we may have other threads).
    const std::string program = PRESSMARK_LO_PROGRAM "/soffice.bin";
    std::vector<std::string> args = {
        program, "--headless", "--invisible", "--norestore", "--nologo", "--nodefault",
        "--nolockcheck", "--accept=pipe,name=" + pipeName_ + ";urp;StarOffice.ComponentContext",
        "-env:UserInstallation=" + toUtf8(fileUrl(profileDir_))};
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    const pid_t parent = ::getpid();
    int forkError = 0;
    const pid_t child = Launcher::instance().run([&]() -> pid_t {
        const pid_t forked = ::fork();
        if (forked != 0) {
            forkError = errno;
            return forked;
        }
        // Die with the launcher thread, and so with our process, even when
        // it is killed. The check after it closes the race with a parent
        // that died before the call.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        ::setpgid(0, 0);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, 0);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        ::close_range(3, ~0U, 0);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    });
    if (child < 0)
        throw OfficeError("", std::string("cannot start the presentation application: ") +
                                  std::strerror(forkError));
    ::setpgid(child, child);
    std::lock_guard lock(watchMutex_);
    pid_ = child;
    exitStatus_.reset();
}

void OfficeProcess::connect() {
    const auto deadline = std::chrono::steady_clock::now() + settings_.startTimeout;
    // The bridge's threads are started from this thread and inherit its
    // signal mask: with SIGPIPE blocked, a write to an office that has died
    // fails with EPIPE instead of killing our process.
    SigpipeBlock noSigpipe;
    // The bridge is made here (not by a URL resolver) so that we hold it and
    // can end it with its threads (see kill()).
    auto connector = css::connection::Connector::create(localContext());
    auto bridges = css::bridge::BridgeFactory::create(localContext());
    const ::rtl::OUString connection = fromUtf8("pipe,name=" + pipeName_);
    int restarts = 0;
    for (;;) {
        try {
            // An office that accepts the pipe but never answers is caught
            // by the watchdog: it is killed and the call fails.
            Watch watch(*this, settings_.startTimeout);
            auto bridge = bridges->createBridge(::rtl::OUString(), "urp", connector->connect(connection), {});
            uno_->bridge.set(bridge, UNO_QUERY_THROW);
            uno_->context.set(bridge->getInstance("StarOffice.ComponentContext"), UNO_QUERY_THROW);
            break;
        } catch (const css::uno::Exception&) {
            // Not listening yet (or gone): the checks below tell which.
            uno_->context.clear();
            disposeBridge();
        }
        if (stoppedByWatchdog_)
            throw OfficeError("", "the presentation application (LibreOffice) did not answer within " +
                                      secondsText(settings_.startTimeout) + " seconds of its start");
        if (reapNoWait()) {
            int status = *exitStatus_;
            if ((status == kExitRestart || status == kExitNormalRestart) && restarts++ < 2) {
                spawn();
                continue;
            }
            throw OfficeError("", "the presentation application (LibreOffice) ended during "
                                  "start-up with status " + std::to_string(status));
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw OfficeError("", "the presentation application (LibreOffice) did not answer within " +
                                      secondsText(settings_.startTimeout) + " seconds of its start");
        std::this_thread::sleep_for(100ms);
    }
    call("", "starting the presentation application",
         [&] { uno_->desktop = css::frame::Desktop::create(uno_->context); });
    // Now that the UNO runtime and the bridge's libraries are loaded, a hook
    // registered after them runs before their static teardown at exit.
    static std::once_flag hooked;
    std::call_once(hooked, [] { std::atexit(&OfficeProcess::endAllOffices); });
}

bool OfficeProcess::reapNoWait() {
    std::lock_guard lock(watchMutex_);
    if (exitStatus_) return true;
    if (pid_ <= 0) return true;
    int status = 0;
    pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == 0) return false;
    if (r == pid_)
        exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    else
        exitStatus_ = -1;  // not our child any more (someone else reaped it)
    return true;
}

bool OfficeProcess::alive() { return !stoppedByWatchdog_ && !reapNoWait(); }

void OfficeProcess::requireAlive(const std::string& file, const std::string& doing) {
    if (stoppedByWatchdog_)
        throw OfficeGoneError(file, "the presentation application was stopped after it hung and "
                                    "cannot continue " + doing);
    if (reapNoWait())
        throw OfficeGoneError(file, "the presentation application has ended and cannot continue " +
                                        doing);
}

void OfficeProcess::throwTranslated(const std::string& file, const std::string& doing,
                                    const css::uno::Exception& e, bool disposed) {
    if (stoppedByWatchdog_)
        throw OfficeGoneError(file, "the presentation application did not answer within " +
                                        secondsText(settings_.callTimeout) + " seconds while " +
                                        doing + " and was stopped");
    bool gone = reapNoWait();
    if (!gone && disposed) {
        // The bridge notices a dead office as soon as its pipe closes; the
        // exit may be reported a moment later.
        for (int i = 0; i < 20 && !gone; ++i) {
            std::this_thread::sleep_for(50ms);
            gone = reapNoWait();
        }
    }
    if (gone)
        throw OfficeGoneError(file, "the presentation application ended unexpectedly while " + doing);
    std::string detail = toUtf8(e.Message);
    throw OfficeError(file, doing + " failed" + (detail.empty() ? "" : ": " + detail));
}

bool OfficeProcess::closeAllDocuments() {
    try {
        return call("", "closing the open documents", [&] {
            auto components = desktop()->getComponents()->createEnumeration();
            while (components->hasMoreElements()) {
                Reference<css::uno::XInterface> component(components->nextElement(), UNO_QUERY);
                Reference<css::util::XCloseable> closeable(component, UNO_QUERY);
                if (closeable.is()) {
                    closeable->close(true);
                    continue;
                }
                Reference<css::lang::XComponent> disposable(component, UNO_QUERY);
                if (disposable.is()) disposable->dispose();
            }
            return true;
        });
    } catch (const std::exception&) {
        return false;
    }
}

std::size_t OfficeProcess::documentCount() {
    return call("", "listing the open documents", [&] {
        std::size_t count = 0;
        auto components = desktop()->getComponents()->createEnumeration();
        for (; components->hasMoreElements(); components->nextElement()) ++count;
        return count;
    });
}

void OfficeProcess::kill() noexcept {
    {
        std::lock_guard lock(watchMutex_);
        if (pid_ > 0 && !exitStatus_) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
        }
    }
    if (pid_ > 0 && !exitStatus_) {
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        std::lock_guard lock(watchMutex_);
        exitStatus_ = 128 + SIGKILL;
    }
    // The proxies only talk to a dead bridge now; dropping them is local.
    SigpipeBlock noSigpipe;
    if (uno_) {
        uno_->desktop.clear();
        uno_->context.clear();
    }
    disposeBridge();
    watchdog_.request_stop();
    if (watchdog_.joinable() && watchdog_.get_id() != std::this_thread::get_id()) watchdog_.join();
    if (!profileDir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(profileDir_, ec);
        profileDir_.clear();
        removePipeSocket(pipeName_);
    }
}

void OfficeProcess::disposeBridge() noexcept {
    if (!uno_ || !uno_->bridge.is()) return;
    try {
        // Joins the bridge's reader and writer threads.
        uno_->bridge->dispose();
    } catch (...) {
    }
    uno_->bridge.clear();
}

OfficeProcess::SigpipeBlock::SigpipeBlock() {
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    ::pthread_sigmask(SIG_BLOCK, &pipe, &previous_);
}

OfficeProcess::SigpipeBlock::~SigpipeBlock() {
    if (!sigismember(&previous_, SIGPIPE)) {
        // A write to a dead office raised SIGPIPE on this thread while it
        // was blocked: take it, so unblocking does not end the process.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        timespec none{};
        while (::sigtimedwait(&pipe, nullptr, &none) == SIGPIPE) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

void OfficeProcess::killAtExit() noexcept {
    // Releasing a proxy reaches into the UNO runtime, whose own statics may
    // have been destroyed before ours: the process is ending, so the two
    // references are left to it.
    [[maybe_unused]] UnoLink* leftToTheExit = uno_.release();
    kill();
}

OfficeProcess::Watch::Watch(OfficeProcess& process, std::chrono::milliseconds timeout)
    : process_(process) {
    std::lock_guard lock(process_.watchMutex_);
    process_.deadline_ = std::chrono::steady_clock::now() + timeout;
    process_.watchChanged_.notify_all();
}

OfficeProcess::Watch::~Watch() {
    std::lock_guard lock(process_.watchMutex_);
    process_.deadline_.reset();
    process_.watchChanged_.notify_all();
}

void OfficeProcess::watchdogLoop(std::stop_token stop) {
    std::unique_lock lock(watchMutex_);
    while (!stop.stop_requested()) {
        if (!deadline_) {
            watchChanged_.wait(lock, stop, [&] { return deadline_.has_value(); });
            continue;
        }
        const auto armed = *deadline_;
        if (watchChanged_.wait_until(lock, stop, armed,
                                     [&] { return !deadline_ || *deadline_ != armed; }))
            continue;
        if (stop.stop_requested()) break;
        // The call has hung: killing the office makes the blocked UNO call
        // fail at once, so the caller gets an error instead of waiting forever.
        stoppedByWatchdog_ = true;
        if (pid_ > 0 && !exitStatus_) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
        }
        deadline_.reset();
    }
}

}  // namespace pressmark::office
