// A dialog service for tests: records every box and answers input boxes from a script.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

#include "desktop/dialog_service.h"

namespace quorvane::test {

class ScriptedDialogs : public DialogService {
public:
    ScriptedDialogs();           // installs itself as the program's dialog service
    ~ScriptedDialogs() override; // restores the Qt dialogs

    void showMessage(const QString& text) override;
    void showError(const QString& text) override;
    bool question(const QString& text) override; // records it; answers from answerQuestion, else otherAnswers
    QString inputBox(const QString& title, const QString& prompt, const QString& initialText, int maxLength) override;
    std::optional<QString> askText(const QString& title, const QString& prompt, const QString& initialText,
                                   int maxLength) override; // answered as inputBox, from the same script
    QString saveFileName(const QString& title, const QString& suggested, const QString& filter) override;
    QString openFileName(const QString& title, const QString& filter) override;
    // The next file dialog's answer; an empty one stands for "Cancel" (also once they are used up).
    void answerFile(const QString& file) { m_fileAnswers << file; }
    QStringList fileDialogs; // each one's title and, for a save, the name it suggested
    // Addresses the program would have opened in the browser; none is opened.
    bool openUrl(const QUrl& url) override {
        openedUrls << url.toString();
        return true;
    }
    QStringList openedUrls;

    // Next input box answers; std::nullopt stands for "Cancel".
    void answerInput(std::optional<QString> answer) { m_inputAnswers.push_back(std::move(answer)); }

    void answerQuestion(bool yes) { m_questionAnswers.push_back(yes); }
    bool otherAnswers = false; // the answer once the scripted ones are used up

    // Called inside each message box, as if the user looked at it before pressing OK.
    std::function<void(const QString&)> onMessage;
    // Called inside each question, before it is answered.
    std::function<void(const QString&)> onQuestion;

    QStringList messages;
    QStringList errors;
    QStringList questions;
    struct InputBox {
        QString title, prompt, initialText;
        int maxLength = 0;
    };
    std::vector<InputBox> inputBoxes;

private:
    std::deque<std::optional<QString>> m_inputAnswers;
    std::deque<bool> m_questionAnswers;
    QStringList m_fileAnswers;
};

} // namespace quorvane::test
