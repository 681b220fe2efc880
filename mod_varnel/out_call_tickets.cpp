// Out-call ticket collection: the link library's queue of out-call tickets is
// drained into the cache file, which is appended to the spool file for call
// accounting. A ticket's line is on disk in the cache before the ticket leaves
// the queue, and on disk in the spool before it leaves the cache, so every
// ticket reaches the spool exactly once.
#include "varnel_dm.h"

#include "rtl/dateparsing.h"
#include "rtl/logger.h"

#include <fmt/printf.h>

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

void TvarnelDM::mergeCache(ICacheFile& cache, const std::string& cacheName) {
    const std::string spool = spoolFileName();
    try {
        cache.mergeInto(spool);
        TLogger::debug(this, "Cache file %s was merged with %s.", cacheName, spool);
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Cache file %s was NOT merged with %s.", cacheName, spool);
    }
}

bool TvarnelDM::rejectTicket(IHLDriver& driver, const EHLRecordError& error) {
    const std::string rejects = rejectsFileName();
    TLogger::error(this, error, "OutTicketID %d cannot be read and is set aside in %s: %s",
                   error.key(), rejects, error.recordText());
    // The record is on disk before it leaves the queue.
    {
        rtl::Ref<ICacheFile> file = TCacheFile::Create(rejects);
        file->append(error.recordText() + "\r\n");
        file->flush();
    }
    if (driver.DeleteOutTicket(error.key()))
        return true;
    TLogger::error(this, "OutTicketID %d was not deleted.", error.key());
    return false;
}

void TvarnelDM::scanOutCallTickets() {
    TLogger::debug(this, "--- Begin scanning for outcall tickets ---");
    try {
        rtl::Ref<IHLDriver> driver = getDriver();
        const std::string cacheName = cacheFileName();
        rtl::Ref<ICacheFile> cache = TCacheFile::Create(cacheName);
        TLogger::debug(this, "Cache file %s was opened.", cacheName);
        if (!cache->isEmpty()) {
            TLogger::debug(this, "Cache file %s is not empty.", cacheName);
            mergeCache(*cache, cacheName);
        }

        // A ticket the library kept after a failed delete comes back at once: the
        // pass ends there instead of repeating it for ever.
        int32_t undeleted = -1; // no record has a negative key
        auto stopsAt = [&](int32_t key) {
            if (undeleted != key)
                return false;
            TLogger::error(
                this, "OutTicketID %d is still queued; scanning stops until the next pass", key);
            return true;
        };
        for (;;) {
            TCallTicketRecord ticket;
            int32_t key = -1;
            try {
                key = driver->GetOutTicket(ticket);
            } catch (const EHLRecordError& e) {
                // An unreadable ticket would block every later one.
                if (stopsAt(e.key()))
                    break;
                undeleted = -1;
                if (!rejectTicket(*driver, e))
                    undeleted = e.key();
                continue;
            }
            if (key <= 0)
                break;
            if (stopsAt(key))
                break;
            undeleted = -1;

            const uint32_t position = cache->size();
            const std::string line = formatSpoolLine(ticket.line, ticket.duration, ticket.callTime,
                                                     ticket.field4, ticket.field20);
            cache->append(line);
            cache->flush();
            TLogger::debug(this, "Data line was added in cache - %s.", WithoutLineEnd(line));
            if (!driver->DeleteOutTicket(key)) {
                cache->truncate(position);
                cache->flush();
                TLogger::error(
                    this, "OutTicketID %d was not deleted. Data line was removed from cache.", key);
                undeleted = key;
            }
        }

        if (!cache->isEmpty())
            mergeCache(*cache, cacheName);
    } catch (const std::exception& e) {
        TLogger::error(this, e, "Scan error.");
    } catch (...) {
        TLogger::error(this, "Scan error.");
    }
    TLogger::debug(this, "--- End scanning for outcall tickets ---");
}

} // namespace mod_varnel
