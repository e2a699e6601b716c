// The settings the options box changes, and the language they name.
#include "app/program_options.h"

#include <QStringList>

#include "desktop/dialog_service.h"
#include "desktop/options_dialog.h"
#include "i18n/language_engine.h"
#include "i18n/message_texts.h"
#include "i18n/qt_translations.h"
#include "store/file_system.h"
#include "store/paths.h"

namespace quorvane {

ProgramOptions::ProgramOptions(ProgramFolders folders)
    : m_folders(std::move(folders)), m_settings(loadProgramSettings(m_folders.data)) {}

ProgramOptions::~ProgramOptions() = default;

bool ProgramOptions::save() const {
    return saveProgramSettings(m_folders.data, m_settings);
}

bool ProgramOptions::edit(TOptions& box, const TfMessage& messages) {
    const ProgramSettings shown = settingsToShow(m_folders.data, m_settings);
    box.setSettings(shown, languageFiles(m_folders.program));
    if (box.exec() != QDialog::Accepted)
        return false;
    ProgramSettings chosen = box.settings();
    if (chosen.language == shown.language)
        chosen.language = m_settings.language; // left as it was: nothing to copy
    return apply(chosen, messages);
}

bool ProgramOptions::apply(const ProgramSettings& chosen, const TfMessage& messages) {
    const KeptSettings kept = keepProgramSettings(m_folders.program, m_folders.data, m_settings, chosen);
    if (!kept.languageNotCopied.empty())
        dialogs().showError(
            errorBoxText(filled(messages.LinguaNonApplicata(), {QString::fromStdString(chosen.language),
                                                                QString::fromStdString(kept.languageNotCopied)})));
    if (!kept.startAtLoginNotSet.empty())
        dialogs().showError(errorBoxText(filled(messages.text(QStringLiteral("AvvioAccessoNonImpostato")),
                                                {QString::fromStdString(kept.startAtLoginNotSet)})));
    if (!kept.saved)
        dialogs().showError(errorBoxText(filled(messages.OpzioniNonSalvate(), {settingsFile()})));
    const bool languageChanged = kept.settings.language != m_settings.language;
    m_settings = kept.settings;
    return languageChanged;
}

void ProgramOptions::readLanguage(TLanguageEngine& engine) {
    const std::string file = paths::LanguageFile(m_folders.data);
    if (!m_qtWords)
        m_qtWords = std::make_unique<QtTranslations>(QString::fromStdString(m_folders.program));
    m_qtWords->follow(file);
    engine.ApplyLanguageFile(QString::fromStdString(file));
    // A bad entry is told, and costs nothing else.
    if (const QStringList problems = engine.lastProblems(); !problems.isEmpty())
        dialogs().showError(errorBoxText(problems.join(QLatin1Char('\n'))));
}

std::string ProgramOptions::puttyLicence() const {
    return paths::PuttyLicence(m_folders.program);
}

std::string ProgramOptions::programLicence() const {
    return paths::ProgramLicence(m_folders.program);
}

QString ProgramOptions::settingsFile() const {
    return QString::fromStdString(quorvane::settingsFile(m_folders.data));
}

QString ProgramOptions::dataFolder() const {
    return QString::fromStdString(fs::resolve(m_folders.data));
}

} // namespace quorvane
