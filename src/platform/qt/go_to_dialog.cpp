#include "platform/qt/go_to_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

namespace pavo::qt {

std::optional<QString> runGoToDialog(QWidget* owner, std::int32_t position, std::int32_t count) {
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Go to"));
    auto* field = new QLineEdit(QString::number(position), &dialog);
    field->setObjectName(QStringLiteral("position"));
    field->setAlignment(Qt::AlignRight);
    field->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    field->selectAll();
    auto* total = new QLineEdit(QString::number(count), &dialog);
    total->setObjectName(QStringLiteral("count"));
    total->setReadOnly(true);
    total->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("Go to file"), &dialog));
    row->addWidget(field);
    row->addWidget(new QLabel(QStringLiteral("/"), &dialog));
    row->addWidget(total);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addLayout(row);
    layout->addWidget(buttons);
    // Qt centres a modal dialog over its visible owner.
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return field->text();
}

}  // namespace pavo::qt
