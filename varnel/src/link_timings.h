// The waits of the link. The defaults are the protocol's and the shipped library uses
// them as they are; only a test build of the library sets other values.
#pragma once

#include <cstdint>

namespace varnel {

struct LinkTimings {
    uint32_t keepAliveMs = 15000;
    uint32_t connectWaitMs = 9000;
    uint32_t sendConnectWaitMs = 3000;
    // The acknowledgement wait after a send, and the pause that keeps two writes of
    // ours apart unless the driver has spoken in between.
    uint32_t ackWaitMs = 50;
    uint32_t disconnectWaitMs = 3000;
    uint32_t answerWaitMs = 90000;
    uint32_t partialReinitWaitMs = 60000;
    uint32_t interrogationWaitMs = 1000;
};

} // namespace varnel
