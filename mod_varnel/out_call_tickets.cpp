// Out-call ticket collection: the link library's queue of out-call tickets is
// drained into the cache file, which is appended to the spool file for call
// accounting. Every ticket reaches the spool exactly once, whatever moment the
// process dies at, because each step is on disk before the next begins and a
// record beside the cache (cache_step.h) says which step was under way:
//
//  1. The step record "line": the ticket's whole queue record (keys are not unique)
//     and the cache's length. Then the line is appended to the cache and synced,
//     and only then is the ticket deleted from the queue (which the library syncs).
//     A later pass that finds this record and the line whole asks the queue: a head
//     record equal to the recorded one means the delete did not happen, so the line
//     goes again (the ticket is collected anew); otherwise the line stays. A line
//     written only in part goes in any case: its ticket was not deleted yet.
//  2. The step record "merge": the spool's length and the cache's. Then the cache is
//     appended to the spool and synced, and only then is the cache emptied. A later
//     pass that finds this record with the cache still full compares the spool from
//     the recorded length on with the cache and appends only what is missing, so the
//     spool is only ever appended to and each line reaches it once.
//
// Tickets that cannot be billed take step 1 into the rejects file instead.
#include "value_conversion.h"
#include "varnel_dm.h"

#include "platform/files.h"
#include "rtl/dateparsing.h"
#include "rtl/logger.h"

#include <fmt/printf.h>

#include <algorithm>
#include <sys/stat.h>

namespace mod_varnel {

namespace {

using rtl::TLogger;

// A spool column: the text right-aligned in 20 bytes, cut to its first 20.
std::string Column(const std::string& text) {
    constexpr size_t Width = 20;
    if (text.size() >= Width)
        return text.substr(0, Width);
    return std::string(Width - text.size(), ' ') + text;
}

// A duration as a time of day in the long time format (hour without a leading
// zero): 125 s gives "0:02:05". A day or more wraps to its remainder.
std::string DurationText(int32_t seconds) {
    constexpr int64_t Day = 86400;
    const int64_t s = ((int64_t(seconds) % Day) + Day) % Day;
    return fmt::sprintf("%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
}

// The spool line without its line end, for the log.
std::string WithoutLineEnd(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return line;
}

size_t CountLines(std::string_view text) {
    size_t n = 0;
    for (size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2))
        ++n;
    return n;
}

std::string Lines(size_t n) {
    return n == 1 ? "1 line" : std::to_string(n) + " lines";
}

std::string TextAt(const std::vector<std::string>& texts, size_t index) {
    return index < texts.size() ? texts[index] : std::string();
}

// Why a ticket that the binding could read cannot be billed; empty when it can.
std::string NotACall(const TCallTicketRecord& ticket) {
    if (ticket.duration < 0)
        return "'" + TextAt(ticket.texts, 3) + "' is a negative duration";
    // The binding gives 0 (30 December 1899) for a call time it cannot read.
    if (ticket.callTime <= 0)
        return "'" + TextAt(ticket.texts, 2) + "' is not a call time";
    return {};
}

// The oldest queued ticket's record, empty when the queue is empty.
std::string HeadRecord(IHLDriver& driver) {
    TCallTicketRecord ticket;
    try {
        const int32_t key = driver.GetOutTicket(ticket);
        return key > 0 ? QueueRecordText(key, ticket.texts) : std::string();
    } catch (const EHLRecordError& e) {
        return e.recordText();
    }
}

int32_t KeyOfRecord(const std::string& record) {
    try {
        return StrToInt(record.substr(0, record.find('|')));
    } catch (...) {
        return -1;
    }
}

// The file's length without opening it (it may be held by another program).
std::optional<uint64_t> LengthOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return std::nullopt;
    return uint64_t(st.st_size);
}

} // namespace

std::string TvarnelDM::formatSpoolLine(const std::string& line, int32_t duration, double callTime,
                                       const std::string& field4, const std::string& field20) {
    std::string text;
    text += Column(rtl::Dateparsing::formatDateTime("dd/mm/yyyy hh:nn:ss", callTime));
    text += Column(line);
    text += Column(field4);
    text += Column(DurationText(duration));
    text += Column(field20);
    text += Column("0");
    text += Column("");
    text += Column("");
    text += "\r\n";
    return text;
}

std::string TvarnelDM::cacheFileName() const {
    return configuration_->get("out_tickect_scan.cache_file_name", "cach_file.dat");
}

std::string TvarnelDM::spoolFileName() const {
    return configuration_->get("out_tickect_scan.spool_file_name", "spool.dat");
}

std::optional<CacheStep> TvarnelDM::lastStep(const std::string& cacheName) {
    try {
        return ReadCacheStep(CacheStepFileName(cacheName));
    } catch (const std::exception& e) {
        // Written only by renaming a whole synced file into place, so only another
        // program makes it unreadable: the cache is then merged as it is.
        TLogger::error(this, e, "Cache file %s: its step record is taken as none", cacheName);
        return std::nullopt;
    }
}

RecoveryNote TvarnelDM::settleLastLine(IHLDriver& driver, ICacheFile& cache,
                                       const std::string& cacheName) {
    const std::optional<CacheStep> step = lastStep(cacheName);
    if (!step || step->kind != CacheStep::Kind::Line)
        return {};
    // The line went into the cache (held open here) or into the rejects file.
    rtl::Ref<ICacheFile> rejects;
    ICacheFile* file = &cache;
    if (step->file != cacheName) {
        if (!platform::FileExists(step->file))
            return {};
        rejects = TCacheFile::Create(step->file);
        file = rejects.get();
    }
    const uint64_t length = file->size();
    const uint64_t whole = step->lengthBefore + step->bytes;
    // Not written yet, or lines of later steps behind it: nothing of this step is open.
    if (length <= step->lengthBefore || length > whole)
        return {};
    const int32_t key = KeyOfRecord(step->record);
    if (length < whole) {
        // Cut short by the crash; its ticket was deleted only after the whole line
        // was on disk, so it is still queued.
        file->truncate(uint32_t(step->lengthBefore));
        file->flush();
        return {fmt::sprintf("the line of OutTicketID %d in %s was written only in part: "
                             "removed it, the ticket is still queued",
                             key, step->file),
                true};
    }
    if (HeadRecord(driver) == step->record) {
        file->truncate(uint32_t(step->lengthBefore));
        file->flush();
        return {fmt::sprintf("the line of OutTicketID %d in %s was written but the ticket was "
                             "not deleted from the queue: removed the line, the ticket is "
                             "collected again",
                             key, step->file),
                true};
    }
    return {fmt::sprintf("the last line in %s, of OutTicketID %d, is whole and its ticket has "
                         "left the queue",
                         step->file, key),
            false};
}

bool TvarnelDM::mergeCache(ICacheFile& cache, const std::string& cacheName, RecoveryNote* resumed) {
    const std::string spool = spoolFileName();
    const std::string stepFile = CacheStepFileName(cacheName);
    try {
        platform::File target = OpenForAppend(spool);
        const uint64_t cacheLength = cache.size();
        const std::optional<CacheStep> step = lastStep(cacheName);
        uint64_t from = 0;
        bool fresh = true;
        if (step && step->kind == CacheStep::Kind::Merge && step->bytes == cacheLength) {
            // An earlier merge of this very cache stopped before it emptied the cache.
            const std::string content = cache.content();
            const size_t lines = CountLines(content);
            const uint64_t length = target.size();
            std::optional<uint64_t> there;
            if (step->file == spool && length >= step->lengthBefore) {
                const size_t n = size_t(std::min(length - step->lengthBefore, cacheLength));
                if (target.read(step->lengthBefore, n) == content.substr(0, n))
                    there = n;
            }
            RecoveryNote note;
            note.acted = true;
            if (!there) {
                note.text = fmt::sprintf(
                    "the cache held %s of a merge into %s that had stopped, but %s is not as "
                    "that merge left it (cut back, replaced or written by another program): "
                    "appending the whole cache; lines of that merge may be in an earlier copy "
                    "of the spool too",
                    Lines(lines), step->file, spool);
            } else if (*there == cacheLength) {
                note.text = fmt::sprintf("the cache held %s already in %s: emptied the cache, "
                                         "nothing appended",
                                         Lines(lines), spool);
                from = *there;
                fresh = false;
            } else if (*there == 0) {
                // Nothing of it reached the spool: the same as a merge not yet begun.
                note = {};
            } else {
                const std::string_view done = std::string_view(content).substr(0, size_t(*there));
                const size_t whole = CountLines(done);
                const size_t tail =
                    done.size() -
                    (done.rfind("\r\n") == std::string_view::npos ? 0 : done.rfind("\r\n") + 2);
                note.text = fmt::sprintf("the cache held %s of a merge into %s that had stopped "
                                         "after %s and %d bytes of the next: appending the rest",
                                         Lines(lines), spool, Lines(whole), int(tail));
                from = *there;
                fresh = false;
            }
            if (resumed)
                *resumed = note;
            else if (note.acted)
                TLogger::warn(this, "Recovery of cache file %s: %s.", cacheName, note.text);
        }
        if (fresh)
            WriteCacheStep(stepFile,
                           {CacheStep::Kind::Merge, spool, target.size(), cacheLength, {}});
        cache.mergeInto(target, from);
        TLogger::debug(this, "Cache file %s was merged with %s.", cacheName, spool);
        return true;
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Cache file %s was NOT merged with %s.", cacheName, spool);
    }
    // Lines may still come while nothing of a stopped merge is in the spool; once
    // part of it is, the step record must stay until the rest follows.
    const std::optional<CacheStep> step = lastStep(cacheName);
    if (!step || step->kind != CacheStep::Kind::Merge)
        return true;
    try {
        if (cache.size() != step->bytes)
            return true;
    } catch (...) {
        return false;
    }
    const std::optional<uint64_t> length = LengthOf(step->file);
    return length && *length == step->lengthBefore;
}

TvarnelDM::SetAside TvarnelDM::rejectTicket(IHLDriver& driver, int32_t key,
                                            const std::string& record, const std::string& reason,
                                            bool unreadable) {
    const std::string rejects = rejectsFileName();
    rtl::Ref<ICacheFile> file;
    uint32_t before = 0;
    try {
        file = TCacheFile::Create(rejects);
        before = file->size();
        const std::string line = record + "\r\n";
        WriteCacheStep(CacheStepFileName(cacheFileName()),
                       {CacheStep::Kind::Line, rejects, before, line.size(), record});
        // The record is on disk before it leaves the queue.
        file->append(line);
        file->flush();
    } catch (const std::exception& e) {
        // It blocks the queue (only the oldest ticket is handed out), so the pass
        // ends here and says so once.
        TLogger::error(this, e,
                       "OutTicketID %d cannot be set aside in %s and stays queued, with the "
                       "tickets after it: %s",
                       key, rejects, record);
        return SetAside::NotWritten;
    }
    TLogger::error(this, "OutTicketID %d %s and is set aside in %s: %s: %s", key,
                   unreadable ? "cannot be read" : "cannot be a call", rejects, record, reason);
    if (driver.DeleteOutTicket(key))
        return SetAside::Done;
    // Still queued, so it is set aside again later: its line goes, as a cache line does.
    try {
        file->truncate(before);
        file->flush();
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Rejects file %s was not cut back", rejects);
    }
    TLogger::error(this, "OutTicketID %d was not deleted.", key);
    return SetAside::StillQueued;
}

void TvarnelDM::collectTickets(IHLDriver& driver, ICacheFile& cache, const std::string& cacheName) {
    const std::string stepFile = CacheStepFileName(cacheName);
    // A ticket the library kept after a failed delete comes back at once: the pass
    // ends there instead of repeating it for ever.
    int32_t undeleted = -1; // no record has a negative key
    auto stopsAt = [&](int32_t key) {
        if (undeleted != key)
            return false;
        TLogger::error(this, "OutTicketID %d is still queued; scanning stops until the next pass",
                       key);
        return true;
    };
    for (;;) {
        TCallTicketRecord ticket;
        int32_t key = -1;
        std::string record;
        std::string reason;
        bool unreadable = false;
        try {
            key = driver.GetOutTicket(ticket);
            if (key <= 0)
                break;
            record = QueueRecordText(key, ticket.texts);
            reason = NotACall(ticket);
        } catch (const EHLRecordError& e) {
            key = e.key();
            record = e.recordText();
            reason = e.what();
            unreadable = true;
        }
        if (stopsAt(key))
            break;
        undeleted = -1;
        if (!reason.empty()) {
            // It would block every later ticket.
            const SetAside outcome = rejectTicket(driver, key, record, reason, unreadable);
            if (outcome == SetAside::NotWritten)
                break;
            if (outcome == SetAside::StillQueued)
                undeleted = key;
            continue;
        }

        const uint32_t position = cache.size();
        const std::string line = formatSpoolLine(ticket.line, ticket.duration, ticket.callTime,
                                                 ticket.field4, ticket.field20);
        WriteCacheStep(stepFile, {CacheStep::Kind::Line, cacheName, position, line.size(), record});
        cache.append(line);
        cache.flush();
        TLogger::debug(this, "Data line was added in cache - %s.", WithoutLineEnd(line));
        if (!driver.DeleteOutTicket(key)) {
            cache.truncate(position);
            cache.flush();
            TLogger::error(
                this, "OutTicketID %d was not deleted. Data line was removed from cache.", key);
            undeleted = key;
        }
    }
}

void TvarnelDM::scanOutCallTickets() {
    TLogger::debug(this, "--- Begin scanning for outcall tickets ---");
    try {
        rtl::Ref<IHLDriver> driver = getDriver();
        const std::string cacheName = cacheFileName();
        rtl::Ref<ICacheFile> cache = TCacheFile::Create(cacheName);
        TLogger::debug(this, "Cache file %s was opened.", cacheName);
        platform::RemoveStaleTemporaries(CacheStepFileName(cacheName));

        // What an interrupted pass left: one line at the first pass, and one whenever
        // something had to be undone or finished.
        RecoveryNote note = settleLastLine(*driver, *cache, cacheName);
        bool mayCollect = true;
        const bool cacheHeldLines = !cache->isEmpty();
        if (cacheHeldLines) {
            TLogger::debug(this, "Cache file %s is not empty.", cacheName);
            RecoveryNote resumed;
            mayCollect = mergeCache(*cache, cacheName, &resumed);
            if (!resumed.text.empty())
                note = resumed;
        }
        if (note.acted) {
            TLogger::warn(this, "Recovery of cache file %s: %s.", cacheName, note.text);
        } else if (!recoveryReported_) {
            if (note.text.empty())
                note.text = cacheHeldLines ? "it held lines of tickets that had left the queue"
                                           : "nothing to recover";
            TLogger::debug(this, "Recovery of cache file %s: %s.", cacheName, note.text);
        }
        recoveryReported_ = true;

        if (!mayCollect) {
            TLogger::error(this,
                           "Cache file %s: its merge into %s stopped part-way; the tickets stay "
                           "queued until the rest of it is in the spool.",
                           cacheName, spoolFileName());
        } else {
            collectTickets(*driver, *cache, cacheName);
            if (!cache->isEmpty())
                mergeCache(*cache, cacheName);
        }
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Scan error.");
    } catch (...) {
        TLogger::error(this, "Scan error.");
    }
    TLogger::debug(this, "--- End scanning for outcall tickets ---");
}

} // namespace mod_varnel
