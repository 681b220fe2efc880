// The timings of the test build of libVarnel.so: the protocol's defaults, each of which
// a test may replace through the environment before it loads the library:
//   VARNEL_TEST_KEEPALIVE_MS           keep-alive interval            (15000)
//   VARNEL_TEST_CONNECT_WAIT_MS        Connect's wait                 (9000)
//   VARNEL_TEST_SEND_CONNECT_WAIT_MS   connect wait before a send     (3000)
//   VARNEL_TEST_ANSWER_WAIT_MS         a command's answer wait        (90000)
//   VARNEL_TEST_PARTIAL_REINIT_WAIT_MS PartialReinitialize's wait     (60000)
//   VARNEL_TEST_INTERROGATION_WAIT_MS  Interrogation's wait           (1000)
// A value that is not a whole number of milliseconds is ignored. The shipped library
// has no such variables.
#include "export_support.h"

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

LinkTimings LibraryTimings() {
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
