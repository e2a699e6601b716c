// Loads Qt's own translation to match the language file.
#include "i18n/qt_translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include "i18n/language_file.h"
#include "store/file_system.h"
#include "store/ini_file.h"

namespace quorvane {

std::string qtLanguageOf(const std::string& languageFile) {
    std::string bytes;
    const fs::FileStatus status = fs::readFileNoFollow(languageFile, language::kMaxFileBytes, bytes);
    if (status == fs::FileStatus::Missing)
        return "it";
    if (status != fs::FileStatus::Ok)
        return {}; // refused as the texts are (the start says why)
    const std::string code = IniText(std::move(bytes)).readString("Language", "Qt", "");
    // A name, never a path: it becomes part of a file name.
    for (const char c : code) {
        if (!(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && c != '_')
            return {};
    }
    return code.size() <= 16 ? code : std::string();
}

QtTranslations::QtTranslations(QString programFolder) : m_programFolder(std::move(programFolder)) {}

QtTranslations::~QtTranslations() {
    if (m_translator)
        QCoreApplication::removeTranslator(m_translator.get());
}

bool QtTranslations::follow(const std::string& languageFile) {
    const QString language = QString::fromStdString(qtLanguageOf(languageFile));
    if (language == m_language && (m_translator || language.isEmpty()))
        return true;
    if (m_translator) {
        QCoreApplication::removeTranslator(m_translator.get());
        m_translator.reset();
    }
    m_language = language;
    if (language.isEmpty())
        return true;
    auto translator = std::make_unique<QTranslator>();
    const QString name = QStringLiteral("qtbase_") + language;
    const QString folders[] = {QDir(m_programFolder).filePath(QStringLiteral("translations")),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath)};
    for (const QString& folder : folders) {
        if (translator->load(name, folder)) {
            QCoreApplication::installTranslator(translator.get());
            m_translator = std::move(translator);
            return true;
        }
    }
    return false;
}

} // namespace quorvane
