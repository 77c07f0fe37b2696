#include "dialog/qt/import_preview.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "dialog/qt/qt_text.h"

namespace orbisk::qt {

std::optional<std::string> ShowImportPreview(QWidget* parent, const ImportPreview& preview) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ImportPreview"));
    dialog.setWindowTitle(QStringLiteral("Import remote"));
    auto* layout = new QVBoxLayout(&dialog);

    auto* summary = new QLabel(ToQt(preview.file + "\n" + preview.summary), &dialog);
    summary->setObjectName(QStringLiteral("ImportSummary"));
    summary->setTextFormat(Qt::PlainText);
    summary->setWordWrap(true);
    layout->addWidget(summary);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(preview.severalRemotes ? QStringLiteral("Before the remotes' names:")
                                                         : QStringLiteral("Remote control:"),
                                  &dialog));
    auto* name = new QLineEdit(ToQt(preview.remoteName), &dialog);
    name->setObjectName(QStringLiteral("ImportRemoteName"));
    nameRow->addWidget(name, 1);
    layout->addLayout(nameRow);

    auto* keys = new QTableWidget(static_cast<int>(preview.keys.size()), 5, &dialog);
    keys->setObjectName(QStringLiteral("ImportKeys"));
    keys->setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Remote Control"), QStringLiteral("Frame"),
                                     QStringLiteral("Code"), QStringLiteral("Presses")});
    keys->setEditTriggers(QAbstractItemView::NoEditTriggers);
    keys->setSelectionBehavior(QAbstractItemView::SelectRows);
    keys->verticalHeader()->hide();
    for (int row = 0; row < keys->rowCount(); ++row) {
        const ImportPreview::Key& key = preview.keys[static_cast<std::size_t>(row)];
        const std::string cells[] = {key.name, key.remote, key.frame, key.code,
                                     key.stable ? "stable" : "learn this key"};
        for (int column = 0; column < 5; ++column)
            keys->setItem(row, column, new QTableWidgetItem(ToQt(cells[column])));
    }
    keys->resizeColumnsToContents();
    layout->addWidget(keys, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Import"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);
    dialog.resize(640, 420);

    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return BytesFor(name->text(), preview.remoteName);
}

}  // namespace orbisk::qt
