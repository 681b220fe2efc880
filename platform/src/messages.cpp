#include "platform/messages.h"

#include "platform/error.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <map>
#include <mutex>
#include <vector>

namespace platform {

namespace {

// Name registry shared by every library of the process.
struct Registry {
    std::mutex mutex;
    std::map<std::string, uint32_t> numbers;
    uint32_t next = 0xC000;
};

Registry& registry() {
    static Registry r;
    return r;
}

const QEvent::Type BroadcastEventType = QEvent::Type(QEvent::registerEventType());

class BroadcastEvent : public QEvent {
public:
    explicit BroadcastEvent(const Message& m) : QEvent(BroadcastEventType), message(m) {}
    Message message;
};

struct HookEntry {
    uint64_t id;
    MessageHandler handler; // empty once removed
};

// Hooks live on the main thread only; removal during a dispatch leaves an empty
// entry that is compacted when no dispatch runs.
struct Hooks {
    std::vector<HookEntry> entries;
    uint64_t nextId = 1;
    int dispatchDepth = 0;

    void compact() {
        if (dispatchDepth > 0)
            return;
        std::erase_if(entries, [](const HookEntry& e) { return !e.handler; });
    }
};

Hooks& hooks() {
    static Hooks h;
    return h;
}

void Dispatch(const Message& message) {
    Hooks& h = hooks();
    ++h.dispatchDepth;
    // Hooks installed while this message is dispatched do not see it.
    const size_t count = h.entries.size();
    bool handled = false;
    try {
        for (size_t i = 0; i < count && !handled; ++i) {
            if (i >= h.entries.size())
                break;
            MessageHandler handler = h.entries[i].handler; // copy: the entry may go
            if (handler)
                handler(message, handled);
        }
    } catch (...) {
        --h.dispatchDepth;
        h.compact();
        throw;
    }
    --h.dispatchDepth;
    h.compact();
}

// The object broadcasts are posted to; a child of the application object.
class Receiver : public QObject {
public:
    using QObject::QObject;
    bool event(QEvent* e) override {
        if (e->type() == BroadcastEventType) {
            Dispatch(static_cast<BroadcastEvent*>(e)->message);
            return true;
        }
        return QObject::event(e);
    }
};

QObject* receiver() {
    static QPointer<Receiver> instance;
    if (!instance) {
        auto* app = QCoreApplication::instance();
        if (!app)
            throw Error("Broadcast needs an application object");
        instance = new Receiver(app);
    }
    return instance;
}

} // namespace

uint32_t RegisterMessage(const std::string& name) {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    auto [it, inserted] = r.numbers.try_emplace(name, r.next);
    if (inserted)
        ++r.next;
    return it->second;
}

void Broadcast(uint32_t id, uintptr_t wParam, intptr_t lParam) {
    QCoreApplication::postEvent(receiver(), new BroadcastEvent(Message{id, wParam, lParam}));
}

MessageHook::MessageHook(MessageHandler handler) {
    Hooks& h = hooks();
    id_ = h.nextId++;
    h.entries.push_back({id_, std::move(handler)});
}

MessageHook::~MessageHook() { remove(); }

MessageHook::MessageHook(MessageHook&& other) noexcept : id_(other.id_) { other.id_ = 0; }

MessageHook& MessageHook::operator=(MessageHook&& other) noexcept {
    if (this != &other) {
        remove();
        id_ = other.id_;
        other.id_ = 0;
    }
    return *this;
}

void MessageHook::remove() {
    if (id_ == 0)
        return;
    Hooks& h = hooks();
    for (auto& e : h.entries)
        if (e.id == id_)
            e.handler = nullptr;
    id_ = 0;
    h.compact();
}

} // namespace platform
