// The PBX manager's dialog: the adapter list from the registry, the values it
// shows, what confirming stores and in which order, and the limits of its
// number fields.
#include "dialog_driver.h"
#include "pbx_manager_form.h"

#include "frame/pbxAdapter_int.h"

#include "rtl/configuration.h"
#include "rtl/context.h"
#include "rtl/plugin.h"

#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using gui_test::Click;
using gui_test::Press;
using gui_test::Type;
using gui_test::WithDialog;
using rtl::Ref;

// Stands in for an adapter plug-in in the registry; the dialog only asks its name.
class TNamedAdapter : public rtl::TPlugin<frame::IPBXAdapter> {
public:
    explicit TNamedAdapter(const std::string& name) { setName(name); }
    bool openLine(frame::IPBXData*, std::string&) override { return false; }
    bool closeLine(frame::IPBXData*, std::string&) override { return false; }
    bool setGuestName(frame::IPBXData*, std::string&) override { return false; }
};

class PbxManagerFormTest : public testing::Test {
protected:
    Ref<rtl::TContext> context{new rtl::TContext};
    Ref<rtl::TConfiguration> root{new rtl::TConfiguration};
    Ref<rtl::IConfiguration> section;

    PbxManagerFormTest() {
        context->registerObject(root.get());
        section = root->sub("mod_quorvin");
    }

    void registerAdapters(const std::vector<std::string>& names) {
        for (const auto& name : names)
            context->registerObject(Ref<frame::IPBXAdapter>(new TNamedAdapter(name)).get());
    }

    // Shows the dialog as the manager's editor does; true when confirmed.
    bool show(const std::function<void(QDialog&)>& user) {
        return WithDialog(
            [&] {
                TfrmPBXEditor form(context.get(), section.get());
                return form.ShowModal() == 1;
            },
            user);
    }
};

template <typename W> W* Control(QDialog& dialog, const char* name) {
    auto* widget = dialog.findChild<W*>(name);
    EXPECT_TRUE(widget) << name;
    return widget;
}

QStringList Items(QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i)
        items << combo->itemText(i);
    return items;
}

TEST_F(PbxManagerFormTest, ShowsTheSectionAndStoresEveryFieldInOrderOnConfirm) {
    registerAdapters({"mod_varnel", "mod_tellum"});
    const bool confirmed = show([&](QDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), "PBX manager configuration");
        EXPECT_EQ(Control<QGroupBox>(dialog, "grpDataBase")->title(), "Front database ");
        EXPECT_EQ(Control<QLabel>(dialog, "lblPBXAdapter")->text(), "PBXAdapter");
        EXPECT_EQ(Control<QLabel>(dialog, "lblTimerInterval")->text(), "Timer interval (Ms)");
        EXPECT_EQ(Control<QPushButton>(dialog, "btnOk")->text(), QStringLiteral("Запиши (Enter)"));
        EXPECT_TRUE(Control<QPushButton>(dialog, "btnOk")->isDefault());
        EXPECT_EQ(Control<QPushButton>(dialog, "btnCancel")->text(), QStringLiteral("Отказ (Esc)"));
        EXPECT_EQ(Control<QLineEdit>(dialog, "edPassword")->echoMode(), QLineEdit::Password);

        // The adapter is picked from the list with the keyboard.
        auto* adapters = Control<QComboBox>(dialog, "cmbPBXAdapter");
        EXPECT_EQ(Items(adapters), (QStringList{"mod_varnel", "mod_tellum"}));
        EXPECT_EQ(adapters->currentText(), "");
        adapters->setFocus();
        Press(Qt::Key_Down);
        Press(Qt::Key_Down);
        EXPECT_EQ(adapters->currentText(), "mod_tellum");

        Control<QSpinBox>(dialog, "edTimerInterval")->setFocus();
        Press(Qt::Key_A, Qt::ControlModifier);
        Type("0");
        for (const char* name : {"edDBName", "edUserName", "edPassword", "edRole"}) {
            Control<QLineEdit>(dialog, name)->setFocus();
            Type(QString("x") + name);
        }
        Control<QSpinBox>(dialog, "edSQLDialect")->setFocus();
        Press(Qt::Key_Up);
        Press(Qt::Key_Return); // the default button
    });
    EXPECT_TRUE(confirmed);
    // An empty section gets every key, in the order the dialog stores them.
    std::vector<std::string> order;
    for (const auto& entry : section->tree()->descendants())
        order.push_back(entry->path() + "=" + entry->value());
    EXPECT_EQ(order, (std::vector<std::string>{
                         "pbx_adapter=mod_tellum", "timer_interval=0", "db=", "db.name=xedDBName",
                         "db.user_name=xedUserName", "db.password=xedPassword",
                         "db.sql_role_name=xedRole", "db.dialect=2"}));
}

TEST_F(PbxManagerFormTest, ShowsStoredValuesAndCancelStoresNothing) {
    // "Тест" in Windows-1251 as the role.
    root->fromText("[mod_quorvin]\n"
                   "timer_interval = 5000\n"
                   "db.name = localhost:/srv/front.fdb\n"
                   "db.user_name = SYSDBA\n"
                   "db.password = \" secret \"\n"
                   "db.sql_role_name = \xD2\xE5\xF1\xF2\n"
                   "db.dialect = 3\n",
                   "test.conf");
    const std::string before = root->toText();
    const bool confirmed = show([&](QDialog& dialog) {
        EXPECT_EQ(Control<QSpinBox>(dialog, "edTimerInterval")->value(), 5000);
        EXPECT_EQ(Control<QLineEdit>(dialog, "edDBName")->text(), "localhost:/srv/front.fdb");
        EXPECT_EQ(Control<QLineEdit>(dialog, "edUserName")->text(), "SYSDBA");
        EXPECT_EQ(Control<QLineEdit>(dialog, "edPassword")->text(), " secret ");
        EXPECT_EQ(Control<QLineEdit>(dialog, "edRole")->text(), QStringLiteral("Тест"));
        EXPECT_EQ(Control<QSpinBox>(dialog, "edSQLDialect")->value(), 3);
        Control<QLineEdit>(dialog, "edDBName")->setFocus();
        Type("changed");
        Press(Qt::Key_Escape);
    });
    EXPECT_FALSE(confirmed);
    EXPECT_EQ(root->toText(), before);
}

struct AdapterCase {
    const char* name;
    std::vector<std::string> registered;
    std::optional<std::string> stored; // "pbx_adapter"; nullopt: no such key
    int selected;                      // index selected in the list, -1 for none
    std::string storedAfterConfirm;
};

void PrintTo(const AdapterCase& c, std::ostream* os) {
    *os << c.name;
}

class PbxManagerAdapterChoice : public PbxManagerFormTest,
                                public testing::WithParamInterface<AdapterCase> {};

TEST_P(PbxManagerAdapterChoice, ConfirmingUnchangedKeepsTheAdapterAsListed) {
    const AdapterCase& c = GetParam();
    registerAdapters(c.registered);
    if (c.stored)
        section->set("pbx_adapter", *c.stored);
    const bool confirmed = show([&](QDialog& dialog) {
        auto* adapters = Control<QComboBox>(dialog, "cmbPBXAdapter");
        QStringList listed;
        for (const auto& name : c.registered)
            listed << QString::fromStdString(name);
        EXPECT_EQ(Items(adapters), listed);
        EXPECT_EQ(adapters->currentIndex(), c.selected);
        Click(Control<QPushButton>(dialog, "btnOk"));
    });
    EXPECT_TRUE(confirmed);
    EXPECT_TRUE(section->has("pbx_adapter"));
    EXPECT_EQ(section->get("pbx_adapter"), c.storedAfterConfirm);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PbxManagerAdapterChoice,
    testing::Values(
        AdapterCase{"NoAdapterRegistered", {}, std::nullopt, -1, ""},
        AdapterCase{"NothingStored", {"mod_varnel", "mod_tellum"}, std::nullopt, -1, ""},
        AdapterCase{"StoredInAnotherLetterCase",
                    {"mod_varnel", "mod_tellum"},
                    "MOD_Tellum",
                    1,
                    "mod_tellum"},
        // Not running now: no entry is selected, but the name is not lost.
        AdapterCase{"StoredButNotRegistered", {"mod_varnel"}, "mod_tellum", -1, "mod_tellum"},
        AdapterCase{"StoredWithNoAdapterRegistered", {}, "mod_varnel", -1, "mod_varnel"}),
    [](const auto& info) { return std::string(info.param.name); });

struct NumberCase {
    const char* name;
    const char* storedInterval;
    const char* storedDialect;
    int shownInterval;
    int shownDialect;
};

void PrintTo(const NumberCase& c, std::ostream* os) {
    *os << c.name;
}

class PbxManagerNumbers : public PbxManagerFormTest,
                          public testing::WithParamInterface<NumberCase> {};

TEST_P(PbxManagerNumbers, StoredTextsShowAsNumbersWithinTheirLimits) {
    const NumberCase& c = GetParam();
    section->set("timer_interval", c.storedInterval);
    section->set("db.dialect", c.storedDialect);
    show([&](QDialog& dialog) {
        EXPECT_EQ(Control<QSpinBox>(dialog, "edTimerInterval")->value(), c.shownInterval);
        EXPECT_EQ(Control<QSpinBox>(dialog, "edSQLDialect")->value(), c.shownDialect);
        Press(Qt::Key_Escape);
    });
}

INSTANTIATE_TEST_SUITE_P(Cases, PbxManagerNumbers,
                         testing::Values(NumberCase{"Numbers", "250", "2", 250, 2},
                                         NumberCase{"NotNumbers", "5s", "x", 0, 1},
                                         NumberCase{"Empty", "", "", 0, 1},
                                         NumberCase{"SpacesAround", " 100 ", " 3", 100, 3},
                                         NumberCase{"DialectAboveThree", "1", "7", 1, 3},
                                         NumberCase{"DialectBelowOne", "1", "0", 1, 1},
                                         NumberCase{"IntervalTooBig", "99999999999", "1", 0, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PbxManagerFormTest, DialectCanOnlyBeOneToThree) {
    const bool confirmed = show([&](QDialog& dialog) {
        auto* dialect = Control<QSpinBox>(dialog, "edSQLDialect");
        EXPECT_EQ(dialect->minimum(), 1);
        EXPECT_EQ(dialect->maximum(), 3);
        dialect->setFocus();
        for (int i = 0; i < 4; ++i)
            Press(Qt::Key_Down);
        EXPECT_EQ(dialect->value(), 1);
        for (int i = 0; i < 4; ++i)
            Press(Qt::Key_Up);
        EXPECT_EQ(dialect->value(), 3);
        // A typed 5 is refused; the field keeps what it had.
        Press(Qt::Key_A, Qt::ControlModifier);
        Type("5");
        Press(Qt::Key_Tab);
        EXPECT_EQ(dialect->text(), "3");
        EXPECT_EQ(dialect->value(), 3);
        Click(Control<QPushButton>(dialog, "btnOk"));
    });
    EXPECT_TRUE(confirmed);
    EXPECT_EQ(section->get("db.dialect"), "3");
}

} // namespace
