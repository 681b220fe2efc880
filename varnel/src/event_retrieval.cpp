#include "event_retrieval.h"

#include "record_keys.h"
#include "record_text.h"

#include "platform/error.h"

namespace varnel {

std::optional<QueueRecord> OldestRecord(TOxLogFile* queue, size_t fieldCount) {
    if (!queue)
        return std::nullopt;
    // Blank records at the head are removed while the file can be rewritten; when it
    // cannot, they stay in memory and in the file and are passed over.
    size_t index = 0;
    bool removing = true;
    while (index < queue->count()) {
        const std::string_view record = TrimBlanks(queue->item(index));
        if (!record.empty()) {
            QueueRecord out{KeyOfText(GetField(1, record)), {}};
            out.fields.reserve(fieldCount);
            for (size_t k = 1; k <= fieldCount; ++k)
                out.fields.push_back(GetField(int(k) + 1, record));
            return out;
        }
        if (removing) {
            try {
                queue->remove(index);
                continue;
            } catch (const platform::Error&) {
                removing = false;
            }
        }
        ++index;
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
            // Not removed: reported, so the caller tries again and the record, still
            // in memory and in the file, never comes back after it was taken.
            return DeleteFailed;
        }
        return 0;
    }
    return -1;
}

} // namespace varnel
