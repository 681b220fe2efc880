// The ten Get/Delete pairs of the event queues.
#include "event_retrieval.h"
#include "export_support.h"

#include "varnel/varnel.h"

#include <initializer_list>

using namespace varnel;

namespace {

TOxLogFile* QueueOf(LinkContext& link, QueueId id) {
    EventQueues* queues = link.queues();
    return queues ? &(*queues)[id] : nullptr;
}

int32_t GetRecord(QueueId id, std::initializer_list<char**> outs) {
    return Guarded(nullptr, -1, [&](LinkContext& link) {
        const auto record = OldestRecord(QueueOf(link, id), outs.size());
        if (!record)
            return -1; // the out-texts stay as they were
        size_t k = 0;
        for (char** out : outs)
            SetOutText(out, record->fields[k++]);
        return record->key;
    });
}

int32_t DeleteFrom(QueueId id, int32_t key) {
    return Guarded(nullptr, -1,
                   [&](LinkContext& link) { return DeleteRecord(QueueOf(link, id), key); });
}

} // namespace

extern "C" {

VARNEL_API int32_t GetCheckIn(char** Room, char** GuestName, char** Language, char** Password,
                              char** Field2, char** Field4, char** Field1, char** DateStamp) {
    return GetRecord(QueueId::CheckIns,
                     {Room, GuestName, Language, Password, Field2, Field4, Field1, DateStamp});
}

VARNEL_API int32_t DeleteCheckIn(int32_t Key) {
    return DeleteFrom(QueueId::CheckIns, Key);
}

VARNEL_API int32_t GetCheckOut(char** Room, char** DateStamp) {
    return GetRecord(QueueId::CheckOuts, {Room, DateStamp});
}

VARNEL_API int32_t DeleteCheckOut(int32_t Key) {
    return DeleteFrom(QueueId::CheckOuts, Key);
}

VARNEL_API int32_t GetFullReinit(char** Room, char** Text, char** Field12, char** Field21,
                                 char** Field41, char** Field46, char** Field50, char** Field62,
                                 char** Field67, char** Field79, char** Field80, char** DateStamp) {
    return GetRecord(QueueId::FullReinits, {Room, Text, Field12, Field21, Field41, Field46, Field50,
                                            Field62, Field67, Field79, Field80, DateStamp});
}

VARNEL_API int32_t DeleteFullReinit(int32_t Key) {
    return DeleteFrom(QueueId::FullReinits, Key);
}

VARNEL_API int32_t GetModification(char** Room, char** GuestName, char** Field22, char** Field33,
                                   char** Field38, char** Field42, char** Field54, char** Field58,
                                   char** Field59, char** DateStamp) {
    return GetRecord(QueueId::Modifications, {Room, GuestName, Field22, Field33, Field38, Field42,
                                              Field54, Field58, Field59, DateStamp});
}

VARNEL_API int32_t DeleteModification(int32_t Key) {
    return DeleteFrom(QueueId::Modifications, Key);
}

VARNEL_API int32_t GetPartialReinit(char** Room, char** Text, char** Field8, char** Field4,
                                    char** DateStamp) {
    return GetRecord(QueueId::PartReinits, {Room, Text, Field8, Field4, DateStamp});
}

VARNEL_API int32_t DeletePartialReinit(int32_t Key) {
    return DeleteFrom(QueueId::PartReinits, Key);
}

VARNEL_API int32_t GetPhoneAllocation(char** Room, char** Phone, char** DateStamp) {
    return GetRecord(QueueId::PhoneAllocs, {Room, Phone, DateStamp});
}

VARNEL_API int32_t DeletePhoneAllocation(int32_t Key) {
    return DeleteFrom(QueueId::PhoneAllocs, Key);
}

VARNEL_API int32_t GetRoomState(char** Room, char** Status, char** StatusField, char** DateStamp) {
    return GetRecord(QueueId::RoomStates, {Room, Status, StatusField, DateStamp});
}

VARNEL_API int32_t DeleteRoomState(int32_t Key) {
    return DeleteFrom(QueueId::RoomStates, Key);
}

VARNEL_API int32_t GetInTicket(char** Line, char** CallType, char** CallTime, char** Duration,
                               char** Field4, char** Field20, char** DateStamp) {
    return GetRecord(QueueId::TicketsIn,
                     {Line, CallType, CallTime, Duration, Field4, Field20, DateStamp});
}

VARNEL_API int32_t DeleteInTicket(int32_t Key) {
    return DeleteFrom(QueueId::TicketsIn, Key);
}

VARNEL_API int32_t GetOutTicket(char** Line, char** CallType, char** CallTime, char** Duration,
                                char** Field4, char** Field20, char** DateStamp) {
    return GetRecord(QueueId::TicketsOut,
                     {Line, CallType, CallTime, Duration, Field4, Field20, DateStamp});
}

VARNEL_API int32_t DeleteOutTicket(int32_t Key) {
    return DeleteFrom(QueueId::TicketsOut, Key);
}

VARNEL_API int32_t GetWakeUpEvent(char** Room, char** StatusText, char** Field6, char** Field4,
                                  char** Field4b, char** DateStamp) {
    return GetRecord(QueueId::WakeUps, {Room, StatusText, Field6, Field4, Field4b, DateStamp});
}

VARNEL_API int32_t DeleteWakeUpEvent(int32_t Key) {
    return DeleteFrom(QueueId::WakeUps, Key);
}

} // extern "C"
