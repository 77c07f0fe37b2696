#include "dialog/qt/code_list.h"

#include <QHeaderView>
#include <QLineEdit>

#include <utility>

#include "dialog/qt/qt_text.h"

namespace orbisk::qt {

QWidget* CaptionDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&,
                                       const QModelIndex& index) const {
    auto* editor = new QLineEdit(parent);
    // A widget's style does not pass to children made later.
    editor->setStyle(parent->style());
    openEditor = editor;
    openRow = index.row();
    return editor;
}

void CaptionDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const {
    if (auto* line = qobject_cast<QLineEdit*>(editor)) committed = Commit{index.row(), line->text()};
}

CodeList::CodeList(QWidget* parent) : QTableWidget(0, 3, parent), delegate_(new CaptionDelegate(this)) {
    setItemDelegate(delegate_);
    setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Remote Control"),
                               QStringLiteral("Code")});
    QHeaderView* header = horizontalHeader();
    header->setMinimumSectionSize(80);
    header->setSectionsClickable(false);
    header->setSectionsMovable(false);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setColumnWidth(0, 120);
    setColumnWidth(1, 160);
    setColumnWidth(2, 120);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(17);
    setShowGrid(true);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A click on the caption of the selected row, or F2, edits it.
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    // Tab leaves the list, as it does any other control.
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
}

void CodeList::FillRow(int row, const CodeRow& content) {
    const std::string_view texts[3] = {content.caption, content.remote, content.code};
    for (int column = 0; column < 3; ++column) {
        auto* item = new QTableWidgetItem(ToQt(texts[column]));
        Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
        if (column == 0) flags |= Qt::ItemIsEditable;
        item->setFlags(flags);
        setItem(row, column, item);
    }
}

void CodeList::SetRows(const std::vector<CodeRow>& rows) {
    CancelEdit();
    rows_ = rows;
    clearSelection();
    setRowCount(0);
    setRowCount(static_cast<int>(rows_.size()));
    for (std::size_t i = 0; i < rows_.size(); ++i) FillRow(static_cast<int>(i), rows_[i]);
}

void CodeList::UpdateRow(int row, const CodeRow& content) {
    if (row < 0 || row >= rowCount()) return;
    rows_[static_cast<std::size_t>(row)] = content;
    const std::string_view texts[3] = {content.caption, content.remote, content.code};
    for (int column = 0; column < 3; ++column) item(row, column)->setText(ToQt(texts[column]));
}

int CodeList::SelectedRow() const {
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void CodeList::SelectRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    setCurrentCell(row, 0, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollToItem(item(row, 0));
}

void CodeList::StartEdit(int row) {
    if (row < 0 || row >= rowCount()) return;
    scrollToItem(item(row, 0));
    editItem(item(row, 0));
}

QWidget* CodeList::OpenEditor() const { return delegate_->openEditor; }

int CodeList::EditingRow() const { return delegate_->openEditor != nullptr ? delegate_->openRow : -1; }

void CodeList::CancelEdit() {
    if (QWidget* editor = delegate_->openEditor) closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
}

std::optional<CaptionEdit> CodeList::TakeOpenEdit() {
    auto* editor = qobject_cast<QLineEdit*>(delegate_->openEditor);
    if (editor == nullptr) return std::nullopt;
    CaptionEdit edit{delegate_->openRow, CaptionBytes(delegate_->openRow, editor->text())};
    closeEditor(editor, QAbstractItemDelegate::NoHint);
    return edit;
}

std::string CodeList::CaptionBytes(int row, const QString& text) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return FromQt(text);
    return BytesFor(text, rows_[static_cast<std::size_t>(row)].caption);
}

void CodeList::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    // Tab ends the edit as leaving the field does; it does not walk on to
    // another row's caption.
    if (hint == QAbstractItemDelegate::EditNextItem || hint == QAbstractItemDelegate::EditPreviousItem)
        hint = QAbstractItemDelegate::NoHint;
    if (editor == delegate_->openEditor) {
        delegate_->openEditor = nullptr;
        delegate_->openRow = -1;
    }
    QTableWidget::closeEditor(editor, hint);
    // Reported only now that the editor is closed: the presenter may then
    // replace every row.
    if (std::optional<CaptionDelegate::Commit> commit = std::exchange(delegate_->committed, std::nullopt);
        commit && onEdited)
        onEdited(commit->row, CaptionBytes(commit->row, commit->text));
}

}  // namespace orbisk::qt
