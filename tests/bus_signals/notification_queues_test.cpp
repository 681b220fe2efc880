// varnel-cli watch finds a notification's record through the queue the notification
// names; that table must agree with where the decoders really put each event.
#include "event_decoders.h"
#include "frame_kinds.h"
#include "notifications.h"

#include "hlsim/frames.h"

#include <gtest/gtest.h>

namespace {

using namespace varnel;

struct Row {
    const char* kind;
    hlsim::FieldValues values;
};

class NotificationQueue : public ::testing::TestWithParam<Row> {};

TEST_P(NotificationQueue, IsTheQueueTheDecoderFills) {
    const std::string frame = hlsim::BuildFrame(GetParam().kind, GetParam().values);
    const auto kind = ClassifyFrame(frame);
    ASSERT_TRUE(kind);
    const EventOutcome outcome = DecodeEvent(*kind, frame, 1, "2024.02.01 09:05");
    ASSERT_TRUE(outcome.notification);
    ASSERT_TRUE(outcome.queue);
    EXPECT_EQ(QueueOf(*outcome.notification), outcome.queue);
}

INSTANTIATE_TEST_SUITE_P(
    EveryEventKind, NotificationQueue,
    ::testing::Values(Row{"ticket", {{"line", "1"}, {"type", "1"}}},
                      Row{"ticket", {{"line", "1"}, {"type", "3"}}},
                      Row{"wakeup", {{"room", "1"}, {"status", "A"}}},
                      Row{"roomstatus", {{"room", "1"}}}, Row{"fullreinit", {{"room", "1"}}},
                      Row{"partialreinit", {{"room", "1"}}}, Row{"checkin", {{"room", "1"}}},
                      Row{"checkout", {{"room", "1"}}}, Row{"phone", {{"room", "1"}}},
                      Row{"modification", {{"room", "1"}}}),
    [](const auto& info) {
        return std::string(info.param.kind) +
               (info.param.values.count("type") ? "_type" + info.param.values.at("type") : "");
    });

} // namespace
