// The common configuration dialog driven with keys and clicks: how a branch is
// listed, what saving writes and removes, that cancelling writes nothing, the
// code page of its texts, and the editor flow that opens it.
#include "dialog_driver.h"

#include "frame/cfg_editor.h"
#include "frame/common_cfg_editor.h"
#include "frame/plugin_entry.h"
#include "frame/text_codec.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/host_module.h"
#include "rtl/log_sinks.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <optional>

namespace {

using gui_test::Click;
using gui_test::EditValue;
using gui_test::Focused;
using gui_test::Press;
using gui_test::Row;
using gui_test::Type;
using gui_test::WithDialog;
using rtl::Ref;

constexpr int KeyColumn = 0;
constexpr int ValueColumn = 1;
constexpr int PathColumn = 2;

// A modem adapter's section as an installation keeps it, keys in no order.
const std::string ModemSection = "[mod_tellum]\n"
                                 "unlock_command_line = ATD\\n\\p\n"
                                 "read_time_out = 1000\n"
                                 "lock_command_line = ATH\n"
                                 "modem_config_str_1 = ATZ\n"
                                 "rs = serial\n"
                                 "rs.rate = 9600\n"
                                 "rs.device = /dev/ttyS0\n"
                                 "rs.parity = none\n";

class CommonEditorTest : public testing::Test {
protected:
    Ref<rtl::TContext> context{new rtl::TContext};
    Ref<rtl::TConfiguration> root{new rtl::TConfiguration};
    Ref<rtl::IConfiguration> section;

    CommonEditorTest() {
        context->registerObject(root.get());
        section = root->sub("mod_tellum");
    }

    void load(const std::string& text) { root->fromText(text, "test.conf"); }

    bool showEditor(const std::function<void(QDialog&, QTreeWidget&)>& user, bool treeMode = true) {
        return WithDialog(
            [&] {
                return frame::showConfigEditor(context.get(), section.get(), treeMode,
                                               "mod_tellum");
            },
            [&](QDialog& dialog) {
                auto* grid = dialog.findChild<QTreeWidget*>("grdCfg");
                ASSERT_TRUE(grid);
                user(dialog, *grid);
            });
    }
};

QStringList Keys(const QTreeWidgetItem* row) {
    QStringList keys;
    for (int i = 0; i < row->childCount(); ++i)
        keys << row->child(i)->text(KeyColumn);
    return keys;
}

QPushButton* Button(QDialog& dialog, const char* name) {
    auto* button = dialog.findChild<QPushButton*>(name);
    EXPECT_TRUE(button) << name;
    return button;
}

TEST_F(CommonEditorTest, ListsTheBranchSortedExpandedWithPathsFromTheBranchRoot) {
    load(ModemSection);
    const bool saved = showEditor([&](QDialog& dialog, QTreeWidget& grid) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Настройки на модул"));
        EXPECT_EQ(dialog.size(), QSize(512, 419));
        EXPECT_EQ(grid.headerItem()->text(KeyColumn), QStringLiteral("Настройка"));
        EXPECT_EQ(grid.headerItem()->text(ValueColumn), QStringLiteral("Стойност"));
        EXPECT_TRUE(grid.isColumnHidden(PathColumn));
        EXPECT_EQ(Button(dialog, "btnSave")->text(), QStringLiteral("Запиши (Enter)"));
        EXPECT_EQ(Button(dialog, "btnCancel")->text(), QStringLiteral("Отказ (Esc)"));

        ASSERT_EQ(grid.topLevelItemCount(), 1);
        QTreeWidgetItem* rootRow = grid.topLevelItem(0);
        EXPECT_EQ(rootRow->text(KeyColumn), "mod_tellum");
        EXPECT_EQ(rootRow->text(PathColumn), "mod_tellum");
        EXPECT_EQ(Keys(rootRow), (QStringList{"lock_command_line", "modem_config_str_1",
                                              "read_time_out", "rs", "unlock_command_line"}));
        QTreeWidgetItem* rs = Row(grid, {"rs"});
        ASSERT_TRUE(rs);
        EXPECT_EQ(rs->text(ValueColumn), "serial");
        EXPECT_EQ(Keys(rs), (QStringList{"device", "parity", "rate"}));
        EXPECT_EQ(Row(grid, {"rs", "device"})->text(PathColumn), "rs.device");
        EXPECT_EQ(Row(grid, {"rs", "device"})->text(ValueColumn), "/dev/ttyS0");
        EXPECT_EQ(Row(grid, {"unlock_command_line"})->text(ValueColumn), "ATD\\n\\p");
        for (QTreeWidgetItem* row : {rootRow, rs})
            EXPECT_TRUE(row->isExpanded()) << row->text(KeyColumn).toStdString();

        // Keys never open an editor, nor does the root row's value; values do.
        gui_test::DoubleClickCell(grid, rs, KeyColumn);
        EXPECT_EQ(gui_test::OpenEditor(grid), nullptr);
        gui_test::ClickCell(grid, rootRow, KeyColumn);
        Press(Qt::Key_Return);
        EXPECT_EQ(gui_test::OpenEditor(grid), nullptr);
        gui_test::ClickCell(grid, rs, KeyColumn);
        Press(Qt::Key_Return);
        EXPECT_NE(gui_test::OpenEditor(grid), nullptr);
        Press(Qt::Key_Escape); // leaves the cell
        EXPECT_TRUE(dialog.isVisible());
        Press(Qt::Key_Escape); // leaves the dialog
    });
    EXPECT_FALSE(saved);
}

struct StoreCase {
    const char* name;
    const char* key;    // dotted path of the row edited
    const char* typed;  // the whole new text of its value
    bool kept;          // the setting is still there after saving
    const char* stored; // its value then
};

void PrintTo(const StoreCase& c, std::ostream* os) {
    *os << c.name;
}

class CommonEditorStores : public CommonEditorTest,
                           public testing::WithParamInterface<StoreCase> {};

TEST_P(CommonEditorStores, SavingWritesWhatTheUserLeftAndNothingElse) {
    const StoreCase& c = GetParam();
    load(ModemSection);
    // What the file should hold afterwards: the same change made by hand.
    Ref<rtl::TConfiguration> expected(new rtl::TConfiguration);
    expected->fromText(ModemSection, "expected.conf");
    const std::string key = std::string("mod_tellum.") + c.key;
    if (c.kept)
        expected->set(key, c.stored);
    else
        expected->remove(key);

    const bool saved = showEditor([&](QDialog& dialog, QTreeWidget& grid) {
        QTreeWidgetItem* row = Row(grid, QString(c.key).split('.'));
        ASSERT_TRUE(row);
        EditValue(grid, row, QString::fromUtf8(c.typed));
        // Enter ended the edit and left the dialog open.
        ASSERT_TRUE(dialog.isVisible());
        EXPECT_EQ(row->text(ValueColumn), QString::fromUtf8(c.typed));
        Click(Button(dialog, "btnSave"));
    });
    EXPECT_TRUE(saved);
    EXPECT_EQ(root->has(key), c.kept);
    EXPECT_EQ(root->toText(), expected->toText());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, CommonEditorStores,
    testing::Values(StoreCase{"ClearedLeafIsRemoved", "modem_config_str_1", "", false, ""},
                    StoreCase{"OnlySpacesCountAsCleared", "lock_command_line", "   ", false, ""},
                    StoreCase{"ClearedInnerLeafIsRemoved", "rs.rate", "", false, ""},
                    StoreCase{"SurroundingSpacesAreKept", "read_time_out", "  2000  ", true,
                              "  2000  "},
                    StoreCase{"BlankSectionIsWrittenWithItsChildren", "rs", "", true, ""},
                    StoreCase{"ChangedInnerValue", "rs.device", "/dev/pts/7", true, "/dev/pts/7"}),
    [](const auto& info) { return std::string(info.param.name); });

// How the user leaves the dialog without saving, after changing values.
enum class CancelBy { EscapeKey, CancelButton, CloseButton };

class CommonEditorCancels : public CommonEditorTest,
                            public testing::WithParamInterface<CancelBy> {};

TEST_P(CommonEditorCancels, CancellingWritesNothing) {
    load(ModemSection);
    const std::string before = root->toText();
    const bool saved = showEditor([&](QDialog& dialog, QTreeWidget& grid) {
        EditValue(grid, Row(grid, {"modem_config_str_1"}), "");
        EditValue(grid, Row(grid, {"rs", "rate"}), "19200");
        switch (GetParam()) {
        case CancelBy::EscapeKey:
            Press(Qt::Key_Escape);
            break;
        case CancelBy::CancelButton:
            Click(Button(dialog, "btnCancel"));
            break;
        case CancelBy::CloseButton:
            dialog.close();
            break;
        }
    });
    EXPECT_FALSE(saved);
    EXPECT_EQ(root->toText(), before);
}

INSTANTIATE_TEST_SUITE_P(Ways, CommonEditorCancels,
                         testing::Values(CancelBy::EscapeKey, CancelBy::CancelButton,
                                         CancelBy::CloseButton),
                         [](const auto& info) {
                             switch (info.param) {
                             case CancelBy::EscapeKey:
                                 return "EscapeKey";
                             case CancelBy::CancelButton:
                                 return "CancelButton";
                             default:
                                 return "CloseButton";
                             }
                         });

TEST_F(CommonEditorTest, KeyboardAloneSavesEvenWhileAValueIsStillOpen) {
    load(ModemSection);
    const bool saved = showEditor([&](QDialog&, QTreeWidget& grid) {
        // The grid has the focus on its first setting when the dialog opens.
        EXPECT_EQ(Focused(), &grid);
        EXPECT_EQ(grid.currentItem(), Row(grid, {"lock_command_line"}));
        Press(Qt::Key_Return);
        Press(Qt::Key_A, Qt::ControlModifier);
        Type("ATH0");
        Press(Qt::Key_Return, Qt::ControlModifier);
    });
    EXPECT_TRUE(saved);
    EXPECT_EQ(section->get("lock_command_line"), "ATH0");
}

TEST_F(CommonEditorTest, EnterOnAFocusedButtonClicksThatButton) {
    for (const auto& [button, saves] :
         {std::pair{"btnSave", true}, std::pair{"btnCancel", false}}) {
        SCOPED_TRACE(button);
        load(ModemSection);
        const bool saved = showEditor([&](QDialog& dialog, QTreeWidget& grid) {
            EditValue(grid, Row(grid, {"read_time_out"}), button);
            Button(dialog, button)->setFocus();
            Press(Qt::Key_Return);
        });
        EXPECT_EQ(saved, saves);
        EXPECT_EQ(section->get("read_time_out"), saves ? "btnSave" : "1000");
    }
}

struct CodePageCase {
    const char* name;
    const char* codecSetting; // host.text_codec; nullptr: not set
    std::string storedBytes;  // the value of mod_tellum.greeting
    QString shown;            // how the grid shows it
    QString typed;            // appended by the user
    std::string savedBytes;   // the value afterwards
};

void PrintTo(const CodePageCase& c, std::ostream* os) {
    *os << c.name;
}

class CommonEditorCodePage : public CommonEditorTest,
                             public testing::WithParamInterface<CodePageCase> {};

TEST_P(CommonEditorCodePage, ValuesAreShownAndStoredInTheInstallationsCodePage) {
    const CodePageCase& c = GetParam();
    if (c.codecSetting)
        root->set("host.text_codec", c.codecSetting);
    section->set("greeting", c.storedBytes);
    // 0x98 has no character in Windows-1251 and 0xA0 is a no-break space:
    // a value nobody touches keeps its bytes.
    const std::string untouched = "\x98\xA0\xC0 x";
    section->set("untouched", untouched);

    const bool saved = showEditor([&](QDialog& dialog, QTreeWidget& grid) {
        QTreeWidgetItem* row = Row(grid, {"greeting"});
        ASSERT_TRUE(row);
        EXPECT_EQ(row->text(ValueColumn), c.shown);
        gui_test::ClickCell(grid, row, KeyColumn);
        Press(Qt::Key_Return);
        Press(Qt::Key_End);
        Type(c.typed);
        Press(Qt::Key_Return);
        Click(Button(dialog, "btnSave"));
    });
    EXPECT_TRUE(saved);
    EXPECT_EQ(section->get("greeting"), c.savedBytes);
    EXPECT_EQ(section->get("untouched"), untouched);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, CommonEditorCodePage,
    testing::Values(
        // "Добро" in Windows-1251, then " утро№" typed.
        CodePageCase{"Windows1251ByDefault", nullptr, "\xC4\xEE\xE1\xF0\xEE",
                     QStringLiteral("Добро"), QStringLiteral(" утро№"),
                     "\xC4\xEE\xE1\xF0\xEE\x20\xF3\xF2\xF0\xEE\xB9"},
        CodePageCase{"Windows1251ByName", "CP1251", "\xC4\xEE\xE1\xF0\xEE", QStringLiteral("Добро"),
                     QStringLiteral("Ё"), "\xC4\xEE\xE1\xF0\xEE\xA8"},
        // The same bytes read as Latin-1; a Cyrillic letter cannot be typed there.
        CodePageCase{"Latin1", "latin-1", "\xC4\xEE\xE1\xF0\xEE", QStringLiteral("Äîáðî"),
                     QStringLiteral("éЖ"), "\xC4\xEE\xE1\xF0\xEE\xE9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommonEditorTest, UnknownCodePageIsRefusedByNameWithoutADialog) {
    root->set("host.text_codec", "utf-8");
    load(root->toText() + ModemSection);
    try {
        frame::showConfigEditor(context.get(), section.get(), true, "mod_tellum");
        FAIL() << "no error";
    } catch (const frame::EEncodingError& e) {
        EXPECT_NE(std::string(e.what()).find("Unknown text codec \"utf-8\" in host.text_codec"),
                  std::string::npos)
            << e.what();
    }
}

TEST_F(CommonEditorTest, FlatModeListsEachSettingByItsPath) {
    load(ModemSection);
    const bool saved = showEditor(
        [&](QDialog& dialog, QTreeWidget& grid) {
            EXPECT_EQ(Keys(grid.topLevelItem(0)),
                      (QStringList{"lock_command_line", "modem_config_str_1", "read_time_out",
                                   "rs.device", "rs.parity", "rs.rate", "unlock_command_line"}));
            QTreeWidgetItem* rate = Row(grid, {"rs.rate"});
            ASSERT_TRUE(rate);
            EXPECT_EQ(rate->text(PathColumn), "rs.rate");
            EditValue(grid, rate, "");
            Click(Button(dialog, "btnSave"));
        },
        false);
    EXPECT_TRUE(saved);
    EXPECT_FALSE(section->has("rs.rate"));
    EXPECT_EQ(section->get("rs"), "serial");
    EXPECT_EQ(section->get("rs.device"), "/dev/ttyS0");
}

// An editor built on the frame's base: defaults, the common dialog, and its
// lines after a save.
class TModemLikeEditor : public frame::TCfgEditor {
public:
    TModemLikeEditor()
        : TCfgEditor({"TModemLikeEditor", "Modem", "Modem-like editor", "mod_tellum"}) {}

protected:
    void setDefaults(rtl::IConfiguration& section) override {
        for (const auto& [key, value] :
             {std::pair{"lock_command_line", ""}, std::pair{"read_time_out", "1000"},
              std::pair{"rs.device", "COM1"}}) {
            if (!section.has(key))
                section.set(key, value);
        }
    }
    void confirmed(rtl::IConfiguration& section) override {
        for (const auto& entry : section.tree()->descendants())
            rtl::TLogger::trace(this, "Config key %s = %s", entry->path(), entry->value());
    }
};

TEST_F(CommonEditorTest, EditorShowsItsDefaultsAndLogsTheSettingsAfterASave) {
    rtl::LogCapture log;
    Ref<TModemLikeEditor> editor(new TModemLikeEditor);
    editor->setContext(context.get());
    section->set("read_time_out", "");

    auto edit = [&](bool save) {
        return WithDialog([&] { return editor->edit(context.get()); },
                          [&](QDialog& dialog) {
                              auto* grid = dialog.findChild<QTreeWidget*>("grdCfg");
                              ASSERT_TRUE(grid);
                              // Missing keys got their defaults before the dialog showed;
                              // the empty one stayed empty.
                              EXPECT_EQ(Row(*grid, {"rs", "device"})->text(ValueColumn), "COM1");
                              EXPECT_EQ(Row(*grid, {"read_time_out"})->text(ValueColumn), "");
                              EXPECT_TRUE(Row(*grid, {"lock_command_line"}));
                              Click(Button(dialog, save ? "btnSave" : "btnCancel"));
                          });
    };
    EXPECT_FALSE(edit(false));
    EXPECT_TRUE(log.texts(rtl::LogLevel::Trace, "TModemLikeEditor").empty());
    EXPECT_EQ(section->get("rs.device"), "COM1"); // the defaults stay after a cancel

    EXPECT_TRUE(edit(true));
    // Blank settings are removed on saving; the rest is listed in tree order.
    EXPECT_EQ(log.texts(rtl::LogLevel::Trace, "TModemLikeEditor"),
              (std::vector<std::string>{"Config key rs = ", "Config key rs.device = COM1"}))
        << log.dump();
}

TEST_F(CommonEditorTest, DialogBelongsToTheHostsApplicationWindow) {
    load(ModemSection);
    QMainWindow window;
    window.show();
    // A host of another framework instance hands over its main window.
    Ref<rtl::IHostModule> host(new rtl::TGUIHostModule(
        &window, Ref<rtl::IImplemented>(new rtl::TLTMIfcObject<rtl::IImplemented>),
        rtl::TLogger::ownFactory(), rtl::TSerialMgr::ownFactory()));
    lib_module_attach(host.get());
    const bool saved = showEditor([&](QDialog& dialog, QTreeWidget&) {
        EXPECT_EQ(dialog.parentWidget(), &window);
        EXPECT_TRUE(dialog.isModal());
        Press(Qt::Key_Escape);
    });
    lib_module_detach(host.get());
    EXPECT_FALSE(saved);
    EXPECT_EQ(frame::application(), QCoreApplication::instance());
}

} // namespace
