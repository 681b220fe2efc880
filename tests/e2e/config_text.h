// Pieces of pbxhost configuration files for the end-to-end tests.
#pragma once

#include "test_db/scratch_database.h"

#include <string>

namespace e2e {

// A value in its quoted form, so that any bytes (a password with blanks or
// quotes, say) come back exactly.
inline std::string Quoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += c;
    }
    return out + "\"";
}

// The "db." keys of a plug-in section for the scratch database.
inline std::string DatabaseKeys(const test_db::ScratchDatabase& database) {
    return "db.name = " + database.name() + "\n" +
           "db.user_name = " + Quoted(test_db::ServerLogin().user) + "\n" +
           "db.password = " + Quoted(test_db::ServerLogin().password) + "\n";
}

} // namespace e2e
