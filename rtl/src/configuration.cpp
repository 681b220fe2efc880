#include "rtl/configuration.h"

#include "config_node.h"

#include "platform/error.h"
#include "platform/files.h"

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

namespace rtl {

ConfigNode* ConfigNode::child(const std::string& childName) const {
    for (const auto& c : children) {
        if (c->name == childName)
            return c.get();
    }
    return nullptr;
}

ConfigNode* ConfigNode::addChild(const std::string& childName) {
    children.push_back(std::make_unique<Node>());
    children.back()->name = childName;
    return children.back().get();
}

std::unique_ptr<ConfigNode> ConfigNode::clone() const {
    auto copy = std::make_unique<Node>();
    copy->name = name;
    copy->value = value;
    for (const auto& c : children)
        copy->children.push_back(c->clone());
    return copy;
}

bool ValidNodeName(const std::string& name) {
    if (name.empty())
        return false;
    for (unsigned char c : name) {
        if (c >= 0x80)
            continue;
        if (c <= 0x20 || c == 0x7F)
            return false;
        switch (c) {
        case '.':
        case '=':
        case '[':
        case ']':
        case '"':
        case '#':
        case ';':
            return false;
        default:
            break;
        }
    }
    return true;
}

bool SplitKey(const std::string& key, std::vector<std::string>& parts) {
    parts.clear();
    size_t start = 0;
    for (;;) {
        const size_t dot = key.find('.', start);
        parts.push_back(
            key.substr(start, dot == std::string::npos ? std::string::npos : dot - start));
        if (!ValidNodeName(parts.back()))
            return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

bool ValidKey(const std::string& key) {
    std::vector<std::string> parts;
    return SplitKey(key, parts);
}

namespace {

[[noreturn]] void InvalidKey(const std::string& key) {
    throw EConfigError("Invalid configuration key \"" + key + "\"");
}

ConfigNode* Find(ConfigNode* from, const std::vector<std::string>& parts) {
    for (const auto& part : parts) {
        if (!from)
            return nullptr;
        from = from->child(part);
    }
    return from;
}

ConfigNode* FindOrCreate(ConfigNode* from, const std::vector<std::string>& parts) {
    for (const auto& part : parts) {
        ConfigNode* next = from->child(part);
        from = next ? next : from->addChild(part);
    }
    return from;
}

class TResTree : public TLTMIfcObject<IResTree> {
public:
    TResTree(const ConfigNode& node, std::string path)
        : name_(node.name), value_(node.value), path_(path) {
        for (const auto& c : node.children)
            children_.push_back(
                Ref<IResTree>(new TResTree(*c, path.empty() ? c->name : path + "." + c->name)));
    }
    std::string name() override { return name_; }
    std::string value() override { return value_; }
    std::string path() override { return path_; }
    std::vector<Ref<IResTree>> children() override { return children_; }
    std::vector<Ref<IResTree>> descendants() override {
        std::vector<Ref<IResTree>> all;
        for (const auto& c : children_) {
            all.push_back(c);
            for (auto& d : c->descendants())
                all.push_back(std::move(d));
        }
        return all;
    }
    std::string toString() override { return path_ + " = " + value_; }

private:
    std::string name_;
    std::string value_;
    std::string path_;
    std::vector<Ref<IResTree>> children_;
};

} // namespace

TConfiguration::TConfiguration(std::string rootName) : root_(std::make_shared<Node>()) {
    root_->name = std::move(rootName);
}

TConfiguration::TConfiguration(std::shared_ptr<Node> root, std::vector<std::string> base)
    : root_(std::move(root)), base_(std::move(base)) {}

// The branch is looked up anew on every call, so a view stays valid when its
// node is removed and created again through another view.
ConfigNode* TConfiguration::branch(bool create) {
    return create ? FindOrCreate(root_.get(), base_) : Find(root_.get(), base_);
}

std::string TConfiguration::get(const std::string& key) {
    return get(key, std::string());
}

std::string TConfiguration::get(const std::string& key, const std::string& fallback) {
    std::vector<std::string> parts;
    if (!SplitKey(key, parts))
        return fallback;
    const ConfigNode* node = Find(branch(false), parts);
    return node ? node->value : fallback;
}

bool TConfiguration::has(const std::string& key) {
    std::vector<std::string> parts;
    return SplitKey(key, parts) && Find(branch(false), parts) != nullptr;
}

void TConfiguration::set(const std::string& key, const std::string& value) {
    std::vector<std::string> parts;
    if (!SplitKey(key, parts))
        InvalidKey(key);
    FindOrCreate(branch(true), parts)->value = value;
}

bool TConfiguration::remove(const std::string& key) {
    std::vector<std::string> parts;
    if (!SplitKey(key, parts))
        return false;
    const std::string last = parts.back();
    parts.pop_back();
    ConfigNode* parent = Find(branch(false), parts);
    if (!parent)
        return false;
    auto& kids = parent->children;
    auto it =
        std::find_if(kids.begin(), kids.end(), [&](const auto& c) { return c->name == last; });
    if (it == kids.end())
        return false;
    kids.erase(it);
    return true;
}

Ref<IConfiguration> TConfiguration::sub(const std::string& name) {
    std::vector<std::string> parts;
    if (!SplitKey(name, parts))
        InvalidKey(name);
    std::vector<std::string> path = base_;
    path.insert(path.end(), parts.begin(), parts.end());
    return Ref<IConfiguration>(new TConfiguration(root_, std::move(path)));
}

Ref<IResTree> TConfiguration::tree() {
    if (const ConfigNode* node = branch(false))
        return Ref<IResTree>(new TResTree(*node, {}));
    Node empty;
    empty.name = base_.empty() ? root_->name : base_.back();
    return Ref<IResTree>(new TResTree(empty, {}));
}

std::string TConfiguration::toText() const {
    return WriteConfigText(*root_);
}

void TConfiguration::fromText(const std::string& text, const std::string& sourceName) {
    std::unique_ptr<Node> parsed = ParseConfigText(text, sourceName);
    // Views share root_, so the content is swapped in place.
    root_->value = parsed->value;
    root_->children = std::move(parsed->children);
}

Ref<TConfiguration> TConfiguration::load(const std::string& path) {
    std::string text;
    try {
        platform::File file =
            platform::File::Open(path, platform::Access::Read, platform::Share::DenyWrite);
        text = file.readAll();
    } catch (const platform::Error& e) {
        throw EConfigError(std::string("Cannot read configuration: ") + e.what());
    }
    Ref<TConfiguration> config(new TConfiguration);
    config->fromText(text, path);
    return config;
}

void TConfiguration::save(const std::string& path) const {
    try {
        // A symlinked file is written where the link points, so the link
        // stays; an existing file keeps its owner, group and mode (the
        // service user may read it through its group), a new one is 0600.
        std::error_code ec;
        const std::filesystem::path target = std::filesystem::canonical(path, ec);
        struct stat st {};
        if (!ec && ::stat(target.c_str(), &st) == 0)
            platform::AtomicReplace(target.string(), toText(), st.st_mode & 07777,
                                    platform::FileOwner{st.st_uid, st.st_gid});
        else
            platform::AtomicReplace(path, toText(), 0600);
    } catch (const platform::Error& e) {
        throw EConfigError(std::string("Cannot save configuration: ") + e.what());
    }
}

} // namespace rtl
