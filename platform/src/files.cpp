#include "platform/files.h"

#include "platform/error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace platform {

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int code) {
    throw Error(what + " \"" + path + "\": " + SystemErrorText(code), code);
}

[[noreturn]] void FailLocked(const std::string& path) {
    throw SharingViolation(
        "Cannot access \"" + path + "\": the file is being used by another program", EWOULDBLOCK);
}

std::string FolderOf(const std::string& path) {
    const auto parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

// Temporary files of AtomicReplace: the target's name, this infix, then the six
// characters mkstemp fills in.
constexpr const char* TemporaryInfix = ".tmp-";
constexpr size_t TemporaryRandomLength = 6;

std::string TemporaryTemplate(const std::string& path) {
    return path + TemporaryInfix + std::string(TemporaryRandomLength, 'X');
}

// Creates a temporary file beside `path` and returns its descriptor; `temp` receives
// its name.
int CreateTemporary(const std::string& path, std::string& temp) {
    temp = TemporaryTemplate(path);
    return ::mkstemp(temp.data());
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        Fail("Cannot open folder", folder, errno);
    const int rc = ::fsync(fd);
    const int code = errno;
    ::close(fd);
    if (rc != 0 && code != EINVAL)
        Fail("Cannot sync folder", folder, code);
}

} // namespace

void CreateFolders(const std::string& path) {
    if (path.empty())
        throw Error("Unable to create directory \"\": no folder given", ENOENT);
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    if (ec || !std::filesystem::is_directory(path))
        throw Error("Unable to create directory \"" + path +
                        "\": " + (ec ? ec.message() : std::string("a file of that name exists")),
                    ec ? ec.value() : EEXIST);
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

File File::Open(const std::string& path, Access access, Share share, Create create, mode_t mode) {
    int flags = O_CLOEXEC | (access == Access::Read ? O_RDONLY : O_RDWR);
    if (create == Create::OpenOrCreate)
        flags |= O_CREAT;
    else if (create == Create::Truncate)
        flags |= O_CREAT; // truncated only after the lock is held
    const int fd = ::open(path.c_str(), flags, mode);
    if (fd < 0)
        Fail("Cannot open", path, errno);
    File file(fd, path);
    // A reader that denies writers takes a shared lock; anyone who writes, or who
    // wants the file alone, takes an exclusive one.
    const int op = (share == Share::DenyWrite && access == Access::Read) ? LOCK_SH : LOCK_EX;
    if (::flock(fd, op | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            FailLocked(path);
        Fail("Cannot lock", path, errno);
    }
    if (create == Create::Truncate)
        file.truncate(0);
    return file;
}

File::~File() {
    close();
}

File::File(File&& other) noexcept : fd_(other.fd_), path_(std::move(other.path_)) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        path_ = std::move(other.path_);
        other.fd_ = -1;
    }
    return *this;
}

void File::close() {
    if (fd_ >= 0) {
        ::close(fd_); // releases the lock
        fd_ = -1;
    }
}

std::string File::readAll() {
    std::string content;
    char buffer[65536];
    off_t offset = 0;
    for (;;) {
        const ssize_t n = ::pread(fd_, buffer, sizeof buffer, offset);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("Cannot read", path_, errno);
        }
        if (n == 0)
            break;
        content.append(buffer, size_t(n));
        offset += n;
    }
    return content;
}

size_t File::write(const char* data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (done > 0 && errno == ENOSPC)
                break;
            Fail("Cannot write", path_, errno);
        }
        if (n == 0)
            break;
        done += size_t(n);
    }
    return done;
}

void File::writeAll(const std::string& bytes) {
    const size_t n = write(bytes.data(), bytes.size());
    if (n != bytes.size())
        Fail("Cannot write", path_, ENOSPC);
}

uint64_t File::size() const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        Fail("Cannot stat", path_, errno);
    return uint64_t(st.st_size);
}

void File::seekEnd() {
    if (::lseek(fd_, 0, SEEK_END) < 0)
        Fail("Cannot seek", path_, errno);
}

void File::seek(uint64_t offset) {
    if (::lseek(fd_, off_t(offset), SEEK_SET) < 0)
        Fail("Cannot seek", path_, errno);
}

void File::truncate(uint64_t length) {
    if (::ftruncate(fd_, off_t(length)) != 0)
        Fail("Cannot truncate", path_, errno);
    seekEnd();
}

void File::sync() {
    if (::fsync(fd_) != 0)
        Fail("Cannot sync", path_, errno);
}

void AtomicReplace(const std::string& path, const std::string& content, mode_t mode,
                   std::optional<FileOwner> owner) {
    const std::string_view pieces[] = {content};
    AtomicReplace(path, std::span<const std::string_view>(pieces), mode, owner);
}

void AtomicReplace(const std::string& path, std::span<const std::string_view> pieces, mode_t mode,
                   std::optional<FileOwner> owner) {
    // A program writing the file holds an exclusive lock: do not replace under it.
    // Readers (shared lock or none) keep the old content they opened.
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            const int rc = ::flock(fd, LOCK_SH | LOCK_NB);
            const int code = errno;
            ::close(fd);
            if (rc != 0 && code == EWOULDBLOCK)
                FailLocked(path);
        }
    }
    const std::string folder = FolderOf(path);
    std::string temp;
    const int fd = CreateTemporary(path, temp);
    if (fd < 0)
        Fail("Cannot create a temporary file beside", path, errno);
    File file(fd, temp);
    try {
        if (owner && ::fchown(fd, owner->uid, owner->gid) != 0)
            Fail("Cannot set the owner of", temp, errno);
        if (::fchmod(fd, mode) != 0)
            Fail("Cannot set the mode of", temp, errno);
        for (const std::string_view piece : pieces)
            if (file.write(piece.data(), piece.size()) != piece.size())
                Fail("Cannot write", temp, ENOSPC);
        file.sync();
        file.close();
        if (::rename(temp.c_str(), path.c_str()) != 0)
            Fail("Cannot replace", path, errno);
    } catch (...) {
        file.close();
        ::unlink(temp.c_str());
        throw;
    }
    SyncFolder(folder);
}

size_t RemoveStaleTemporaries(const std::string& path) {
    const std::filesystem::path target(path);
    const std::string prefix = target.filename().string() + TemporaryInfix;
    const std::string folder = FolderOf(path);
    size_t removed = 0;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + TemporaryRandomLength || name.rfind(prefix, 0) != 0)
            continue;
        if (::unlink(entry.path().c_str()) == 0)
            ++removed;
    }
    return removed;
}

void CheckCanCreateBeside(const std::string& path) {
    std::string temp;
    const int fd = CreateTemporary(path, temp);
    if (fd < 0) {
        const int code = errno;
        throw Error("Cannot create files in the folder \"" + FolderOf(path) +
                        "\": " + SystemErrorText(code),
                    code);
    }
    ::close(fd);
    ::unlink(temp.c_str());
}

} // namespace platform
