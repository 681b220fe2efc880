// TCfgEditor: the base of a plug-in's configuration editor. It answers the
// editor protocol (accepts, edit with the configuration lookup, setContext);
// a plug-in's editor gives its names and overrides setDefaults, and showDialog
// when it has a dialog of its own instead of the common one.
#pragma once

#include "frame/edit_int.h"
#include "frame/plugin_int.h"

#include "rtl/configuration.h"
#include "rtl/ifc_object.h"

#include <string>

namespace frame {

class TCfgEditor : public rtl::TLTMIfcObject<ICfgEditor, IContextAware> {
public:
    struct Names {
        std::string editorName; // the editor's class name
        std::string caption;
        std::string description; // also the hint
        std::string configName;  // the configuration section edited
    };
    explicit TCfgEditor(Names names) : names_(std::move(names)) {}

    std::string editorName() override { return names_.editorName; }
    std::string caption() override { return names_.caption; }
    std::string description() override { return names_.description; }
    std::string hint() override { return names_.description; }
    std::string configName() override { return names_.configName; }

    // Drops the stored root configuration; accepts no target (true), or one
    // that supports IConfiguration, which becomes the root configuration.
    bool accepts(rtl::IImplemented* target) override;
    // Without a stored root configuration one is looked up in `context`; with
    // none there the answer is false and nothing is shown. Otherwise the
    // missing defaults are written into root.sub(configName), the dialog is
    // shown on that section, and the answer is whether the user saved.
    bool edit(rtl::IContext* context) override;
    void setContext(rtl::IContext* context) override {
        context_ = rtl::Ref<rtl::IContext>(context);
    }

    rtl::Ref<rtl::IConfiguration> rootConfiguration() const { return root_; }
    rtl::Ref<rtl::IContext> context() const { return context_; }

protected:
    // Writes the default of every key the section lacks (has() false); values
    // that exist, even empty ones, stay.
    virtual void setDefaults(rtl::IConfiguration& section) { (void)section; }
    // Shows the dialog on the section; true when the user saved. By default the
    // common configuration dialog in tree mode.
    virtual bool showDialog(rtl::IContext* context, rtl::IConfiguration& section);
    // Runs after the user saved.
    virtual void confirmed(rtl::IConfiguration& section) { (void)section; }

private:
    Names names_;
    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<rtl::IConfiguration> root_;
};

} // namespace frame
