// THLDriver: the run-time binding of the link library. It loads libVarnel.so
// by file name, registers the library's notifications, looks every export up
// by name before calling it, converts values both ways and writes one debug
// line per call. The library is unloaded with the binding's last reference.
#pragma once

#include "hl_driver_const.h"
#include "hl_driver_int.h"

#include "platform/dynamic_library.h"

#include <array>
#include <cstdint>
#include <string>

namespace mod_varnel {

class THLDriver : public rtl::TLTMIfcObject<IHLDriver> {
public:
    // Loads the library from `path` (a folder, with or without a trailing '/'),
    // or by the system's search order when `path` is empty. Raises
    // platform::Error when it cannot be loaded.
    explicit THLDriver(const std::string& path);
    ~THLDriver() override;
    static rtl::Ref<IHLDriver> Create(const std::string& path);

    // The file the library was loaded from, as given to the loader.
    const std::string& libraryFile() const { return library_.fileName(); }
    uint32_t messageNumber(Notification notification) const {
        return messages_[size_t(notification)];
    }

    void Connect(const std::string& driverHost, int32_t driverPort,
                 const std::string& queueFolder) override;
    void Disconnect() override;
    bool IsDrvConnected() override;

    void CheckIn(const std::string& line, const std::string& name, int16_t language,
                 const std::string& password, bool wait) override;
    void CheckOut(const std::string& line, bool wait) override;
    void AllocatePhone(const std::string& line, std::string& phone) override;
    void GetAllocatedPhone(const std::string& line, std::string& phone) override;
    void SetName(const std::string& line, const std::string& name, bool wait) override;
    void SetLanguage(const std::string& line, int16_t language, bool wait) override;
    void SetPassword(const std::string& line, const std::string& password, bool wait) override;
    void SetBarring(const std::string& line, uint8_t barring, bool wait) override;
    void SetWakeUpTime(const std::string& line, double time, bool wait) override;
    void StopWakeUp(const std::string& line, bool wait) override;
    void SetDoNotDistrib(const std::string& line, uint8_t doNotDisturb, bool wait) override;
    void FullReinitialize(const std::string& line, int32_t waitTime) override;
    void PartialReinitialize(const std::string& line, int32_t waitTime) override;

    int32_t GetCheckIn(TCheckInRecord& record) override;
    bool DeleteCheckIn(int32_t key) override;
    int32_t GetCheckOut(TCheckOutRecord& record) override;
    bool DeleteCheckOut(int32_t key) override;
    int32_t GetFullReinit(TFullReinitRecord& record) override;
    bool DeleteFullReinit(int32_t key) override;
    int32_t GetPartialReinit(TPartialReinitRecord& record) override;
    bool DeletePartialReinit(int32_t key) override;
    int32_t GetModification(TModificationRecord& record) override;
    bool DeleteModification(int32_t key) override;
    int32_t GetPhoneAllocation(TPhoneAllocationRecord& record) override;
    bool DeletePhoneAllocation(int32_t key) override;
    int32_t GetRoomState(TRoomStateRecord& record) override;
    bool DeleteRoomState(int32_t key) override;
    int32_t GetInTicket(TCallTicketRecord& record) override;
    bool DeleteInTicket(int32_t key) override;
    int32_t GetOutTicket(TCallTicketRecord& record) override;
    bool DeleteOutTicket(int32_t key) override;
    int32_t GetWakeUpEvent(TWakeUpRecord& record) override;
    bool DeleteWakeUpEvent(int32_t key) override;

    bool IsInCallTicketMessage(const platform::Message& m) override;
    bool IsOutCallTicketMessage(const platform::Message& m) override;
    bool IsWakeUpMessage(const platform::Message& m) override;
    bool IsRoomStatusMessage(const platform::Message& m) override;
    bool IsFullReinitDoneMessage(const platform::Message& m) override;
    bool IsPartialReinitDoneMessage(const platform::Message& m) override;
    bool IsCheckInMessage(const platform::Message& m) override;
    bool IsCheckOutMessage(const platform::Message& m) override;
    bool IsPhoneAllocMessage(const platform::Message& m) override;
    bool IsModifyMessage(const platform::Message& m) override;

private:
    void registerMessages();
    // The export's address; raises EHLDriverError when the library or the
    // export is missing.
    void* exportAddress(const char* name) const;
    template <typename F> F exportOf(const char* name) const {
        return reinterpret_cast<F>(exportAddress(name));
    }
    template <typename Record, size_t N, typename Fn, typename Convert>
    int32_t getRecord(const char* name, Fn fn, bool zeroIsRecord, Record& record, Convert convert);
    bool deleteRecord(const char* name, int32_t (*fn)(int32_t), int32_t key);
    bool is(Notification notification, const platform::Message& m) const {
        return m.id == messageNumber(notification);
    }

    platform::DynamicLibrary library_;
    std::array<uint32_t, NotificationCount> messages_{};
};

} // namespace mod_varnel
