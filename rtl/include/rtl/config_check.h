// IConfigCheck: what a plug-in tells the host's configuration check
// (pbxhost --check-config) about its settings, without being started: the
// keys it knows, the files and folders it will write, and, when asked, the
// outcome of opening its connections once.
#pragma once

#include "rtl/configuration.h"
#include "rtl/interface.h"

#include <string>
#include <vector>

namespace rtl {

struct TWrittenPath {
    std::string key;        // the setting it comes from ("mod_varnel.varnel.log_path")
    std::string path;       // as the plug-in will use it (relative: from the working folder)
    bool folder = false;    // a folder the plug-in writes files into (created when missing)
    bool mustExist = false; // a device, which nobody creates when it is missing
};

struct TCheckFinding {
    bool failed = false;
    std::string text; // "front database localhost:/srv/front.fdb: connected"
};

class IConfigCheck : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{B67BD083-88C1-45F3-8BEE-0ECC80410D0C}");
    using Base = IImplemented;

    // Every key of the plug-in's section it reads, relative to the section
    // ("db.name", "rs.device"); parents of a listed key count as known too.
    virtual std::vector<std::string> knownKeys() = 0;
    // The files and folders it will write, from `section` (its own section).
    virtual std::vector<TWrittenPath> writtenPaths(IConfiguration& section) = 0;
    // Opens each of its connections once and closes it again.
    virtual std::vector<TCheckFinding> connectCheck(IConfiguration& section) = 0;

protected:
    ~IConfigCheck() = default;
};

} // namespace rtl
