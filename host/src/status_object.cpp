#include "status_object.h"

#include "rtl/plugin.h"
#include "rtl/status.h"

#include <map>
#include <optional>

namespace host {

namespace {

struct PluginStatus {
    std::string name;
    rtl::TStatus status;
};

std::vector<PluginStatus> Collect(rtl::IContext* context) {
    std::vector<PluginStatus> all;
    for (const auto& source : rtl::TContextQuery::all<rtl::IStatusSource>(context)) {
        PluginStatus entry;
        // Fields are named after the plug-in ("mod_varnel.link"), else its class.
        const auto plugin = rtl::Query<rtl::IPlugin>(source);
        entry.name = plugin ? plugin->pluginName() : source->toString();
        try {
            entry.status = source->status();
        } catch (const std::exception& e) {
            entry.status.summary = entry.name + ": status not available (" + e.what() + ")";
            entry.status.attention = {entry.status.summary};
        }
        all.push_back(std::move(entry));
    }
    return all;
}

std::string Text(const rtl::TStatusField::Value& value) {
    if (const auto* b = std::get_if<bool>(&value))
        return *b ? "yes" : "no";
    if (const auto* n = std::get_if<int64_t>(&value))
        return std::to_string(*n);
    return std::get<std::string>(value);
}

// One line: a text from a plug-in may hold line breaks (a database's error text).
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    }
    return text;
}

// The first plug-in's field `name` of the wanted type.
template <typename T>
std::optional<T> FirstField(const std::vector<PluginStatus>& all, const std::string& name,
                            const std::string& besides = {}) {
    for (const PluginStatus& entry : all) {
        if (!besides.empty() && !entry.status.field(besides))
            continue;
        if (const auto* value = entry.status.field(name)) {
            if (const auto* typed = std::get_if<T>(value))
                return *typed;
        }
    }
    return std::nullopt;
}

} // namespace

std::vector<platform::BusProperty> StatusProperties(rtl::IContext* context,
                                                    const HostFacts& facts) {
    const std::vector<PluginStatus> all = Collect(context);
    std::vector<std::string> summaries;
    std::vector<std::string> attention;
    std::string lastError;
    std::map<std::string, std::string> fields;
    if (facts.pluginsRunning.size() < facts.pluginsConfigured)
        attention.push_back("host: " + std::to_string(facts.pluginsRunning.size()) + " of " +
                            std::to_string(facts.pluginsConfigured) +
                            " plug-ins named in the configuration run (see the log)");
    for (const PluginStatus& entry : all) {
        if (!entry.status.summary.empty())
            summaries.push_back(OneLine(entry.status.summary));
        for (const std::string& line : entry.status.attention)
            attention.push_back(OneLine(line));
        if (!entry.status.lastError.empty())
            lastError += (lastError.empty() ? "" : "; ") + entry.name + ": " +
                         OneLine(entry.status.lastError);
        for (const rtl::TStatusField& field : entry.status.fields)
            fields[entry.name + "." + field.name] = OneLine(Text(field.value));
    }
    using platform::BusProperty;
    return {
        BusProperty{"Pid", facts.pid},
        BusProperty{"StartedAt", facts.startedAt},
        BusProperty{"ConfigFile", facts.configFile},
        BusProperty{"PluginsRunning", facts.pluginsRunning},
        BusProperty{"Summary", summaries},
        BusProperty{"Healthy", attention.empty()},
        BusProperty{"Attention", attention},
        BusProperty{"LastError", lastError},
        // The manager's cycle: 0 and "" before the first one or without a manager.
        BusProperty{"ManagerLastCycle", FirstField<int64_t>(all, "last_cycle").value_or(0)},
        BusProperty{"ManagerLastResult",
                    FirstField<std::string>(all, "last_result", "last_cycle").value_or("")},
        // -1: no plug-in counts them.
        BusProperty{"EventsWaiting", FirstField<int64_t>(all, "events_waiting").value_or(-1)},
        BusProperty{"HotelLink", FirstField<std::string>(all, "link").value_or("")},
        BusProperty{"TicketsWaiting", FirstField<int64_t>(all, "tickets_waiting").value_or(-1)},
        BusProperty{"RoomStatesWaiting",
                    FirstField<int64_t>(all, "room_states_waiting").value_or(-1)},
        BusProperty{"Fields", fields},
    };
}

StatusObject::StatusObject(rtl::Ref<rtl::IContext> context, HostFacts facts)
    : context_(std::move(context)), facts_(std::move(facts)), channel_(StatusBusName) {
    channel_.publish(StatusBusPath, StatusBusInterface,
                     [this] { return StatusProperties(context_.get(), facts_); });
}

} // namespace host
