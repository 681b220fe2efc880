// A PBX adapter for the manager's tests: every call is recorded as
// "openLine(<line>, <name>)" and answered from a script keyed by that text
// (true with no text unless scripted). Like a real adapter it empties `info`
// before it answers. A call can also run an action once, in the middle of the
// call (to break the database connection while the exchange is busy).
#pragma once

#include "frame/pbxAdapter_int.h"

#include "rtl/plugin.h"

#include <fmt/format.h>

#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace manager_test {

struct Answer {
    enum class Raise { No, StdError, NonStdError };
    bool done = true;
    std::string info; // the text left in `info`, or the message of the raised error
    Raise raise = Raise::No;
};

class TRecordingAdapter : public rtl::TPlugin<frame::IPBXAdapter> {
public:
    explicit TRecordingAdapter(const std::string& name) {
        setName(name);
        setDescription("Recording adapter");
    }

    bool openLine(frame::IPBXData* data, std::string& info) override {
        return answer("openLine", data, info);
    }
    bool closeLine(frame::IPBXData* data, std::string& info) override {
        return answer("closeLine", data, info);
    }
    bool setGuestName(frame::IPBXData* data, std::string& info) override {
        return answer("setGuestName", data, info);
    }

    std::map<std::string, Answer> script;
    // Run at the first such call only.
    std::map<std::string, std::function<void()>> duringCall;
    std::vector<std::string> calls;

private:
    bool answer(const char* operation, frame::IPBXData* data, std::string& info) {
        const std::string call = fmt::format("{}({}, {})", operation, data->line(), data->name());
        calls.push_back(call);
        info.clear();
        if (const auto action = duringCall.find(call); action != duringCall.end()) {
            const std::function<void()> run = std::move(action->second);
            duringCall.erase(action);
            run();
        }
        const auto it = script.find(call);
        if (it == script.end())
            return true;
        const Answer& a = it->second;
        if (a.raise == Answer::Raise::StdError)
            throw std::runtime_error(a.info);
        if (a.raise == Answer::Raise::NonStdError)
            throw 42;
        info = a.info;
        return a.done;
    }
};

} // namespace manager_test
