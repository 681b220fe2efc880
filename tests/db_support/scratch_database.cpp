#include "test_db/scratch_database.h"

#include "fbdb/statement.h"
#include "fbdb/transaction.h"
#include "test_support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <regex>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include <fmt/format.h>

namespace test_db {

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string PasswordFromServerFile() {
    std::ifstream in("/etc/firebird/3.0/SYSDBA.password");
    const std::regex line(R"re(^ISC_PASSWORD="?([^"]*)"?\s*$)re");
    std::string text;
    std::string password;
    std::smatch match;
    while (std::getline(in, text))
        if (std::regex_match(text, match, line))
            password = match[1];
    return password;
}

std::string BaseFolder() {
    for (const std::string& candidate :
         {Env("PBX_TEST_DB_DIR"), std::string("/dev/shm"), Env("TMPDIR"), std::string("/tmp")}) {
        if (!candidate.empty() && ::access(candidate.c_str(), W_OK | X_OK) == 0)
            return candidate;
    }
    throw std::runtime_error("no writable folder for scratch databases");
}

} // namespace

const Login& ServerLogin() {
    static const Login login = [] {
        Login l;
        l.user = Env("FIREBIRD_USER");
        if (l.user.empty())
            l.user = Env("ISC_USER");
        if (l.user.empty())
            l.user = "SYSDBA";
        l.password = Env("FIREBIRD_PASSWORD");
        if (l.password.empty())
            l.password = Env("ISC_PASSWORD");
        if (l.password.empty())
            l.password = PasswordFromServerFile();
        return l;
    }();
    return login;
}

ScratchDatabase::ScratchDatabase(bool demoData) {
    std::string pattern = BaseFolder() + "/pbxlink-db-XXXXXX";
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed for " + pattern);
    dir_ = pattern;
    // The server, not this process, creates the file: let it in whatever user
    // it runs as.
    ::chmod(dir_.c_str(), 0777);
    path_ = dir_ + "/front.fdb";
    name_ = "localhost:" + path_;
    const std::string log = dir_ + "/create-db.log";
    const std::string command =
        fmt::format("bash '{}/scripts/create-db' {} '{}' >'{}' 2>&1", PBX_SOURCE_DIR,
                    demoData ? "" : "--no-demo-data", path_, log);
    if (std::system(command.c_str()) != 0) {
        const std::string output = test_support::ReadFile(log);
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        throw std::runtime_error("scripts/create-db failed: " + output);
    }
}

ScratchDatabase::~ScratchDatabase() {
    try {
        fbdb::Connection db;
        connect(db);
        db.dropDatabase();
    } catch (const std::exception& e) {
        std::cerr << "could not drop " << name_ << ": " << e.what() << '\n';
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

void ScratchDatabase::connect(fbdb::Connection& db, int dialect) const {
    db.setDatabaseName(name_);
    db.setDialect(dialect);
    db.clearParams();
    db.addParam("user_name", ServerLogin().user);
    db.addParam("password", ServerLogin().password);
    db.connect();
}

Rows Select(fbdb::Connection& db, const std::string& sql) {
    fbdb::Transaction tr(db,
                         fbdb::TransactionOptions::FromWords({"read_committed", "rec_version"}));
    tr.start();
    fbdb::Statement st(db, tr, sql);
    st.execute();
    Rows rows;
    while (st.fetch()) {
        std::vector<std::string> row;
        for (std::size_t i = 0; i < st.fieldCount(); ++i)
            row.push_back(st.field(i).isNull() ? "<null>" : st.field(i).asString());
        rows.push_back(std::move(row));
    }
    tr.commit();
    return rows;
}

void Execute(fbdb::Connection& db, const std::string& sql) {
    fbdb::Transaction tr(db);
    tr.start();
    fbdb::Statement st(db, tr, sql);
    st.execute();
    tr.commit();
}

} // namespace test_db
