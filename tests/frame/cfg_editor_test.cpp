// The editor protocol: which configuration an editor works on, defaults before
// the dialog, and the answer when there is no configuration at all.
#include "frame/cfg_editor.h"

#include "rtl/configuration.h"
#include "rtl/context.h"

#include <gtest/gtest.h>

namespace {

using rtl::Ref;

// An editor whose dialog is a scripted answer; it records what it was shown.
class TRecordingEditor : public frame::TCfgEditor {
public:
    TRecordingEditor()
        : TCfgEditor({"TRecordingEditor", "Recording", "Editor for the tests", "mod_test"}) {}

    bool answer = true;
    int shown = 0;
    int confirmedCalls = 0;
    std::string shownValue;
    rtl::IContext* shownContext = nullptr;

protected:
    void setDefaults(rtl::IConfiguration& section) override {
        if (!section.has("timer_interval"))
            section.set("timer_interval", "5000");
        if (!section.has("rs.device"))
            section.set("rs.device", "COM1");
    }
    bool showDialog(rtl::IContext* context, rtl::IConfiguration& section) override {
        ++shown;
        shownContext = context;
        shownValue = section.get("timer_interval");
        return answer;
    }
    void confirmed(rtl::IConfiguration&) override { ++confirmedCalls; }
};

class CfgEditorTest : public testing::Test {
protected:
    Ref<TRecordingEditor> editor{new TRecordingEditor};
    Ref<rtl::TContext> context{new rtl::TContext};
    Ref<rtl::TConfiguration> config{new rtl::TConfiguration};
};

TEST_F(CfgEditorTest, AnswersItsNamesWithHintEqualToDescription) {
    EXPECT_EQ(editor->editorName(), "TRecordingEditor");
    EXPECT_EQ(editor->caption(), "Recording");
    EXPECT_EQ(editor->description(), "Editor for the tests");
    EXPECT_EQ(editor->hint(), editor->description());
    EXPECT_EQ(editor->configName(), "mod_test");
    EXPECT_TRUE(rtl::Query<frame::IEditor>(editor));
    EXPECT_TRUE(rtl::Query<frame::IContextAware>(editor));
}

TEST_F(CfgEditorTest, WithoutAnyConfigurationEditAnswersFalseAndShowsNothing) {
    EXPECT_FALSE(editor->accepts(context.get())); // no configuration: refused, none stored
    EXPECT_FALSE(editor->rootConfiguration());
    EXPECT_FALSE(editor->edit(context.get()));
    EXPECT_FALSE(editor->edit(nullptr));
    EXPECT_EQ(editor->shown, 0);
}

TEST_F(CfgEditorTest, EditFindsTheConfigurationWritesDefaultsAndShowsTheSection) {
    config->set("mod_test.timer_interval", ""); // present though empty: kept
    context->registerObject(config.get());
    editor->setContext(context.get());
    ASSERT_TRUE(editor->accepts(nullptr));

    EXPECT_TRUE(editor->edit(context.get()));
    EXPECT_EQ(editor->shown, 1);
    EXPECT_EQ(editor->shownContext, context.get());
    EXPECT_EQ(editor->shownValue, "");
    EXPECT_EQ(config->get("mod_test.rs.device"), "COM1");
    EXPECT_EQ(editor->confirmedCalls, 1);
    EXPECT_EQ(editor->rootConfiguration().get(), config.get()); // kept for the next edit

    editor->answer = false;
    EXPECT_FALSE(editor->edit(context.get()));
    EXPECT_EQ(editor->confirmedCalls, 1); // nothing follows a cancel
}

TEST_F(CfgEditorTest, AcceptedConfigurationIsUsedOverTheContext) {
    Ref<rtl::TConfiguration> inContext(new rtl::TConfiguration);
    context->registerObject(inContext.get());
    ASSERT_TRUE(editor->accepts(config.get()));

    EXPECT_TRUE(editor->edit(context.get()));
    EXPECT_EQ(config->get("mod_test.timer_interval"), "5000");
    EXPECT_FALSE(inContext->has("mod_test"));

    // accepts with something else drops it; the next edit asks the context.
    EXPECT_FALSE(editor->accepts(rtl::Query<frame::IEditor>(editor).get()));
    EXPECT_TRUE(editor->edit(context.get()));
    EXPECT_EQ(inContext->get("mod_test.timer_interval"), "5000");
}

} // namespace
