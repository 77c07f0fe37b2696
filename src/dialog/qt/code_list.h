#pragma once
// The code list: a report view with grid lines, one selected row, and
// in-place editing of the Key column only.  It shows the rows the presenter
// gives it and reports accepted caption edits; the presenter decides what an
// edit does to the rows.
#include <QPointer>
#include <QStyledItemDelegate>
#include <QTableWidget>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialog/setup_view.h"

namespace orbisk::qt {

class CaptionDelegate final : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    // Keeps the accepted text for the presenter instead of writing the model.
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override;

    struct Commit {
        int row;
        QString text;
    };
    mutable std::optional<Commit> committed;
    mutable QPointer<QWidget> openEditor;
    mutable int openRow = -1;
};

class CodeList final : public QTableWidget {
    Q_OBJECT
public:
    explicit CodeList(QWidget* parent);

    // Gets an accepted edit: the row and the text as bytes.
    std::function<void(int row, const std::string& text)> onEdited;

    void SetRows(const std::vector<CodeRow>& rows);
    void UpdateRow(int row, const CodeRow& content);
    int SelectedRow() const;
    void SelectRow(int row);
    void StartEdit(int row);
    void CancelEdit();
    std::optional<CaptionEdit> TakeOpenEdit();
    int EditingRow() const;
    QWidget* OpenEditor() const;

protected:
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void FillRow(int row, const CodeRow& content);
    std::string CaptionBytes(int row, const QString& text) const;

    CaptionDelegate* delegate_;
    std::vector<CodeRow> rows_;  // the bytes behind what is shown
};

}  // namespace orbisk::qt
