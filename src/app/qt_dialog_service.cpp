// Qt message boxes and the name prompt.
#include "app/qt_dialog_service.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvane {

namespace {
QString applicationTitle() {
    return QApplication::applicationName();
}
} // namespace

void QtDialogService::showMessage(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok);
    box.exec();
}

void QtDialogService::showError(const QString& text) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok);
    box.exec();
}

QString QtDialogService::inputBox(const QString& title, const QString& prompt, const QString& initialText,
                                  int maxLength) {
    QDialog dialog;
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(prompt, &dialog));
    auto* field = new QLineEdit(initialText, &dialog);
    field->setMaxLength(maxLength);
    field->setMinimumWidth(260);
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.setFixedSize(dialog.sizeHint());
    return dialog.exec() == QDialog::Accepted ? field->text() : initialText;
}

} // namespace quorvane
