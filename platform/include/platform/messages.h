// Registered messages: process-wide numbers for message names, broadcast
// asynchronously and in order through the application object, where message
// hooks see every one before it goes further.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

struct Message {
    uint32_t id = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// The same non-zero number for the same name anywhere in the process
// (numbers start at 0xC000, as the registered window messages they stand for).
uint32_t RegisterMessage(const std::string& name);

// Posts the message for delivery during a later event dispatch; returns at once.
// Needs an application object (see application.h).
void Broadcast(uint32_t id, uintptr_t wParam, intptr_t lParam);

// Called for every broadcast, in the order the hooks were installed; setting
// `handled` stops the message from reaching the hooks after this one.
using MessageHandler = std::function<void(const Message& message, bool& handled)>;

// An application-wide message hook, installed for the object's lifetime.
// Destroying or removing a hook is safe also from inside its own handler.
class MessageHook {
public:
    MessageHook() = default;
    explicit MessageHook(MessageHandler handler);
    ~MessageHook();
    MessageHook(MessageHook&& other) noexcept;
    MessageHook& operator=(MessageHook&& other) noexcept;
    MessageHook(const MessageHook&) = delete;
    MessageHook& operator=(const MessageHook&) = delete;

    void remove();
    bool installed() const { return id_ != 0; }

private:
    uint64_t id_ = 0;
};

} // namespace platform
