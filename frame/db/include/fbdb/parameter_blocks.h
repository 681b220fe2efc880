// Transaction options as a value and the connection's "name=value" lines, and
// the one place where each becomes the parameter block the engine reads, so the
// exact bytes a module sends can be read (and tested) here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fbdb {

enum class Access { Read, Write };
enum class Isolation { Consistency, Concurrency, ReadCommitted };

// Unset fields are left to the engine.
struct TransactionOptions {
    std::optional<Access> access;
    std::optional<Isolation> isolation;
    // Read committed only: true reads the latest committed version of a record
    // that another transaction is changing (rec_version), false treats such a
    // record as a conflict (no_rec_version).
    std::optional<bool> recordVersion;
    // false: a lock conflict fails at once instead of waiting (nowait).
    std::optional<bool> wait;

    // From the parameter words the modules declare, each with or without the
    // "isc_tpb_" prefix, in any letter case: read, write, wait, nowait,
    // rec_version, no_rec_version, read_committed, concurrency, consistency.
    // Raises Error naming an unknown word or the second of two that contradict.
    static TransactionOptions FromWords(const std::vector<std::string>& words);

    bool operator==(const TransactionOptions&) const = default;
};

// isc_tpb_version3, then access, isolation, record version and lock
// resolution, each only when set. No option set gives an empty block, which
// starts the engine's default transaction (write, concurrency, wait).
// Raises Error for a record version without read committed.
std::vector<std::uint8_t> BuildTpb(const TransactionOptions& options);

// isc_dpb_version1, then user_name, password and sql_role_name from the
// "name=value" lines (names in any letter case; a later line for the same name
// wins; an empty value adds nothing), the connection charset NONE and the SQL
// dialect. Raises Error naming a line without "=", an unknown name, a value
// longer than 255 bytes or a dialect other than 1 to 3.
std::vector<std::uint8_t> BuildDpb(const std::vector<std::string>& params, int dialect);

} // namespace fbdb
