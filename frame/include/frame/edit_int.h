// Editors: objects a plug-in registers in the host's context so that the
// host can let a user edit the plug-in's configuration (ICfgEditor names the
// section it edits).
#pragma once

#include "rtl/context.h"

#include <string>

namespace frame {

class IEditor : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{08B5F11E-342B-40DF-90A7-7D00B02F37B7}");
    using Base = rtl::IImplemented;

    virtual std::string editorName() = 0;
    virtual std::string caption() = 0;
    virtual std::string description() = 0;
    // Whether the editor works on `target` (nullptr: no particular target).
    virtual bool accepts(rtl::IImplemented* target) = 0;
    virtual std::string hint() = 0;
    // Shows the editor's dialog; true when the user saved.
    virtual bool edit(rtl::IContext* context) = 0;

protected:
    ~IEditor() = default;
};

class ICfgEditor : public IEditor {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{639FD463-A32E-404E-A6C3-30641B16B7C5}");
    using Base = IEditor;

    // The configuration section the editor works on ("mod_tellum").
    virtual std::string configName() = 0;

protected:
    ~ICfgEditor() = default;
};

} // namespace frame
