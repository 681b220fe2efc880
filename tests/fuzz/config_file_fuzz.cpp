// The host's configuration file as the reader takes it. A text that reads is
// written back as a text that reads to the same tree; a text that does not
// read is refused with its file and line and leaves the tree as it was.
#include "fuzz_check.h"

#include "rtl/configuration.h"

#include <cstdint>
#include <string>
#include <vector>

using rtl::TConfiguration;

namespace {

// Every node below the root as "path=value", in tree order.
std::vector<std::string> Entries(TConfiguration& config) {
    std::vector<std::string> out;
    for (const auto& e : config.tree()->descendants())
        out.push_back(e->path() + "=" + e->value());
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    TConfiguration config;
    config.set("host.plugin_dir", "/opt/pbx/lib");
    const std::string before = config.toText();
    try {
        config.fromText(text, "pbxhost.conf");
    } catch (const rtl::EConfigError& e) {
        FUZZ_CHECK(std::string(e.what()).starts_with("pbxhost.conf:"),
                   "a syntax error names the file and the line");
        FUZZ_CHECK(config.toText() == before,
                   "a text that does not read leaves the tree as it was");
        return 0;
    }

    const std::string written = config.toText();
    TConfiguration again;
    try {
        again.fromText(written, "written.conf");
    } catch (const rtl::EConfigError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        FUZZ_CHECK(false, "what the writer wrote reads again");
    }
    FUZZ_CHECK(Entries(again) == Entries(config), "what the writer wrote reads to the same tree");
    FUZZ_CHECK(again.toText() == written, "a written text is written again the same way");
    return 0;
}
