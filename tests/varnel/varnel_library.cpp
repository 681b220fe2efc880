#include "varnel_library.h"

#include "platform/error.h"
#include "platform/tick_count.h"

#include <QTcpServer>

#include <cstring>
#include <ctime>
#include <stdexcept>

namespace varnel_test {

namespace {

// Waits of the tests unless a test sets its own: answers on loopback come in
// milliseconds, so 20 s is generous; keep-alive frames stay out of the way.
const VarnelLibrary::Settings Defaults = {
    {"KEEPALIVE_MS", "600000"},          {"CONNECT_WAIT_MS", "9000"},
    {"SEND_CONNECT_WAIT_MS", "3000"},    {"ANSWER_WAIT_MS", "20000"},
    {"PARTIAL_REINIT_WAIT_MS", "20000"}, {"INTERROGATION_WAIT_MS", "20000"},
};

uint32_t Monotonic() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint32_t(uint64_t(ts.tv_sec) * 1000u + uint64_t(ts.tv_nsec) / 1000000u);
}

} // namespace

VarnelLibrary::VarnelLibrary(const Settings& settings) {
    load(settings);
}

VarnelLibrary::~VarnelLibrary() {
    unload();
}

void VarnelLibrary::load(const Settings& settings) {
    Settings all = Defaults;
    for (const auto& [key, value] : settings)
        all[key] = value;
    for (const auto& [key, value] : all)
        ::setenv(("VARNEL_TEST_" + key).c_str(), value.c_str(), 1);
    library_ = platform::DynamicLibrary(VARNEL_LIBRARY_PATH);
    for (const auto& [key, value] : all)
        ::unsetenv(("VARNEL_TEST_" + key).c_str());
#define VARNEL_EXPORT(name)                                                                        \
    api_.name = library_.function<decltype(&::name)>(#name);                                       \
    if (!api_.name)                                                                                \
        throw std::runtime_error("libVarnel.so has no export " #name);
#include "varnel_exports.inc"
#undef VARNEL_EXPORT
}

void VarnelLibrary::unload() {
    if (library_.loaded())
        library_.unload();
    api_ = {};
}

OutText::OutText(const char* initial) : value_(strdup(initial)) {}

NotificationLog::NotificationLog()
    : hook_([this](const platform::Message& m, bool&) { seen.push_back(m); }) {}

size_t NotificationLog::count(const std::string& name) const {
    const uint32_t id = platform::RegisterMessage(name);
    size_t n = 0;
    for (const auto& m : seen)
        n += m.id == id ? 1 : 0;
    return n;
}

const platform::Message* NotificationLog::last(const std::string& name) const {
    const uint32_t id = platform::RegisterMessage(name);
    for (auto it = seen.rbegin(); it != seen.rend(); ++it)
        if (it->id == id)
            return &*it;
    return nullptr;
}

ShiftedClock::ShiftedClock(uint32_t now) {
    const uint32_t offset = now - Monotonic();
    platform::SetTickSource([offset] { return Monotonic() + offset; });
}

ShiftedClock::~ShiftedClock() {
    platform::SetTickSource({});
}

std::string ClosedPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return std::to_string(probe.serverPort()); // closed again when probe goes
}

} // namespace varnel_test
