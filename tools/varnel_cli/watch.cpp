#include "watch.h"

#include "event_queues.h"
#include "notifications.h"
#include "ox_log_file.h"
#include "record_text.h"
#include "varnel/varnel.h"

#include "platform/bus_signals.h"
#include "platform/error.h"
#include "platform/files.h"

#include <systemd/sd-bus.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>

namespace varnel_cli {

const char* const WatchUsage = R"(Usage: varnel-cli watch [QUEUEFOLDER]

Prints every notification of the link library as it arrives on the system bus
(DBUS_SYSTEM_BUS_ADDRESS, else the standard socket): the time, the notification's
name, wParam and lParam. With QUEUEFOLDER (the adapter's varnel.log_path) each one is
followed by the newest record of its queue file for that room or line number, if it
is still there. Runs until it is stopped (Ctrl+C) or the bus goes away (exit 1).
Receiving needs root or membership of the group pbxhost.
)";

namespace {

constexpr uint64_t BusCallTimeoutUs = 10'000'000;

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusCloser>;

void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string ClockTime() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

// The newest record of the notification's queue whose room or line number is
// lParam (any record when lParam is 0, the number of a room that is not one).
std::string RecordLine(const std::string& folder, varnel::Notification n, int32_t lParam) {
    const auto queue = varnel::QueueOf(n);
    if (!queue)
        return {};
    const std::string file = varnel::QueueFileName(*queue);
    std::string text;
    try {
        platform::File f =
            platform::File::Open(folder + file, platform::Access::Read, platform::Share::DenyWrite);
        text = f.readAll();
    } catch (const platform::Error& e) {
        if (e.code() != ENOENT)
            return file + ": " + e.what();
    }
    const auto records = varnel::SplitRecords(text);
    for (auto it = records.rbegin(); it != records.rend(); ++it)
        if (lParam == 0 || varnel::DecimalOrZero(varnel::GetField(2, *it)) == lParam)
            return file + ": " + *it;
    return file + ": no record for " + std::to_string(lParam) + " (taken already)";
}

struct Watcher {
    std::string folder; // empty: no records
};

int OnMessage(sd_bus_message* m, void* userdata, sd_bus_error*) {
    if (!sd_bus_message_is_signal(m, VARNEL_BUS_INTERFACE, VARNEL_BUS_SIGNAL))
        return 0;
    const char* path = sd_bus_message_get_path(m);
    if (!path || std::strcmp(path, VARNEL_BUS_PATH) != 0)
        return 0;
    const auto& watcher = *static_cast<const Watcher*>(userdata);
    const char* name = nullptr;
    uint32_t wParam = 0;
    int32_t lParam = 0;
    if (sd_bus_message_read(m, "sui", &name, &wParam, &lParam) < 0) {
        const char* signature = sd_bus_message_get_signature(m, 1);
        Print(ClockTime() + " unreadable notification (signature \"" +
              (signature ? signature : "") + "\")");
        return 0;
    }
    Print(ClockTime() + " " + name + " (wParam " + std::to_string(wParam) + ", lParam " +
          std::to_string(lParam) + ")");
    const auto notification = varnel::NotificationNamed(name);
    if (!notification)
        Print("         not a notification of this version");
    else if (!watcher.folder.empty())
        if (const std::string record = RecordLine(watcher.folder, *notification, lParam);
            !record.empty())
            Print("         " + record);
    return 0;
}

int Fail(const std::string& text) {
    std::fprintf(stderr, "varnel-cli: %s\n", text.c_str());
    return 1;
}

} // namespace

int RunWatch(const std::vector<std::string>& args) {
    Watcher watcher;
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::fputs(WatchUsage, stdout);
            return 0;
        }
        if (!watcher.folder.empty() || (!arg.empty() && arg[0] == '-')) {
            std::fprintf(stderr, "varnel-cli: watch takes one QUEUEFOLDER, not \"%s\"\n\n%s",
                         arg.c_str(), WatchUsage);
            return 2;
        }
        watcher.folder = arg;
    }
    // The library appends the file names to the folder text; a folder given without
    // its separator is meant all the same.
    if (!watcher.folder.empty() && watcher.folder.back() != '/')
        watcher.folder += '/';

    const std::string address = platform::SystemBusAddress();
    sd_bus* raw = nullptr;
    int r = sd_bus_new(&raw);
    Bus bus(raw);
    if (r >= 0)
        r = sd_bus_set_address(raw, address.c_str());
    if (r >= 0)
        r = sd_bus_set_bus_client(raw, 1);
    if (r >= 0)
        r = sd_bus_set_method_call_timeout(raw, BusCallTimeoutUs);
    if (r >= 0)
        r = sd_bus_start(raw);
    if (r < 0)
        return Fail("cannot connect to the system bus at " + address + ": " + std::strerror(-r));

    // The bus filters by sender: only the owner of the name gets through, so no other
    // program can pass off signals as the library's.
    const std::string rule = std::string("type='signal',sender='") + VARNEL_BUS_NAME + "',path='" +
                             VARNEL_BUS_PATH + "',interface='" + VARNEL_BUS_INTERFACE +
                             "',member='" + VARNEL_BUS_SIGNAL + "'";
    r = sd_bus_add_filter(raw, nullptr, &OnMessage, &watcher);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    if (r >= 0)
        r = sd_bus_call_method(raw, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "AddMatch", &error, nullptr, "s",
                               rule.c_str());
    if (r < 0) {
        const std::string why = error.message ? error.message : std::strerror(-r);
        sd_bus_error_free(&error);
        return Fail("cannot watch the system bus at " + address + ": " + why);
    }
    Print("Watching " + std::string(VARNEL_BUS_NAME) + " on " + address +
          (watcher.folder.empty() ? "" : " with the records of " + watcher.folder));

    for (;;) {
        r = sd_bus_process(raw, nullptr);
        if (r > 0)
            continue;
        if (r == 0)
            r = sd_bus_wait(raw, UINT64_MAX);
        if (r < 0 && r != -EINTR)
            return Fail("the system bus connection ended: " + std::string(std::strerror(-r)));
    }
}

} // namespace varnel_cli
