// The contract between the PBX manager and a PBX adapter: one request's data
// (IPBXData, made by the manager as a TPBXData) and the three line operations.
// Each operation empties `info` first and leaves in it the text to store with
// the event; false means the exchange did not do what was asked.
#pragma once

#include "rtl/ifc_object.h"
#include "rtl/plugin.h"

#include <string>

namespace frame {

class IPBXData : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{55A28957-A6EA-4002-A3EB-C0D3091B724A}");
    using Base = rtl::IImplemented;

    // The room's telephone line (extension).
    virtual std::string line() = 0;
    // The guest's name; empty when a line is closed or its name cleared.
    virtual std::string name() = 0;

protected:
    ~IPBXData() = default;
};

// One request's data; both values are fixed for the object's life.
class TPBXData : public rtl::TLTMIfcObject<IPBXData> {
public:
    TPBXData(std::string line, std::string name) : line_(std::move(line)), name_(std::move(name)) {}
    static rtl::Ref<IPBXData> Create(const std::string& line, const std::string& name);

    std::string line() override { return line_; }
    std::string name() override { return name_; }
    // "<line> <name>"; an empty name leaves the trailing space.
    std::string toString() override;

private:
    const std::string line_;
    const std::string name_;
};

class IPBXAdapter : public rtl::IPlugin {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{A6D57652-15B4-4C6F-A9B5-011BFC27F28F}");
    using Base = rtl::IPlugin;

    // Opens data.line for calls; data.name is the guest's name for exchanges
    // that take it with the opening.
    virtual bool openLine(IPBXData* data, std::string& info) = 0;
    // Bars data.line.
    virtual bool closeLine(IPBXData* data, std::string& info) = 0;
    // Shows data.name for data.line; an empty name clears it.
    virtual bool setGuestName(IPBXData* data, std::string& info) = 0;

protected:
    ~IPBXAdapter() = default;
};

} // namespace frame
