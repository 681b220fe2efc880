// The serial settings of the "rs" section: the device-control string built from
// them, the words refused (in the order parity, flow, stop bits), and the
// defaults written for missing keys.
#include "io_errors.h"
#include "rs232_config.h"

#include "rtl/configuration.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

using rtl::Ref;
using tellum::TCfgRS232Config;

struct ControlCase {
    const char* name;
    std::map<std::string, std::string> settings;
    const char* deviceControl; // expected string, or nullptr when refused
    const char* error;         // expected message when refused
};

void PrintTo(const ControlCase& c, std::ostream* os) {
    *os << c.name;
}

class DeviceControlString : public testing::TestWithParam<ControlCase> {};

TEST_P(DeviceControlString, IsBuiltFromTheSectionOrRefusedWithTheBadWord) {
    const ControlCase& c = GetParam();
    Ref<rtl::TConfiguration> rs(new rtl::TConfiguration);
    for (const auto& [key, value] : c.settings)
        rs->set(key, value);
    auto config = rtl::MakeRef<TCfgRS232Config>(rs, false);
    if (c.deviceControl) {
        EXPECT_EQ(config->deviceControlString(), c.deviceControl);
        return;
    }
    try {
        config->deviceControlString();
        ADD_FAILURE() << "accepted";
    } catch (const tellum::EConfigurationError& e) {
        EXPECT_STREQ(e.what(), c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Settings, DeviceControlString,
    testing::Values(
        ControlCase{"EmptySection", {}, "9600,n,8,1", nullptr},
        ControlCase{"EveryKey",
                    {{"rate", "19200"},
                     {"parity", "even"},
                     {"data", "7"},
                     {"stop", "2"},
                     {"flow", "hardware"}},
                    "19200,e,7,2,p",
                    nullptr},
        ControlCase{
            "HardwareFlow", {{"rate", "4800"}, {"flow", "hardware"}}, "4800,n,8,1,p", nullptr},
        ControlCase{"CaseAndBlanksIgnored",
                    {{"parity", "EVEN"}, {"flow", " XonXoff "}, {"stop", " 1.5"}, {"data", "5"}},
                    "9600,e,5,1.5,x",
                    nullptr},
        ControlCase{"OddParity", {{"parity", " odd "}}, "9600,o,8,1", nullptr},
        ControlCase{"MarkParity", {{"parity", "Mark"}}, "9600,m,8,1", nullptr},
        ControlCase{"SpaceParity", {{"parity", "space"}, {"flow", "none"}}, "9600,s,8,1", nullptr},
        ControlCase{
            "NumbersThatAreNoIntegers", {{"rate", "fast"}, {"data", "7.5"}}, "9600,n,8,1", nullptr},
        ControlCase{
            "NumbersWithBlanks", {{"rate", " 2400 "}, {"data", "+7"}}, "2400,n,7,1", nullptr},
        ControlCase{"ParityLetter",
                    {{"parity", "e"}},
                    nullptr,
                    "Invalid value \"e\" for parity check parameter."},
        ControlCase{"StopBitsNotExact",
                    {{"stop", "1.50"}},
                    nullptr,
                    "Invalid value \"1.50\" for stop bits parameter."},
        ControlCase{"FlowShownTrimmedAndLowerCase",
                    {{"flow", " RTS "}},
                    nullptr,
                    "Invalid value \"rts\" for flow control parameter."},
        ControlCase{"ParityBeforeFlowAndStop",
                    {{"parity", "x"}, {"flow", "y"}, {"stop", "3"}},
                    nullptr,
                    "Invalid value \"x\" for parity check parameter."},
        ControlCase{"FlowBeforeStop",
                    {{"flow", "y"}, {"stop", "3"}},
                    nullptr,
                    "Invalid value \"y\" for flow control parameter."}),
    [](const auto& info) { return std::string(info.param.name); });

// The configurator is one of the host's configuration errors for callers that
// catch those.
TEST(DeviceControlStringErrors, AreHostConfigurationErrors) {
    Ref<rtl::TConfiguration> rs(new rtl::TConfiguration);
    rs->set("parity", "e");
    EXPECT_THROW(rtl::MakeRef<TCfgRS232Config>(rs, false)->deviceControlString(),
                 rtl::EConfigError);
}

std::vector<std::pair<std::string, std::string>> Entries(rtl::IConfiguration& config) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const auto& e : config.tree()->descendants())
        entries.emplace_back(e->path(), e->value());
    return entries;
}

TEST(SerialDefaults, MissingKeysAreWrittenInOrderAndPresentOnesStay) {
    Ref<rtl::TConfiguration> rs(new rtl::TConfiguration);
    rtl::MakeRef<TCfgRS232Config>(rs, true);
    const std::vector<std::pair<std::string, std::string>> defaults = {
        {"device", "COM1"}, {"rate", "9600"},   {"data", "8"},
        {"stop", "1"},      {"parity", "none"}, {"flow", "none"},
    };
    EXPECT_EQ(Entries(*rs), defaults);

    Ref<rtl::TConfiguration> partial(new rtl::TConfiguration);
    partial->set("parity", "even");
    partial->set("rate", "");
    rtl::MakeRef<TCfgRS232Config>(partial, true);
    const std::vector<std::pair<std::string, std::string>> kept = {
        {"parity", "even"}, {"rate", ""},  {"device", "COM1"},
        {"data", "8"},      {"stop", "1"}, {"flow", "none"},
    };
    EXPECT_EQ(Entries(*partial), kept);

    Ref<rtl::TConfiguration> untouched(new rtl::TConfiguration);
    rtl::MakeRef<TCfgRS232Config>(untouched, false);
    EXPECT_TRUE(Entries(*untouched).empty());
}

} // namespace
