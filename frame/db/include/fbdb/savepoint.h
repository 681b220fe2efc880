// A savepoint in an active transaction: the work done after it can be undone
// on its own while the transaction, and the work before the savepoint, go on.
// Used where one transaction carries several units of work that must fail one
// by one (the events of one cycle of the PBX manager).
#pragma once

#include <string>

namespace fbdb {

class Transaction;

// Not copyable or movable. Set when constructed; ended by release() (its work
// is kept) or rollback() (its work is undone). One that is still set when
// destroyed is rolled back.
class Savepoint {
public:
    // Raises Error when the transaction is not active or the engine refuses.
    // `name` is an SQL identifier; a savepoint of the same name that is still
    // set in the transaction is replaced by this one.
    Savepoint(Transaction& transaction, std::string name);
    // Rolls back when still set; never throws.
    ~Savepoint();
    Savepoint(const Savepoint&) = delete;
    Savepoint& operator=(const Savepoint&) = delete;

    // Keeps the work done since the savepoint as part of the transaction.
    // Raises Error when the engine refuses (the savepoint counts as ended).
    void release();
    // Undoes the work done since the savepoint; the transaction stays active.
    // Raises Error when the engine refuses (on a lost connection, for one);
    // the savepoint counts as ended in every case.
    void rollback();
    bool isSet() const { return set_; }

private:
    void run(const std::string& sql);

    Transaction& transaction_;
    std::string name_;
    bool set_ = false;
};

} // namespace fbdb
