#include "dialog_driver.h"

#include <QApplication>
#include <QDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

namespace gui_test {


QTreeWidgetItem* Row(QTreeWidget& grid, const QStringList& keys) {
    QTreeWidgetItem* row = grid.topLevelItem(0);
    for (const QString& key : keys) {
        QTreeWidgetItem* found = nullptr;
        for (int i = 0; row && i < row->childCount() && !found; ++i) {
            if (row->child(i)->text(0) == key)
                found = row->child(i);
        }
        row = found;
    }
    EXPECT_TRUE(row) << "no row " << keys.join('/').toStdString();
    return row;
}

namespace {
QPoint CellCenter(QTreeWidget& grid, QTreeWidgetItem* row, int column) {
    grid.scrollToItem(row);
    const QRect rowRect = grid.visualItemRect(row);
    const int x =
        grid.header()->sectionViewportPosition(column) + grid.header()->sectionSize(column) / 2;
    return {x, rowRect.center().y()};
}
} // namespace

void ClickCell(QTreeWidget& grid, QTreeWidgetItem* row, int column) {
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, CellCenter(grid, row, column));
    QCoreApplication::processEvents();
}

void DoubleClickCell(QTreeWidget& grid, QTreeWidgetItem* row, int column) {
    const QPoint at = CellCenter(grid, row, column);
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, at);
    QCoreApplication::processEvents();
}

void Click(QWidget* widget) {
    QTest::mouseClick(widget, Qt::LeftButton);
    QCoreApplication::processEvents();
}

QWidget* Focused() {
    QWidget* widget = QApplication::focusWidget();
    EXPECT_TRUE(widget) << "nothing has the keyboard focus";
    return widget;
}

void Press(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QTest::keyClick(Focused(), key, modifiers);
    QCoreApplication::processEvents();
}

void Type(const QString& text) {
    // keyClicks aborts on characters outside Latin-1: each key carries its text.
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, Focused(), Qt::Key_unknown, QString(c), Qt::NoModifier);
    QCoreApplication::processEvents();
}

QLineEdit* OpenEditor(QTreeWidget& grid) {
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    return editor && grid.isAncestorOf(editor) ? editor : nullptr;
}

void EditValue(QTreeWidget& grid, QTreeWidgetItem* row, const QString& text) {
    ClickCell(grid, row, 0);
    Press(Qt::Key_Return);
    Press(Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        Press(Qt::Key_Delete);
    else
        Type(text);
    Press(Qt::Key_Return);
}

} // namespace gui_test
