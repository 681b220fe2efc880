#include "platform/bus_signals.h"

#include "bus_message_values.h"
#include "platform/tick_count.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <systemd/sd-bus.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <poll.h>

namespace platform {

namespace {

constexpr const char* StandardSystemBus = "unix:path=/run/dbus/system_bus_socket";

// Status watches live on the main thread, like message hooks. Never destroyed: a
// library may report while the process exits.
struct Watches {
    std::map<uint64_t, BusStatusHandler> handlers;
    uint64_t nextId = 1;
};

Watches& watches() {
    static auto* w = new Watches;
    return *w;
}

void Deliver(const BusStatus& status) {
    std::vector<uint64_t> ids;
    for (const auto& entry : watches().handlers)
        ids.push_back(entry.first);
    for (const uint64_t id : ids) {
        const auto it = watches().handlers.find(id);
        if (it == watches().handlers.end())
            continue;                                // removed by an earlier handler
        const BusStatusHandler handler = it->second; // copy: the watch may go
        try {
            handler(status);
        } catch (...) {
            // A watch that fails must not stop the others or the caller's dispatch.
        }
    }
}

// Deletes a Qt object at the next dispatch (also inside nested waits, where
// deleteLater does not run): the notifiers are discarded from their own signals.
void Discard(QObject* object) {
    if (!object)
        return;
    if (auto* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, [object] { delete object; });
    else
        delete object;
}

std::string ErrorText(int negativeErrno) {
    return std::strerror(-negativeErrno);
}

// A read-only object a channel serves: its property table for sd-bus (names and types
// fixed when it was published) and the properties read for the request in hand.
class ServedObject {
public:
    ServedObject(std::string path, std::string interfaceName, BusPropertySource read)
        : path_(std::move(path)), interfaceName_(std::move(interfaceName)), read_(std::move(read)) {
        for (const BusProperty& property : read_()) {
            names_.push_back(property.name);
            signatures_.push_back(BusSignatureOf(property.value));
        }
        // sd-bus reads the whole union of each entry: zeroed first, as its header asks.
        table_.resize(names_.size() + 2);
        std::memset(static_cast<void*>(table_.data()), 0, sizeof(sd_bus_vtable) * table_.size());
        table_.front().type = _SD_BUS_VTABLE_START;
        table_.front().x.start.element_size = sizeof(sd_bus_vtable);
        table_.front().x.start.features = _SD_BUS_VTABLE_PARAM_NAMES;
        table_.front().x.start.vtable_format_reference = &sd_bus_object_vtable_format;
        for (size_t i = 0; i < names_.size(); ++i) {
            sd_bus_vtable& entry = table_[i + 1];
            entry.type = _SD_BUS_VTABLE_PROPERTY;
            entry.x.property.member = names_[i].c_str();
            entry.x.property.signature = signatures_[i];
            entry.x.property.get = &ServedObject::get;
        }
        table_.back().type = _SD_BUS_VTABLE_END;
    }

    ~ServedObject() { detach(); }
    ServedObject(const ServedObject&) = delete;
    ServedObject& operator=(const ServedObject&) = delete;

    int addTo(sd_bus* bus) {
        detach();
        return sd_bus_add_object_vtable(bus, &slot_, path_.c_str(), interfaceName_.c_str(),
                                        table_.data(), this);
    }
    // Takes the object off its connection (whose reference the registration holds).
    void detach() { slot_ = sd_bus_slot_unref(slot_); }

    // Called once sd-bus has answered a request, so the next one reads afresh.
    void forget() { current_.reset(); }

private:
    static int get(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply,
                   void* userdata, sd_bus_error* error) {
        auto* self = static_cast<ServedObject*>(userdata);
        try {
            if (!self->current_)
                self->current_ = self->read_();
            for (size_t i = 0; i < self->names_.size(); ++i) {
                if (self->names_[i] != property)
                    continue;
                for (const BusProperty& value : *self->current_) {
                    if (value.name == property &&
                        std::strcmp(BusSignatureOf(value.value), self->signatures_[i]) == 0)
                        return AppendBusValue(reply, value.value);
                }
            }
            return sd_bus_error_setf(error, SD_BUS_ERROR_FAILED, "%s is not available now",
                                     property);
        } catch (const std::exception& e) {
            return sd_bus_error_setf(error, SD_BUS_ERROR_FAILED, "%s is not available now: %s",
                                     property, e.what());
        } catch (...) {
            return sd_bus_error_setf(error, SD_BUS_ERROR_FAILED, "%s is not available now",
                                     property);
        }
    }

    std::string path_;
    std::string interfaceName_;
    BusPropertySource read_;
    std::vector<std::string> names_;
    std::vector<const char*> signatures_; // BusSignatureOf's static texts
    std::vector<sd_bus_vtable> table_;
    std::optional<std::vector<BusProperty>> current_;
    sd_bus_slot* slot_ = nullptr;
};

} // namespace

std::string SystemBusAddress() {
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    return address && *address ? std::string(address) : std::string(StandardSystemBus);
}

// One connection and its life: opening (authentication, Hello and the name request
// in flight), up, down (waiting for the next attempt) and, once the channel is gone,
// closing (writing out what is queued). sd-bus works on a non-blocking socket here;
// the thread's event dispatch drives it through a read and a write notifier and a
// timer for sd-bus's own deadlines.
class BusSignalChannel::Link : public std::enable_shared_from_this<Link> {
public:
    explicit Link(std::string busName) : busName_(std::move(busName)) {
        busTimer_.setSingleShot(true);
        QObject::connect(&busTimer_, &QTimer::timeout, [this] { pump(); });
        answerTimer_.setSingleShot(true);
        answerTimer_.setTimerType(Qt::PreciseTimer); // a coarse timer may fire 5 % early
        QObject::connect(&answerTimer_, &QTimer::timeout, [this] { onAnswerDeadline(); });
        retryTimer_.setSingleShot(true);
        QObject::connect(&retryTimer_, &QTimer::timeout, [this] {
            if (!bus_ && phase_ != Phase::Closing)
                open();
        });
        open();
    }

    ~Link() { closeBus(); }

    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    void send(const BusSignal& signal) {
        if (phase_ == Phase::Closing)
            return;
        if (!bus_) {
            if (!retryNow_ && TicksSince(lastAttempt_) < RetryAfterMs)
                return;
            open();
            if (!bus_)
                return;
        }
        uint64_t waiting = 0;
        if (sd_bus_get_n_queued_write(bus_, &waiting) >= 0 && waiting >= MaxWaitingMessages) {
            drop(address_ + " reads no messages (" + std::to_string(waiting) + " waiting)", false);
            return;
        }
        sd_bus_message* message = nullptr;
        int r = sd_bus_message_new_signal(bus_, &message, signal.path.c_str(),
                                          signal.interfaceName.c_str(), signal.member.c_str());
        for (const BusArgument& argument : signal.arguments) {
            if (r < 0)
                break;
            if (const auto* text = std::get_if<std::string>(&argument))
                r = sd_bus_message_append_basic(message, 's', text->c_str());
            else if (const auto* u = std::get_if<uint32_t>(&argument))
                r = sd_bus_message_append_basic(message, 'u', u);
            else if (const auto* i = std::get_if<int32_t>(&argument))
                r = sd_bus_message_append_basic(message, 'i', i);
        }
        // While the connection is still opening, sd-bus queues the signal behind Hello.
        if (r >= 0)
            r = sd_bus_send(bus_, message, nullptr);
        sd_bus_message_unref(message);
        if (r < 0 && !sd_bus_is_open(bus_)) {
            drop("the connection to " + address_ + " was lost (" + ErrorText(r) + ")", true);
            return;
        }
        rearm();
    }

    void publish(std::unique_ptr<ServedObject> object) {
        if (phase_ == Phase::Closing)
            return;
        ServedObject& served = *object;
        objects_.push_back(std::move(object));
        if (!bus_) {
            retryTimer_.start(int(RetryAfterMs));
            return;
        }
        const int r = served.addTo(bus_);
        if (r < 0)
            drop("cannot serve an object on " + address_ + ": " + ErrorText(r), false);
    }

    // The channel is gone: finish writing (bounded by AnswerWaitMs), then go.
    void close() {
        objects_.clear(); // what they read from may go with the channel's owner
        retryTimer_.stop();
        if (!bus_ || finishedWriting()) {
            closeBus();
            phase_ = Phase::Closing;
            return;
        }
        phase_ = Phase::Closing;
        lingering().push_back(shared_from_this());
        answerTimer_.start(int(AnswerWaitMs));
        rearm();
    }

private:
    enum class Phase { Down, Opening, Up, Closing };

    struct NameAnswer {
        bool error = false;
        std::string errorName;
        std::string text;
        uint32_t code = 0; // RequestName's reply: 1 owner, 2 queued, 3 exists, 4 already owner
    };

    // Links whose channel is gone but whose last signals are still being written.
    static std::vector<std::shared_ptr<Link>>& lingering() {
        static auto* links = new std::vector<std::shared_ptr<Link>>;
        return *links;
    }

    void open() {
        address_ = SystemBusAddress();
        answer_.reset();
        sd_bus* bus = nullptr;
        int r = sd_bus_new(&bus);
        if (r >= 0)
            r = sd_bus_set_address(bus, address_.c_str());
        if (r >= 0)
            r = sd_bus_set_bus_client(bus, 1);
        if (r >= 0)
            r = sd_bus_set_method_call_timeout(bus, uint64_t(AnswerWaitMs) * 1000u);
        for (auto it = objects_.begin(); r >= 0 && it != objects_.end(); ++it)
            r = (*it)->addTo(bus);
        if (r >= 0)
            r = sd_bus_start(bus); // connects without waiting for the bus
        if (r >= 0)
            r = sd_bus_request_name_async(bus, &nameSlot_, busName_.c_str(), 0, &Link::onNameReply,
                                          this);
        if (r < 0) {
            nameSlot_ = sd_bus_slot_unref(nameSlot_);
            for (const auto& object : objects_)
                object->detach();
            sd_bus_close_unref(bus);
            drop("cannot connect to " + address_ + ": " + ErrorText(r), false);
            return;
        }
        bus_ = bus;
        phase_ = Phase::Opening;
        const int fd = sd_bus_get_fd(bus_);
        // Children of the application object: one still waiting for its discard at
        // the process's end goes with the application.
        readable_ = new QSocketNotifier(fd, QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(readable_, &QSocketNotifier::activated, [this] { pump(); });
        writable_ = new QSocketNotifier(fd, QSocketNotifier::Write, QCoreApplication::instance());
        writable_->setEnabled(false);
        QObject::connect(writable_, &QSocketNotifier::activated, [this] { pump(); });
        answerTimer_.start(int(AnswerWaitMs));
        rearm();
    }

    // Lets sd-bus read, write and run its callbacks; then acts on what they found
    // (a connection must not be closed from inside its own callbacks).
    void pump() {
        if (!bus_)
            return;
        bool more = false;
        for (int i = 0; i < 64; ++i) {
            const int r = sd_bus_process(bus_, nullptr);
            for (const auto& object : objects_)
                object->forget();
            if (r < 0) {
                drop("the connection to " + address_ + " was lost (" + ErrorText(r) + ")", true);
                return;
            }
            more = r > 0;
            if (!more)
                break;
        }
        if (!sd_bus_is_open(bus_)) {
            // While opening, sd-bus itself closes a connection whose Hello went unanswered.
            if (phase_ == Phase::Opening)
                drop("no answer from " + address_ + " (the connection closed while opening)",
                     false);
            else
                drop("the connection to " + address_ + " was closed by the bus", true);
            return;
        }
        if (answer_)
            onAnswer();
        if (!bus_)
            return;
        if (phase_ == Phase::Closing && finishedWriting()) {
            finishClosing();
            return;
        }
        rearm();
        if (more)
            busTimer_.start(0); // the rest in a later pass, so others get their turn
    }

    static int onNameReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
        auto* self = static_cast<Link*>(userdata);
        NameAnswer answer;
        if (const sd_bus_error* e = sd_bus_message_get_error(reply)) {
            answer.error = true;
            answer.errorName = e->name ? e->name : "";
            answer.text = e->message ? e->message : answer.errorName;
        } else if (sd_bus_message_read(reply, "u", &answer.code) < 0) {
            answer.error = true;
            answer.text = "unreadable answer to the name request";
        }
        self->answer_ = answer;
        return 0;
    }

    void onAnswer() {
        const NameAnswer answer = *answer_;
        answer_.reset();
        if (phase_ == Phase::Closing)
            return;
        answerTimer_.stop();
        if (answer.error && (answer.errorName == SD_BUS_ERROR_NO_REPLY ||
                             answer.errorName == SD_BUS_ERROR_TIMEOUT ||
                             answer.errorName == SD_BUS_ERROR_DISCONNECTED)) {
            drop("no answer from " + address_ + " (" + answer.text + ")", false);
            return;
        }
        phase_ = Phase::Up;
        reportedDown_ = false;
        const char* unique = nullptr;
        sd_bus_get_unique_name(bus_, &unique);
        const std::string at = address_ + " as " + (unique ? unique : "?");
        if (answer.error)
            report(BusStatus::State::NameNotOwned, at + ": " + answer.text);
        else if (answer.code == 1 || answer.code == 4)
            report(BusStatus::State::Connected, at);
        else
            report(BusStatus::State::NameNotOwned, at + ": another connection owns the name");
    }

    void onAnswerDeadline() {
        if (phase_ == Phase::Closing) {
            finishClosing();
            return;
        }
        if (phase_ == Phase::Opening)
            drop("no answer from " + address_ + " within " + std::to_string(AnswerWaitMs / 1000) +
                     " s",
                 false);
    }

    bool finishedWriting() {
        uint64_t waiting = 0;
        return bus_ && sd_bus_is_ready(bus_) > 0 &&
               sd_bus_get_n_queued_write(bus_, &waiting) >= 0 && waiting == 0;
    }

    // Which events the socket is watched for and when sd-bus wants to run next.
    void rearm() {
        const int events = sd_bus_get_events(bus_);
        if (writable_)
            writable_->setEnabled(events > 0 && (events & POLLOUT) != 0);
        uint64_t until = UINT64_MAX;
        if (sd_bus_get_timeout(bus_, &until) < 0 || until == UINT64_MAX) {
            busTimer_.stop();
            return;
        }
        const uint64_t now = MonotonicMicroseconds();
        const uint64_t ms = until > now ? (until - now + 999) / 1000 : 0;
        busTimer_.start(int(ms > uint64_t(INT_MAX) ? INT_MAX : ms));
    }

    // Gives up the connection; the next signal tries again at once after a loss,
    // else only after RetryAfterMs. One report per outage.
    void drop(const std::string& reason, bool retrySoon) {
        closeBus();
        lastAttempt_ = TickCount();
        retryNow_ = retrySoon;
        if (phase_ == Phase::Closing) {
            finishClosing();
            return;
        }
        phase_ = Phase::Down;
        if (!objects_.empty())
            retryTimer_.start(int(RetryAfterMs));
        if (!reportedDown_) {
            reportedDown_ = true;
            report(BusStatus::State::Unavailable, reason);
        }
    }

    void closeBus() {
        // The notifiers go before the socket they watch is closed.
        if (readable_)
            readable_->setEnabled(false);
        if (writable_)
            writable_->setEnabled(false);
        Discard(readable_);
        Discard(writable_);
        readable_ = nullptr;
        writable_ = nullptr;
        busTimer_.stop();
        answerTimer_.stop();
        nameSlot_ = sd_bus_slot_unref(nameSlot_);
        for (const auto& object : objects_)
            object->detach();
        if (bus_)
            sd_bus_close_unref(bus_); // closes without waiting for what is unwritten
        bus_ = nullptr;
    }

    void finishClosing() {
        closeBus();
        if (released_)
            return;
        released_ = true;
        // Released at the next dispatch: this may run inside one of the link's own timers.
        if (auto* app = QCoreApplication::instance()) {
            QTimer::singleShot(0, app, [self = this] {
                auto& links = lingering();
                std::erase_if(links, [self](const auto& l) { return l.get() == self; });
            });
        }
    }

    void report(BusStatus::State state, std::string detail) {
        BusStatus status{state, busName_, std::move(detail)};
        if (auto* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app, [status] { Deliver(status); }, Qt::QueuedConnection);
    }

    std::string busName_;
    std::string address_;
    Phase phase_ = Phase::Down;
    sd_bus* bus_ = nullptr;
    sd_bus_slot* nameSlot_ = nullptr;
    std::optional<NameAnswer> answer_;
    QSocketNotifier* readable_ = nullptr; // owned; discarded with the connection
    QSocketNotifier* writable_ = nullptr;
    QTimer busTimer_;
    QTimer answerTimer_; // the name answer's deadline; the closing deadline
    QTimer retryTimer_;  // the next attempt of a channel that serves objects
    std::vector<std::unique_ptr<ServedObject>> objects_;
    uint32_t lastAttempt_ = 0;
    bool retryNow_ = true;
    bool reportedDown_ = false;
    bool released_ = false; // taken off the lingering links
};

BusSignalChannel::BusSignalChannel(const std::string& busName)
    : link_(std::make_shared<Link>(busName)) {}

BusSignalChannel::~BusSignalChannel() {
    if (link_)
        link_->close();
}

BusSignalChannel::BusSignalChannel(BusSignalChannel&& other) noexcept = default;

BusSignalChannel& BusSignalChannel::operator=(BusSignalChannel&& other) noexcept {
    if (this != &other) {
        if (link_)
            link_->close();
        link_ = std::move(other.link_);
    }
    return *this;
}

void BusSignalChannel::send(const BusSignal& signal) noexcept {
    if (!link_)
        return;
    try {
        link_->send(signal);
    } catch (...) {
        // Out of memory while building the message: this signal is lost, nothing else.
    }
}

void BusSignalChannel::publish(const std::string& path, const std::string& interfaceName,
                               BusPropertySource read) {
    if (link_)
        link_->publish(std::make_unique<ServedObject>(path, interfaceName, std::move(read)));
}

BusStatusWatch::BusStatusWatch(BusStatusHandler handler) {
    Watches& w = watches();
    id_ = w.nextId++;
    w.handlers.emplace(id_, std::move(handler));
}

BusStatusWatch::~BusStatusWatch() {
    if (id_ != 0)
        watches().handlers.erase(id_);
}

BusStatusWatch::BusStatusWatch(BusStatusWatch&& other) noexcept : id_(other.id_) {
    other.id_ = 0;
}

BusStatusWatch& BusStatusWatch::operator=(BusStatusWatch&& other) noexcept {
    if (this != &other) {
        if (id_ != 0)
            watches().handlers.erase(id_);
        id_ = other.id_;
        other.id_ = 0;
    }
    return *this;
}

} // namespace platform
