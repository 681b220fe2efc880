// Test fixture pieces for the link library's C interface: the test build of
// libVarnel.so loaded with dlopen (as its callers do) with shortened waits, out-texts
// that free themselves, a recorder of the library's notifications, and a substitute
// clock.
#pragma once

#include "varnel/varnel.h"

#include "platform/dynamic_library.h"
#include "platform/messages.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace varnel_test {

// Every export, looked up by name.
struct VarnelApi {
#define VARNEL_EXPORT(name) decltype(&::name) name = nullptr;
#include "varnel_exports.inc"
#undef VARNEL_EXPORT
};

// The test build of libVarnel.so loaded for one test. The waits are set through its
// VARNEL_TEST_... environment variables, read when it loads (the shipped library has
// none); the defaults here keep failing tests short while leaving loopback exchanges
// plenty of time.
class VarnelLibrary {
public:
    using Settings = std::map<std::string, std::string>;
    // Keys without the VARNEL_TEST_ prefix, e.g. {"ANSWER_WAIT_MS", "1500"}.
    explicit VarnelLibrary(const Settings& settings = {});
    ~VarnelLibrary();
    VarnelLibrary(const VarnelLibrary&) = delete;
    VarnelLibrary& operator=(const VarnelLibrary&) = delete;

    void load(const Settings& settings = {});
    // dlclose: runs the library's unload steps.
    void unload();
    const VarnelApi& operator*() const { return api_; }
    const VarnelApi* operator->() const { return &api_; }

private:
    platform::DynamicLibrary library_;
    VarnelApi api_;
};

// An out-text of the C interface; freed with free() like the library's callers do.
class OutText {
public:
    OutText() = default;
    explicit OutText(const char* initial);
    ~OutText() { std::free(value_); }
    OutText(const OutText&) = delete;
    OutText& operator=(const OutText&) = delete;
    char** ptr() { return &value_; }
    std::string str() const { return value_ ? value_ : "<NULL>"; }
    bool isNull() const { return value_ == nullptr; }

private:
    char* value_ = nullptr;
};

// The library's notifications as they are broadcast.
class NotificationLog {
public:
    NotificationLog();
    std::vector<platform::Message> seen;
    size_t count(const std::string& name) const;
    const platform::Message* last(const std::string& name) const;

private:
    platform::MessageHook hook_;
};

// Replaces the tick count for its lifetime with the real clock shifted so that it
// reads `now` at construction; waits keep working.
class ShiftedClock {
public:
    explicit ShiftedClock(uint32_t now);
    ~ShiftedClock();
};

// A loopback port where nothing listens.
std::string ClosedPort();

} // namespace varnel_test
