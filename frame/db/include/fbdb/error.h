// The one exception type of the front-database layer: the engine's error codes
// and message text, kept from a deep copy of its status vector, or a message of
// the layer itself (bad parameter name, closed connection) with no code.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fbdb {

class Error : public std::runtime_error {
public:
    // An error found by the layer itself; codes() is empty.
    explicit Error(const std::string& text);
    // An engine error: text as the engine formats it, and the status vector
    // (isc_arg_* items ending with isc_arg_end), copied with every string in it.
    Error(const std::string& text, const std::intptr_t* statusVector);

    // The isc_* error codes in the order the engine reported them.
    const std::vector<std::intptr_t>& codes() const;
    // The first code, 0 for the layer's own errors.
    std::intptr_t code() const;
    bool hasCode(std::intptr_t code) const;
    // True when the codes say the connection is gone: the server shut the
    // attachment down (killed by an administrator, database shutdown) or the
    // link to it broke. Nothing more can be asked on such a connection.
    bool connectionLost() const;
    // True when the server answered that it shut the attachment or the
    // database down (as opposed to a link that broke).
    bool serverShutDown() const;
    // The copied status vector (a lone isc_arg_end for the layer's own errors);
    // valid as long as this exception or a copy of it lives.
    const std::intptr_t* statusVector() const;

private:
    struct Copy;
    static std::shared_ptr<const Copy> DeepCopy(const std::intptr_t* statusVector);
    std::shared_ptr<const Copy> copy_;
};

} // namespace fbdb
