#pragma once
// One LibreOffice process of our own, reached over a private UNO pipe.
//
// The office runs out of process so that its crash or hang is an error we
// report, never a crash of ours. Every call into it runs under a watchdog: a
// call that does not return within the call timeout gets the office killed,
// which makes the blocked UNO call fail at once. The office is started as a
// child that dies with us (parent-death signal), in its own process group
// with a private profile in a temporary folder that is removed with it.
#include "office_error.h"

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <signal.h>
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

namespace pressmark::office {

namespace css = ::com::sun::star;

struct OfficeSettings {
    // Longest wait for one call into the office before it counts as hung.
    std::chrono::milliseconds callTimeout{std::chrono::seconds(120)};
    // Longest wait for a fresh office to answer on its pipe.
    std::chrono::milliseconds startTimeout{std::chrono::seconds(90)};
    // How long an office stays warm for the next application after Quit.
    std::chrono::milliseconds graceTime{std::chrono::seconds(20)};

    // The defaults, overridden by PRESSMARK_OFFICE_TIMEOUT,
    // PRESSMARK_OFFICE_START_TIMEOUT and PRESSMARK_OFFICE_GRACE (seconds, may
    // be fractional) so that tests can shorten them.
    static OfficeSettings fromEnvironment();
};

class OfficeProcess {
public:
    // Starts an office and waits until it answers; throws OfficeError.
    static std::unique_ptr<OfficeProcess> start(const OfficeSettings& settings);
    ~OfficeProcess();
    OfficeProcess(const OfficeProcess&) = delete;
    OfficeProcess& operator=(const OfficeProcess&) = delete;

    pid_t pid() const noexcept { return pid_; }
    const std::string& profileDir() const noexcept { return profileDir_; }
    const OfficeSettings& settings() const noexcept { return settings_; }
    const css::uno::Reference<css::uno::XComponentContext>& context() const { return uno_->context; }
    const css::uno::Reference<css::frame::XDesktop2>& desktop() const { return uno_->desktop; }

    // True while the process runs and the watchdog has not stopped it.
    bool alive();

    // Runs f() as one call into the office under the watchdog. UNO failures
    // become OfficeError naming `file` and saying what we were `doing`;
    // a hang or a crash becomes OfficeGoneError.
    template <class F>
    auto call(const std::string& file, const std::string& doing, F&& f) -> decltype(f()) {
        requireAlive(file, doing);
        Watch watch(*this);
        try {
            return f();
        } catch (const css::lang::DisposedException& e) {
            // What a call gets when the office's end closes the bridge.
            throwTranslated(file, doing, e, true);
        } catch (const css::uno::Exception& e) {
            throwTranslated(file, doing, e, false);
        }
    }

    // Closes every document the office holds; false when one refused or the
    // office failed, in which case the office must not be handed on.
    bool closeAllDocuments();
    // Number of documents the office holds (0 for a clean handover).
    std::size_t documentCount();

    // Ends the office now (kill the process group, reap, dispose the bridge
    // and its threads, remove the profile).
    void kill() noexcept;
    // The same during static teardown at exit, when the UNO runtime may be
    // gone already: the proxies to the office are left unreleased. Normally
    // a no-op by then: the exit hook (endAllOffices) has ended every office.
    void killAtExit() noexcept;

    // Ends every office of this process. Registered with atexit when the
    // first office answers, i.e. after the UNO runtime and its bridge
    // libraries are loaded, so that it runs before their static teardown:
    // an office left to the statics (the warm pool, an application the host
    // never released) would otherwise be ended while that teardown runs,
    // and the bridge threads that notice its end would crash the exit.
    static void endAllOffices() noexcept;

private:
    OfficeProcess(OfficeSettings settings, std::string profileDir, std::string pipeName);
    void spawn();
    void connect();
    void requireAlive(const std::string& file, const std::string& doing);
    [[noreturn]] void throwTranslated(const std::string& file, const std::string& doing,
                                      const css::uno::Exception& e, bool disposed);
    bool reapNoWait();  // true when the process has ended (and was reaped)
    void watchdogLoop(std::stop_token stop);

    // Blocks SIGPIPE on this thread for its life (see connect()).
    class SigpipeBlock {
    public:
        SigpipeBlock();
        ~SigpipeBlock();
        SigpipeBlock(const SigpipeBlock&) = delete;
        SigpipeBlock& operator=(const SigpipeBlock&) = delete;

    private:
        sigset_t previous_;
    };

    // Arms the watchdog for the life of one call (and blocks SIGPIPE, as
    // the call writes to the office's pipe).
    class Watch {
    public:
        Watch(OfficeProcess& process, std::chrono::milliseconds timeout);
        explicit Watch(OfficeProcess& process) : Watch(process, process.settings_.callTimeout) {}
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

    private:
        SigpipeBlock noSigpipe_;
        OfficeProcess& process_;
    };

    OfficeSettings settings_;
    std::string profileDir_;
    std::string pipeName_;
    pid_t pid_ = -1;
    std::optional<int> exitStatus_;  // set once reaped
    std::atomic<bool> stoppedByWatchdog_{false};
    struct UnoLink {
        css::uno::Reference<css::uno::XComponentContext> context;
        css::uno::Reference<css::frame::XDesktop2> desktop;
        // Ours, so that ending the office can dispose it, which joins its
        // reader and writer threads: nothing of an ended office runs on.
        css::uno::Reference<css::lang::XComponent> bridge;
    };
    void disposeBridge() noexcept;
    std::unique_ptr<UnoLink> uno_ = std::make_unique<UnoLink>();

    std::mutex watchMutex_;
    std::condition_variable_any watchChanged_;
    std::optional<std::chrono::steady_clock::time_point> deadline_;
    std::jthread watchdog_;
};

// Text of a UNO exception message in UTF-8.
std::string toUtf8(const ::rtl::OUString& s);
::rtl::OUString fromUtf8(const std::string& s);
// file:// URL of an absolute local path.
::rtl::OUString fileUrl(const std::string& path);
// The system's temporary folder ($TMPDIR), /tmp when it has none.
std::filesystem::path temporaryBase();

}  // namespace pressmark::office
