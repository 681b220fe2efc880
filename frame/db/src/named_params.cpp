#include "fbdb/named_params.h"

#include <algorithm>
#include <cctype>

namespace fbdb {

namespace {

bool NameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}

bool NamePart(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// The closing delimiter of q'<open>...<close>': brackets pair up, any other
// character closes itself.
char QuoteClose(char open) {
    switch (open) {
    case '(':
        return ')';
    case '[':
        return ']';
    case '{':
        return '}';
    case '<':
        return '>';
    default:
        return open;
    }
}

} // namespace

PositionalSql RewriteNamedParams(std::string_view sql) {
    PositionalSql out;
    out.sql.reserve(sql.size());
    std::size_t i = 0;
    // Copies sql[i, end) unchanged and moves on.
    auto copyTo = [&](std::size_t end) {
        end = std::min(end, sql.size());
        out.sql.append(sql.substr(i, end - i));
        i = end;
    };
    while (i < sql.size()) {
        const char c = sql[i];
        const char next = i + 1 < sql.size() ? sql[i + 1] : '\0';
        const bool wordBefore = i > 0 && NamePart(sql[i - 1]);
        if ((c == 'q' || c == 'Q') && next == '\'' && !wordBefore && i + 2 < sql.size()) {
            const char close = QuoteClose(sql[i + 2]);
            std::size_t end = i + 3;
            while (end + 1 < sql.size() && !(sql[end] == close && sql[end + 1] == '\''))
                ++end;
            copyTo(end + 2);
        } else if (c == '\'' || c == '"') {
            // A doubled quote inside is part of the text.
            std::size_t end = i + 1;
            while (end < sql.size()) {
                if (sql[end] == c) {
                    if (end + 1 < sql.size() && sql[end + 1] == c) {
                        end += 2;
                        continue;
                    }
                    break;
                }
                ++end;
            }
            copyTo(end + 1);
        } else if (c == '-' && next == '-') {
            const auto end = sql.find('\n', i);
            copyTo(end == std::string_view::npos ? sql.size() : end);
        } else if (c == '/' && next == '*') {
            const auto end = sql.find("*/", i + 2);
            copyTo(end == std::string_view::npos ? sql.size() : end + 2);
        } else if ((c == ':' || c == '?') && NameStart(next)) {
            std::size_t end = i + 1;
            while (end < sql.size() && NamePart(sql[end]))
                ++end;
            std::string name(sql.substr(i + 1, end - i - 1));
            for (char& ch : name)
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            out.names.push_back(std::move(name));
            out.sql.push_back('?');
            i = end;
        } else if (c == '?') {
            out.names.emplace_back();
            out.sql.push_back('?');
            ++i;
        } else {
            out.sql.push_back(c);
            ++i;
        }
    }
    return out;
}

} // namespace fbdb
