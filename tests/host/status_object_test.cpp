// The host's status as the bus serves it and as `pbxhost --status` reports it: the
// plug-ins' states gathered into the named properties (the manager's cycle, the hotel
// link, the counts, what needs attention, the last errors) and the report and exit
// code for each answer a monitoring check can meet.
#include "status_object.h"
#include "status_query.h"

#include "rtl/context.h"
#include "rtl/plugin.h"
#include "rtl/status.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using platform::BusPropertiesAnswer;
using platform::BusProperty;
using platform::BusValue;
using Outcome = BusPropertiesAnswer::Outcome;

class TStatusPlugin : public rtl::TPlugin<rtl::IPlugin, rtl::IStatusSource> {
public:
    TStatusPlugin(std::string name, rtl::TStatus status, bool raise = false)
        : status_(std::move(status)), raise_(raise) {
        setName(std::move(name));
    }
    rtl::TStatus status() override {
        if (raise_)
            throw std::runtime_error("queue folder gone");
        return status_;
    }

private:
    rtl::TStatus status_;
    bool raise_;
};

template <typename T> T Value(const std::vector<BusProperty>& properties, const std::string& name) {
    for (const auto& p : properties) {
        if (p.name == name)
            return std::get<T>(p.value);
    }
    throw std::runtime_error("no property " + name);
}

struct StatusContext {
    rtl::Ref<rtl::TContext> context{new rtl::TContext};
    std::vector<rtl::Ref<rtl::IPlugin>> plugins;
    void add(TStatusPlugin* plugin) {
        plugins.emplace_back(plugin);
        context->registerObject(plugins.back().get());
    }
    ~StatusContext() { context->clear(); }
};

TEST(HostStatusObject, GathersThePlugInsStatesIntoItsProperties) {
    StatusContext c;
    c.add(new TStatusPlugin("mod_quorvin", {.summary = "manager: last cycle 10:42:05 error, "
                                                       "2 events waiting",
                                            .fields = {{"last_cycle", int64_t(1765363325)},
                                                       {"last_result", std::string("error")},
                                                       {"events_waiting", int64_t(2)}},
                                            .lastError = "Lost connection\nto the database",
                                            .attention = {"manager: last cycle error"}}));
    c.add(new TStatusPlugin("mod_varnel", {.summary = "hotel link: connected; 3 tickets waiting",
                                           .fields = {{"link", std::string("connected")},
                                                      {"connected", true},
                                                      {"tickets_waiting", int64_t(3)},
                                                      {"room_states_waiting", int64_t(0)}}}));
    c.add(new TStatusPlugin("mod_broken", {}, true));
    const auto p = host::StatusProperties(
        c.context.get(), {.pid = 4242,
                          .startedAt = 1765360000,
                          .configFile = "/etc/pbxhost/pbxhost.conf",
                          .pluginsConfigured = 4,
                          .pluginsRunning = {"mod_quorvin", "mod_varnel", "mod_broken"}});

    EXPECT_EQ(Value<int64_t>(p, "Pid"), 4242);
    EXPECT_EQ(Value<int64_t>(p, "ManagerLastCycle"), 1765363325);
    EXPECT_EQ(Value<std::string>(p, "ManagerLastResult"), "error");
    EXPECT_EQ(Value<int64_t>(p, "EventsWaiting"), 2);
    EXPECT_EQ(Value<std::string>(p, "HotelLink"), "connected");
    EXPECT_EQ(Value<int64_t>(p, "TicketsWaiting"), 3);
    EXPECT_EQ(Value<int64_t>(p, "RoomStatesWaiting"), 0);
    EXPECT_FALSE(Value<bool>(p, "Healthy"));
    EXPECT_EQ(
        Value<std::vector<std::string>>(p, "Attention"),
        (std::vector<std::string>{
            "host: 3 of 4 plug-ins named in the configuration run (see the log)",
            "manager: last cycle error", "mod_broken: status not available (queue folder gone)"}));
    // Texts from a database come on one line.
    EXPECT_EQ(Value<std::string>(p, "LastError"), "mod_quorvin: Lost connection to the database");
    const auto fields = Value<std::map<std::string, std::string>>(p, "Fields");
    EXPECT_EQ(fields.at("mod_varnel.connected"), "yes");
    EXPECT_EQ(fields.at("mod_quorvin.events_waiting"), "2");
}

TEST(HostStatusObject, WithoutThePlugInsThatCountThemTheValuesSaySo) {
    StatusContext c;
    c.add(new TStatusPlugin("mod_tellum", {.summary = "modem: no line operation yet",
                                           .fields = {{"last_result", std::string("")}}}));
    const auto p = host::StatusProperties(
        c.context.get(), {.pluginsConfigured = 1, .pluginsRunning = {"mod_tellum"}});
    EXPECT_TRUE(Value<bool>(p, "Healthy"));
    EXPECT_EQ(Value<int64_t>(p, "ManagerLastCycle"), 0);
    EXPECT_EQ(Value<std::string>(p, "ManagerLastResult"), ""); // not the modem's result
    EXPECT_EQ(Value<int64_t>(p, "EventsWaiting"), -1);
    EXPECT_EQ(Value<int64_t>(p, "TicketsWaiting"), -1);
    EXPECT_EQ(Value<std::string>(p, "HotelLink"), "");
}

BusPropertiesAnswer Read(bool healthy, std::vector<std::string> attention) {
    BusPropertiesAnswer a;
    a.outcome = Outcome::Read;
    a.properties = {{"Pid", int64_t(77)},
                    {"StartedAt", int64_t(0)},
                    {"ConfigFile", std::string("/etc/pbxhost/pbxhost.conf")},
                    {"PluginsRunning", std::vector<std::string>{"mod_quorvin", "mod_varnel"}},
                    {"Summary", std::vector<std::string>{"manager: last cycle 10:42:05 ok",
                                                         "hotel link: disconnected"}},
                    {"Healthy", healthy},
                    {"Attention", std::move(attention)},
                    {"LastError", std::string("")}};
    return a;
}

BusPropertiesAnswer Failed(Outcome outcome, std::string detail) {
    BusPropertiesAnswer a;
    a.outcome = outcome;
    a.detail = std::move(detail);
    return a;
}

TEST(HostStatusReport, EachAnswerHasItsExitCodeAndItsWords) {
    struct Case {
        const char* name;
        BusPropertiesAnswer answer;
        int exitCode;
        std::vector<std::string> parts;
    };
    const std::vector<Case> cases = {
        {"all well",
         Read(true, {}),
         0,
         {"pbxhost 77 running since ", " with /etc/pbxhost/pbxhost.conf\n",
          "Plug-ins: mod_quorvin, mod_varnel\n", "  hotel link: disconnected\n",
          "Last error: none\n", "All is well\n"}},
        {"attention",
         Read(false, {"hotel link: disconnected"}),
         1,
         {"Needs attention:\n  hotel link: disconnected\n"}},
        {"unhealthy without a reason", Read(false, {}), 1, {"(the host gave no reason)"}},
        {"no owner",
         Failed(Outcome::NoOwner, "nobody owns org.hotelpbxlink.PbxHost on X"),
         2,
         {"No host runs: nobody owns org.hotelpbxlink.PbxHost on X\n"}},
        {"no bus",
         Failed(Outcome::NoBus, "cannot connect to the system bus at X"),
         2,
         {"No host can be asked: cannot connect to the system bus at X\n"}},
        {"no answer",
         Failed(Outcome::NoAnswer, "org.hotelpbxlink.PbxHost did not answer"),
         1,
         {"The host does not tell its status: org.hotelpbxlink.PbxHost did not answer\n"}},
        {"refused",
         Failed(Outcome::Refused, "AccessDenied"),
         1,
         {"The host does not tell its status: AccessDenied\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const host::StatusReport report = host::ReportOn(c.answer);
        EXPECT_EQ(report.exitCode, c.exitCode);
        for (const std::string& part : c.parts)
            EXPECT_NE(report.text.find(part), std::string::npos) << report.text;
    }
}

} // namespace
