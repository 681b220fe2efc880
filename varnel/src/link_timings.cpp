#include "link_timings.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

namespace varnel {

namespace {

void Override(const char* name, uint32_t& value) {
    const char* text = std::getenv(name);
    if (!text || !*text)
        return;
    uint32_t parsed = 0;
    const char* end = text + std::strlen(text);
    const auto [stop, ec] = std::from_chars(text, end, parsed);
    if (ec == std::errc() && stop == end)
        value = parsed;
}

} // namespace

LinkTimings LinkTimings::FromEnvironment() {
    LinkTimings t;
    Override("VARNEL_TEST_KEEPALIVE_MS", t.keepAliveMs);
    Override("VARNEL_TEST_CONNECT_WAIT_MS", t.connectWaitMs);
    Override("VARNEL_TEST_SEND_CONNECT_WAIT_MS", t.sendConnectWaitMs);
    Override("VARNEL_TEST_ANSWER_WAIT_MS", t.answerWaitMs);
    Override("VARNEL_TEST_PARTIAL_REINIT_WAIT_MS", t.partialReinitWaitMs);
    Override("VARNEL_TEST_INTERROGATION_WAIT_MS", t.interrogationWaitMs);
    return t;
}

} // namespace varnel
