// The real dialogs: Qt message boxes and an input box.
#pragma once

#include "desktop/dialog_service.h"

namespace quorvane {

class QtDialogService : public DialogService {
public:
    void showMessage(const QString& text) override;
    void showError(const QString& text) override;
    bool question(const QString& text) override;
    QString inputBox(const QString& title, const QString& prompt, const QString& initialText, int maxLength) override;
    std::optional<QString> askText(const QString& title, const QString& prompt, const QString& initialText,
                                   int maxLength) override;
    QString saveFileName(const QString& title, const QString& suggested, const QString& filter) override;
    QString openFileName(const QString& title, const QString& filter) override;
};

} // namespace quorvane
