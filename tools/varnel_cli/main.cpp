// varnel-cli: runs the link library's exports by hand. It loads libVarnel.so with
// dlopen (as its callers do), reads one command per line from stdin (an export's name
// and its in-arguments), prints the result and the out-texts, and prints the library's
// notifications as they arrive. "varnel-cli watch" instead prints the notifications
// that the library of any process sends on the system bus.
#include "notifications.h"
#include "watch.h"

#include "platform/dynamic_library.h"
#include "platform/error.h"
#include "platform/event_loop.h"
#include "platform/messages.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

const char* const Usage = R"(Usage: varnel-cli [--library PATH] [--help]
       varnel-cli watch [QUEUEFOLDER]   (see varnel-cli watch --help)

Loads the link library (default: ../lib/libVarnel.so beside this program) and runs
one of its functions per line read from stdin; ends at the end of input or "quit".
Words are separated by blanks; "double quotes" keep blanks, "" is an empty text.
Driver events are handled and notifications printed whenever the program waits.

Commands (names are the exports', in any case; WAIT is 1 or 0, default 1):
  connect HOST PORT QUEUEFOLDER       (QUEUEFOLDER ends with /)
  disconnect | isdrvconnected
  checkin ROOM NAME LANGUAGE PASSWORD [WAIT]
  checkout ROOM [WAIT]                stopwakeup ROOM [WAIT]
  setname | setlanguage | setpassword | setbarring | setwakeuptime | setdonotdistrib
                                      ROOM VALUE [WAIT]
  allocatephone ROOM | getallocatedphone ROOM
  interrogation ROOM
  fullreinitialize ROOM WAITTIME | partialreinitialize ROOM WAITTIME
  getcheckin | getcheckout | getfullreinit | getmodification | getpartialreinit |
  getphoneallocation | getroomstate | getinticket | getoutticket | getwakeupevent
  deletecheckin KEY ... deletewakeupevent KEY (the KEY a get printed)
  pump MS                             handle driver events for MS milliseconds
  help | quit
)";

enum class Shape {
    Connect,       // (text, text, text, out)
    NoArguments,   // ()
    CheckIn,       // (text, text, text, text, out, flag)
    RoomFlag,      // (text, out, flag)
    RoomValueFlag, // (text, text, out, flag)
    RoomTwoOuts,   // (text, out, out)
    RoomOut,       // (text, out)
    RoomInteger,   // (text, integer, out)
    Get,           // (out, ...)
    Delete,        // (integer)
};

struct Export {
    const char* name;
    Shape shape;
    std::vector<const char*> outs; // names of the out-texts
};

const std::vector<Export>& Exports() {
    static const std::vector<Export> exports = {
        {"Connect", Shape::Connect, {"Message"}},
        {"Disconnect", Shape::NoArguments, {}},
        {"IsDrvConnected", Shape::NoArguments, {}},
        {"CheckIn", Shape::CheckIn, {"Message"}},
        {"CheckOut", Shape::RoomFlag, {"Message"}},
        {"StopWakeUp", Shape::RoomFlag, {"Message"}},
        {"SetName", Shape::RoomValueFlag, {"Message"}},
        {"SetLanguage", Shape::RoomValueFlag, {"Message"}},
        {"SetPassword", Shape::RoomValueFlag, {"Message"}},
        {"SetBarring", Shape::RoomValueFlag, {"Message"}},
        {"SetWakeUpTime", Shape::RoomValueFlag, {"Message"}},
        {"SetDoNotDistrib", Shape::RoomValueFlag, {"Message"}},
        {"AllocatePhone", Shape::RoomTwoOuts, {"Phone", "Message"}},
        {"GetAllocatedPhone", Shape::RoomTwoOuts, {"Phone", "Message"}},
        {"Interrogation", Shape::RoomOut, {"Message"}},
        {"FullReinitialize", Shape::RoomInteger, {"Message"}},
        {"PartialReinitialize", Shape::RoomInteger, {"Message"}},
        {"GetCheckIn",
         Shape::Get,
         {"Room", "GuestName", "Language", "Password", "Field2", "Field4", "Field1", "DateStamp"}},
        {"GetCheckOut", Shape::Get, {"Room", "DateStamp"}},
        {"GetFullReinit",
         Shape::Get,
         {"Room", "Text", "Field12", "Field21", "Field41", "Field46", "Field50", "Field62",
          "Field67", "Field79", "Field80", "DateStamp"}},
        {"GetModification",
         Shape::Get,
         {"Room", "GuestName", "Field22", "Field33", "Field38", "Field42", "Field54", "Field58",
          "Field59", "DateStamp"}},
        {"GetPartialReinit", Shape::Get, {"Room", "Text", "Field8", "Field4", "DateStamp"}},
        {"GetPhoneAllocation", Shape::Get, {"Room", "Phone", "DateStamp"}},
        {"GetRoomState", Shape::Get, {"Room", "Status", "StatusField", "DateStamp"}},
        {"GetInTicket",
         Shape::Get,
         {"Line", "CallType", "CallTime", "Duration", "Field4", "Field20", "DateStamp"}},
        {"GetOutTicket",
         Shape::Get,
         {"Line", "CallType", "CallTime", "Duration", "Field4", "Field20", "DateStamp"}},
        {"GetWakeUpEvent",
         Shape::Get,
         {"Room", "StatusText", "Field6", "Field4", "Field4b", "DateStamp"}},
        {"DeleteCheckIn", Shape::Delete, {}},
        {"DeleteCheckOut", Shape::Delete, {}},
        {"DeleteFullReinit", Shape::Delete, {}},
        {"DeleteModification", Shape::Delete, {}},
        {"DeletePartialReinit", Shape::Delete, {}},
        {"DeletePhoneAllocation", Shape::Delete, {}},
        {"DeleteRoomState", Shape::Delete, {}},
        {"DeleteInTicket", Shape::Delete, {}},
        {"DeleteOutTicket", Shape::Delete, {}},
        {"DeleteWakeUpEvent", Shape::Delete, {}},
    };
    return exports;
}

void Print(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::vector<std::string> Words(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (quoted)
        throw std::invalid_argument("unterminated quote");
    if (inWord)
        words.push_back(word);
    return words;
}

int32_t Integer(const std::string& text, const char* what) {
    int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        throw std::invalid_argument(std::string(what) + " must be a whole number, not \"" + text +
                                    "\"");
    return value;
}

std::string Quoted(const char* text) {
    return text ? "\"" + std::string(text) + "\"" : "NULL";
}

template <size_t... I>
int32_t CallGet(void* f, std::array<char*, 12>& outs, std::index_sequence<I...>) {
    using Fn = int32_t (*)(decltype((void)I, static_cast<char**>(nullptr))...);
    return reinterpret_cast<Fn>(f)(&outs[I]...);
}

int32_t CallGetN(void* f, std::array<char*, 12>& outs, size_t n) {
    switch (n) {
    case 2:
        return CallGet(f, outs, std::make_index_sequence<2>());
    case 3:
        return CallGet(f, outs, std::make_index_sequence<3>());
    case 4:
        return CallGet(f, outs, std::make_index_sequence<4>());
    case 5:
        return CallGet(f, outs, std::make_index_sequence<5>());
    case 6:
        return CallGet(f, outs, std::make_index_sequence<6>());
    case 7:
        return CallGet(f, outs, std::make_index_sequence<7>());
    case 8:
        return CallGet(f, outs, std::make_index_sequence<8>());
    case 10:
        return CallGet(f, outs, std::make_index_sequence<10>());
    case 12:
        return CallGet(f, outs, std::make_index_sequence<12>());
    }
    throw std::logic_error("no Get export has " + std::to_string(n) + " out-texts");
}

class Runner {
public:
    explicit Runner(platform::DynamicLibrary& library) : library_(library) {}

    // Runs one command line; false for quit.
    bool run(const std::string& line) {
        const auto words = Words(line);
        if (words.empty() || words[0][0] == '#')
            return true;
        const std::string command = Lower(words[0]);
        if (command == "quit" || command == "exit")
            return false;
        if (command == "help") {
            std::fputs(Usage, stdout);
            return true;
        }
        if (command == "pump") {
            if (words.size() != 2)
                throw std::invalid_argument("pump takes MS");
            platform::Sleep(uint32_t(Integer(words[1], "MS")));
            return true;
        }
        for (const Export& e : Exports()) {
            if (Lower(e.name) == command) {
                call(e, std::vector<std::string>(words.begin() + 1, words.end()));
                return true;
            }
        }
        throw std::invalid_argument("unknown command \"" + words[0] + "\" (try help)");
    }

private:
    void call(const Export& e, const std::vector<std::string>& args) {
        void* f = library_.symbol(e.name);
        if (!f)
            throw std::runtime_error(std::string("the library has no function ") + e.name);
        auto need = [&](size_t least, size_t most, const char* form) {
            if (args.size() < least || args.size() > most)
                throw std::invalid_argument(std::string(e.name) + " takes " + form);
        };
        auto text = [&](size_t i) { return args[i].c_str(); };
        auto flag = [&](size_t i) { return args.size() > i ? Integer(args[i], "WAIT") : 1; };
        std::array<char*, 12> outs{};
        int32_t result = 0;
        std::string shown;
        switch (e.shape) {
        case Shape::Connect:
            need(3, 3, "HOST PORT QUEUEFOLDER");
            result = reinterpret_cast<int32_t (*)(const char*, const char*, const char*, char**)>(
                f)(text(0), text(1), text(2), &outs[0]);
            break;
        case Shape::NoArguments:
            need(0, 0, "no arguments");
            result = reinterpret_cast<int32_t (*)()>(f)();
            break;
        case Shape::CheckIn:
            need(4, 5, "ROOM NAME LANGUAGE PASSWORD [WAIT]");
            result = reinterpret_cast<int32_t (*)(const char*, const char*, const char*,
                                                  const char*, char**, int32_t)>(f)(
                text(0), text(1), text(2), text(3), &outs[0], flag(4));
            break;
        case Shape::RoomFlag:
            need(1, 2, "ROOM [WAIT]");
            result = reinterpret_cast<int32_t (*)(const char*, char**, int32_t)>(f)(
                text(0), &outs[0], flag(1));
            break;
        case Shape::RoomValueFlag:
            need(2, 3, "ROOM VALUE [WAIT]");
            result = reinterpret_cast<int32_t (*)(const char*, const char*, char**, int32_t)>(f)(
                text(0), text(1), &outs[0], flag(2));
            break;
        case Shape::RoomTwoOuts:
            need(1, 1, "ROOM");
            result = reinterpret_cast<int32_t (*)(const char*, char**, char**)>(f)(
                text(0), &outs[0], &outs[1]);
            break;
        case Shape::RoomOut:
            need(1, 1, "ROOM");
            result = reinterpret_cast<int32_t (*)(const char*, char**)>(f)(text(0), &outs[0]);
            break;
        case Shape::RoomInteger:
            need(2, 2, "ROOM WAITTIME");
            result = reinterpret_cast<int32_t (*)(const char*, int32_t, char**)>(f)(
                text(0), Integer(args[1], "WAITTIME"), &outs[0]);
            break;
        case Shape::Get:
            need(0, 0, "no arguments");
            result = CallGetN(f, outs, e.outs.size());
            break;
        case Shape::Delete:
            need(1, 1, "KEY");
            result = reinterpret_cast<int32_t (*)(int32_t)>(f)(Integer(args[0], "KEY"));
            break;
        }
        std::string argsText;
        for (size_t i = 0; i < args.size(); ++i)
            argsText += (i ? ", " : "") + args[i];
        Print(std::string(e.name) + "(" + argsText + ") = " + std::to_string(result));
        for (size_t i = 0; i < e.outs.size(); ++i) {
            if (e.shape != Shape::Get || result != -1)
                Print(std::string("  ") + e.outs[i] + " = " + Quoted(outs[i]));
            std::free(outs[i]);
        }
    }

    platform::DynamicLibrary& library_;
};

std::string DefaultLibrary() {
    char self[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string path(self, size_t(n));
        path = path.substr(0, path.rfind('/')) + "/../lib/libVarnel.so";
        if (::access(path.c_str(), R_OK) == 0)
            return path;
    }
    return "libVarnel.so";
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "watch") == 0)
        return varnel_cli::RunWatch(std::vector<std::string>(argv + 2, argv + argc));
    std::string libraryPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (arg == "--library" && i + 1 < argc) {
            libraryPath = argv[++i];
            continue;
        }
        std::fprintf(stderr, "varnel-cli: unknown option \"%s\" (try --help)\n", arg.c_str());
        return 2;
    }
    if (libraryPath.empty())
        libraryPath = DefaultLibrary();

    // The application object first: the library then uses it instead of making its own.
    QCoreApplication app(argc, argv);
    std::map<uint32_t, std::string> names;
    for (size_t i = 0; i < varnel::NotificationCount; ++i) {
        const char* name = varnel::NotificationName(varnel::Notification(i));
        names[platform::RegisterMessage(name)] = name;
    }
    platform::MessageHook notifications([&](const platform::Message& m, bool&) {
        const auto it = names.find(m.id);
        if (it != names.end())
            Print("notification: " + it->second + " (wParam " + std::to_string(m.wParam) +
                  ", lParam " + std::to_string(m.lParam) + ")");
    });

    auto library = std::make_unique<platform::DynamicLibrary>();
    try {
        *library = platform::DynamicLibrary(libraryPath);
    } catch (const platform::Error& e) {
        std::fprintf(stderr, "varnel-cli: cannot load \"%s\": %s\n", libraryPath.c_str(), e.what());
        return 1;
    }
    Runner runner(*library);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    std::string buffer;
    auto finish = [&] {
        input.setEnabled(false);
        library.reset();          // unloading disconnects and saves the queues
        platform::PumpMessages(); // the last notifications
        QCoreApplication::exit(0);
    };
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        input.setEnabled(false); // commands wait in nested event loops
        char chunk[4096];
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n <= 0)
            return finish();
        buffer.append(chunk, size_t(n));
        size_t end;
        while ((end = buffer.find('\n')) != std::string::npos) {
            const std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            try {
                if (!runner.run(line))
                    return finish();
            } catch (const std::exception& e) {
                std::fprintf(stderr, "varnel-cli: %s\n", e.what());
            }
        }
        input.setEnabled(true);
    });
    return app.exec();
}
