// TfrmPBXEditor: the PBX manager's configuration dialog over its section
// "mod_quorvin": which PBX adapter to drive (chosen among the adapters
// registered in the context), the cycle's timer interval and the front
// database connection.
#pragma once

#include "frame/dialog_form.h"

#include "rtl/configuration.h"
#include "rtl/context.h"

#include <string>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TfrmPBXEditor : public frame::TmirvFormF {
public:
    TfrmPBXEditor(rtl::IContext* context, rtl::IConfiguration* section,
                  QWidget* parent = frame::DialogParent());

    rtl::IContext* context() override { return context_.get(); }
    std::string moduleName() override { return "mod_quorvin"; }

protected:
    void refreshData() override;
    void transferData() override;
    void localFinalize() override;

private:
    // Lists the registered adapters' names and selects `current` among them,
    // whatever its letter case.
    void fillAdapterList(const std::string& current);

    rtl::Ref<rtl::IContext> context_;
    rtl::Ref<rtl::IConfiguration> section_;

    QLabel* lblPBXAdapter;
    QComboBox* cmbPBXAdapter;
    QLabel* lblTimerInterval;
    QSpinBox* edTimerInterval;
    QGroupBox* grpDataBase;
    QLineEdit* edDBName;
    QLineEdit* edUserName;
    QLineEdit* edPassword;
    QLineEdit* edRole;
    QSpinBox* edSQLDialect;
    QPushButton* btnOk;
    QPushButton* btnCancel;
};
