// IConfiguration: the host's configuration tree. Every node has a name, an
// 8-bit text value (kept byte for byte) and ordered children; dotted keys such
// as "db.name" address nested nodes below the branch a view stands for. A
// section view (sub) shares the tree with the root: a change through one is a
// change of all. TConfiguration reads and writes the tree's file.
#pragma once

#include "rtl/ifc_object.h"
#include "rtl/interface.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace rtl {

// An entry of a branch's tree: a snapshot taken by IConfiguration::tree.
class IResTree : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{A8F2D6C4-3B19-4E57-9D0A-6C1E84B27F35}");
    using Base = IImplemented;

    virtual std::string name() = 0;
    virtual std::string value() = 0;
    // The path from the branch root, usable as a key of the branch's
    // configuration ("rs.device"); empty for the branch root itself.
    virtual std::string path() = 0;
    virtual std::vector<Ref<IResTree>> children() = 0;
    // Every entry below this one, parents before their children, in order.
    virtual std::vector<Ref<IResTree>> descendants() = 0;

protected:
    ~IResTree() = default;
};

class IConfiguration : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{03ACD41C-9617-48DF-9011-594D413AF582}");
    using Base = IImplemented;

    // The value at `key`, empty (or `fallback`) when there is no such node.
    virtual std::string get(const std::string& key) = 0;
    virtual std::string get(const std::string& key, const std::string& fallback) = 0;
    // Whether the node exists, whatever its value (an empty value counts).
    virtual bool has(const std::string& key) = 0;
    // Creates the node and any missing parents; raises EConfigError for a key
    // that is not a valid dotted name.
    virtual void set(const std::string& key, const std::string& value) = 0;
    // Drops the node with all its children; false when there was none.
    virtual bool remove(const std::string& key) = 0;
    // The section `name` (dotted names allowed) as a configuration sharing this
    // tree. The node is created only when something is set through the view.
    virtual Ref<IConfiguration> sub(const std::string& name) = 0;
    // A snapshot of the branch: its root entry (named after the branch, with
    // an empty path) and every node below it.
    virtual Ref<IResTree> tree() = 0;

protected:
    ~IConfiguration() = default;
};

// Invalid keys, unreadable or unwritable files; syntax errors read
// "FILE:LINE: reason".
class EConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whether `name` can be one node's name: not empty, and none of the bytes
// that the file format and dotted keys reserve (see ValidKey).
bool ValidNodeName(const std::string& name);
// A dotted path of valid node names. Names take bytes 0x21-0x7E except
// . = [ ] " # ; and any byte 0x80-0xFF.
bool ValidKey(const std::string& key);

class TConfiguration : public TLTMIfcObject<IConfiguration> {
public:
    // An empty tree; its root node is named `rootName`.
    explicit TConfiguration(std::string rootName = {});

    std::string get(const std::string& key) override;
    std::string get(const std::string& key, const std::string& fallback) override;
    bool has(const std::string& key) override;
    void set(const std::string& key, const std::string& value) override;
    bool remove(const std::string& key) override;
    Ref<IConfiguration> sub(const std::string& name) override;
    Ref<IResTree> tree() override;

    // The whole tree as file text (see README "Configuration file").
    std::string toText() const;
    // Replaces the whole tree with the parsed text; on a syntax error raises
    // EConfigError "<sourceName>:<line>: <reason>" and keeps the tree unchanged.
    void fromText(const std::string& text, const std::string& sourceName);

    // Reads a file; raises EConfigError naming the file.
    static Ref<TConfiguration> load(const std::string& path);
    // Writes the whole tree atomically with file mode 0600 (it holds passwords).
    void save(const std::string& path) const;

    struct Node;

private:
    TConfiguration(std::shared_ptr<Node> root, std::vector<std::string> base);
    Node* branch(bool create);

    std::shared_ptr<Node> root_;    // shared by every view of the tree
    std::vector<std::string> base_; // path of this view's branch from the root
};

} // namespace rtl
