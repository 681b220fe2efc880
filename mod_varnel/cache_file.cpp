#include "cache_file.h"

#include <fmt/format.h>

namespace mod_varnel {

platform::File OpenForAppend(const std::string& fileName) {
    using namespace platform;
    const Share share = FileExists(fileName) ? Share::DenyWrite : Share::Exclusive;
    File file = File::Open(fileName, Access::ReadWrite, share, Create::OpenOrCreate);
    file.seekEnd();
    return file;
}

TCacheFile::TCacheFile(const std::string& fileName)
    : fileName_(fileName), file_(OpenForAppend(fileName)) {}

rtl::Ref<ICacheFile> TCacheFile::Create(const std::string& fileName) {
    return rtl::Ref<ICacheFile>(new TCacheFile(fileName));
}

bool TCacheFile::isEmpty() {
    return file_.size() == 0;
}

void TCacheFile::append(const std::string& text) {
    file_.seekEnd();
    const uint64_t before = file_.size();
    // A line cut short would reach the spool as it is: the cache goes back to
    // its earlier end.
    auto restore = [&] {
        try {
            file_.truncate(before);
        } catch (...) {
        }
    };
    size_t written = 0;
    try {
        written = file_.write(text.data(), text.size());
    } catch (...) {
        restore();
        throw;
    }
    if (written != text.size()) {
        restore();
        throw ECacheFileException("Error on writing in temp file.");
    }
}

void TCacheFile::mergeInto(const std::string& fileName) {
    const std::string content = file_.readAll();
    platform::File target = OpenForAppend(fileName);
    const uint64_t before = target.size();
    try {
        if (target.write(content.data(), content.size()) != content.size())
            throw ECacheFileException(fmt::format("Error on merging in {}.", fileName));
        // The lines are on disk in the target before they leave the cache.
        target.sync();
        file_.truncate(0);
    } catch (...) {
        // Lines still in the cache are copied again by the next merge, so
        // nothing of this copy may stay in the target.
        bool cacheHoldsLines = true;
        try {
            cacheHoldsLines = file_.size() != 0;
        } catch (...) {
        }
        if (cacheHoldsLines) {
            try {
                target.truncate(before);
                target.sync();
            } catch (...) {
            }
        }
        throw;
    }
    file_.sync();
}

uint32_t TCacheFile::size() {
    return uint32_t(file_.size());
}

void TCacheFile::truncate(uint32_t length) {
    file_.truncate(length);
}

void TCacheFile::flush() {
    file_.sync();
}

} // namespace mod_varnel
