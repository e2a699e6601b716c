// Boxes as lines of text, collected for standard error.
#include "app/console_dialog_service.h"

namespace quorvane {

void ConsoleDialogService::showMessage(const QString& text) {
    m_text += "quorvane: " + text.toStdString() + "\n";
}

void ConsoleDialogService::showError(const QString& text) {
    m_text += "quorvane: " + text.toStdString() + "\n";
}

bool ConsoleDialogService::question(const QString& text) {
    m_text += "quorvane: " + text.toStdString() + " (no)\n";
    return false;
}

QString ConsoleDialogService::inputBox(const QString&, const QString&, const QString& initialText, int) {
    return initialText;
}

} // namespace quorvane
