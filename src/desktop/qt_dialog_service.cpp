// Qt message boxes and the name prompt.
#include "desktop/qt_dialog_service.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QGridLayout>
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

// A box sized by a short text would cut its own title, the application title, in the title bar.
void showBox(QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, applicationTitle(), text, QMessageBox::Ok);
    // Names, commands and a client's words come from files and servers: never read as HTML.
    box.setTextFormat(Qt::PlainText);
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        const int titleWidth = box.fontMetrics().horizontalAdvance(applicationTitle()) + 120;
        grid->addItem(new QSpacerItem(titleWidth, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0,
                      1, grid->columnCount());
    }
    box.exec();
}
} // namespace

void QtDialogService::showMessage(const QString& text) {
    showBox(QMessageBox::NoIcon, text);
}

void QtDialogService::showError(const QString& text) {
    showBox(QMessageBox::Critical, text);
}

bool QtDialogService::question(const QString& text) {
    QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::Yes | QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(dialogText(QStringLiteral("BottoneSi")));
    box.button(QMessageBox::No)->setText(dialogText(QStringLiteral("BottoneNo")));
    return box.exec() == QMessageBox::Yes;
}

QString QtDialogService::inputBox(const QString& title, const QString& prompt, const QString& initialText,
                                  int maxLength) {
    return askText(title, prompt, initialText, maxLength).value_or(initialText);
}

QString QtDialogService::saveFileName(const QString& title, const QString& suggested, const QString& filter) {
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), title, suggested, filter);
}

QString QtDialogService::openFileName(const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, QString(), filter);
}

std::optional<QString> QtDialogService::askText(const QString& title, const QString& prompt, const QString& initialText,
                                                int maxLength) {
    QDialog dialog;
    dialog.setWindowTitle(title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* label = new QLabel(prompt, &dialog);
    label->setTextFormat(Qt::PlainText);
    layout->addWidget(label);
    auto* field = new QLineEdit(initialText, &dialog);
    field->setMaxLength(maxLength);
    field->setMinimumWidth(260);
    layout->addWidget(field);
    auto* buttons = new QDialogButtonBox(&dialog);
    buttons->addButton(dialogText(QStringLiteral("BottoneOk")), QDialogButtonBox::AcceptRole);
    buttons->addButton(dialogText(QStringLiteral("BottoneAnnulla")), QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    dialog.setFixedSize(dialog.sizeHint());
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return field->text();
}

} // namespace quorvane
