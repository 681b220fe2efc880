// TModemDriver: one line operation as a conversation with a modem on the serial
// port: "AT", the configured set-up strings, the configured command line with
// the phone line filled in, "ATH". The outcome comes back as a TResult (failed
// flag and message); no exception leaves a line operation.
//
// Command lines are free text with two markers: "\n" stands for the phone line,
// "\p" separates commands, and an empty command between markers (or at either
// end) is a pause of one second. Commands of the line are sent without waiting
// for their answers; "AT", the set-up strings and "ATH" wait for one. What the
// modem answered to the line's commands is read before "ATH", and an error
// answer fails the operation. The phone line must be a dial string.
#pragma once

#include "rsstream.h"

#include "rtl/configuration.h"
#include "rtl/ifc_object.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace tellum {

// A conversation that went wrong; turned into a failed TResult by the driver.
class EProtocolExeption : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class IResult : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{00B15039-0D7D-4A99-8D35-4F6C286136B0}");
    using Base = rtl::IImplemented;

    virtual std::string message() = 0;
    virtual bool failed() = 0;

protected:
    ~IResult() = default;
};

class TResult : public rtl::TLTMIfcObject<IResult> {
public:
    // Success: not failed, no message.
    TResult() = default;
    // Failure with its message.
    explicit TResult(std::string message) : failed_(true), message_(std::move(message)) {}

    std::string message() override { return message_; }
    bool failed() override { return failed_; }

private:
    bool failed_ = false;
    std::string message_;
};

class IModemDriver : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{8E77E9C3-B5E9-491A-9D94-34BE649F15CE}");
    using Base = rtl::IImplemented;

    // Runs "lock_command_line" (bars the line).
    virtual void lock(const std::string& phoneLine, rtl::Ref<IResult>& result) = 0;
    // Runs "unlock_command_line" (opens the line).
    virtual void unlock(const std::string& phoneLine, rtl::Ref<IResult>& result) = 0;

protected:
    ~IModemDriver() = default;
};

class TModemDriver : public rtl::TLTMIfcObject<IModemDriver> {
public:
    // Opens and configures the port from the section's "rs" settings; a port that
    // cannot be opened or configured raises here, and no driver exists then.
    explicit TModemDriver(rtl::Ref<rtl::IConfiguration> adapterConfiguration);
    ~TModemDriver() override;

    void lock(const std::string& phoneLine, rtl::Ref<IResult>& result) override;
    void unlock(const std::string& phoneLine, rtl::Ref<IResult>& result) override;

    // The commands of a command line after the phone line was put in place of
    // every "\n": cut at every "\p"; an empty command stands for a pause.
    static std::vector<std::string> SplitCommandLine(const std::string& commandLine,
                                                     const std::string& phoneLine);

    // What of the modem's answer to `command` is judged: the answer without its
    // control bytes and without the command's echo (its first occurrence), if
    // the modem sent one.
    static std::string AnswerText(const std::string& answer, const std::string& command);
    // The first error answer ("ERROR", "4", "+CME ERROR...", "+CMS ERROR...") among
    // the lines of `answers`, skipping the echoes of `commands`; empty when there
    // is none.
    static std::string FirstError(const std::string& answers,
                                  const std::vector<std::string>& commands);

    static constexpr int kDefaultReadTimeoutMs = 5000;
    static constexpr int kPauseMs = 1000;

private:
    void sendCommandLine(const std::string& commandLine, const std::string& phoneLine,
                         rtl::Ref<IResult>& result);
    void sendCommand(const std::string& command, bool noWait, const std::string& expectedAnswer);
    // What the modem answered, read until a line feed was followed by a silent
    // read; raises "Read timeout." once the answer deadline has passed.
    std::string readAnswer();
    // What has come and keeps coming until the line is silent for one read
    // time-out; never fails for silence.
    std::string readPending();

    rtl::Ref<rtl::IConfiguration> configuration_;
    rtl::Ref<TRS232Stream> stream_;
};

} // namespace tellum
