// The common configuration dialog's tree grid: Enter or F2 opens the value
// cell of the current row for editing, and an Enter that ends an edit stays
// in the grid instead of reaching the dialog's default button. The value
// editor accepts only characters the installation's code page can store.
#pragma once

#include "frame/dialog_form.h"

#include <QPointer>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <functional>

namespace frame {

class TCfgGrid : public QTreeWidget {
public:
    static constexpr int KeyColumn = 0;
    static constexpr int ValueColumn = 1;
    static constexpr int PathColumn = 2;

    using QTreeWidget::QTreeWidget;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class TCfgValueDelegate : public QStyledItemDelegate {
public:
    using EditCheck = std::function<bool(const QModelIndex&)>;
    // `mayEdit` tells which cells open an editor; the editors take the
    // form's code-page validator.
    TCfgValueDelegate(const TmirvFormF& form, EditCheck mayEdit, QObject* parent)
        : QStyledItemDelegate(parent), form_(form), mayEdit_(std::move(mayEdit)) {}

    // Hands the text of an editor that is still open to the grid.
    void commitOpenEditor();

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;

private:
    const TmirvFormF& form_;
    EditCheck mayEdit_;
    mutable QPointer<QWidget> openEditor_;
};

} // namespace frame
