/* The link library's flat C interface (libVarnel.so): the TCP link to the hotel-link
 * (HL) driver, the hotel commands, and the retrieval of the driver's queued events.
 * Load it with dlopen and look every function up by name; all calls on one thread. */
#ifndef VARNEL_VARNEL_H
#define VARNEL_VARNEL_H

#include <stdint.h>

/*
 * Conventions of every function:
 * - results, integers and flags are int32_t; of a flag only the low byte is tested
 *   (0 = false, anything else = true);
 * - in-texts are const char*, NUL-terminated 8-bit texts; NULL is an empty text;
 * - out-texts are char**: the library frees the old value with free() when it is not
 *   NULL and stores a malloc'd NUL-terminated copy, which the caller frees with free();
 *   a NULL out-text pointer is skipped.
 * Results: 0 done; -1 queue empty or key not found; -2 time-out ("Timeout");
 * -3 "System error" (or the text of an error); -8 not connected; a positive value is
 * the driver's refusal, numbered per command, with its reason in Message.
 *
 * Loading the library creates a Qt core application when the process has none
 * (a C program needs nothing of its own); events of the driver are handled only while
 * the calling thread dispatches its Qt events, which every waiting function does.
 * Unloading it (dlclose) closes the connection and saves the queue files.
 */

#if defined(__GNUC__)
#define VARNEL_API __attribute__((visibility("default")))
#else
#define VARNEL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Connection. QueueFolder must end with a path separator: the queue file names are
 * appended to it as they are. Connect: 0 connected; -8 not connected; -3 the queue
 * folder or a queue file cannot be used, e.g. a folder that takes no new files
 * (Message names the folder or file and the system's reason); after -3 the queues
 * and the connection stay as they were.
 * Disconnect: 1 = the transport is inactive afterwards, 0 = still active.
 * IsDrvConnected: 0 connected, -1 not connected. */
VARNEL_API int32_t Connect(const char* DriverHost, const char* DriverPort, const char* QueueFolder,
                           char** Message);
VARNEL_API int32_t Disconnect(void);
VARNEL_API int32_t IsDrvConnected(void);

/* Hotel commands. With Wait false the request is sent and 0 "No wait result" returned. */
VARNEL_API int32_t CheckIn(const char* Room, const char* GuestName, const char* Language,
                           const char* Password, char** Message, int32_t Wait);
VARNEL_API int32_t CheckOut(const char* Room, char** Message, int32_t Wait);
VARNEL_API int32_t AllocatePhone(const char* Room, char** Phone, char** Message);
VARNEL_API int32_t GetAllocatedPhone(const char* Room, char** Phone, char** Message);
VARNEL_API int32_t SetName(const char* Room, const char* GuestName, char** Message, int32_t Wait);
VARNEL_API int32_t SetLanguage(const char* Room, const char* Language, char** Message,
                               int32_t Wait);
VARNEL_API int32_t SetPassword(const char* Room, const char* Password, char** Message,
                               int32_t Wait);
VARNEL_API int32_t SetBarring(const char* Room, const char* Barring, char** Message, int32_t Wait);
VARNEL_API int32_t SetWakeUpTime(const char* Room, const char* WakeUpTime, char** Message,
                                 int32_t Wait);
VARNEL_API int32_t StopWakeUp(const char* Room, char** Message, int32_t Wait);
VARNEL_API int32_t SetDoNotDistrib(const char* Room, const char* DoNotDisturb, char** Message,
                                   int32_t Wait);
VARNEL_API int32_t Interrogation(const char* Room, char** Message);
VARNEL_API int32_t FullReinitialize(const char* Room, int32_t WaitTime, char** Message);
VARNEL_API int32_t PartialReinitialize(const char* Room, int32_t WaitTime, char** Message);

/* Event retrieval. A Get returns the key of the oldest record of its queue (1 to
 * 2147483647) and fills its out-texts with the record's fields in order, or -1 when
 * the queue is empty (the out-texts are then not touched). It removes nothing: the
 * matching Delete removes the record with that key (0), finds none (-1), or cannot
 * rewrite the queue file (-3: the record stays, in memory and in the file; try again
 * later). */
VARNEL_API int32_t GetCheckIn(char** Room, char** GuestName, char** Language, char** Password,
                              char** Field2, char** Field4, char** Field1, char** DateStamp);
VARNEL_API int32_t DeleteCheckIn(int32_t Key);
VARNEL_API int32_t GetCheckOut(char** Room, char** DateStamp);
VARNEL_API int32_t DeleteCheckOut(int32_t Key);
VARNEL_API int32_t GetFullReinit(char** Room, char** Text, char** Field12, char** Field21,
                                 char** Field41, char** Field46, char** Field50, char** Field62,
                                 char** Field67, char** Field79, char** Field80, char** DateStamp);
VARNEL_API int32_t DeleteFullReinit(int32_t Key);
VARNEL_API int32_t GetModification(char** Room, char** GuestName, char** Field22, char** Field33,
                                   char** Field38, char** Field42, char** Field54, char** Field58,
                                   char** Field59, char** DateStamp);
VARNEL_API int32_t DeleteModification(int32_t Key);
VARNEL_API int32_t GetPartialReinit(char** Room, char** Text, char** Field8, char** Field4,
                                    char** DateStamp);
VARNEL_API int32_t DeletePartialReinit(int32_t Key);
VARNEL_API int32_t GetPhoneAllocation(char** Room, char** Phone, char** DateStamp);
VARNEL_API int32_t DeletePhoneAllocation(int32_t Key);
VARNEL_API int32_t GetRoomState(char** Room, char** Status, char** StatusField, char** DateStamp);
VARNEL_API int32_t DeleteRoomState(int32_t Key);
VARNEL_API int32_t GetInTicket(char** Line, char** CallType, char** CallTime, char** Duration,
                               char** Field4, char** Field20, char** DateStamp);
VARNEL_API int32_t DeleteInTicket(int32_t Key);
VARNEL_API int32_t GetOutTicket(char** Line, char** CallType, char** CallTime, char** Duration,
                                char** Field4, char** Field20, char** DateStamp);
VARNEL_API int32_t DeleteOutTicket(int32_t Key);
VARNEL_API int32_t GetWakeUpEvent(char** Room, char** StatusText, char** Field6, char** Field4,
                                  char** Field4b, char** DateStamp);
VARNEL_API int32_t DeleteWakeUpEvent(int32_t Key);

#ifdef __cplusplus
}
#endif

/* Notifications, broadcast through the platform's registered messages (RegisterMessage
 * with these names gives their numbers); lParam is the record's room or line number
 * (0 when it is not a number), wParam is 0 unless given:
 *   "Ticket for incoming call from HL driver"
 *   "Ticket for outgoing call from HL driver"   (wParam 1)
 *   "Wake up event from HL driver"
 *   "Room status event from HL driver"
 *   "End of full reinitialization"
 *   "End of partial reinitialization"
 *   "Checkin from reception set"
 *   "Checkout from reception set"
 *   "Phone allocation from reception set"
 *   "Data modification from reception set"
 *   "Connected to HL driver"                    (lParam 0)
 *   "Disconnected from HL driver"               (lParam 0)
 * A notification is posted after its record was saved to the queue file; a frame is
 * acknowledged to the driver only then.
 *
 * Right after it is posted in the process, each notification also goes to every
 * program on the machine as a signal on the D-Bus system bus (DBUS_SYSTEM_BUS_ADDRESS,
 * else the standard socket): signal VARNEL_BUS_SIGNAL of interface VARNEL_BUS_INTERFACE
 * at object VARNEL_BUS_PATH, sent from the bus name VARNEL_BUS_NAME, with the arguments
 * (s name, u wParam, i lParam): the name above and the same two numbers. The signal
 * carries nothing of the record; a program that may read the queue folder finds it
 * there. Without a bus the notifications stay in the process and nothing else changes.
 */
#define VARNEL_BUS_NAME "org.hotelpbxlink.Varnel"
#define VARNEL_BUS_PATH "/org/hotelpbxlink/Varnel"
#define VARNEL_BUS_INTERFACE "org.hotelpbxlink.Varnel.Notifications1"
#define VARNEL_BUS_SIGNAL "Notification"

#endif
