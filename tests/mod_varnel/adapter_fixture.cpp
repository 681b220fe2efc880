#include "adapter_fixture.h"

#include "platform/timer.h"
#include "test_support/temp_dir.h"

#include <cstdlib>

namespace adapter_test {

namespace {

// The test build of the link library reads its waits when it loads. Answers on
// loopback come in milliseconds, so 20 s is generous; keep-alive frames stay out of
// the way.
const bool TimingsSet = [] {
    ::setenv("VARNEL_TEST_KEEPALIVE_MS", "600000", 1);
    ::setenv("VARNEL_TEST_ANSWER_WAIT_MS", "20000", 1);
    ::setenv("VARNEL_TEST_PARTIAL_REINIT_WAIT_MS", "20000", 1);
    return true;
}();

std::string FileOrEmpty(const std::string& path) {
    return platform::FileExists(path) ? test_support::ReadFile(path) : std::string();
}

} // namespace

bool WaitFor(const std::function<bool()>& condition, uint32_t ms) {
    // Files and databases wake no event loop: a short timer makes the wait look again.
    platform::Timer poll([] {});
    poll.setInterval(20);
    poll.start();
    return platform::WaitUntil(condition, ms);
}

NotificationGate::NotificationGate()
    : hook_([this](const platform::Message& m, bool& handled) {
          seen_.push_back(m.id);
          if (closed && (m.id == platform::RegisterMessage(OutCallTicket) ||
                         m.id == platform::RegisterMessage(RoomStatus)))
              handled = true;
      }) {}

size_t NotificationGate::count(const std::string& name) const {
    const uint32_t id = platform::RegisterMessage(name);
    size_t n = 0;
    for (uint32_t seen : seen_)
        n += seen == id ? 1 : 0;
    return n;
}

AdapterTest::AdapterTest()
    : config(rtl::MakeRef<rtl::TConfiguration>()), section(config->sub("mod_varnel")) {
    (void)TimingsSet;
    simulator.listen();
    section->set("varnel.path", VARNEL_TEST_LIBRARY_DIR);
    section->set("varnel.driver_ip", "127.0.0.1");
    section->set("varnel.driver_port", simulator.portText());
    section->set("varnel.log_path", dir.file("queues"));
    section->set("out_tickect_scan.cache_file_name", dir.file("cache.dat"));
    section->set("out_tickect_scan.spool_file_name", dir.file("spool.dat"));
}

AdapterTest::~AdapterTest() {
    destroyModule();
}

mod_varnel::TvarnelDM& AdapterTest::dm() {
    if (!module)
        module = std::make_unique<mod_varnel::TvarnelDM>(section);
    return *module;
}

void AdapterTest::destroyModule() {
    module.reset();
    // Notifications the library posted while it unloaded must not reach the next test.
    platform::PumpMessages();
}

void AdapterTest::sendTicket(const std::string& line, const std::string& time,
                             const std::string& duration, const std::string& field4,
                             const std::string& field20) {
    simulator.send({hlsim::BuildFrame("ticket", {{"line", line},
                                                 {"type", "1"},
                                                 {"time", time},
                                                 {"duration", duration},
                                                 {"f4", field4},
                                                 {"f20", field20}})});
}

void AdapterTest::sendRoomStatus(const std::string& line, const std::string& status,
                                 const std::string& text) {
    simulator.send(
        {hlsim::BuildFrame("roomstatus", {{"room", line}, {"status", status}, {"field", text}})});
}

bool AdapterTest::waitForNotification(const std::string& name, size_t n) {
    return WaitFor([&] { return gate.count(name) >= n; });
}

std::string AdapterTest::spool() const {
    return FileOrEmpty(dir.file("spool.dat"));
}

std::string AdapterTest::cache() const {
    return FileOrEmpty(dir.file("cache.dat"));
}

ScriptedLibrary::ScriptedLibrary() : library_(folder() + "/libVarnel.so") {
    // The library may have stayed loaded since an earlier test.
    setResult(0, "");
    setRecord(-1, "");
    setDeleteResult(0);
    setDisconnectResult(1);
    setConnectedResult(0);
}

std::string ScriptedLibrary::folder() {
    return SCRIPTED_VARNEL_DIR;
}

void ScriptedLibrary::setResult(int32_t result, const std::string& message) {
    library_.function<void (*)(int32_t, const char*)>("Script_SetResult")(result, message.c_str());
}
void ScriptedLibrary::setRecord(int32_t key, const std::string& texts) {
    library_.function<void (*)(int32_t, const char*)>("Script_SetRecord")(key, texts.c_str());
}
void ScriptedLibrary::setDeleteResult(int32_t result) {
    library_.function<void (*)(int32_t)>("Script_SetDeleteResult")(result);
}
void ScriptedLibrary::setDisconnectResult(int32_t result) {
    library_.function<void (*)(int32_t)>("Script_SetDisconnectResult")(result);
}
void ScriptedLibrary::setConnectedResult(int32_t result) {
    library_.function<void (*)(int32_t)>("Script_SetConnectedResult")(result);
}
std::string ScriptedLibrary::lastCall() const {
    return library_.function<const char* (*)()>("Script_LastCall")();
}

} // namespace adapter_test
