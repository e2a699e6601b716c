// Scripted dialog answers for tests.
#include "support/scripted_dialogs.h"

namespace quorvane::test {

ScriptedDialogs::ScriptedDialogs() {
    setDialogService(this);
}

ScriptedDialogs::~ScriptedDialogs() {
    setDialogService(nullptr);
}

void ScriptedDialogs::showMessage(const QString& text) {
    messages << text;
    if (onMessage)
        onMessage(text);
}

void ScriptedDialogs::showError(const QString& text) {
    errors << text;
}

bool ScriptedDialogs::question(const QString& text) {
    questions << text;
    if (onQuestion)
        onQuestion(text);
    if (m_questionAnswers.empty())
        return otherAnswers;
    const bool yes = m_questionAnswers.front();
    m_questionAnswers.pop_front();
    return yes;
}

QString ScriptedDialogs::inputBox(const QString& title, const QString& prompt, const QString& initialText,
                                  int maxLength) {
    return askText(title, prompt, initialText, maxLength).value_or(initialText);
}

std::optional<QString> ScriptedDialogs::askText(const QString& title, const QString& prompt, const QString& initialText,
                                                int maxLength) {
    inputBoxes.push_back({title, prompt, initialText, maxLength});
    if (m_inputAnswers.empty())
        return initialText;
    std::optional<QString> answer = std::move(m_inputAnswers.front());
    m_inputAnswers.pop_front();
    if (answer)
        return answer->left(maxLength);
    return std::nullopt;
}

QString ScriptedDialogs::saveFileName(const QString& title, const QString& suggested, const QString&) {
    fileDialogs << title + ": " + suggested;
    return m_fileAnswers.empty() ? QString() : m_fileAnswers.takeFirst();
}

QString ScriptedDialogs::openFileName(const QString& title, const QString&) {
    fileDialogs << title;
    return m_fileAnswers.empty() ? QString() : m_fileAnswers.takeFirst();
}

} // namespace quorvane::test
