// Qt's own words (a text field's menu, the file dialog's buttons) in the language of the program's texts.
#pragma once

#include <QString>
#include <memory>
#include <string>

class QTranslator;

namespace quorvane {

// The language a language file declares for Qt's own words, in its section "Language" (Qt=it); without a
// file the program speaks its built-in Italian. Empty: the file declares none, and Qt speaks English as before.
std::string qtLanguageOf(const std::string& languageFile);

class QtTranslations {
public:
    explicit QtTranslations(QString programFolder);
    ~QtTranslations();

    // Qt's translation for the file's language, looked for beside the program ("translations/", as the Windows
    // package ships it) and then where Qt keeps its own; the one before is removed. False when none was found.
    bool follow(const std::string& languageFile);
    const QString& language() const { return m_language; }

private:
    QString m_programFolder;
    QString m_language;
    std::unique_ptr<QTranslator> m_translator;
};

} // namespace quorvane
