/* A stand-in for the link library with scripted answers, for tests of the
 * binding's conversions and log lines. It has every export of the real library
 * but SetBarring, and a few Script_* functions of its own through which a test
 * sets the answers and reads the arguments of the last call. */
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#define API __attribute__((visibility("default")))

static int32_t commandResult = 0;
static char commandMessage[256] = "";
static int32_t recordKey = -1;
static char recordTexts[1024] = "";
static int32_t deleteResult = 0;
static int32_t disconnectResult = 1;
static int32_t connectedResult = 0;
static char lastCall[1024] = "";

API void Script_SetResult(int32_t result, const char* message) {
    commandResult = result;
    snprintf(commandMessage, sizeof commandMessage, "%s", message ? message : "");
}
/* The record every getter hands out: its key and its texts separated by '|'. */
API void Script_SetRecord(int32_t key, const char* texts) {
    recordKey = key;
    snprintf(recordTexts, sizeof recordTexts, "%s", texts ? texts : "");
}
API void Script_SetDeleteResult(int32_t result) {
    deleteResult = result;
}
API void Script_SetDisconnectResult(int32_t result) {
    disconnectResult = result;
}
API void Script_SetConnectedResult(int32_t result) {
    connectedResult = result;
}
/* "Name(arg|arg|...)"; a NULL in-text shows as <null>. */
API const char* Script_LastCall(void) {
    return lastCall;
}

static void SetOut(char** out, const char* text) {
    if (!out)
        return;
    free(*out);
    *out = strdup(text);
}

static void Record(const char* name, int count, ...) {
    char* p = lastCall;
    size_t left = sizeof lastCall;
    int n = snprintf(p, left, "%s(", name);
    p += n;
    left -= (size_t)n;
    va_list args;
    va_start(args, count);
    for (int i = 0; i < count; ++i) {
        const char* text = va_arg(args, const char*);
        n = snprintf(p, left, "%s%s", i ? "|" : "", text ? text : "<null>");
        p += n;
        left -= (size_t)n;
    }
    va_end(args);
    snprintf(p, left, ")");
}

static const char* FlagText(int32_t flag) {
    return (flag & 0xFF) ? "wait" : "nowait";
}

static int32_t Command(char** message) {
    SetOut(message, commandMessage);
    return commandResult;
}

/* Fills `count` out-texts from the scripted record; without a record (key -1)
 * nothing is touched. */
static int32_t Get(int count, char** out[]) {
    if (recordKey == -1)
        return -1;
    char copy[1024];
    snprintf(copy, sizeof copy, "%s", recordTexts);
    char* rest = copy;
    for (int i = 0; i < count; ++i) {
        char* bar = strchr(rest, '|');
        if (bar)
            *bar = '\0';
        SetOut(out[i], rest);
        rest = bar ? bar + 1 : rest + strlen(rest);
    }
    return recordKey;
}

API int32_t Connect(const char* host, const char* port, const char* folder, char** message) {
    Record("Connect", 3, host, port, folder);
    return Command(message);
}
API int32_t Disconnect(void) {
    Record("Disconnect", 0);
    return disconnectResult;
}
API int32_t IsDrvConnected(void) {
    return connectedResult;
}

API int32_t CheckIn(const char* room, const char* name, const char* language, const char* password,
                    char** message, int32_t wait) {
    Record("CheckIn", 5, room, name, language, password, FlagText(wait));
    return Command(message);
}
API int32_t CheckOut(const char* room, char** message, int32_t wait) {
    Record("CheckOut", 2, room, FlagText(wait));
    return Command(message);
}
API int32_t AllocatePhone(const char* room, char** phone, char** message) {
    Record("AllocatePhone", 1, room);
    SetOut(phone, "2101");
    return Command(message);
}
API int32_t GetAllocatedPhone(const char* room, char** phone, char** message) {
    Record("GetAllocatedPhone", 1, room);
    SetOut(phone, "2102");
    return Command(message);
}
API int32_t SetName(const char* room, const char* name, char** message, int32_t wait) {
    Record("SetName", 3, room, name, FlagText(wait));
    return Command(message);
}
API int32_t SetLanguage(const char* room, const char* language, char** message, int32_t wait) {
    Record("SetLanguage", 3, room, language, FlagText(wait));
    return Command(message);
}
API int32_t SetPassword(const char* room, const char* password, char** message, int32_t wait) {
    Record("SetPassword", 3, room, password, FlagText(wait));
    return Command(message);
}
/* SetBarring is missing on purpose. */
API int32_t SetWakeUpTime(const char* room, const char* time, char** message, int32_t wait) {
    Record("SetWakeUpTime", 3, room, time, FlagText(wait));
    return Command(message);
}
API int32_t StopWakeUp(const char* room, char** message, int32_t wait) {
    Record("StopWakeUp", 2, room, FlagText(wait));
    return Command(message);
}
API int32_t SetDoNotDistrib(const char* room, const char* value, char** message, int32_t wait) {
    Record("SetDoNotDistrib", 3, room, value, FlagText(wait));
    return Command(message);
}
API int32_t Interrogation(const char* room, char** message) {
    Record("Interrogation", 1, room);
    return Command(message);
}
API int32_t FullReinitialize(const char* room, int32_t waitTime, char** message) {
    char text[16];
    snprintf(text, sizeof text, "%d", waitTime);
    Record("FullReinitialize", 2, room, text);
    return Command(message);
}
API int32_t PartialReinitialize(const char* room, int32_t waitTime, char** message) {
    char text[16];
    snprintf(text, sizeof text, "%d", waitTime);
    Record("PartialReinitialize", 2, room, text);
    return Command(message);
}

#define GETTER(name, n, ...) API int32_t name(__VA_ARGS__)
#define FILL(...)                                                                                  \
    char** outs[] = {__VA_ARGS__};                                                                 \
    return Get((int)(sizeof outs / sizeof outs[0]), outs)
#define DELETER(name)                                                                              \
    API int32_t name(int32_t key) {                                                                \
        char text[16];                                                                             \
        snprintf(text, sizeof text, "%d", key);                                                    \
        Record(#name, 1, text);                                                                    \
        return deleteResult;                                                                       \
    }

GETTER(GetCheckIn, 8, char** a, char** b, char** c, char** d, char** e, char** f, char** g,
       char** h) {
    FILL(a, b, c, d, e, f, g, h);
}
GETTER(GetCheckOut, 2, char** a, char** b) {
    FILL(a, b);
}
GETTER(GetFullReinit, 12, char** a, char** b, char** c, char** d, char** e, char** f, char** g,
       char** h, char** i, char** j, char** k, char** l) {
    FILL(a, b, c, d, e, f, g, h, i, j, k, l);
}
GETTER(GetModification, 10, char** a, char** b, char** c, char** d, char** e, char** f, char** g,
       char** h, char** i, char** j) {
    FILL(a, b, c, d, e, f, g, h, i, j);
}
GETTER(GetPartialReinit, 5, char** a, char** b, char** c, char** d, char** e) {
    FILL(a, b, c, d, e);
}
GETTER(GetPhoneAllocation, 3, char** a, char** b, char** c) {
    FILL(a, b, c);
}
GETTER(GetRoomState, 4, char** a, char** b, char** c, char** d) {
    FILL(a, b, c, d);
}
GETTER(GetInTicket, 7, char** a, char** b, char** c, char** d, char** e, char** f, char** g) {
    FILL(a, b, c, d, e, f, g);
}
GETTER(GetOutTicket, 7, char** a, char** b, char** c, char** d, char** e, char** f, char** g) {
    FILL(a, b, c, d, e, f, g);
}
GETTER(GetWakeUpEvent, 6, char** a, char** b, char** c, char** d, char** e, char** f) {
    FILL(a, b, c, d, e, f);
}

DELETER(DeleteCheckIn)
DELETER(DeleteCheckOut)
DELETER(DeleteFullReinit)
DELETER(DeleteModification)
DELETER(DeletePartialReinit)
DELETER(DeletePhoneAllocation)
DELETER(DeleteRoomState)
DELETER(DeleteInTicket)
DELETER(DeleteOutTicket)
DELETER(DeleteWakeUpEvent)
