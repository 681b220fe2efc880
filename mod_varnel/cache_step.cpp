#include "cache_step.h"

#include "platform/error.h"
#include "platform/files.h"

#include <cerrno>
#include <charconv>
#include <stdexcept>
#include <vector>

namespace mod_varnel {

namespace {

constexpr const char* StepLine = "line";
constexpr const char* StepMerge = "merge";

// The fields in the order they are written.
constexpr const char* FieldNames[] = {"step", "file", "length before", "bytes", "record"};

std::optional<uint64_t> Number(const std::string& text) {
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

} // namespace

std::string CacheStepFileName(const std::string& cacheFileName) {
    return cacheFileName + ".step";
}

std::string CacheStepText(const CacheStep& step) {
    const std::string values[] = {
        step.kind == CacheStep::Kind::Line ? StepLine : StepMerge,
        step.file,
        std::to_string(step.lengthBefore),
        std::to_string(step.bytes),
        step.record,
    };
    std::string text;
    for (size_t i = 0; i < std::size(FieldNames); ++i)
        text += std::string(FieldNames[i]) + ": " + values[i] + "\n";
    return text;
}

std::optional<CacheStep> ParseCacheStep(const std::string& text) {
    std::vector<std::string> values;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        if (end == std::string::npos)
            return std::nullopt; // every field ends with its line end
        values.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    if (values.size() != std::size(FieldNames))
        return std::nullopt;
    for (size_t i = 0; i < values.size(); ++i) {
        const std::string prefix = std::string(FieldNames[i]) + ": ";
        if (values[i].rfind(prefix, 0) != 0)
            return std::nullopt;
        values[i].erase(0, prefix.size());
    }
    CacheStep step;
    if (values[0] == StepLine)
        step.kind = CacheStep::Kind::Line;
    else if (values[0] == StepMerge)
        step.kind = CacheStep::Kind::Merge;
    else
        return std::nullopt;
    const auto before = Number(values[2]);
    const auto bytes = Number(values[3]);
    if (values[1].empty() || !before || !bytes)
        return std::nullopt;
    step.file = values[1];
    step.lengthBefore = *before;
    step.bytes = *bytes;
    step.record = values[4];
    return step;
}

std::optional<CacheStep> ReadCacheStep(const std::string& path) {
    std::string text;
    try {
        platform::File file =
            platform::File::Open(path, platform::Access::Read, platform::Share::DenyWrite);
        text = file.readAll();
    } catch (const platform::Error& e) {
        if (e.code() == ENOENT)
            return std::nullopt;
        throw;
    }
    auto step = ParseCacheStep(text);
    if (!step)
        throw std::runtime_error("\"" + path + "\" is not a record of the ticket pass's step");
    return step;
}

void WriteCacheStep(const std::string& path, const CacheStep& step) {
    platform::AtomicReplace(path, CacheStepText(step), 0640);
}

} // namespace mod_varnel
