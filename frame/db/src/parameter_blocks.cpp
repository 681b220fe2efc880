#include "fbdb/parameter_blocks.h"

#include "fbdb/error.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <string_view>

#include <fmt/format.h>
#include <ibase.h>

namespace fbdb {

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

// Sets a field once; a second word for the same field must agree with the first.
template <class T> void Assign(std::optional<T>& field, T value, const std::string& word) {
    if (field && *field != value)
        throw Error(fmt::format("Transaction parameter '{}' contradicts an earlier one", word));
    field = value;
}

} // namespace

TransactionOptions TransactionOptions::FromWords(const std::vector<std::string>& words) {
    TransactionOptions options;
    for (const std::string& raw : words) {
        std::string word = Lower(Trim(raw));
        if (word.rfind("isc_tpb_", 0) == 0)
            word.erase(0, 8);
        if (word == "read")
            Assign(options.access, Access::Read, raw);
        else if (word == "write")
            Assign(options.access, Access::Write, raw);
        else if (word == "wait")
            Assign(options.wait, true, raw);
        else if (word == "nowait")
            Assign(options.wait, false, raw);
        else if (word == "rec_version")
            Assign(options.recordVersion, true, raw);
        else if (word == "no_rec_version")
            Assign(options.recordVersion, false, raw);
        else if (word == "read_committed")
            Assign(options.isolation, Isolation::ReadCommitted, raw);
        else if (word == "concurrency")
            Assign(options.isolation, Isolation::Concurrency, raw);
        else if (word == "consistency")
            Assign(options.isolation, Isolation::Consistency, raw);
        else
            throw Error(fmt::format("Unknown transaction parameter '{}'", raw));
    }
    return options;
}

std::vector<std::uint8_t> BuildTpb(const TransactionOptions& options) {
    if (options == TransactionOptions{})
        return {};
    if (options.recordVersion && options.isolation != Isolation::ReadCommitted)
        throw Error("Transaction parameter rec_version/no_rec_version needs read_committed");

    std::vector<std::uint8_t> tpb{isc_tpb_version3};
    if (options.access)
        tpb.push_back(*options.access == Access::Read ? isc_tpb_read : isc_tpb_write);
    if (options.isolation) {
        switch (*options.isolation) {
        case Isolation::Consistency:
            tpb.push_back(isc_tpb_consistency);
            break;
        case Isolation::Concurrency:
            tpb.push_back(isc_tpb_concurrency);
            break;
        case Isolation::ReadCommitted:
            tpb.push_back(isc_tpb_read_committed);
            break;
        }
    }
    if (options.recordVersion)
        tpb.push_back(*options.recordVersion ? isc_tpb_rec_version : isc_tpb_no_rec_version);
    if (options.wait)
        tpb.push_back(*options.wait ? isc_tpb_wait : isc_tpb_nowait);
    return tpb;
}

std::vector<std::uint8_t> BuildDpb(const std::vector<std::string>& params, int dialect) {
    if (dialect < 1 || dialect > 3)
        throw Error(fmt::format("Invalid SQL dialect {} (1 to 3)", dialect));

    // The items in the order they are written, with their tags.
    static constexpr std::array<std::pair<std::string_view, std::uint8_t>, 3> kItems{{
        {"user_name", isc_dpb_user_name},
        {"password", isc_dpb_password},
        {"sql_role_name", isc_dpb_sql_role_name},
    }};
    std::map<std::string, std::string, std::less<>> values;
    for (const std::string& line : params) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            throw Error(fmt::format("Connection parameter '{}' has no '='", line));
        const std::string name = Lower(Trim(std::string_view(line).substr(0, eq)));
        const bool known = std::any_of(kItems.begin(), kItems.end(),
                                       [&](const auto& item) { return item.first == name; });
        if (!known)
            throw Error(fmt::format("Unknown connection parameter '{}'", line.substr(0, eq)));
        values[name] = line.substr(eq + 1);
    }

    std::vector<std::uint8_t> dpb{isc_dpb_version1};
    auto addString = [&](std::uint8_t tag, std::string_view name, const std::string& value) {
        if (value.size() > 255)
            throw Error(fmt::format("Connection parameter {} is longer than 255 bytes", name));
        dpb.push_back(tag);
        dpb.push_back(static_cast<std::uint8_t>(value.size()));
        dpb.insert(dpb.end(), value.begin(), value.end());
    };
    for (const auto& [name, tag] : kItems) {
        const auto found = values.find(name);
        if (found != values.end() && !found->second.empty())
            addString(tag, name, found->second);
    }
    // Texts travel as the bytes they are: no conversion between code pages.
    addString(isc_dpb_lc_ctype, "lc_ctype", "NONE");
    dpb.push_back(isc_dpb_sql_dialect);
    dpb.push_back(4);
    for (int shift = 0; shift < 32; shift += 8)
        dpb.push_back(static_cast<std::uint8_t>(static_cast<unsigned>(dialect) >> shift));
    return dpb;
}

} // namespace fbdb
