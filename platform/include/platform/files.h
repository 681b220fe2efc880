// File helpers: folder creation, files opened with advisory sharing locks
// (flock, never blocking: a conflict is a SharingViolation), and atomic
// replacement of a file's whole content.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform {

// Creates the folder and every missing parent; raises "Unable to create directory ...".
void CreateFolders(const std::string& path);

// The owner and group a file is given.
struct FileOwner {
    uid_t uid;
    gid_t gid;
};

enum class Access { Read, ReadWrite };
enum class Share {
    DenyWrite, // others may read but not write (shared lock for readers, exclusive for writers)
    Exclusive  // nobody else may hold the file (exclusive lock)
};
enum class Create { OpenExisting, OpenOrCreate, Truncate };

// An open file descriptor with its advisory lock, closed on destruction.
class File {
public:
    File() = default;
    static File Open(const std::string& path, Access access, Share share,
                     Create create = Create::OpenExisting, mode_t mode = 0644);
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

    std::string readAll();                       // from the start to the end
    void writeAll(const std::string& bytes);     // at the current position; raises on a short write
    size_t write(const char* data, size_t size); // bytes written (may be short on a full disk)
    uint64_t size() const;
    void seekEnd();
    void seek(uint64_t offset);
    void truncate(uint64_t length);
    void sync();
    void close();

private:
    friend void AtomicReplace(const std::string&, std::span<const std::string_view>, mode_t,
                              std::optional<FileOwner>);
    File(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
    int fd_ = -1;
    std::string path_;
};

// Replaces the file's content atomically: a temporary file in the same folder
// ("<name>.tmp-XXXXXX") is written, synced and renamed over the target, then the
// folder is synced. After a crash the file holds either the old or the new content
// (and a temporary file may be left beside it). Readers of the old file do not stop
// it; a writer holding an exclusive lock on the file does (SharingViolation). With
// `owner` the new file gets that owner and group before it takes the old one's place.
void AtomicReplace(const std::string& path, const std::string& content, mode_t mode = 0644,
                   std::optional<FileOwner> owner = std::nullopt);
// The same with the content given as pieces written one after the other.
void AtomicReplace(const std::string& path, std::span<const std::string_view> pieces,
                   mode_t mode = 0644, std::optional<FileOwner> owner = std::nullopt);

// Removes the temporary files an interrupted AtomicReplace of `path` left beside it;
// returns how many. Only names of AtomicReplace's own pattern are touched.
size_t RemoveStaleTemporaries(const std::string& path);

// Proves that new files can be made beside `path` (as AtomicReplace makes them) by
// creating and removing a temporary file there; raises Error naming the folder and
// the system's reason otherwise.
void CheckCanCreateBeside(const std::string& path);

bool FileExists(const std::string& path);

} // namespace platform
