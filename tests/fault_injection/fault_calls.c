/* An LD_PRELOAD library that makes a process fail at a chosen change of a file in one
 * folder, for tests that prove a program's files survive a crash at any moment.
 *
 * Counted are the calls that change a file or make a change durable: write, pwrite,
 * fsync, fdatasync, rename (and renameat, renameat2), ftruncate and truncate, when the
 * file (or, for a sync, the folder itself) is in the folder FAULT_FOLDER. Calls on
 * anything else (sockets, pipes, other folders: the Qt and database libraries write
 * too) pass untouched and are not counted.
 *
 * Environment:
 *   FAULT_FOLDER  the folder (absolute path); without it nothing is counted
 *   FAULT_AT      n >= 1: the n-th counted call fails as FAULT_KIND says, before it runs
 *   FAULT_KIND    kill        the process kills itself with SIGKILL (the default)
 *                 power-cut   the folder is put back to what was on disk at the last
 *                             syncs (file contents as of each file's last fsync, names as
 *                             of the folder's last fsync, everything as found at the
 *                             start counting as synced), then SIGKILL
 *                 torn-write  a write does half of its bytes, then SIGKILL; any other
 *                             call is killed before it runs
 *   FAULT_TRACE   a file outside the folder: one line per counted call, "n call name",
 *                 written as it happens (so a killed process leaves its trace too)
 */
#define _GNU_SOURCE
/* Paths are put together in PATH_MAX buffers; one cut short matches no folder. */
#pragma GCC diagnostic ignored "-Wformat-truncation"
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

enum Kind { KillKind, PowerCutKind, TornWriteKind };

static char folder[PATH_MAX];
static size_t folderLength;
static dev_t folderDevice;
static int active;
static long failAt;
static enum Kind kind = KillKind;
static int traceFd = -1;
static long counted;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

static ssize_t (*realWrite)(int, const void*, size_t);
static ssize_t (*realPwrite)(int, const void*, size_t, off_t);
static ssize_t (*realPwrite64)(int, const void*, size_t, off_t);
static int (*realFsync)(int);
static int (*realFdatasync)(int);
static int (*realRename)(const char*, const char*);
static int (*realRenameat)(int, const char*, int, const char*);
static int (*realRenameat2)(int, const char*, int, const char*, unsigned int);
static int (*realFtruncate)(int, off_t);
static int (*realFtruncate64)(int, off_t);
static int (*realTruncate)(const char*, off_t);

static pthread_once_t resolved = PTHREAD_ONCE_INIT;

static void ResolveNow(void) {
    realWrite = dlsym(RTLD_NEXT, "write");
    realPwrite = dlsym(RTLD_NEXT, "pwrite");
    realPwrite64 = dlsym(RTLD_NEXT, "pwrite64");
    realFsync = dlsym(RTLD_NEXT, "fsync");
    realFdatasync = dlsym(RTLD_NEXT, "fdatasync");
    realRename = dlsym(RTLD_NEXT, "rename");
    realRenameat = dlsym(RTLD_NEXT, "renameat");
    realRenameat2 = dlsym(RTLD_NEXT, "renameat2");
    realFtruncate = dlsym(RTLD_NEXT, "ftruncate");
    realFtruncate64 = dlsym(RTLD_NEXT, "ftruncate64");
    realTruncate = dlsym(RTLD_NEXT, "truncate");
}

/* The next definition of a function (libc's): resolved once, at the first call. */
#define REAL(name, var) (pthread_once(&resolved, ResolveNow), var)

/* ---------------------------------------------------------------- what was synced */

/* A file as the disk holds it after a power cut: its content as of its last sync. The
 * descriptor keeps the file alive, so its inode number is never given to another file
 * while it is tracked. */
struct Inode {
    ino_t ino;
    int keep;
    mode_t mode;
    int synced;
    char* content;
    size_t length;
};
static struct Inode* inodes;
static size_t inodeCount;

/* The folder's entries as of its last sync. */
struct Entry {
    char name[NAME_MAX + 1];
    ino_t ino;
};
static struct Entry* entries;
static size_t entryCount;

static char* ReadAll(int fd, size_t* length) {
    size_t size = 0, capacity = 4096;
    char* data = malloc(capacity);
    for (;;) {
        if (size == capacity)
            data = realloc(data, capacity *= 2);
        const ssize_t n = pread(fd, data + size, capacity - size, (off_t)size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        size += (size_t)n;
    }
    *length = size;
    return data;
}

static struct Inode* Track(int fd, const struct stat* st) {
    for (size_t i = 0; i < inodeCount; ++i)
        if (inodes[i].ino == st->st_ino)
            return &inodes[i];
    inodes = realloc(inodes, (inodeCount + 1) * sizeof *inodes);
    struct Inode* inode = &inodes[inodeCount++];
    memset(inode, 0, sizeof *inode);
    inode->ino = st->st_ino;
    inode->keep = fcntl(fd, F_DUPFD_CLOEXEC, 100);
    inode->mode = st->st_mode & 07777;
    return inode;
}

static void Synced(int fd, const struct stat* st) {
    struct Inode* inode = Track(fd, st);
    free(inode->content);
    inode->content = ReadAll(fd, &inode->length);
    inode->mode = st->st_mode & 07777;
    inode->synced = 1;
}

/* Takes the folder's entries as synced; with `contents`, their contents too. */
static void FolderSynced(int contents) {
    DIR* dir = opendir(folder);
    if (!dir)
        return;
    entryCount = 0;
    struct dirent* d;
    while ((d = readdir(dir))) {
        struct stat st;
        if (fstatat(dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
            continue;
        const int fd = openat(dirfd(dir), d->d_name, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (contents)
            Synced(fd, &st);
        else
            Track(fd, &st);
        close(fd);
        entries = realloc(entries, (entryCount + 1) * sizeof *entries);
        snprintf(entries[entryCount].name, sizeof entries[entryCount].name, "%s", d->d_name);
        entries[entryCount].ino = st.st_ino;
        ++entryCount;
    }
    closedir(dir);
}

/* The folder as a power cut leaves it: every name gone that the folder's last sync did
 * not hold, every file back to its content at its own last sync (empty if never). */
static void PowerCut(void) {
    DIR* dir = opendir(folder);
    if (dir) {
        struct dirent* d;
        while ((d = readdir(dir))) {
            struct stat st;
            if (fstatat(dirfd(dir), d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISREG(st.st_mode))
                unlinkat(dirfd(dir), d->d_name, 0);
        }
        closedir(dir);
    }
    for (size_t e = 0; e < entryCount; ++e) {
        const struct Inode* inode = NULL;
        for (size_t i = 0; i < inodeCount; ++i)
            if (inodes[i].ino == entries[e].ino)
                inode = &inodes[i];
        char path[PATH_MAX];
        snprintf(path, sizeof path, "%s/%s", folder, entries[e].name);
        const int fd =
            open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, inode ? inode->mode : 0644);
        if (fd < 0)
            continue;
        if (inode && inode->synced) {
            size_t done = 0;
            while (done < inode->length) {
                const ssize_t n =
                    REAL("write", realWrite)(fd, inode->content + done, inode->length - done);
                if (n <= 0)
                    break;
                done += (size_t)n;
            }
        }
        REAL("fsync", realFsync)(fd);
        close(fd);
    }
}

/* ------------------------------------------------------------------------ counting */

__attribute__((constructor)) static void Start(void) {
    const char* f = getenv("FAULT_FOLDER");
    if (!f || !*f || !realpath(f, folder))
        return;
    folderLength = strlen(folder);
    struct stat st;
    if (stat(folder, &st) != 0)
        return;
    folderDevice = st.st_dev;
    const char* at = getenv("FAULT_AT");
    failAt = at ? atol(at) : 0;
    const char* k = getenv("FAULT_KIND");
    if (k && strcmp(k, "power-cut") == 0)
        kind = PowerCutKind;
    else if (k && strcmp(k, "torn-write") == 0)
        kind = TornWriteKind;
    const char* trace = getenv("FAULT_TRACE");
    if (trace && *trace)
        traceFd = open(trace, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (kind == PowerCutKind && failAt > 0)
        FolderSynced(1);
    active = 1;
}

/* The name of the file in the folder that `path` is, or NULL. "." for the folder. */
static const char* InFolder(const char* path) {
    if (strncmp(path, folder, folderLength) != 0)
        return NULL;
    if (path[folderLength] == '\0')
        return ".";
    if (path[folderLength] != '/' || strchr(path + folderLength + 1, '/'))
        return NULL;
    return path + folderLength + 1;
}

static const char* FdInFolder(int fd, char* path, size_t size, struct stat* st) {
    if (fstat(fd, st) != 0 || st->st_dev != folderDevice ||
        !(S_ISREG(st->st_mode) || S_ISDIR(st->st_mode)))
        return NULL;
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, path, size - 1);
    if (n <= 0)
        return NULL;
    path[n] = '\0';
    return InFolder(path);
}

static const char* PathInFolder(int dirFd, const char* path, char* full, size_t size) {
    char base[PATH_MAX];
    if (path[0] == '/') {
        snprintf(base, sizeof base, "%s", path);
    } else {
        char dir[PATH_MAX];
        if (dirFd == AT_FDCWD) {
            if (!getcwd(dir, sizeof dir))
                return NULL;
        } else {
            char link[64];
            snprintf(link, sizeof link, "/proc/self/fd/%d", dirFd);
            const ssize_t n = readlink(link, dir, sizeof dir - 1);
            if (n <= 0)
                return NULL;
            dir[n] = '\0';
        }
        snprintf(base, sizeof base, "%s/%s", dir, path);
    }
    /* The folder part resolved, the name as given (it may not exist yet). */
    char* slash = strrchr(base, '/');
    if (!slash)
        return NULL;
    *slash = '\0';
    char dir[PATH_MAX];
    if (!realpath(base[0] ? base : "/", dir))
        return NULL;
    snprintf(full, size, "%s/%s", dir, slash + 1);
    return InFolder(full);
}

static void Trace(long n, const char* call, const char* name) {
    if (traceFd < 0)
        return;
    char line[PATH_MAX + 64];
    const int length = snprintf(line, sizeof line, "%ld %s %s\n", n, call, name);
    if (length > 0)
        REAL("write", realWrite)(traceFd, line, (size_t)length);
}

static _Noreturn void Die(void) {
    kill(getpid(), SIGKILL);
    for (;;)
        pause();
}

/* Counts a call on `name`; true when it is the one to fail. Power cuts and plain kills
 * happen here; a torn write is left to the caller. */
static int Counts(const char* call, const char* name) {
    pthread_mutex_lock(&lock);
    const long n = ++counted;
    Trace(n, call, name);
    const int fails = failAt > 0 && n == failAt;
    if (fails && !(kind == TornWriteKind && strstr(call, "write"))) {
        if (kind == PowerCutKind)
            PowerCut();
        Die();
    }
    pthread_mutex_unlock(&lock);
    return fails;
}

static ssize_t Written(const char* call, int fd, const void* data, size_t size, off_t offset,
                       ssize_t (*fn)(int, const void*, size_t),
                       ssize_t (*pfn)(int, const void*, size_t, off_t)) {
    char path[PATH_MAX];
    struct stat st;
    const char* name = active ? FdInFolder(fd, path, sizeof path, &st) : NULL;
    if (name && Counts(call, name)) {
        /* torn: half of it reaches the file */
        const size_t half = size / 2;
        if (half > 0)
            fn ? fn(fd, data, half) : pfn(fd, data, half, offset);
        Die();
    }
    return fn ? fn(fd, data, size) : pfn(fd, data, size, offset);
}

ssize_t write(int fd, const void* data, size_t size) {
    return Written("write", fd, data, size, 0, REAL("write", realWrite), NULL);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    return Written("pwrite", fd, data, size, offset, NULL, REAL("pwrite", realPwrite));
}

ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
    return Written("pwrite", fd, data, size, offset, NULL, REAL("pwrite64", realPwrite64));
}

static int Sync(const char* call, int fd, int (*fn)(int)) {
    char path[PATH_MAX];
    struct stat st;
    const char* name = active ? FdInFolder(fd, path, sizeof path, &st) : NULL;
    if (name)
        Counts(call, name);
    const int rc = fn(fd);
    if (name && rc == 0 && kind == PowerCutKind && failAt > 0) {
        const int saved = errno;
        pthread_mutex_lock(&lock);
        if (S_ISDIR(st.st_mode))
            FolderSynced(0);
        else
            Synced(fd, &st);
        pthread_mutex_unlock(&lock);
        errno = saved;
    }
    return rc;
}

int fsync(int fd) {
    return Sync("fsync", fd, REAL("fsync", realFsync));
}

int fdatasync(int fd) {
    return Sync("fdatasync", fd, REAL("fdatasync", realFdatasync));
}

static void Renamed(int oldDir, const char* from, int newDir, const char* to) {
    if (!active)
        return;
    char a[PATH_MAX], b[PATH_MAX];
    const char* name = PathInFolder(newDir, to, b, sizeof b);
    if (!name)
        name = PathInFolder(oldDir, from, a, sizeof a);
    if (name)
        Counts("rename", name);
}

int rename(const char* from, const char* to) {
    Renamed(AT_FDCWD, from, AT_FDCWD, to);
    return REAL("rename", realRename)(from, to);
}

int renameat(int oldDir, const char* from, int newDir, const char* to) {
    Renamed(oldDir, from, newDir, to);
    return REAL("renameat", realRenameat)(oldDir, from, newDir, to);
}

int renameat2(int oldDir, const char* from, int newDir, const char* to, unsigned int flags) {
    Renamed(oldDir, from, newDir, to);
    return REAL("renameat2", realRenameat2)(oldDir, from, newDir, to, flags);
}

static void Truncated(int fd) {
    char path[PATH_MAX];
    struct stat st;
    const char* name = active ? FdInFolder(fd, path, sizeof path, &st) : NULL;
    if (name)
        Counts("ftruncate", name);
}

int ftruncate(int fd, off_t length) {
    Truncated(fd);
    return REAL("ftruncate", realFtruncate)(fd, length);
}

int ftruncate64(int fd, off_t length) {
    Truncated(fd);
    return REAL("ftruncate64", realFtruncate64)(fd, length);
}

int truncate(const char* path, off_t length) {
    if (active) {
        char full[PATH_MAX];
        const char* name = PathInFolder(AT_FDCWD, path, full, sizeof full);
        if (name)
            Counts("truncate", name);
    }
    return REAL("truncate", realTruncate)(path, length);
}
