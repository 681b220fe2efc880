#include "hlsim/command_interpreter.h"

#include "platform/event_loop.h"

#include <charconv>
#include <stdexcept>

namespace hlsim {

namespace {

using Words = std::vector<std::string>;

[[noreturn]] void Bad(const std::string& message) {
    throw std::invalid_argument(message);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

uint32_t Number(const std::string& text, const std::string& what) {
    uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        Bad(what + " must be a whole number, not \"" + text + "\"");
    return value;
}

char Letter(const std::string& text, const std::string& what) {
    if (text.size() != 1)
        Bad(what + " must be one character, not \"" + text + "\"");
    return text[0];
}

// name=value words into a map; other words are errors.
FieldValues Fields(const Words& words, size_t first, size_t last) {
    FieldValues values;
    for (size_t i = first; i < last; ++i) {
        const auto eq = words[i].find('=');
        if (eq == std::string::npos || eq == 0)
            Bad("expected name=value, not \"" + words[i] + "\"");
        values[words[i].substr(0, eq)] = words[i].substr(eq + 1);
    }
    return values;
}

// Splits words at ";" into groups.
std::vector<Words> Groups(const Words& words, size_t first) {
    std::vector<Words> groups(1);
    for (size_t i = first; i < words.size(); ++i) {
        if (words[i] == ";")
            groups.emplace_back();
        else
            groups.back().push_back(words[i]);
    }
    return groups;
}

// An option name=value among the words (removed from them), or the fallback.
std::string TakeOption(Words& words, const std::string& name, const std::string& fallback) {
    for (auto it = words.begin(); it != words.end(); ++it) {
        if (it->rfind(name + "=", 0) == 0) {
            std::string value = it->substr(name.size() + 1);
            words.erase(it);
            return value;
        }
    }
    return fallback;
}

ReplyStep ParseStep(Words step) {
    if (step.empty())
        Bad("empty reply step");
    const std::string verb = step[0];
    if (verb == "answer") {
        const std::string code = TakeOption(step, "code", "0000");
        const std::string room = TakeOption(step, "room", "");
        if (step.size() < 2 || step.size() > 3)
            Bad("answer takes LETTER [REASON] [code=XXXX] [room=ROOM]");
        const char answer = Letter(step[1], "the answer letter");
        const char reason = step.size() == 3 ? Letter(step[2], "the reason letter") : ' ';
        if (code.size() > 4)
            Bad("code \"" + code + "\" is longer than 4 characters");
        if (!room.empty()) {
            return {0, [=](const Request&) { return AnswerFrame(room, answer, reason, code); }};
        }
        return AnswerStep(answer, reason, code);
    }
    if (verb == "event") {
        if (step.size() < 2)
            Bad("event takes KIND [name=value ...]");
        FieldValues values = Fields(step, 2, step.size());
        // Check the kind and the fields now, with the room as a stand-in.
        FieldValues probe;
        for (const auto& [name, value] : values)
            probe[name] = value == "$room" ? "1" : value;
        BuildFrame(step[1], probe);
        return EventStep(step[1], std::move(values));
    }
    if (verb == "pause") {
        if (step.size() != 2)
            Bad("pause takes MS");
        return PauseStep(Number(step[1], "the pause"));
    }
    Bad("unknown reply step \"" + verb + "\" (answer, event, pause, none, default)");
}

} // namespace

std::vector<std::string> SplitWords(const std::string& line) {
    Words words;
    std::string word;
    bool inWord = false;
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < line.size()) {
                const char e = line[++i];
                if (e == 'x' && i + 2 < line.size() && HexDigit(line[i + 1]) >= 0 &&
                    HexDigit(line[i + 2]) >= 0) {
                    word += char(HexDigit(line[i + 1]) * 16 + HexDigit(line[i + 2]));
                    i += 2;
                } else {
                    word += e;
                }
            } else {
                word += c;
            }
            continue;
        }
        if (c == '#')
            break;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ';') {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
            if (c == ';')
                words.emplace_back(";");
            continue;
        }
        if (c == '"')
            quoted = true;
        else
            word += c;
        inWord = true;
    }
    if (quoted)
        Bad("unterminated quote in: " + line);
    if (inWord)
        words.push_back(word);
    return words;
}

CommandInterpreter::CommandInterpreter(Simulator& simulator,
                                       std::function<void(const std::string&)> print)
    : simulator_(simulator), print_(std::move(print)) {}

bool CommandInterpreter::execute(const std::string& line) {
    return run(SplitWords(line));
}

bool CommandInterpreter::run(const std::vector<std::string>& words) {
    if (words.empty())
        return true;
    const std::string& command = words[0];
    if (command == "quit" || command == "exit")
        return false;
    if (command == "repeat") {
        return repeat(words);
    } else if (command == "pace") {
        pace(words);
    } else if (command == "on") {
        on(words);
    } else if (command == "send") {
        sendEvents(words);
    } else if (command == "raw") {
        raw(words);
    } else if (command == "ack") {
        if (words.size() != 2)
            Bad("ack takes on, off or nak");
        if (words[1] == "on")
            simulator_.setAckMode(AckMode::Ack);
        else if (words[1] == "off")
            simulator_.setAckMode(AckMode::Withhold);
        else if (words[1] == "nak")
            simulator_.setAckMode(AckMode::Refuse);
        else
            Bad("ack takes on, off or nak, not \"" + words[1] + "\"");
    } else if (command == "write") {
        Words args(words.begin() + 1, words.end());
        const uint32_t gap = Number(TakeOption(args, "gap", "20"), "the gap");
        if (args.size() == 1 && args[0] == "whole")
            simulator_.setWriteMode(WriteMode::Whole);
        else if (args.size() == 1 && args[0] == "joined")
            simulator_.setWriteMode(WriteMode::Joined);
        else if (args.size() == 2 && args[0] == "split")
            simulator_.setWriteMode(WriteMode::Split, Number(args[1], "the piece size"), gap);
        else
            Bad("write takes whole, joined, or split N [gap=MS]");
    } else if (command == "close") {
        simulator_.closeConnection();
    } else if (command == "wait") {
        waitFor(words);
    } else if (command == "pause") {
        if (words.size() != 2)
            Bad("pause takes MS");
        const uint32_t ms = Number(words[1], "the pause");
        platform::WaitUntil([this] { return stop_; }, ms);
    } else if (command == "print") {
        std::string text;
        for (size_t i = 1; i < words.size(); ++i)
            text += (i > 1 ? " " : "") + words[i];
        print_(text);
    } else if (command == "status") {
        print_("status: " + std::string(simulator_.connected() ? "connected" : "not connected") +
               ", port " + simulator_.portText() + ", " +
               std::to_string(simulator_.frames().size()) + " frames and " +
               std::to_string(simulator_.acksReceived()) + " acknowledgements received, " +
               std::to_string(simulator_.framesSent()) + " frames sent, " +
               std::to_string(simulator_.framesResent()) + " sent again, " +
               std::to_string(simulator_.framesGivenUp()) + " given up");
    } else if (command == "help") {
        print_(Help());
    } else {
        Bad("unknown command \"" + command + "\" (try help)");
    }
    return true;
}

bool CommandInterpreter::repeat(const Words& words) {
    if (words.size() < 3)
        Bad("repeat takes N COMMAND ...");
    const uint32_t times = Number(words[1], "the repeat count");
    const Words command(words.begin() + 2, words.end());
    if (command[0] == "repeat")
        Bad("repeat cannot repeat \"repeat\"");
    for (uint32_t n = 1; n <= times && !stop_; ++n) {
        // $n in any word is the run's number, from 1.
        Words filled = command;
        for (std::string& word : filled) {
            for (size_t at = word.find("$n"); at != std::string::npos; at = word.find("$n", at))
                word.replace(at, 2, std::to_string(n));
        }
        if (!run(filled))
            return false;
    }
    return true;
}

void CommandInterpreter::pace(const Words& words) {
    Words args(words.begin() + 1, words.end());
    const uint32_t resendMs = Number(
        TakeOption(args, "resend", std::to_string(Simulator::DefaultResendMs)), "the resend time");
    const uint32_t resends = Number(
        TakeOption(args, "resends", std::to_string(Simulator::DefaultResends)), "the resend count");
    if (args.size() == 1 && args[0] == "ack")
        simulator_.setPacing(Pacing::AwaitAck, resendMs, resends);
    else if (args.size() == 1 && args[0] == "free")
        simulator_.setPacing(Pacing::FreeRunning);
    else
        Bad("pace takes ack [resend=MS] [resends=N], or free");
}

void CommandInterpreter::on(const Words& words) {
    if (words.size() < 4)
        Bad("on takes TYPE ROOM|* STEP [; STEP ...]");
    const std::string& type = words[1];
    const std::string& room = words[2];
    static const char* const Types[] = {"A", "D", "H", "HR", "HI", "I", "M", "Z", "ZF", "ZP"};
    bool known = false;
    for (const char* t : Types)
        known = known || type == t;
    if (!known)
        Bad("unknown request type \"" + type + "\" (A, D, H, HR, HI, I, M, Z, ZF, ZP)");
    const auto groups = Groups(words, 3);
    if (groups.size() == 1 && groups[0].size() == 1 && groups[0][0] == "default") {
        simulator_.clearReply(type, room);
        return;
    }
    Reply reply;
    if (!(groups.size() == 1 && groups[0].size() == 1 && groups[0][0] == "none"))
        for (const Words& step : groups)
            reply.push_back(ParseStep(step));
    simulator_.setReply(type, room, std::move(reply));
}

void CommandInterpreter::sendEvents(const Words& words) {
    std::vector<std::string> frames;
    for (const Words& group : Groups(words, 1)) {
        if (group.empty())
            Bad("send takes KIND [name=value ...] [; KIND ...]");
        frames.push_back(BuildFrame(group[0], Fields(group, 1, group.size())));
    }
    simulator_.send(frames);
}

void CommandInterpreter::raw(const Words& words) {
    std::string bytes;
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w == "<STX>")
            bytes += '\x02';
        else if (w == "<ETX>")
            bytes += '\x03';
        else if (w == "<ACK>")
            bytes += '\x06';
        else if (w == "<NAK>")
            bytes += '\x15';
        else if (w.size() == 2 && HexDigit(w[0]) >= 0 && HexDigit(w[1]) >= 0)
            bytes += char(HexDigit(w[0]) * 16 + HexDigit(w[1]));
        else
            bytes += w; // text as it is (quoted for blanks, \xHH inside quotes)
    }
    if (bytes.empty())
        Bad("raw needs at least one byte");
    simulator_.sendRaw(bytes);
}

void CommandInterpreter::waitFor(const Words& words) {
    Words args(words.begin() + 1, words.end());
    const uint32_t timeout = Number(TakeOption(args, "timeout", "60000"), "the timeout");
    if (args.empty() || args.size() > 2)
        Bad("wait takes TYPE [ROOM|*] [timeout=MS], or connect [timeout=MS]");
    if (args[0] == "connect") {
        if (platform::WaitUntil([this] { return stop_ || simulator_.connected(); }, timeout) &&
            simulator_.connected())
            print_("got a connection");
        else
            print_("** wait connect: no connection within " + std::to_string(timeout) + " ms");
        return;
    }
    const std::string type = args[0];
    const std::string room = args.size() == 2 ? args[1] : "*";
    size_t found = SIZE_MAX;
    auto match = [&] {
        const auto& requests = simulator_.requests();
        for (size_t i = nextRequest_; i < requests.size(); ++i) {
            const Request& r = requests[i];
            const bool typeOk = r.type == type || std::string(1, r.letter) == type;
            if (typeOk && (room == "*" || r.room == room)) {
                found = i;
                return true;
            }
        }
        return false;
    };
    platform::WaitUntil([&] { return stop_ || match(); }, timeout);
    if (found == SIZE_MAX) {
        print_("** wait " + type + " " + room + ": nothing within " + std::to_string(timeout) +
               " ms");
        return;
    }
    nextRequest_ = found + 1;
    print_("got " + Describe(simulator_.requests()[found].frame, false));
}

std::string CommandInterpreter::Help() {
    return R"(Commands (one per line; "#" starts a comment; values with blanks in "double quotes"):
  on TYPE ROOM|* STEP [; STEP ...]   reply to a request (most specific rule wins)
      TYPE: A check-in, D check-out, M modification, I interrogation,
            H phone request (HR allocate, HI get allocated), Z re-init (ZF full, ZP partial)
      STEP: answer LETTER [REASON] [code=XXXX] [room=ROOM]
            event KIND [name=value ...]      ($room = the request's room)
            pause MS
      on TYPE ROOM|* none                 never answer;  on TYPE ROOM|* default  built-in reply
  send KIND [name=value ...] [; KIND ...]   send event frames now; KIND and fields:
      ticket line type time duration f4 f20 | checkin room name language password f2 f4 f1
      checkout room | phone room phone | modification room name f22 f33 f38 f42 f54 f58
      roomstatus room status field | wakeup room w status f16 f22 f31
      fullreinit room letter f12 f21 f41 f46 f50 f62 f67 f79 f80
      partialreinit room letter f12 f20 | node id | answer room code answer reason
  raw WORD ...               send bytes in one write: two hex digits are a byte (02),
                             <STX> <ETX> <ACK> <NAK> those bytes, other words their text
  ack on|off|nak             acknowledge frames, withhold acknowledgements, or refuse (0x15)
  pace ack [resend=MS] [resends=N]   send the next frame only after the link acknowledged
                             the previous one (the default); send it again after MS
                             (default 2000) without acknowledgement, N times (default 3),
                             then go on with the next
  pace free                  send every frame at once (free-running, for joined and split
                             frames)
  write whole|joined|split N [gap=MS]   one write per frame, all frames of a send in one
                             write, or each frame in pieces of N bytes (gap default 20 ms)
  close                      close the connection (after what is queued)
  wait TYPE [ROOM|*] [timeout=MS]   wait for a request not yet waited for (default 60000 ms)
  wait connect [timeout=MS]  wait for a connection
  pause MS                   let MS milliseconds pass (the simulator keeps working)
  repeat N COMMAND ...       run COMMAND N times; $n in it is the run's number (1 to N)
  print TEXT | status | help | quit)";
}

} // namespace hlsim
