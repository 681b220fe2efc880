#include "frame/common_cfg_form.h"

#include "cfg_grid.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

namespace frame {

namespace {

constexpr int KeyColumn = TCfgGrid::KeyColumn;
constexpr int ValueColumn = TCfgGrid::ValueColumn;
constexpr int PathColumn = TCfgGrid::PathColumn;
// The bytes behind a row's value and path, kept beside the texts shown.
constexpr int BytesRole = Qt::UserRole;

QByteArray Bytes(const std::string& text) {
    return QByteArray(text.data(), qsizetype(text.size()));
}

std::string Text(const QVariant& bytes) {
    const QByteArray array = bytes.toByteArray();
    return std::string(array.constData(), size_t(array.size()));
}

// Blank as the configuration sees it: nothing but spaces and control bytes.
bool IsBlank(const std::string& value) {
    return std::all_of(value.begin(), value.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

} // namespace

TfrmCommonEditor::TfrmCommonEditor(rtl::IContext* context, rtl::IConfiguration* configuration,
                                   bool treeMode, std::string moduleName, QWidget* parent)
    : TmirvFormF(parent), context_(context), moduleName_(std::move(moduleName)),
      configuration_(configuration), treeMode_(treeMode) {
    setObjectName("TfrmCommonEditor");
    setWindowTitle(QStringLiteral("Настройки на модул"));
    resize(512, 419);

    grdCfg = new TCfgGrid(this);
    grdCfg->setObjectName("grdCfg");
    grdCfg->setColumnCount(3);
    grdCfg->setHeaderLabels({QStringLiteral("Настройка"), QStringLiteral("Стойност"), "Path"});
    grdCfg->setColumnHidden(PathColumn, true);
    grdCfg->header()->setSectionsMovable(true);
    grdCfg->header()->setSectionResizeMode(QHeaderView::Interactive);
    grdCfg->header()->setStretchLastSection(true);
    grdCfg->setColumnWidth(KeyColumn, 249);
    grdCfg->setColumnWidth(ValueColumn, 251);
    // A click on the selected cell does not open it: its delayed start would
    // swallow an Enter pressed right after.
    grdCfg->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    grdCfg->setAllColumnsShowFocus(true);
    valueDelegate = new TCfgValueDelegate(
        *this, [this](const QModelIndex& cell) { return grdCfgEditing(cell); }, grdCfg);
    grdCfg->setItemDelegate(valueDelegate);

    pnlActions = new QWidget(this);
    pnlActions->setObjectName("pnlActions");
    pnlActions->setFixedHeight(46);
    btnSave = new QPushButton(QStringLiteral("Запиши (Enter)"), pnlActions);
    btnSave->setObjectName("btnSave");
    btnSave->setFixedSize(120, 35);
    btnCancel = new QPushButton(QStringLiteral("Отказ (Esc)"), pnlActions);
    btnCancel->setObjectName("btnCancel");
    btnCancel->setFixedSize(120, 35);
    // Right-anchored: the save button's left edge at 258 and the cancel
    // button's at 383 in a dialog 512 wide.
    auto* buttons = new QHBoxLayout(pnlActions);
    buttons->setContentsMargins(0, 6, 9, 5);
    buttons->setSpacing(5);
    buttons->addStretch();
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);
    bindActions(btnSave, btnCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(grdCfg);
    layout->addWidget(pnlActions);

    // Enter belongs to the grid while it has the focus; Ctrl+Enter saves from anywhere.
    for (const auto key : {Qt::CTRL | Qt::Key_Return, Qt::CTRL | Qt::Key_Enter}) {
        auto* save = new QShortcut(QKeySequence(key), this);
        connect(save, &QShortcut::activated, this, [this] { ActionOk(); });
    }
}

bool TfrmCommonEditor::grdCfgEditing(const QModelIndex& cell) const {
    return cell.column() == ValueColumn && cell.parent().isValid();
}

QTreeWidgetItem* TfrmCommonEditor::addRow(QTreeWidgetItem* parent, const std::string& key,
                                          const std::string& value, const std::string& path) {
    auto* row = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(grdCfg);
    const std::string& rowPath = path.empty() ? key : path;
    row->setText(KeyColumn, decode(key));
    row->setText(ValueColumn, decode(value));
    row->setData(ValueColumn, BytesRole, Bytes(value));
    row->setText(PathColumn, decode(rowPath));
    row->setData(PathColumn, BytesRole, Bytes(rowPath));
    row->setFlags(row->flags() | Qt::ItemIsEditable);
    return row;
}

void TfrmCommonEditor::addChildren(QTreeWidgetItem* row, rtl::IResTree& node) {
    for (const auto& child : node.children())
        addChildren(addRow(row, child->name(), child->value(), child->path()), *child);
}

void TfrmCommonEditor::refreshData() {
    TmirvFormF::refreshData();

    grdCfg->setUpdatesEnabled(false);
    grdCfg->setSortingEnabled(false);
    grdCfg->clear();
    rtl::Ref<rtl::IResTree> root = configuration_->tree();
    QTreeWidgetItem* rootRow = addRow(nullptr, root->name(), root->value(), root->name());
    if (treeMode_) {
        addChildren(rootRow, *root);
    } else {
        // Sections stay out of the flat list: blanking one would remove every
        // setting below it.
        for (const auto& node : root->descendants()) {
            if (node->children().empty())
                addRow(rootRow, node->path(), node->value(), node->path());
        }
    }
    grdCfg->sortByColumn(KeyColumn, Qt::AscendingOrder);
    grdCfg->setSortingEnabled(true);
    grdCfg->setUpdatesEnabled(true);
    grdCfg->expandAll();

    grdCfg->setCurrentItem(rootRow->childCount() ? rootRow->child(0) : rootRow, ValueColumn);
    grdCfg->setFocus();
}

void TfrmCommonEditor::transferData() {
    TmirvFormF::transferData();
    // Ctrl+Enter can save while a value is still being edited.
    valueDelegate->commitOpenEditor();
    QTreeWidgetItem* rootRow = grdCfg->topLevelItem(0);
    for (int i = 0; rootRow && i < rootRow->childCount(); ++i)
        storeRow(rootRow->child(i));
}

void TfrmCommonEditor::storeRow(QTreeWidgetItem* row) {
    // A value shown and left as it was is stored with its own bytes.
    std::string value = Text(row->data(ValueColumn, BytesRole));
    if (row->text(ValueColumn) != decode(value))
        value = encode(row->text(ValueColumn));
    const std::string path = Text(row->data(PathColumn, BytesRole));
    if (!IsBlank(value) || row->childCount() > 0)
        configuration_->set(path, value);
    else
        configuration_->remove(path);
    for (int i = 0; i < row->childCount(); ++i)
        storeRow(row->child(i));
}

void TfrmCommonEditor::localFinalize() {
    context_.reset();
    TmirvFormF::localFinalize();
}

} // namespace frame
