// Pictures of both dialogs as a user sees them, written under the build
// folder (screenshots/*.png). They fail when the fonts the dialogs use have
// no glyphs for the Cyrillic texts on them.
#include "dialog_driver.h"
#include "pbx_manager_form.h"

#include "frame/common_cfg_editor.h"
#include "frame/pbxAdapter_int.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/plugin.h"

#include <QAbstractButton>
#include <QDialog>
#include <QDir>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QRawFont>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <gtest/gtest.h>

namespace {

using rtl::Ref;

// Every text a widget of the dialog shows, with the font it is drawn in.
std::vector<std::pair<QString, QFont>> ShownTexts(QDialog& dialog) {
    std::vector<std::pair<QString, QFont>> texts{{dialog.windowTitle(), dialog.font()}};
    for (auto* button : dialog.findChildren<QAbstractButton*>())
        texts.emplace_back(button->text(), button->font());
    for (auto* label : dialog.findChildren<QLabel*>())
        texts.emplace_back(label->text(), label->font());
    for (auto* grid : dialog.findChildren<QTreeWidget*>()) {
        for (int c = 0; c < grid->columnCount(); ++c)
            texts.emplace_back(grid->headerItem()->text(c), grid->header()->font());
        for (QTreeWidgetItemIterator it(grid); *it; ++it) {
            for (int c = 0; c < grid->columnCount(); ++c)
                texts.emplace_back((*it)->text(c), grid->font());
        }
    }
    return texts;
}

// Fails for every Cyrillic character the font of its text cannot draw;
// answers how many Cyrillic characters were checked.
int ExpectCyrillicGlyphs(QDialog& dialog) {
    int checked = 0;
    for (const auto& [text, font] : ShownTexts(dialog)) {
        const QFontMetrics metrics(font);
        const QRawFont raw = QRawFont::fromFont(font);
        for (const char32_t c : text.toUcs4()) {
            if (c < 0x0400 || c > 0x04FF)
                continue;
            ++checked;
            EXPECT_TRUE(metrics.inFontUcs4(c) && raw.supportsCharacter(c))
                << "font \"" << QFontInfo(font).family().toStdString() << "\" has no glyph for U+"
                << std::hex << uint32_t(c) << " in \"" << text.toStdString() << "\"";
        }
    }
    return checked;
}

void SavePicture(QDialog& dialog, const QString& name) {
    ASSERT_TRUE(QDir().mkpath(SCREENSHOT_DIR));
    const QString file = QString(SCREENSHOT_DIR) + "/" + name;
    const QImage picture = dialog.grab().toImage();
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), dialog.size());
    ASSERT_TRUE(picture.save(file, "PNG")) << file.toStdString();
}

class TNamedAdapter : public rtl::TPlugin<frame::IPBXAdapter> {
public:
    explicit TNamedAdapter(const std::string& name) { setName(name); }
    bool openLine(frame::IPBXData*, std::string&) override { return false; }
    bool closeLine(frame::IPBXData*, std::string&) override { return false; }
    bool setGuestName(frame::IPBXData*, std::string&) override { return false; }
};

TEST(DialogScreenshot, CommonEditorOnAModemSectionWithCyrillicText) {
    Ref<rtl::TContext> context(new rtl::TContext);
    Ref<rtl::TConfiguration> root(new rtl::TConfiguration);
    context->registerObject(root.get());
    // Windows-1251 bytes: "Модем на рецепцията" and "Не свързвай".
    root->fromText(
        "[mod_tellum]\n"
        "lock_command_line = ATH\\pATZ\n"
        "unlock_command_line = ATD\\n\\p\n"
        "read_time_out = 1000\n"
        "modem_config_str_1 = ATE0\n"
        "modem_config_str_2 =\n"
        "modem_config_str_3 =\n"
        "comment = \xCC\xEE\xE4\xE5\xEC \xED\xE0 \xF0\xE5\xF6\xE5\xEF\xF6\xE8\xFF\xF2\xE0\n"
        "rs.device = /dev/ttyS0\n"
        "rs.rate = 9600\n"
        "rs.data = 8\n"
        "rs.stop = 1\n"
        "rs.parity = none\n"
        "rs.flow = \xCD\xE5 \xF1\xE2\xFA\xF0\xE7\xE2\xE0\xE9\n",
        "screenshot.conf");
    const bool saved = gui_test::WithDialog(
        [&] {
            return frame::showConfigEditor(context.get(), root->sub("mod_tellum").get(), true,
                                           "mod_tellum");
        },
        [&](QDialog& dialog) {
            EXPECT_GT(ExpectCyrillicGlyphs(dialog), 40);
            SavePicture(dialog, "common_cfg_editor.png");
            gui_test::Press(Qt::Key_Escape);
        });
    EXPECT_FALSE(saved);
}

TEST(DialogScreenshot, PbxManagerDialog) {
    Ref<rtl::TContext> context(new rtl::TContext);
    Ref<rtl::TConfiguration> root(new rtl::TConfiguration);
    context->registerObject(root.get());
    for (const char* name : {"mod_varnel", "mod_tellum"})
        context->registerObject(Ref<frame::IPBXAdapter>(new TNamedAdapter(name)).get());
    root->fromText("[mod_quorvin]\n"
                   "pbx_adapter = mod_varnel\n"
                   "timer_interval = 5000\n"
                   "db.name = localhost:/srv/firebird/front.fdb\n"
                   "db.user_name = SYSDBA\n"
                   "db.password = masterkey\n"
                   "db.sql_role_name =\n"
                   "db.dialect = 3\n",
                   "screenshot.conf");
    const bool confirmed = gui_test::WithDialog(
        [&] {
            TfrmPBXEditor form(context.get(), root->sub("mod_quorvin").get());
            return form.ShowModal() == 1;
        },
        [&](QDialog& dialog) {
            // The two buttons.
            EXPECT_EQ(ExpectCyrillicGlyphs(dialog), 11);
            SavePicture(dialog, "pbx_manager_editor.png");
            gui_test::Press(Qt::Key_Escape);
        });
    EXPECT_FALSE(confirmed);
}

} // namespace
