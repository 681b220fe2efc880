#include "platform/event_loop.h"

#include "platform/stop_request.h"
#include "platform/tick_count.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace platform {

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

    // The dispatcher may block after handling posted events that already made
    // the predicate true; interrupt it just before it would block.
    QObject guard;
    QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, &guard, [&] {
        if (predicate() || StopRequested())
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
