// The driver's event frames through the link: decoded into queue records, announced
// after they are saved, fetched and deleted through the Get/Delete exports; reassembly
// of frames however TCP cuts them; keys that stay usable.
#include "link_fixture.h"

#include "hlsim/frames.h"
#include "platform/event_loop.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/tick_count.h"
#include "test_support/temp_dir.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <regex>

using namespace varnel_test;
using test_support::ReadFile;
using test_support::WriteFile;

namespace {

using Outs = std::array<OutText, 12>;
using Getter = std::function<int32_t(const VarnelApi&, Outs&)>;
using Deleter = std::function<int32_t(const VarnelApi&, int32_t)>;

struct Queue {
    std::string file;
    size_t outs; // out-texts of its Get export
    Getter get;
    Deleter del;
};

const Queue OutTickets{"TicketsOut.txt", 7,
                       [](const VarnelApi& v, Outs& o) {
                           return v.GetOutTicket(o[0].ptr(), o[1].ptr(), o[2].ptr(), o[3].ptr(),
                                                 o[4].ptr(), o[5].ptr(), o[6].ptr());
                       },
                       [](const VarnelApi& v, int32_t k) { return v.DeleteOutTicket(k); }};
const Queue InTickets{"TicketsIn.txt", 7,
                      [](const VarnelApi& v, Outs& o) {
                          return v.GetInTicket(o[0].ptr(), o[1].ptr(), o[2].ptr(), o[3].ptr(),
                                               o[4].ptr(), o[5].ptr(), o[6].ptr());
                      },
                      [](const VarnelApi& v, int32_t k) { return v.DeleteInTicket(k); }};
const Queue CheckIns{"CheckIns.txt", 8,
                     [](const VarnelApi& v, Outs& o) {
                         return v.GetCheckIn(o[0].ptr(), o[1].ptr(), o[2].ptr(), o[3].ptr(),
                                             o[4].ptr(), o[5].ptr(), o[6].ptr(), o[7].ptr());
                     },
                     [](const VarnelApi& v, int32_t k) { return v.DeleteCheckIn(k); }};
const Queue CheckOuts{
    "CheckOuts.txt", 2,
    [](const VarnelApi& v, Outs& o) { return v.GetCheckOut(o[0].ptr(), o[1].ptr()); },
    [](const VarnelApi& v, int32_t k) { return v.DeleteCheckOut(k); }};
const Queue PhoneAllocs{"PhoneAllocs.txt", 3,
                        [](const VarnelApi& v, Outs& o) {
                            return v.GetPhoneAllocation(o[0].ptr(), o[1].ptr(), o[2].ptr());
                        },
                        [](const VarnelApi& v, int32_t k) { return v.DeletePhoneAllocation(k); }};
const Queue Modifications{"Modifications.txt", 10,
                          [](const VarnelApi& v, Outs& o) {
                              return v.GetModification(
                                  o[0].ptr(), o[1].ptr(), o[2].ptr(), o[3].ptr(), o[4].ptr(),
                                  o[5].ptr(), o[6].ptr(), o[7].ptr(), o[8].ptr(), o[9].ptr());
                          },
                          [](const VarnelApi& v, int32_t k) { return v.DeleteModification(k); }};
const Queue RoomStates{"RoomStates.txt", 4,
                       [](const VarnelApi& v, Outs& o) {
                           return v.GetRoomState(o[0].ptr(), o[1].ptr(), o[2].ptr(), o[3].ptr());
                       },
                       [](const VarnelApi& v, int32_t k) { return v.DeleteRoomState(k); }};
const Queue WakeUps{"WakeUps.txt", 6,
                    [](const VarnelApi& v, Outs& o) {
                        return v.GetWakeUpEvent(o[0].ptr(), o[1].ptr(), o[2].ptr(), o[3].ptr(),
                                                o[4].ptr(), o[5].ptr());
                    },
                    [](const VarnelApi& v, int32_t k) { return v.DeleteWakeUpEvent(k); }};
const Queue FullReinits{"FullReinits.txt", 12,
                        [](const VarnelApi& v, Outs& o) {
                            return v.GetFullReinit(o[0].ptr(), o[1].ptr(), o[2].ptr(), o[3].ptr(),
                                                   o[4].ptr(), o[5].ptr(), o[6].ptr(), o[7].ptr(),
                                                   o[8].ptr(), o[9].ptr(), o[10].ptr(),
                                                   o[11].ptr());
                        },
                        [](const VarnelApi& v, int32_t k) { return v.DeleteFullReinit(k); }};
const Queue PartReinits{"PartReinits.txt", 5,
                        [](const VarnelApi& v, Outs& o) {
                            return v.GetPartialReinit(o[0].ptr(), o[1].ptr(), o[2].ptr(),
                                                      o[3].ptr(), o[4].ptr());
                        },
                        [](const VarnelApi& v, int32_t k) { return v.DeletePartialReinit(k); }};

const std::regex StampPattern(R"(\d{4}\.\d{2}\.\d{2} \d{2}:\d{2})");

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    size_t end;
    while ((end = text.find("\r\n", start)) != std::string::npos) {
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& record) {
    std::vector<std::string> fields;
    size_t start = 0;
    size_t bar;
    while ((bar = record.find('|', start)) != std::string::npos) {
        fields.push_back(record.substr(start, bar - start));
        start = bar + 1;
    }
    return fields;
}

class Events : public LinkTest {
protected:
    void SetUp() override { ASSERT_EQ(connect(), 0); }

    // Sends one frame and waits until the library has announced it.
    void sendAndWait(const std::string& frame, const std::string& notification) {
        const size_t before = notifications.count(notification);
        simulator.send({frame});
        ASSERT_TRUE(waitForNotification(notification, before + 1)) << notification;
    }

    // The oldest record through a Get export: its key and out-texts.
    std::pair<int32_t, std::vector<std::string>> get(const Queue& q) {
        Outs outs;
        const int32_t key = q.get(*varnel, outs);
        std::vector<std::string> texts;
        for (size_t i = 0; i < q.outs; ++i)
            texts.push_back(outs[i].str());
        return {key, texts};
    }
};

} // namespace

TEST_F(Events, EveryEventKindIsQueuedAnnouncedFetchedAndDeleted) {
    struct Case {
        std::string name;
        std::string kind;
        hlsim::FieldValues values;
        std::string notification;
        uintptr_t wParam;
        intptr_t lParam;
        const Queue* queue;
        std::vector<std::string> fields; // between the key and the date stamp
    };
    const std::vector<Case> cases = {
        {"out-call ticket",
         "ticket",
         {{"line", "101"},
          {"type", "1"},
          {"time", "01022409050"},
          {"duration", "00042"},
          {"f4", "AB12"},
          {"f20", "TWENTY"}},
         "Ticket for outgoing call from HL driver",
         1,
         101,
         &OutTickets,
         {"101", "1", "01022409050", "00042", "AB12", "TWENTY"}},
        {"out-call ticket, blank call type",
         "ticket",
         {{"line", "101"}},
         "Ticket for outgoing call from HL driver",
         1,
         101,
         &OutTickets,
         {"101", "", "", "", "", ""}},
        {"in-call ticket",
         "ticket",
         {{"line", "102"}, {"type", "3"}, {"duration", "00007"}},
         "Ticket for incoming call from HL driver",
         0,
         102,
         &InTickets,
         {"102", "3", "", "00007", "", ""}},
        {"check-in",
         "checkin",
         {{"room", "101"},
          {"name", "SMITH"},
          {"language", "2"},
          {"password", "1234"},
          {"f2", "03"},
          {"f4", "0730"},
          {"f1", "1"}},
         "Checkin from reception set",
         0,
         101,
         &CheckIns,
         {"101", "SMITH", "2", "1234", "03", "0730", "1"}},
        {"check-in for room 10A",
         "checkin",
         {{"room", "10A"}},
         "Checkin from reception set",
         0,
         0,
         &CheckIns,
         {"10A", "", "", "", "", "", ""}},
        {"check-out",
         "checkout",
         {{"room", "101"}},
         "Checkout from reception set",
         0,
         101,
         &CheckOuts,
         {"101"}},
        {"phone allocation",
         "phone",
         {{"room", "101"}, {"phone", "2101"}},
         "Phone allocation from reception set",
         0,
         101,
         &PhoneAllocs,
         {"101", "2101"}},
        {"modification",
         "modification",
         {{"room", "101"},
          {"name", "SMITH"},
          {"f22", "ABCDEFGH"},
          {"f33", "3"},
          {"f38", "4321"},
          {"f42", "05"},
          {"f54", "0645"},
          {"f58", "1"}},
         "Data modification from reception set",
         0,
         101,
         &Modifications,
         {"101", "SMITH", "ABCDEFGH", "3", "4321", "05", "0645", "1", "<59>"}},
        {"room status",
         "roomstatus",
         {{"room", "101"}, {"status", "1"}, {"field", "ABC"}},
         "Room status event from HL driver",
         0,
         101,
         &RoomStates,
         {"101", "1", "ABC"}},
        {"wake-up",
         "wakeup",
         {{"room", "101"}, {"status", "A"}, {"f16", "010224"}, {"f22", "0730"}, {"f31", "0735"}},
         "Wake up event from HL driver",
         0,
         101,
         &WakeUps,
         {"101", "Acknowledge", "010224", "0730", "0735"}},
        {"end of a full re-initialisation",
         "fullreinit",
         {{"room", "101"},
          {"letter", "E"},
          {"f12", "AAAAAAAA"},
          {"f21", "BBBBBBBBBB"},
          {"f41", "C"},
          {"f46", "DDDD"},
          {"f50", "EE"},
          {"f62", "FFFF"},
          {"f67", "G"},
          {"f79", "H"},
          {"f80", "III"}},
         "End of full reinitialization",
         0,
         101,
         &FullReinits,
         {"101", "End of re-initialization", "AAAAAAAA", "BBBBBBBBBB", "C", "DDDD", "EE", "FFFF",
          "G", "H", "III"}},
        {"end of a partial re-initialisation",
         "partialreinit",
         {{"room", "101"}, {"letter", "O"}, {"f12", "AAAAAAAA"}, {"f20", "BBBB"}},
         "End of partial reinitialization",
         0,
         101,
         &PartReinits,
         {"101", "End of re-initialization", "AAAAAAAA", "BBBB"}},
    };

    // What the queue file held when each notification was dispatched.
    std::string fileAtNotification;
    uint32_t watched = 0;
    const Case* current = nullptr;
    platform::MessageHook fileCheck([&](const platform::Message& m, bool&) {
        if (m.id == watched)
            fileAtNotification = ReadFile(queueFile(current->queue->file));
    });

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        current = &c;
        watched = platform::RegisterMessage(c.notification);
        const std::string frame = hlsim::BuildFrame(c.kind, c.values);
        std::vector<std::string> fields = c.fields;
        if (!fields.empty() && fields.back() == "<59>") // the byte the frame has there
            fields.back() = frame.substr(58, 1);
        const size_t acks = simulator.acksReceived();
        sendAndWait(frame, c.notification);
        EXPECT_TRUE(waitFor([&] { return simulator.acksReceived() == acks + 1; }));
        const platform::Message* m = notifications.last(c.notification);
        EXPECT_EQ(m->wParam, c.wParam);
        EXPECT_EQ(m->lParam, c.lParam);

        // The record was saved before the notification went out.
        const auto lines = Lines(fileAtNotification);
        ASSERT_EQ(lines.size(), 1u);
        const auto recordFields = Fields(lines[0]);
        ASSERT_EQ(recordFields.size(), fields.size() + 2) << lines[0];
        EXPECT_EQ(std::vector<std::string>(recordFields.begin() + 1, recordFields.end() - 1),
                  fields);
        EXPECT_TRUE(std::regex_match(recordFields.back(), StampPattern)) << recordFields.back();

        // Get hands out the fields in record order and the key; it removes nothing.
        const auto [key, texts] = get(*c.queue);
        EXPECT_GT(key, 0);
        EXPECT_EQ(std::to_string(key), recordFields.front());
        std::vector<std::string> expectedTexts = fields;
        expectedTexts.push_back(recordFields.back());
        EXPECT_EQ(texts, expectedTexts);
        EXPECT_EQ(get(*c.queue).first, key);

        EXPECT_EQ(c.queue->del(*varnel, key), 0);
        Outs untouched;
        for (auto& o : untouched)
            *o.ptr() = strdup("untouched");
        EXPECT_EQ(c.queue->get(*varnel, untouched), -1);
        EXPECT_EQ(untouched[0].str(), "untouched");
        EXPECT_EQ(c.queue->del(*varnel, key), -1);
        EXPECT_EQ(ReadFile(queueFile(c.queue->file)), "");
    }
}

TEST_F(Events, FramesThatQueueNothingAreStillAcknowledged) {
    const std::vector<std::string> frames = {
        hlsim::BuildFrame("wakeup", {{"room", "101"}, {"w", "X"}, {"status", "A"}}),
        hlsim::BuildFrame("fullreinit", {{"room", ""}, {"letter", "E"}}),
        hlsim::BuildFrame("fullreinit", {{"room", "101"}, {"letter", "F"}}),
        hlsim::BuildFrame("partialreinit", {{"room", "101"}, {"letter", "P"}}),
        hlsim::BuildFrame("node", {{"id", "N001"}}),
        hlsim::BuildFrame("node", {{"id", "N001"}}),
        hlsim::BuildFrame("node", {{"id", "N002"}}),
    };
    simulator.send(frames);
    ASSERT_TRUE(waitFor([&] { return simulator.acksReceived() == frames.size(); }));
    sendAndWait(hlsim::BuildFrame("checkout", {{"room", "101"}}), "Checkout from reception set");
    EXPECT_EQ(notifications.seen.size(), 2u); // "Connected to HL driver" and the check-out
    varnel.unload();                          // saves every queue
    EXPECT_EQ(ReadFile(queueFile("Nodes.txt")), "N001\r\nN002\r\n");
    for (const char* file : {"WakeUps.txt", "FullReinits.txt", "PartReinits.txt"})
        EXPECT_EQ(ReadFile(queueFile(file)), "") << file;
}

TEST_F(Events, FramesComeThroughHoweverTcpCutsThem) {
    struct Case {
        const char* name;
        hlsim::WriteMode mode;
        size_t piece;
    };
    for (const Case& c : {Case{"four frames in one write", hlsim::WriteMode::Joined, 0},
                          Case{"pieces of 3 bytes", hlsim::WriteMode::Split, 3},
                          Case{"pieces of 1 byte", hlsim::WriteMode::Split, 1}}) {
        SCOPED_TRACE(c.name);
        simulator.setWriteMode(c.mode, c.piece, 1);
        const size_t acks = simulator.acksReceived();
        simulator.send({hlsim::BuildFrame("roomstatus", {{"room", "101"}, {"status", "1"}}),
                        hlsim::BuildFrame("ticket", {{"line", "102"}, {"type", "1"}}),
                        hlsim::BuildFrame("checkout", {{"room", "103"}}),
                        hlsim::BuildFrame("roomstatus", {{"room", "104"}, {"status", "2"}})});
        ASSERT_TRUE(waitFor([&] { return simulator.acksReceived() == acks + 4; }));
        for (const auto& [queue, rooms] :
             std::vector<std::pair<const Queue*, std::vector<std::string>>>{
                 {&RoomStates, {"101", "104"}}, {&OutTickets, {"102"}}, {&CheckOuts, {"103"}}}) {
            for (const std::string& room : rooms) {
                const auto [key, texts] = get(*queue);
                EXPECT_EQ(texts[0], room);
                EXPECT_EQ(queue->del(*varnel, key), 0);
            }
            EXPECT_EQ(get(*queue).first, -1);
        }
    }
}

TEST_F(Events, RecordsSurviveDisconnectConnectAndReload) {
    sendAndWait(hlsim::BuildFrame("roomstatus", {{"room", "101"}, {"status", "1"}}),
                "Room status event from HL driver");
    const int32_t key = get(RoomStates).first;
    ASSERT_GT(key, 0);
    EXPECT_EQ(varnel->Disconnect(), 1);
    EXPECT_EQ(get(RoomStates).first, key);
    ASSERT_EQ(connect(), 0);
    EXPECT_EQ(get(RoomStates).first, key);
    varnel.unload();
    varnel.load();
    EXPECT_EQ(get(RoomStates).first, -1); // no queues before a Connect
    ASSERT_EQ(connect(), 0);
    const auto [reloaded, texts] = get(RoomStates);
    EXPECT_EQ(reloaded, key);
    EXPECT_EQ(texts[0], "101");
    EXPECT_EQ(RoomStates.del(*varnel, key), 0);
}

TEST_F(Events, KeysNearAndPast2Pow31CanBeFetchedAndDeleted) {
    for (const uint32_t now : {2147483647u - 100u, 2147483648u + 1000u, 4294967295u - 50u}) {
        SCOPED_TRACE(now);
        ShiftedClock clock(now);
        sendAndWait(hlsim::BuildFrame("roomstatus", {{"room", "101"}, {"status", "1"}}),
                    "Room status event from HL driver");
        const int32_t key = get(RoomStates).first;
        EXPECT_GE(key, 1);
        const auto lines = Lines(ReadFile(queueFile("RoomStates.txt")));
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(Fields(lines[0]).front(), std::to_string(key));
        EXPECT_EQ(RoomStates.del(*varnel, key), 0);
        EXPECT_EQ(get(RoomStates).first, -1);
    }
}

TEST_F(Events, HandEditedQueueFileDoesNotBlockTheQueue) {
    ASSERT_EQ(varnel->Disconnect(), 1);
    varnel.unload();
    const std::string tail = "|1|0102240905|00042|||2024.02.01 09:05|";
    WriteFile(queueFile("TicketsOut.txt"), "\r\n   \r\n"
                                           "4294967297|101" +
                                               tail +
                                               "\r\n"
                                               "abc|102" +
                                               tail +
                                               "\r\n"
                                               "-5|103" +
                                               tail +
                                               "\r\n"
                                               "7|104" +
                                               tail +
                                               "\r\n"
                                               "7|105" +
                                               tail + "\r\n");
    varnel.load();
    ASSERT_EQ(connect(), 0);
    struct Step {
        std::string line;
        int32_t key; // 0: any key in range
    };
    // 4294967297 = 2 * 2147483647 + 3; keys that are no numbers get some key in range;
    // of two equal keys the older record goes first.
    for (const Step& s :
         {Step{"101", 3}, Step{"102", 0}, Step{"103", 0}, Step{"104", 7}, Step{"105", 7}}) {
        SCOPED_TRACE(s.line);
        const auto [key, texts] = get(OutTickets);
        EXPECT_EQ(texts[0], s.line);
        EXPECT_GE(key, 1);
        if (s.key != 0) {
            EXPECT_EQ(key, s.key);
        }
        EXPECT_EQ(OutTickets.del(*varnel, key), 0);
    }
    EXPECT_EQ(get(OutTickets).first, -1);
    EXPECT_EQ(ReadFile(queueFile("TicketsOut.txt")), "");
}

TEST_F(Events, ARecordThatCannotBeSavedIsNotAcknowledgedAndTheResentFrameIsStoredOnce) {
    const std::string path = queueFile("RoomStates.txt");
    simulator.setPacing(hlsim::Pacing::AwaitAck, 200, 1000);
    {
        auto lock =
            platform::File::Open(path, platform::Access::ReadWrite, platform::Share::Exclusive,
                                 platform::Create::OpenOrCreate);
        simulator.send({hlsim::BuildFrame("roomstatus", {{"room", "101"}, {"status", "1"}})});
        // Not acknowledged, so the driver sends it again, and again.
        ASSERT_TRUE(waitFor([&] { return simulator.framesResent() >= 2; }));
        EXPECT_EQ(notifications.count("Room status event from HL driver"), 0u);
        EXPECT_EQ(get(RoomStates).first, -1); // memory agrees with the file
        EXPECT_EQ(ReadFile(path), "");
    }
    ASSERT_TRUE(waitForNotification("Room status event from HL driver"));
    ASSERT_TRUE(waitFor([&] { return !simulator.sending(); }));
    EXPECT_EQ(Lines(ReadFile(path)).size(), 1u);
    EXPECT_EQ(get(RoomStates).second[0], "101");
    EXPECT_EQ(notifications.count("Room status event from HL driver"), 1u);
    EXPECT_EQ(simulator.framesGivenUp(), 0u);
}

TEST_F(Events, AConnectThatFailsKeepsTheQueuesItHad) {
    // A queue file that another program holds locked cannot be opened.
    const std::string lockedFolder = dir.path() + "/locked/";
    platform::CreateFolders(lockedFolder);
    WriteFile(lockedFolder + "WakeUps.txt", "1|a|\r\n");
    auto lock = platform::File::Open(lockedFolder + "WakeUps.txt", platform::Access::ReadWrite,
                                     platform::Share::Exclusive);
    OutText message;
    ASSERT_EQ(varnel->Connect("127.0.0.1", simulator.portText().c_str(), lockedFolder.c_str(),
                              message.ptr()),
              -3)
        << message.str();
    // The link is still up and its events still reach the queues it had.
    sendAndWait(hlsim::BuildFrame("checkout", {{"room", "101"}}), "Checkout from reception set");
    EXPECT_EQ(get(CheckOuts).second[0], "101");
    EXPECT_EQ(Lines(ReadFile(queueFile("CheckOuts.txt"))).size(), 1u);
    EXPECT_EQ(ReadFile(lockedFolder + "WakeUps.txt"), "1|a|\r\n");
}

TEST_F(Events, OurAcknowledgementAndOurNextFrameNeverShareARead) {
    // A driver that reads chunk by chunk drops a read that holds two messages. Frames
    // come back to back here (the driver does not wait), then a command follows an
    // event at once.
    simulator.setPacing(hlsim::Pacing::FreeRunning);
    simulator.setWriteMode(hlsim::WriteMode::Joined);
    simulator.clearReceived();
    simulator.send({hlsim::BuildFrame("checkout", {{"room", "101"}}),
                    hlsim::BuildFrame("checkout", {{"room", "102"}}),
                    hlsim::BuildFrame("checkout", {{"room", "103"}})});
    ASSERT_TRUE(waitFor([&] { return simulator.acksReceived() == 3; }));
    sendAndWait(hlsim::BuildFrame("checkout", {{"room", "104"}}), "Checkout from reception set");
    OutText message;
    EXPECT_EQ(varnel->CheckOut("105", message.ptr(), 1), 0) << message.str();
    for (const std::string& read : simulator.reads()) {
        size_t messages = 0;
        for (const char c : read)
            messages += (c == '\x06' || c == '\x02') ? 1 : 0;
        EXPECT_EQ(messages, 1u) << hlsim::Readable(read);
    }
}

TEST_F(Events, AtTheDriversPaceThePauseAfterOurAcknowledgementEndsWithTheNextFrame) {
    simulator.setPacing(hlsim::Pacing::AwaitAck, 600000, 0);
    // A clock that steps once a second: a pause that only time could end would last
    // 50 s of it after each acknowledgement.
    struct SlowClock {
        SlowClock() {
            const auto start = std::chrono::steady_clock::now();
            platform::SetTickSource([start] {
                return uint32_t(std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::steady_clock::now() - start)
                                    .count());
            });
        }
        ~SlowClock() { platform::SetTickSource({}); }
    } clock;
    const size_t acks = simulator.acksReceived();
    std::vector<std::string> frames;
    for (const char* room : {"101", "102", "103", "104", "105"})
        frames.push_back(hlsim::BuildFrame("checkout", {{"room", room}}));
    simulator.send(frames);
    // 40 steps of the slow clock: less than one such pause.
    EXPECT_TRUE(platform::WaitUntil([&] { return simulator.acksReceived() == acks + 5; }, 40));
}
