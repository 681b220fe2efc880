// A front database of its own for one test: created by scripts/create-db from
// the schema (and the demo data), on the Firebird server on loopback, and
// dropped afterwards. Plus helpers to connect to it and to read rows as texts.
// The files go to PBX_TEST_DB_DIR, else /dev/shm (the server syncs every
// commit to disk, which on a busy disk costs seconds per database), else
// TMPDIR or /tmp.
#pragma once

#include "fbdb/connection.h"

#include <string>
#include <vector>

namespace test_db {

struct Login {
    std::string user;
    std::string password;
};

// The server's administrator login: FIREBIRD_USER / FIREBIRD_PASSWORD, else
// ISC_USER / ISC_PASSWORD, else SYSDBA with the password from the server
// package's SYSDBA.password file.
const Login& ServerLogin();

class ScratchDatabase {
public:
    // Raises std::runtime_error with create-db's output when it fails.
    explicit ScratchDatabase(bool demoData = true);
    // Drops the database through the server; a failure is reported on stderr.
    ~ScratchDatabase();
    ScratchDatabase(const ScratchDatabase&) = delete;
    ScratchDatabase& operator=(const ScratchDatabase&) = delete;

    // "localhost:/abs/path.fdb"
    const std::string& name() const { return name_; }
    const std::string& path() const { return path_; }

    // Sets the name, the dialect and the login on db and connects it.
    void connect(fbdb::Connection& db, int dialect = 3) const;

private:
    std::string dir_;
    std::string path_;
    std::string name_;
};

// Texts of a result: one vector per row, "<null>" for NULL.
using Rows = std::vector<std::vector<std::string>>;

// Runs sql in a read-committed transaction of its own that is committed.
Rows Select(fbdb::Connection& db, const std::string& sql);
void Execute(fbdb::Connection& db, const std::string& sql);

} // namespace test_db
