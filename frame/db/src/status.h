// The engine's master interface and a status object for one API call, which
// turns a reported failure into fbdb::Error.
#pragma once

#include <firebird/Interface.h>

namespace fbdb::detail {

// fbclient's process-wide entry point.
Firebird::IMaster* Master();

class Status {
public:
    Status();
    ~Status();
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;

    // What the API calls take.
    Firebird::CheckStatusWrapper* get() { return &wrapper_; }
    bool failed() const;
    // Throws fbdb::Error built from the reported errors, if any, and clears them.
    void check();
    // Forgets the reported errors (for calls whose failure is expected).
    void clear() { wrapper_.init(); }

private:
    Firebird::CheckStatusWrapper wrapper_;
};

} // namespace fbdb::detail
