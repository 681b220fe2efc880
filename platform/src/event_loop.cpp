#include "platform/event_loop.h"

#include "platform/stop_request.h"
#include "platform/tick_count.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <vector>

namespace platform {

namespace {

// The waits running on this thread, innermost last. A wait nested inside an event
// handler of another wait is the only one that may end a block of the dispatcher:
// an outer wait whose condition already holds would otherwise interrupt every block
// of the inner one and make it spin. The outer wait ends as soon as the inner one
// returns, because control comes back to its own loop then.
thread_local std::vector<const void*> waitStack;

class WaitStackEntry {
public:
    explicit WaitStackEntry(const void* wait) : wait_(wait) { waitStack.push_back(wait); }
    ~WaitStackEntry() {
        // Waits end in reverse order of their start: they are nested calls.
        if (!waitStack.empty() && waitStack.back() == wait_)
            waitStack.pop_back();
    }
    WaitStackEntry(const WaitStackEntry&) = delete;
    WaitStackEntry& operator=(const WaitStackEntry&) = delete;

private:
    const void* wait_;
};

bool Innermost(const void* wait) {
    return !waitStack.empty() && waitStack.back() == wait;
}

} // namespace

void PumpMessages() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool WaitUntil(const std::function<bool()>& predicate, uint32_t timeoutMs) {
    const uint32_t start = TickCount();
    if (predicate())
        return true;
    auto* dispatcher = QAbstractEventDispatcher::instance();
    if (!QCoreApplication::instance() || !dispatcher)
        return predicate(); // nothing can change while no events are dispatched

    QObject guard;
    const WaitStackEntry entry(&guard);
    // The dispatcher may block after handling posted events that already made
    // the predicate true; interrupt it just before it would block.
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &guard, [&] {
        if (Innermost(&guard) && (predicate() || StopRequested()))
            dispatcher->interrupt();
    });
    // Wakes the dispatcher at the deadline; re-armed with the remaining time.
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);

    for (;;) {
        if (predicate())
            return true;
        const uint32_t elapsed = TickCount() - start;
        if (elapsed >= timeoutMs || StopRequested())
            return predicate();
        deadline.start(int(std::min<uint32_t>(timeoutMs - elapsed, 0x7fffffff)));
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
}

void Sleep(uint32_t ms) {
    WaitUntil([] { return false; }, ms);
}

} // namespace platform
