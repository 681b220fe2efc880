#include "fbdb/error.h"

#include <algorithm>
#include <deque>
#include <iterator>

#include <ibase.h>

namespace fbdb {

// Strings in a status vector point into memory the engine reuses with the next
// call; the copy owns its strings (a deque keeps their addresses stable) and
// its vector points at them.
struct Error::Copy {
    std::vector<std::intptr_t> vector;
    std::deque<std::string> strings;
    std::vector<std::intptr_t> codes;
};

std::shared_ptr<const Error::Copy> Error::DeepCopy(const std::intptr_t* v) {
    auto copy = std::make_shared<Error::Copy>();
    auto keep = [&](const char* text, std::size_t length) {
        copy->strings.emplace_back(text ? std::string(text, length) : std::string());
        return reinterpret_cast<std::intptr_t>(copy->strings.back().c_str());
    };
    while (v && v[0] != isc_arg_end) {
        const std::intptr_t kind = v[0];
        switch (kind) {
        case isc_arg_string:
        case isc_arg_interpreted:
        case isc_arg_sql_state: {
            const char* text = reinterpret_cast<const char*>(v[1]);
            copy->vector.push_back(kind);
            copy->vector.push_back(keep(text, text ? std::char_traits<char>::length(text) : 0));
            v += 2;
            break;
        }
        case isc_arg_cstring: {
            const auto length = static_cast<std::size_t>(v[1]);
            copy->vector.push_back(kind);
            copy->vector.push_back(static_cast<std::intptr_t>(length));
            copy->vector.push_back(keep(reinterpret_cast<const char*>(v[2]), length));
            v += 3;
            break;
        }
        default:
            // isc_arg_gds, isc_arg_number, isc_arg_warning and the system error
            // kinds carry one integer.
            if (kind == isc_arg_gds)
                copy->codes.push_back(v[1]);
            copy->vector.push_back(kind);
            copy->vector.push_back(v[1]);
            v += 2;
            break;
        }
    }
    copy->vector.push_back(isc_arg_end);
    return copy;
}

Error::Error(const std::string& text) : std::runtime_error(text), copy_(DeepCopy(nullptr)) {}

Error::Error(const std::string& text, const std::intptr_t* statusVector)
    : std::runtime_error(text), copy_(DeepCopy(statusVector)) {}

const std::vector<std::intptr_t>& Error::codes() const {
    return copy_->codes;
}

std::intptr_t Error::code() const {
    return copy_->codes.empty() ? 0 : copy_->codes.front();
}

bool Error::hasCode(std::intptr_t code) const {
    return std::find(copy_->codes.begin(), copy_->codes.end(), code) != copy_->codes.end();
}

bool Error::connectionLost() const {
    static constexpr std::intptr_t kGone[] = {
        isc_att_shutdown,  isc_shutdown,  isc_network_error,      isc_net_read_err,
        isc_net_write_err, isc_conn_lost, isc_lost_db_connection,
    };
    return std::any_of(std::begin(kGone), std::end(kGone),
                       [this](std::intptr_t code) { return hasCode(code); });
}

bool Error::serverShutDown() const {
    return hasCode(isc_att_shutdown) || hasCode(isc_shutdown);
}

const std::intptr_t* Error::statusVector() const {
    return copy_->vector.data();
}

} // namespace fbdb
