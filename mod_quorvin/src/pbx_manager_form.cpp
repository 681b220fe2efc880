#include "pbx_manager_form.h"

#include "frame/pbxAdapter_int.h"

#include "rtl/numbers.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <limits>

namespace {

QLabel* Label(const char* name, const char* text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    return label;
}

template <typename W> W* Named(W* widget, const char* name) {
    widget->setObjectName(name);
    return widget;
}

} // namespace

TfrmPBXEditor::TfrmPBXEditor(rtl::IContext* context, rtl::IConfiguration* section, QWidget* parent)
    : TmirvFormF(parent), context_(context), section_(section) {
    setObjectName("TfrmPBXEditor");
    setWindowTitle("PBX manager configuration");
    resize(445, 221);

    cmbPBXAdapter = Named(new QComboBox(this), "cmbPBXAdapter");
    cmbPBXAdapter->setEditable(true);
    // A typed name is stored as typed; it does not join the list of adapters.
    cmbPBXAdapter->setInsertPolicy(QComboBox::NoInsert);
    cmbPBXAdapter->setValidator(codePageValidator(cmbPBXAdapter));
    lblPBXAdapter = Label("lblPBXAdapter", "PBXAdapter", cmbPBXAdapter, this);

    edTimerInterval = Named(new QSpinBox(this), "edTimerInterval");
    edTimerInterval->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
    edTimerInterval->setButtonSymbols(QAbstractSpinBox::NoButtons);
    edTimerInterval->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edTimerInterval->setMinimumWidth(100);
    lblTimerInterval = Label("lblTimerInterval", "Timer interval (Ms)", edTimerInterval, this);

    grpDataBase = Named(new QGroupBox("Front database ", this), "grpDataBase");
    edDBName = Named(new QLineEdit(grpDataBase), "edDBName");
    edUserName = Named(new QLineEdit(grpDataBase), "edUserName");
    edPassword = Named(new QLineEdit(grpDataBase), "edPassword");
    edPassword->setEchoMode(QLineEdit::Password);
    edRole = Named(new QLineEdit(grpDataBase), "edRole");
    for (QLineEdit* edit : {edDBName, edUserName, edPassword, edRole})
        edit->setValidator(codePageValidator(edit));
    edSQLDialect = Named(new QSpinBox(grpDataBase), "edSQLDialect");
    edSQLDialect->setRange(1, 3);
    edSQLDialect->setValue(1);

    auto* database = new QGridLayout(grpDataBase);
    database->addWidget(Label("lblDBName", "Name", edDBName, grpDataBase), 0, 0);
    database->addWidget(edDBName, 0, 1, 1, 3);
    database->addWidget(Label("lblUserName", "User name", edUserName, grpDataBase), 1, 0);
    database->addWidget(edUserName, 1, 1);
    database->addWidget(Label("lblPassword", "Password", edPassword, grpDataBase), 1, 2);
    database->addWidget(edPassword, 1, 3);
    database->addWidget(Label("lblRole", "Role", edRole, grpDataBase), 2, 0);
    database->addWidget(edRole, 2, 1);
    database->addWidget(Label("lblSQLDialect", "SQL Dialect", edSQLDialect, grpDataBase), 2, 2);
    database->addWidget(edSQLDialect, 2, 3, Qt::AlignLeft);
    database->setColumnStretch(1, 1);
    database->setColumnStretch(3, 1);

    btnOk = Named(new QPushButton(QStringLiteral("Запиши (Enter)"), this), "btnOk");
    btnCancel = Named(new QPushButton(QStringLiteral("Отказ (Esc)"), this), "btnCancel");
    for (QPushButton* button : {btnOk, btnCancel})
        button->setMinimumSize(120, 30);
    bindActions(btnOk, btnCancel);

    auto* top = new QGridLayout;
    top->addWidget(lblPBXAdapter, 0, 0);
    top->addWidget(cmbPBXAdapter, 0, 1);
    top->addWidget(lblTimerInterval, 1, 0);
    top->addWidget(edTimerInterval, 1, 1, Qt::AlignRight);
    top->setColumnStretch(1, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btnOk);
    buttons->addWidget(btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grpDataBase);
    layout->addStretch();
    layout->addLayout(buttons);
}

void TfrmPBXEditor::refreshData() {
    TmirvFormF::refreshData();
    fillAdapterList(section_->get("pbx_adapter", ""));
    edTimerInterval->setValue(rtl::IntOr(section_->get("timer_interval"), 0));
    edDBName->setText(decode(section_->get("db.name")));
    edUserName->setText(decode(section_->get("db.user_name")));
    edPassword->setText(decode(section_->get("db.password")));
    edRole->setText(decode(section_->get("db.sql_role_name")));
    edSQLDialect->setValue(rtl::IntOr(section_->get("db.dialect"), 1));
    cmbPBXAdapter->setFocus();
}

void TfrmPBXEditor::fillAdapterList(const std::string& current) {
    cmbPBXAdapter->clear();
    for (const auto& adapter : rtl::TContextQuery::all<frame::IPBXAdapter>(context_.get()))
        cmbPBXAdapter->addItem(decode(adapter->pluginName()));
    cmbPBXAdapter->setCurrentIndex(-1);
    cmbPBXAdapter->setEditText({});
    if (current.empty())
        return;
    // Qt::MatchFixedString compares without regard to letter case.
    const int found = cmbPBXAdapter->findText(decode(current), Qt::MatchFixedString);
    if (found >= 0)
        cmbPBXAdapter->setCurrentIndex(found);
    else
        // An adapter that is not running now keeps its name: confirming the
        // dialog for another setting must not unset the manager's adapter.
        cmbPBXAdapter->setEditText(decode(current));
}

void TfrmPBXEditor::transferData() {
    TmirvFormF::transferData();
    section_->set("pbx_adapter", encode(cmbPBXAdapter->currentText()));
    section_->set("timer_interval", std::to_string(edTimerInterval->value()));
    section_->set("db.name", encode(edDBName->text()));
    section_->set("db.user_name", encode(edUserName->text()));
    section_->set("db.password", encode(edPassword->text()));
    section_->set("db.sql_role_name", encode(edRole->text()));
    section_->set("db.dialect", std::to_string(edSQLDialect->value()));
}

void TfrmPBXEditor::localFinalize() {
    section_.reset();
    context_.reset();
    TmirvFormF::localFinalize();
}
