// The configuration tree's node and the file text it is read from and written to.
#pragma once

#include "rtl/configuration.h"

#include <memory>
#include <string>
#include <vector>

namespace rtl {

struct TConfiguration::Node {
    std::string name;
    std::string value;
    std::vector<std::unique_ptr<Node>> children;

    Node* child(const std::string& childName) const;
    Node* addChild(const std::string& childName);
    std::unique_ptr<Node> clone() const;
};

using ConfigNode = TConfiguration::Node;

// Splits "a.b.c"; false when any part is not a valid node name.
bool SplitKey(const std::string& key, std::vector<std::string>& parts);

std::string WriteConfigText(const ConfigNode& root);
// Raises EConfigError "<sourceName>:<line>: <reason>".
std::unique_ptr<ConfigNode> ParseConfigText(const std::string& text, const std::string& sourceName);

} // namespace rtl
