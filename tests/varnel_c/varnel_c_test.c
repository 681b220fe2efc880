/* A plain C program (no C++, no Qt of its own) that uses libVarnel.so the way its
 * callers do: dlopen, look every function up by name, call it. It starts the
 * hl-driver-sim program as the driver, connects, checks a room in, and fetches and
 * deletes the out-call ticket the driver reports meanwhile.
 * Usage: varnel_c_test HL_DRIVER_SIM LIBVARNEL */
#define _POSIX_C_SOURCE 200809L
#define _XOPEN_SOURCE 700

#include <dlfcn.h>
#include <errno.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

typedef int32_t (*ConnectFn)(const char*, const char*, const char*, char**);
typedef int32_t (*CheckInFn)(const char*, const char*, const char*, const char*, char**, int32_t);
typedef int32_t (*GetTicketFn)(char**, char**, char**, char**, char**, char**, char**);
typedef int32_t (*DeleteFn)(int32_t);
typedef int32_t (*NoArgFn)(void);

static int failures = 0;

#define CHECK(condition, ...)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "%s:%d: check failed: %s: ", __FILE__, __LINE__, #condition);          \
            fprintf(stderr, __VA_ARGS__);                                                          \
            fputc('\n', stderr);                                                                   \
            ++failures;                                                                            \
        }                                                                                          \
    } while (0)

static void* Lookup(void* library, const char* name) {
    void* f = dlsym(library, name);
    if (!f) {
        fprintf(stderr, "libVarnel.so has no function %s\n", name);
        exit(1);
    }
    return f;
}

static int RemoveEntry(const char* path, const struct stat* st, int flag, struct FTW* ftw) {
    (void)st;
    (void)flag;
    (void)ftw;
    return remove(path);
}

/* Reads the simulator's first line, "hl-driver-sim listening on ADDRESS:PORT". */
static int ReadPort(int fd, char* port, size_t size) {
    char line[256];
    size_t used = 0;
    while (used + 1 < sizeof line) {
        struct pollfd p = {fd, POLLIN, 0};
        if (poll(&p, 1, 20000) <= 0)
            return -1;
        const ssize_t n = read(fd, line + used, 1);
        if (n <= 0)
            return -1;
        if (line[used] == '\n')
            break;
        ++used;
    }
    line[used] = '\0';
    const char* colon = strrchr(line, ':');
    if (!colon || strlen(colon + 1) + 1 > size)
        return -1;
    strcpy(port, colon + 1);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: %s HL_DRIVER_SIM LIBVARNEL\n", argv[0]);
        return 2;
    }
    char folder[] = "/tmp/varnel-c-test-XXXXXX";
    if (!mkdtemp(folder)) {
        perror("mkdtemp");
        return 1;
    }
    char script[256];
    snprintf(script, sizeof script, "%s/driver.txt", folder);
    FILE* s = fopen(script, "w");
    if (!s) {
        perror(script);
        return 1;
    }
    /* The check-in is answered after a call ticket of the room, so the ticket is
     * handled while CheckIn waits for its answer. */
    fputs("on A 101 event ticket line=101 type=1 time=01022409050 duration=00042 ; answer I\n", s);
    fclose(s);

    int out[2];
    if (pipe(out) != 0) {
        perror("pipe");
        return 1;
    }
    const pid_t driver = fork();
    if (driver == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execl(argv[1], argv[1], "--port", "0", "--script", script, "--no-stdin", "--quiet",
              (char*)NULL);
        perror(argv[1]);
        _exit(127);
    }
    close(out[1]);
    char port[16];
    if (driver < 0 || ReadPort(out[0], port, sizeof port) != 0) {
        fprintf(stderr, "the simulator %s did not start\n", argv[1]);
        return 1;
    }

    void* library = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "dlopen: %s\n", dlerror());
        return 1;
    }
    ConnectFn connectFn = (ConnectFn)Lookup(library, "Connect");
    CheckInFn checkIn = (CheckInFn)Lookup(library, "CheckIn");
    GetTicketFn getOutTicket = (GetTicketFn)Lookup(library, "GetOutTicket");
    DeleteFn deleteOutTicket = (DeleteFn)Lookup(library, "DeleteOutTicket");
    NoArgFn isConnected = (NoArgFn)Lookup(library, "IsDrvConnected");
    NoArgFn disconnect = (NoArgFn)Lookup(library, "Disconnect");

    char queues[300];
    snprintf(queues, sizeof queues, "%s/queues/", folder);
    char* message = NULL;
    CHECK(connectFn("127.0.0.1", port, queues, &message) == 0, "Connect: %s", message);
    CHECK(isConnected() == 0, "not connected");

    /* The caller owns every out-text it was given: Connect's goes before the
     * next one is planted. */
    free(message);
    message = strdup("replaced by the library");
    const int32_t checkedIn = checkIn("101", "Smith", "2", "1234", &message, 1);
    CHECK(checkedIn == 0, "CheckIn gave %d: %s", checkedIn, message);
    CHECK(message && strcmp(message, "") == 0, "CheckIn message \"%s\"", message);

    char* t[7] = {NULL, NULL, NULL, NULL, NULL, NULL, NULL};
    const int32_t key = getOutTicket(&t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6]);
    CHECK(key > 0, "GetOutTicket gave %d", key);
    if (key > 0) {
        CHECK(strcmp(t[0], "101") == 0, "line \"%s\"", t[0]);
        CHECK(strcmp(t[1], "1") == 0, "call type \"%s\"", t[1]);
        CHECK(strcmp(t[2], "01022409050") == 0, "call time \"%s\"", t[2]);
        CHECK(strcmp(t[3], "00042") == 0, "duration \"%s\"", t[3]);
        CHECK(strlen(t[6]) == 16, "date stamp \"%s\"", t[6]);
        CHECK(deleteOutTicket(key) == 0, "DeleteOutTicket(%d)", key);
        CHECK(getOutTicket(&t[0], &t[1], &t[2], &t[3], &t[4], &t[5], &t[6]) == -1,
              "the ticket is still there");
    }
    for (int i = 0; i < 7; ++i)
        free(t[i]);
    free(message);

    CHECK(disconnect() == 1, "Disconnect");
    CHECK(dlclose(library) == 0, "dlclose: %s", dlerror());

    kill(driver, SIGTERM);
    int status = 0;
    waitpid(driver, &status, 0);
    CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0, "the simulator ended with status %d",
          status);
    close(out[0]);
    nftw(folder, RemoveEntry, 8, FTW_DEPTH | FTW_PHYS);

    if (failures == 0)
        printf("ok: connected, checked in, fetched and deleted the out-call ticket\n");
    return failures == 0 ? 0 : 1;
}
