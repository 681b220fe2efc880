// Acting on modal dialogs the way a person does, for tests on the offscreen
// platform: wait for the dialog to show, click cells and buttons, press keys,
// type text (Cyrillic included).
#pragma once

#include "test_support/modal_dialog.h"

#include <QString>
#include <QStringList>

#include <functional>

class QDialog;
class QLineEdit;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace gui_test {

using test_support::RunWithDialog;
using test_support::WithDialog;

// The row reached from the top-level row through the keys in `keys`.
QTreeWidgetItem* Row(QTreeWidget& grid, const QStringList& keys);
// A mouse click on a cell, like a person selecting it.
void ClickCell(QTreeWidget& grid, QTreeWidgetItem* row, int column);
void DoubleClickCell(QTreeWidget& grid, QTreeWidgetItem* row, int column);
void Click(QWidget* widget);

// Presses a key on the focused widget and lets queued work (the item
// delegate's commit after Enter) run.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Types `text` into the focused widget, one key per character.
void Type(const QString& text);
// The widget that has the keyboard focus (never null: fails the test instead).
QWidget* Focused();

// The editor open in a cell of `grid` (it has the focus), or nullptr.
QLineEdit* OpenEditor(QTreeWidget& grid);

// Opens the value cell of `row` with Enter, replaces the whole text with
// `text` and ends the edit with Enter.
void EditValue(QTreeWidget& grid, QTreeWidgetItem* row, const QString& text);

} // namespace gui_test
