// TfrmCommonEditor: the common configuration dialog. It lists one plug-in's
// configuration branch as a tree of settings and values (grid grdCfg, rows
// sorted by key within each level, all expanded), lets the user change the
// values below the root row and, when the user saves, writes them back:
// a blank leaf is removed, a row with children is written even when blank,
// values keep their surrounding spaces. Cancel leaves the branch untouched.
#pragma once

#include "frame/dialog_form.h"

#include "rtl/configuration.h"
#include "rtl/context.h"

#include <string>

class QModelIndex;
class QPushButton;
class QTreeWidgetItem;

namespace frame {

class TCfgGrid;
class TCfgValueDelegate;

class TfrmCommonEditor : public TmirvFormF {
public:
    // `treeMode` lists nested settings under their sections; otherwise every
    // setting without children is one row under the root row, named by its path.
    TfrmCommonEditor(rtl::IContext* context, rtl::IConfiguration* configuration, bool treeMode,
                     std::string moduleName, QWidget* parent);

    rtl::IContext* context() override { return context_.get(); }
    std::string moduleName() override { return moduleName_; }

    // Whether a cell may be edited: the value cell of every row below the root row.
    bool grdCfgEditing(const QModelIndex& cell) const;

protected:
    void refreshData() override;
    void transferData() override;
    void localFinalize() override;

private:
    QTreeWidgetItem* addRow(QTreeWidgetItem* parent, const std::string& key,
                            const std::string& value, const std::string& path);
    void addChildren(QTreeWidgetItem* row, rtl::IResTree& node);
    void storeRow(QTreeWidgetItem* row);

    rtl::Ref<rtl::IContext> context_;
    std::string moduleName_;
    rtl::Ref<rtl::IConfiguration> configuration_;
    bool treeMode_;

    TCfgGrid* grdCfg;
    TCfgValueDelegate* valueDelegate;
    QWidget* pnlActions;
    QPushButton* btnSave;
    QPushButton* btnCancel;
};

} // namespace frame
