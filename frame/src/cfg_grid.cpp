#include "cfg_grid.h"

#include <QKeyEvent>
#include <QLineEdit>

#include <limits>

namespace frame {

namespace {

bool IsPlainEnter(const QKeyEvent& event) {
    const bool enter = event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter;
    return enter && (event.modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

} // namespace

void TCfgGrid::keyPressEvent(QKeyEvent* event) {
    const bool editKey = IsPlainEnter(*event) ||
                         (event->key() == Qt::Key_F2 && event->modifiers() == Qt::NoModifier);
    if (!editKey) {
        QTreeWidget::keyPressEvent(event);
        return;
    }
    // While a cell is edited, its editor's Enter arrives here after the
    // delegate has queued the commit; it ends there.
    if (state() != EditingState && currentIndex().isValid())
        edit(currentIndex().siblingAtColumn(ValueColumn));
    event->accept();
}

QWidget* TCfgValueDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                         const QModelIndex& index) const {
    if (!mayEdit_(index))
        return nullptr;
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(editor)) {
        line->setMaxLength(std::numeric_limits<int>::max());
        line->setValidator(form_.codePageValidator(line));
    }
    openEditor_ = editor;
    return editor;
}

void TCfgValueDelegate::commitOpenEditor() {
    // A closed editor is hidden until its deferred deletion.
    if (openEditor_ && openEditor_->isVisible())
        emit commitData(openEditor_);
}

} // namespace frame
