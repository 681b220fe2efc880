// Connect, Disconnect, IsDrvConnected.
#include "export_support.h"

#include "varnel/varnel.h"

using namespace varnel;

extern "C" {

VARNEL_API int32_t Connect(const char* DriverHost, const char* DriverPort, const char* QueueFolder,
                           char** Message) {
    return Guarded(Message, -3, [&](LinkContext& link) {
        const auto outcome =
            link.connect(InText(DriverHost), InText(DriverPort), InText(QueueFolder));
        SetOutText(Message, outcome.message);
        return outcome.result;
    });
}

VARNEL_API int32_t Disconnect(void) {
    return Guarded(nullptr, 0, [](LinkContext& link) { return link.disconnect(); });
}

VARNEL_API int32_t IsDrvConnected(void) {
    return Guarded(nullptr, -1, [](LinkContext& link) { return link.connected() ? 0 : -1; });
}

} // extern "C"
