// What the system bus tests share: the committed bus policies made out for the users
// of a test, the match rule of the link library's notifications, and how dbus-monitor
// prints one of them.
#pragma once

#include "test_support/private_bus.h"
#include "test_support/temp_dir.h"
#include "varnel/varnel.h"

#include "platform/event_loop.h"
#include "platform/timer.h"

#include <filesystem>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace bus_test {

// A policy file as installed (the link library's, unless another is named), with
// the service's user and group pbxhost replaced, written into `dir`; returns its path.
inline std::string PolicyFor(const test_support::TempDir& dir, const std::string& user,
                             const std::string& group,
                             const std::string& installed = VARNEL_BUS_POLICY) {
    std::string text = test_support::ReadFile(installed);
    for (const auto& [from, to] :
         {std::pair{std::string("user=\"pbxhost\""), "user=\"" + user + "\""},
          std::pair{std::string("group=\"pbxhost\""), "group=\"" + group + "\""}}) {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
            text.replace(at, from.size(), to);
    }
    const std::string path = dir.file("policy-" + user + "-" + group + "-" +
                                      std::filesystem::path(installed).filename().string());
    test_support::WriteFile(path, text);
    return path;
}

inline std::string CurrentUserName() {
    const passwd* pw = ::getpwuid(::getuid());
    return pw ? pw->pw_name : std::to_string(::getuid());
}

inline std::string CurrentGroupName() {
    const group* gr = ::getgrgid(::getgid());
    return gr ? gr->gr_name : std::to_string(::getgid());
}

// The policy with this test process's own user and group as the service's.
inline std::string PolicyForThisProcess(const test_support::TempDir& dir) {
    return PolicyFor(dir, CurrentUserName(), CurrentGroupName());
}

#ifdef HOST_BUS_POLICY
// Both policies a host needs (the link library's and its status object's), made out
// for this test process's user and group.
inline std::vector<std::string> HostPoliciesForThisProcess(const test_support::TempDir& dir) {
    return {PolicyForThisProcess(dir),
            PolicyFor(dir, CurrentUserName(), CurrentGroupName(), HOST_BUS_POLICY)};
}
#endif

// Only the owner of the library's name gets through this rule.
inline const std::string NotificationRule = std::string("type='signal',sender='") +
                                            VARNEL_BUS_NAME + "',interface='" +
                                            VARNEL_BUS_INTERFACE + "'";

// A notification's arguments as dbus-monitor prints them.
inline std::vector<std::string> Printed(const std::string& name, uint32_t wParam, int32_t lParam) {
    return {"string \"" + name + "\"", "uint32 " + std::to_string(wParam),
            "int32 " + std::to_string(lParam)};
}

// Files, other processes and the bus wake no event loop: poll now and then.
inline bool WaitPolling(const std::function<bool()>& condition, uint32_t ms = 20000) {
    platform::Timer poll([] {});
    poll.setInterval(20);
    poll.start();
    return platform::WaitUntil(condition, ms);
}

} // namespace bus_test
