#include "platform/bus_properties.h"

#include "bus_message_values.h"
#include "platform/bus_signals.h"
#include "platform/tick_count.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <memory>

namespace platform {

namespace {

constexpr const char* PropertiesInterface = "org.freedesktop.DBus.Properties";

std::string Seconds(uint32_t ms) {
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

// The length of the valid UTF-8 sequence at the start of `s` (RFC 3629: no overlong
// forms, no surrogates, nothing above U+10FFFF), or 0.
size_t Utf8SequenceLength(const unsigned char* s, size_t left) {
    const unsigned char c = s[0];
    if (c < 0x80)
        return 1;
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the second byte's range
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (left < length || s[1] < low || s[1] > high)
        return 0;
    for (size_t i = 2; i < length; ++i) {
        if (s[i] < 0x80 || s[i] > 0xBF)
            return 0;
    }
    return length;
}

struct PendingCall {
    bool done = false;
    sd_bus_message* reply = nullptr;
};

int OnReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* call = static_cast<PendingCall*>(userdata);
    call->done = true;
    call->reply = sd_bus_message_ref(reply);
    return 0;
}

struct BusCloser {
    void operator()(sd_bus* bus) const { sd_bus_close_unref(bus); }
};
struct MessageUnref {
    void operator()(sd_bus_message* message) const { sd_bus_message_unref(message); }
};

// The a{sv} of a GetAll answer.
bool ReadAll(sd_bus_message* reply, std::vector<BusProperty>& properties) {
    if (sd_bus_message_enter_container(reply, 'a', "{sv}") < 0)
        return false;
    int r = 0;
    while ((r = sd_bus_message_enter_container(reply, 'e', "sv")) > 0) {
        const char* name = nullptr;
        char type = 0;
        const char* contents = nullptr;
        if (sd_bus_message_read_basic(reply, 's', &name) < 0 ||
            sd_bus_message_peek_type(reply, &type, &contents) < 0 || type != 'v')
            return false;
        if (auto value = ReadBusVariant(reply, contents))
            properties.push_back({name, std::move(*value)});
        else if (sd_bus_message_skip(reply, "v") < 0)
            return false;
        if (sd_bus_message_exit_container(reply) < 0)
            return false;
    }
    return r >= 0 && sd_bus_message_exit_container(reply) >= 0;
}

} // namespace

const char* BusSignatureOf(const BusValue& value) {
    static const char* const signatures[] = {"b", "x", "s", "as", "a{ss}"};
    return signatures[value.index()];
}

std::string ValidUtf8(const std::string& text) {
    std::string valid;
    valid.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t at = 0; at < text.size();) {
        const size_t length = Utf8SequenceLength(bytes + at, text.size() - at);
        if (length == 0) {
            valid += "\xEF\xBF\xBD";
            ++at;
            continue;
        }
        valid.append(text, at, length);
        at += length;
    }
    return valid;
}

int AppendBusValue(sd_bus_message* message, const BusValue& value) {
    if (const auto* b = std::get_if<bool>(&value)) {
        const int flag = *b ? 1 : 0;
        return sd_bus_message_append_basic(message, 'b', &flag);
    }
    if (const auto* x = std::get_if<int64_t>(&value))
        return sd_bus_message_append_basic(message, 'x', x);
    if (const auto* s = std::get_if<std::string>(&value))
        return sd_bus_message_append_basic(message, 's', ValidUtf8(*s).c_str());
    int r = 0;
    if (const auto* list = std::get_if<std::vector<std::string>>(&value)) {
        r = sd_bus_message_open_container(message, 'a', "s");
        for (auto it = list->begin(); r >= 0 && it != list->end(); ++it)
            r = sd_bus_message_append_basic(message, 's', ValidUtf8(*it).c_str());
        return r < 0 ? r : sd_bus_message_close_container(message);
    }
    const auto& map = std::get<std::map<std::string, std::string>>(value);
    r = sd_bus_message_open_container(message, 'a', "{ss}");
    for (auto it = map.begin(); r >= 0 && it != map.end(); ++it) {
        r = sd_bus_message_open_container(message, 'e', "ss");
        if (r >= 0)
            r = sd_bus_message_append_basic(message, 's', ValidUtf8(it->first).c_str());
        if (r >= 0)
            r = sd_bus_message_append_basic(message, 's', ValidUtf8(it->second).c_str());
        if (r >= 0)
            r = sd_bus_message_close_container(message);
    }
    return r < 0 ? r : sd_bus_message_close_container(message);
}

std::optional<BusValue> ReadBusVariant(sd_bus_message* message, const char* contents) {
    const std::string type = contents ? contents : "";
    if (type != "b" && type != "x" && type != "s" && type != "as" && type != "a{ss}")
        return std::nullopt;
    if (sd_bus_message_enter_container(message, 'v', contents) < 0)
        return std::nullopt;
    std::optional<BusValue> value;
    if (type == "b") {
        int flag = 0;
        if (sd_bus_message_read_basic(message, 'b', &flag) >= 0)
            value = flag != 0;
    } else if (type == "x") {
        int64_t number = 0;
        if (sd_bus_message_read_basic(message, 'x', &number) >= 0)
            value = number;
    } else if (type == "s") {
        const char* text = nullptr;
        if (sd_bus_message_read_basic(message, 's', &text) >= 0)
            value = std::string(text);
    } else if (type == "as") {
        std::vector<std::string> list;
        bool ok = sd_bus_message_enter_container(message, 'a', "s") >= 0;
        const char* text = nullptr;
        int r = 0;
        while (ok && (r = sd_bus_message_read_basic(message, 's', &text)) > 0)
            list.emplace_back(text);
        if (ok && r >= 0 && sd_bus_message_exit_container(message) >= 0)
            value = std::move(list);
    } else {
        std::map<std::string, std::string> map;
        bool ok = sd_bus_message_enter_container(message, 'a', "{ss}") >= 0;
        int r = 0;
        while (ok && (r = sd_bus_message_enter_container(message, 'e', "ss")) > 0) {
            const char* key = nullptr;
            const char* text = nullptr;
            ok = sd_bus_message_read(message, "ss", &key, &text) >= 0 &&
                 sd_bus_message_exit_container(message) >= 0;
            if (ok)
                map[key] = text;
        }
        if (ok && r >= 0 && sd_bus_message_exit_container(message) >= 0)
            value = std::move(map);
    }
    if (sd_bus_message_exit_container(message) < 0)
        return std::nullopt;
    return value;
}

const BusValue* BusPropertiesAnswer::find(const std::string& name) const {
    for (const BusProperty& property : properties) {
        if (property.name == name)
            return &property.value;
    }
    return nullptr;
}

BusPropertiesAnswer ReadBusProperties(const std::string& busName, const std::string& path,
                                      const std::string& interfaceName, uint32_t timeoutMs) {
    using Outcome = BusPropertiesAnswer::Outcome;
    BusPropertiesAnswer answer;
    const std::string address = SystemBusAddress();
    const uint64_t deadline = MonotonicMicroseconds() + uint64_t(timeoutMs) * 1000u;
    auto fail = [&](Outcome outcome, std::string detail) {
        answer.outcome = outcome;
        answer.detail = std::move(detail);
        return answer;
    };

    sd_bus* raw = nullptr;
    int r = sd_bus_new(&raw);
    std::unique_ptr<sd_bus, BusCloser> bus(r >= 0 ? raw : nullptr);
    if (r >= 0)
        r = sd_bus_set_address(raw, address.c_str());
    if (r >= 0)
        r = sd_bus_set_bus_client(raw, 1);
    if (r >= 0)
        r = sd_bus_set_method_call_timeout(raw, timeoutMs == 0 ? 1 : uint64_t(timeoutMs) * 1000u);
    if (r >= 0)
        r = sd_bus_start(raw);
    if (r < 0)
        return fail(Outcome::NoBus,
                    "cannot connect to the system bus at " + address + ": " + std::strerror(-r));

    PendingCall call;
    sd_bus_slot* slot = nullptr;
    r = sd_bus_call_method_async(raw, &slot, busName.c_str(), path.c_str(), PropertiesInterface,
                                 "GetAll", &OnReply, &call, "s", interfaceName.c_str());
    if (r < 0)
        return fail(Outcome::NoBus,
                    "cannot ask " + busName + " on " + address + ": " + std::strerror(-r));
    std::unique_ptr<sd_bus_slot, decltype(&sd_bus_slot_unref)> slotOwner(slot, &sd_bus_slot_unref);

    while (!call.done) {
        r = sd_bus_process(raw, nullptr);
        if (r < 0 || !sd_bus_is_open(raw))
            return fail(Outcome::NoBus,
                        "the connection to the system bus at " + address + " was lost" +
                            (r < 0 ? std::string(" (") + std::strerror(-r) + ")" : ""));
        if (call.done || r > 0)
            continue;
        const uint64_t now = MonotonicMicroseconds();
        if (now >= deadline) {
            if (sd_bus_is_ready(raw) <= 0)
                return fail(Outcome::NoBus, "the system bus at " + address +
                                                " did not answer within " + Seconds(timeoutMs));
            return fail(Outcome::NoAnswer,
                        busName + " did not answer within " + Seconds(timeoutMs));
        }
        r = sd_bus_wait(raw, deadline - now);
        if (r < 0 && r != -EINTR)
            return fail(Outcome::NoBus,
                        "cannot wait for the system bus at " + address + ": " + std::strerror(-r));
    }

    std::unique_ptr<sd_bus_message, MessageUnref> reply(call.reply);
    if (const sd_bus_error* e = sd_bus_message_get_error(reply.get())) {
        const std::string name = e->name ? e->name : "";
        const std::string text = e->message ? e->message : name;
        if (name == SD_BUS_ERROR_SERVICE_UNKNOWN || name == SD_BUS_ERROR_NAME_HAS_NO_OWNER)
            return fail(Outcome::NoOwner, "nobody owns " + busName + " on " + address);
        if (sd_bus_is_ready(raw) <= 0) {
            // The call's own time-out also ends a connection whose bus never answered.
            if (name == SD_BUS_ERROR_NO_REPLY || name == SD_BUS_ERROR_TIMEOUT)
                return fail(Outcome::NoBus, "the system bus at " + address +
                                                " did not answer within " + Seconds(timeoutMs));
            return fail(Outcome::NoBus, "the system bus at " + address + " refused: " + text);
        }
        if (name == SD_BUS_ERROR_NO_REPLY || name == SD_BUS_ERROR_TIMEOUT)
            return fail(Outcome::NoAnswer,
                        busName + " did not answer within " + Seconds(timeoutMs));
        return fail(Outcome::Refused,
                    busName + " on " + address + " answered " + name + ": " + text);
    }
    if (!ReadAll(reply.get(), answer.properties))
        return fail(Outcome::Refused, busName + " on " + address + " sent an unreadable answer");
    answer.outcome = Outcome::Read;
    answer.detail = busName + " on " + address;
    return answer;
}

} // namespace platform
