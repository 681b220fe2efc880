// The waits of the link. Defaults are the protocol's; tests shorten them through
// environment variables read when the library loads (no export of the API changes):
//   VARNEL_TEST_KEEPALIVE_MS           keep-alive interval            (15000)
//   VARNEL_TEST_CONNECT_WAIT_MS        Connect's wait                 (9000)
//   VARNEL_TEST_SEND_CONNECT_WAIT_MS   connect wait before a send     (3000)
//   VARNEL_TEST_ANSWER_WAIT_MS         a command's answer wait        (90000)
//   VARNEL_TEST_PARTIAL_REINIT_WAIT_MS PartialReinitialize's wait     (60000)
//   VARNEL_TEST_INTERROGATION_WAIT_MS  Interrogation's wait           (1000)
// A value that is not a whole number of milliseconds is ignored.
#pragma once

#include <cstdint>

namespace varnel {

struct LinkTimings {
    uint32_t keepAliveMs = 15000;
    uint32_t connectWaitMs = 9000;
    uint32_t sendConnectWaitMs = 3000;
    uint32_t ackWaitMs = 50;
    uint32_t disconnectWaitMs = 3000;
    uint32_t answerWaitMs = 90000;
    uint32_t partialReinitWaitMs = 60000;
    uint32_t interrogationWaitMs = 1000;

    // The defaults with the VARNEL_TEST_... overrides of the environment applied.
    static LinkTimings FromEnvironment();
};

} // namespace varnel
