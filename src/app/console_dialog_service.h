// The dialog service of a start that runs commands without windows: boxes become lines on standard error.
#pragma once

#include <string>

#include "app/dialog_service.h"

namespace quorvane {

class ConsoleDialogService : public DialogService {
public:
    void showMessage(const QString& text) override;
    void showError(const QString& text) override;
    // Nobody is there to answer: no. A host key is never trusted from the command line.
    bool question(const QString& text) override;
    QString inputBox(const QString& title, const QString& prompt, const QString& initialText, int maxLength) override;

    const std::string& text() const { return m_text; } // everything told, in order

private:
    std::string m_text;
};

} // namespace quorvane
