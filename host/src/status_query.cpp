#include "status_query.h"

#include "host_settings.h"
#include "status_object.h"

#include <ctime>

namespace host {

namespace {

template <typename T>
T Get(const platform::BusPropertiesAnswer& answer, const char* name, T fallback) {
    if (const auto* value = answer.find(name)) {
        if (const auto* typed = std::get_if<T>(value))
            return *typed;
    }
    return fallback;
}

std::string LocalDateTime(int64_t epochSeconds) {
    const time_t t = time_t(epochSeconds);
    tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace

StatusReport ReportOn(const platform::BusPropertiesAnswer& answer) {
    using Outcome = platform::BusPropertiesAnswer::Outcome;
    StatusReport report;
    switch (answer.outcome) {
    case Outcome::NoOwner:
        report.exitCode = StatusNoHost;
        report.text = "No host runs: " + answer.detail + "\n";
        return report;
    case Outcome::NoBus:
        report.exitCode = StatusNoHost;
        report.text = "No host can be asked: " + answer.detail + "\n";
        return report;
    case Outcome::NoAnswer:
    case Outcome::Refused:
        report.exitCode = StatusNeedsAttention;
        report.text = "The host does not tell its status: " + answer.detail + "\n";
        return report;
    case Outcome::Read:
        break;
    }
    const auto attention = Get<std::vector<std::string>>(answer, "Attention", {});
    const bool healthy = Get<bool>(answer, "Healthy", false);
    std::string& text = report.text;
    text = "pbxhost " + std::to_string(Get<int64_t>(answer, "Pid", 0)) + " running since " +
           LocalDateTime(Get<int64_t>(answer, "StartedAt", 0)) + " with " +
           Get<std::string>(answer, "ConfigFile", "?") + "\n";
    text +=
        "Plug-ins: " + JoinedNames(Get<std::vector<std::string>>(answer, "PluginsRunning", {})) +
        "\n";
    for (const std::string& line : Get<std::vector<std::string>>(answer, "Summary", {}))
        text += "  " + line + "\n";
    const std::string lastError = Get<std::string>(answer, "LastError", "");
    text += "Last error: " + (lastError.empty() ? std::string("none") : lastError) + "\n";
    if (healthy && attention.empty()) {
        report.exitCode = StatusAllWell;
        text += "All is well\n";
        return report;
    }
    report.exitCode = StatusNeedsAttention;
    text += "Needs attention:\n";
    for (const std::string& line : attention)
        text += "  " + line + "\n";
    if (attention.empty())
        text += "  (the host gave no reason)\n";
    return report;
}

StatusReport QueryStatus(uint32_t timeoutMs) {
    return ReportOn(
        platform::ReadBusProperties(StatusBusName, StatusBusPath, StatusBusInterface, timeoutMs));
}

} // namespace host
