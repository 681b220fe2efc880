// The fourteen hotel commands.
#include "export_support.h"
#include "hotel_commands.h"

#include "varnel/varnel.h"

using namespace varnel;

namespace {

template <typename Command> int32_t RunCommandExport(char** message, Command&& command) {
    return Guarded(message, -3, [&](LinkContext& link) {
        const CommandResult r = command(link);
        SetOutText(message, r.message);
        return r.result;
    });
}

int32_t ModifyExport(Modification kind, const char* room, const char* value, char** message,
                     int32_t wait) {
    return RunCommandExport(message, [&](LinkContext& link) {
        return Modify(link, kind, InText(room), InText(value), Flag(wait));
    });
}

int32_t PhoneExport(const char* room, char** phone, char** message, bool getAllocated) {
    SetOutText(phone, "");
    return RunCommandExport(message, [&](LinkContext& link) {
        CommandResult r = AllocatePhone(link, InText(room), getAllocated);
        SetOutText(phone, r.phone);
        return r;
    });
}

} // namespace

extern "C" {

VARNEL_API int32_t CheckIn(const char* Room, const char* GuestName, const char* Language,
                           const char* Password, char** Message, int32_t Wait) {
    return RunCommandExport(Message, [&](LinkContext& link) {
        return varnel::CheckIn(link, InText(Room), InText(GuestName), InText(Language),
                               InText(Password), Flag(Wait));
    });
}

VARNEL_API int32_t CheckOut(const char* Room, char** Message, int32_t Wait) {
    return RunCommandExport(Message, [&](LinkContext& link) {
        return varnel::CheckOut(link, InText(Room), Flag(Wait));
    });
}

VARNEL_API int32_t AllocatePhone(const char* Room, char** Phone, char** Message) {
    return PhoneExport(Room, Phone, Message, false);
}

VARNEL_API int32_t GetAllocatedPhone(const char* Room, char** Phone, char** Message) {
    return PhoneExport(Room, Phone, Message, true);
}

VARNEL_API int32_t SetName(const char* Room, const char* GuestName, char** Message, int32_t Wait) {
    return ModifyExport(Modification::Name, Room, GuestName, Message, Wait);
}

VARNEL_API int32_t SetLanguage(const char* Room, const char* Language, char** Message,
                               int32_t Wait) {
    return ModifyExport(Modification::Language, Room, Language, Message, Wait);
}

VARNEL_API int32_t SetPassword(const char* Room, const char* Password, char** Message,
                               int32_t Wait) {
    return ModifyExport(Modification::Password, Room, Password, Message, Wait);
}

VARNEL_API int32_t SetBarring(const char* Room, const char* Barring, char** Message, int32_t Wait) {
    return ModifyExport(Modification::Barring, Room, Barring, Message, Wait);
}

VARNEL_API int32_t SetWakeUpTime(const char* Room, const char* WakeUpTime, char** Message,
                                 int32_t Wait) {
    return ModifyExport(Modification::WakeUpTime, Room, WakeUpTime, Message, Wait);
}

VARNEL_API int32_t StopWakeUp(const char* Room, char** Message, int32_t Wait) {
    return ModifyExport(Modification::StopWakeUp, Room, nullptr, Message, Wait);
}

VARNEL_API int32_t SetDoNotDistrib(const char* Room, const char* DoNotDisturb, char** Message,
                                   int32_t Wait) {
    return ModifyExport(Modification::DoNotDisturb, Room, DoNotDisturb, Message, Wait);
}

VARNEL_API int32_t Interrogation(const char* Room, char** Message) {
    return RunCommandExport(
        Message, [&](LinkContext& link) { return varnel::Interrogation(link, InText(Room)); });
}

VARNEL_API int32_t FullReinitialize(const char* Room, int32_t WaitTime, char** Message) {
    return RunCommandExport(Message, [&](LinkContext& link) {
        return Reinitialize(link, InText(Room), WaitTime, true);
    });
}

VARNEL_API int32_t PartialReinitialize(const char* Room, int32_t WaitTime, char** Message) {
    return RunCommandExport(Message, [&](LinkContext& link) {
        return Reinitialize(link, InText(Room), WaitTime, false);
    });
}

} // extern "C"
