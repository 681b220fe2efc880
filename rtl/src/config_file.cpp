// The configuration file: sections "[name]" for the top-level nodes, then one
// "path = value" line per node below, parents first, in tree order. Values
// that would not survive a plain line (surrounding blanks, control bytes, a
// leading quote) are written quoted with backslash escapes. The operators'
// page docs/configuration.md describes the format.
#include "config_node.h"

#include <cstdio>

namespace rtl {

namespace {

bool NeedsQuotes(const std::string& value) {
    if (value.empty())
        return false;
    if (value.front() == ' ' || value.back() == ' ' || value.front() == '"')
        return true;
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7F)
            return true;
    }
    return false;
}

std::string Quote(const std::string& value) {
    std::string out = "\"";
    for (unsigned char c : value) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char hex[8];
                std::snprintf(hex, sizeof hex, "\\x%02X", c);
                out += hex;
            } else {
                out += char(c);
            }
        }
    }
    return out + "\"";
}

std::string Assignment(const std::string& value) {
    if (value.empty())
        return " =";
    return " = " + (NeedsQuotes(value) ? Quote(value) : value);
}

void WriteEntries(const ConfigNode& node, const std::string& prefix, std::string& out) {
    const std::string path = prefix.empty() ? node.name : prefix + "." + node.name;
    // A node with children and no value is implied by its children's lines.
    if (!node.value.empty() || node.children.empty())
        out += path + Assignment(node.value) + "\n";
    for (const auto& c : node.children)
        WriteEntries(*c, path, out);
}

class Parser {
public:
    Parser(const std::string& text, const std::string& source) : text_(text), source_(source) {}

    std::unique_ptr<ConfigNode> run() {
        auto root = std::make_unique<ConfigNode>();
        ConfigNode* section = root.get();
        size_t pos = 0;
        while (pos <= text_.size()) {
            size_t end = text_.find('\n', pos);
            if (end == std::string::npos)
                end = text_.size();
            ++line_;
            parseLine(text_.substr(pos, end - pos), root.get(), section);
            pos = end + 1;
        }
        return root;
    }

private:
    [[noreturn]] void fail(const std::string& reason) const {
        throw EConfigError(source_ + ":" + std::to_string(line_) + ": " + reason);
    }

    static bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

    static std::string Trim(const std::string& s) {
        size_t b = 0, e = s.size();
        while (b < e && Blank(s[b]))
            ++b;
        while (e > b && Blank(s[e - 1]))
            --e;
        return s.substr(b, e - b);
    }

    ConfigNode* node(ConfigNode* from, const std::string& key) {
        std::vector<std::string> parts;
        if (!SplitKey(key, parts))
            fail("invalid key \"" + key + "\"");
        for (const auto& part : parts) {
            ConfigNode* next = from->child(part);
            from = next ? next : from->addChild(part);
        }
        return from;
    }

    void parseLine(const std::string& raw, ConfigNode* root, ConfigNode*& section) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            return;
        if (line[0] == '[') {
            const size_t close = line.find(']');
            if (close == std::string::npos)
                fail("missing \"]\" in section header");
            section = node(root, Trim(line.substr(1, close - 1)));
            const std::string rest = Trim(line.substr(close + 1));
            if (!rest.empty()) {
                if (rest[0] != '=')
                    fail("unexpected text after section header");
                section->value = value(rest.substr(1));
            }
            return;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            fail("expected \"key = value\" or \"[section]\"");
        node(section, Trim(line.substr(0, eq)))->value = value(line.substr(eq + 1));
    }

    std::string value(const std::string& afterEquals) {
        const std::string text = Trim(afterEquals);
        if (text.empty() || text[0] != '"')
            return text;
        std::string out;
        size_t i = 1;
        for (;; ++i) {
            if (i >= text.size())
                fail("unterminated quoted value");
            const char c = text[i];
            if (c == '"')
                break;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++i >= text.size())
                fail("unterminated quoted value");
            switch (text[i]) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'x': {
                const int hi = i + 1 < text.size() ? detail::HexValue(text[i + 1]) : -1;
                const int lo = i + 2 < text.size() ? detail::HexValue(text[i + 2]) : -1;
                if (hi < 0 || lo < 0)
                    fail("\\x needs two hexadecimal digits");
                out += char(hi * 16 + lo);
                i += 2;
                break;
            }
            default:
                fail(std::string("unknown escape \\") + text[i] + " in quoted value");
            }
        }
        if (i + 1 != text.size())
            fail("unexpected text after quoted value");
        return out;
    }

    const std::string& text_;
    const std::string& source_;
    int line_ = 0;
};

} // namespace

std::string WriteConfigText(const ConfigNode& root) {
    std::string out;
    for (const auto& top : root.children) {
        if (!out.empty())
            out += "\n";
        out += "[" + top->name + "]";
        out += top->value.empty() ? "\n" : Assignment(top->value) + "\n";
        for (const auto& c : top->children)
            WriteEntries(*c, {}, out);
    }
    return out;
}

std::unique_ptr<ConfigNode> ParseConfigText(const std::string& text,
                                            const std::string& sourceName) {
    return Parser(text, sourceName).run();
}

} // namespace rtl
