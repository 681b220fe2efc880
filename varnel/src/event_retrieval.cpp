#include "event_retrieval.h"

#include "record_keys.h"
#include "record_text.h"

#include "platform/error.h"

namespace varnel {

std::optional<QueueRecord> OldestRecord(TOxLogFile* queue, size_t fieldCount) {
    if (!queue)
        return std::nullopt;
    while (queue->count() > 0) {
        const std::string_view record = TrimBlanks(queue->item(0));
        if (record.empty()) {
            try {
                queue->remove(0);
            } catch (const platform::Error&) {
                // Removed in memory; the file follows at the next successful save.
            }
            continue;
        }
        QueueRecord out{KeyOfText(GetField(1, record)), {}};
        out.fields.reserve(fieldCount);
        for (size_t k = 1; k <= fieldCount; ++k)
            out.fields.push_back(GetField(int(k) + 1, record));
        return out;
    }
    return std::nullopt;
}

int32_t DeleteRecord(TOxLogFile* queue, int32_t key) {
    if (!queue || key <= 0)
        return -1;
    for (size_t i = 0; i < queue->count(); ++i) {
        const std::string_view record = TrimBlanks(queue->item(i));
        if (record.empty() || KeyOfText(GetField(1, record)) != key)
            continue;
        try {
            queue->remove(i);
        } catch (const platform::Error&) {
            // Removed in memory; the file follows at the next successful save.
        }
        return 0;
    }
    return -1;
}

} // namespace varnel
