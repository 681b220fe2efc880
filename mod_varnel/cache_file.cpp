#include "cache_file.h"

#include <fmt/format.h>

namespace mod_varnel {

platform::File OpenForAppend(const std::string& fileName) {
    using namespace platform;
    const bool existed = FileExists(fileName);
    File file = File::Open(fileName, Access::ReadWrite,
                           existed ? Share::DenyWrite : Share::Exclusive, Create::OpenOrCreate);
    if (!existed)
        SyncFolderOf(fileName);
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
    platform::File target = OpenForAppend(fileName);
    mergeInto(target, 0);
}

void TCacheFile::mergeInto(platform::File& target, uint64_t from) {
    const std::string all = file_.readAll();
    if (from > all.size())
        throw ECacheFileException(fmt::format(
            "Error on merging in {}: the cache holds less than it did.", target.path()));
    const size_t length = all.size() - size_t(from);
    target.reserve(length);
    if (target.write(all.data() + from, length) != length)
        throw ECacheFileException(fmt::format("Error on merging in {}.", target.path()));
    // The lines are on disk in the target before they leave the cache.
    target.sync();
    file_.truncate(0);
    file_.sync();
}

std::string TCacheFile::content() {
    return file_.readAll();
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
