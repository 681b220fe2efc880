// Named statement parameters: the engine takes only positional '?', so ":NAME"
// and "?NAME" are rewritten to '?' and each position remembers its name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fbdb {

struct PositionalSql {
    // The statement with every parameter written as a bare '?'.
    std::string sql;
    // The name of each '?' in order, upper-cased (names are matched without
    // regard to case); empty for a '?' that had no name. A name used twice
    // appears at both positions.
    std::vector<std::string> names;
};

// Finds ":NAME" and "?NAME" (NAME: a letter or '_', then letters, digits, '_'
// or '$') and bare '?', skipping string literals ('..', q'{..}'), quoted
// identifiers and comments. Not meant for PSQL blocks, whose ":variable"
// references would be taken for parameters.
PositionalSql RewriteNamedParams(std::string_view sql);

} // namespace fbdb
