#include "service_notifier.h"

#include "rtl/logger.h"
#include "rtl/status.h"

#include <QTimer>

#include <systemd/sd-daemon.h>

#include <cstdlib>
#include <unistd.h>

namespace host {

namespace {

// How often the status line is looked at between watchdog pings.
constexpr int kStatusIntervalMs = 2000;

void Notify(const std::string& message) {
    const int rc = sd_notify(0, message.c_str());
    if (rc < 0)
        rtl::TLogger::warn("pbxhost", "Cannot notify the service manager (%s): error %d",
                           message.substr(0, message.find('=')), -rc);
}

} // namespace

struct ServiceNotifier::Impl {
    rtl::Ref<rtl::IContext> context;
    bool enabled = false;
    uint64_t watchdogUsec = 0;
    QTimer watchdog;
    QTimer status;
    std::string lastStatus;
    bool sentAny = false;
};

ServiceNotifier::ServiceNotifier(rtl::Ref<rtl::IContext> context)
    : impl_(std::make_unique<Impl>()) {
    impl_->context = std::move(context);
    const char* socket = std::getenv("NOTIFY_SOCKET");
    impl_->enabled = socket && *socket;
    if (!impl_->enabled)
        return;
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        impl_->watchdogUsec = usec;
    QObject::connect(&impl_->watchdog, &QTimer::timeout, [] { Notify("WATCHDOG=1"); });
    QObject::connect(&impl_->status, &QTimer::timeout, [this] { updateStatus(); });
}

ServiceNotifier::~ServiceNotifier() = default;

bool ServiceNotifier::enabled() const {
    return impl_->enabled;
}

std::string ServiceNotifier::StatusLine(rtl::IContext* context) {
    std::string line;
    for (const auto& source : rtl::TContextQuery::all<rtl::IStatusSource>(context)) {
        std::string summary;
        try {
            summary = source->status().summary;
        } catch (const std::exception& e) {
            summary = source->toString() + ": status not available (" + e.what() + ")";
        }
        if (summary.empty())
            continue;
        line += (line.empty() ? "" : "; ") + summary;
    }
    // One line: STATUS= ends at the first line break.
    for (char& c : line) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return line;
}

void ServiceNotifier::ready() {
    if (!impl_->enabled)
        return;
    impl_->lastStatus = StatusLine(impl_->context.get());
    std::string message = "READY=1\nMAINPID=" + std::to_string(::getpid());
    if (!impl_->lastStatus.empty())
        message += "\nSTATUS=" + impl_->lastStatus;
    Notify(message);
    impl_->sentAny = true;
    if (impl_->watchdogUsec > 0) {
        // Half the interval, as systemd advises; never below 1 ms.
        const uint64_t ms = impl_->watchdogUsec / 2000;
        impl_->watchdog.start(int(ms == 0 ? 1 : (ms > 0x7fffffff ? 0x7fffffff : ms)));
        Notify("WATCHDOG=1");
    }
    impl_->status.start(kStatusIntervalMs);
}

void ServiceNotifier::updateStatus() {
    if (!impl_->enabled)
        return;
    const std::string line = StatusLine(impl_->context.get());
    if (impl_->sentAny && line == impl_->lastStatus)
        return;
    impl_->lastStatus = line;
    impl_->sentAny = true;
    Notify("STATUS=" + line);
}

void ServiceNotifier::stopping() {
    if (!impl_->enabled)
        return;
    impl_->watchdog.stop();
    impl_->status.stop();
    Notify("STOPPING=1\nSTATUS=Stopping the plug-ins");
}

} // namespace host
