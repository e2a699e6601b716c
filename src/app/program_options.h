// The program's own settings as the window uses them: read at start, changed through the options box, kept in the
// settings file; the language file and Qt's own words with it; the program's files the window opens.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "store/program_folders.h"
#include "store/program_settings.h"

namespace quorvane {

class QtTranslations;
class TfMessage;
class TLanguageEngine;
class TOptions;

class ProgramOptions {
public:
    explicit ProgramOptions(ProgramFolders folders);
    ~ProgramOptions();

    const ProgramSettings& settings() const { return m_settings; }
    ProgramSettings& settings() { return m_settings; }
    // The settings file as written now; false when it could not be.
    bool save() const;
    // The options box, shown with the settings; what the user chose is kept (what could not be is told in boxes).
    // True when the language changed.
    bool edit(TOptions& box, const TfMessage& messages);
    // The chosen settings kept; true when the language changed.
    bool apply(const ProgramSettings& chosen, const TfMessage& messages);
    // The language file applied to the windows, and Qt's own words made to follow it; bad entries told in a box.
    void readLanguage(TLanguageEngine& engine);

    std::string puttyLicence() const;
    std::string programLicence() const;
    QString dataFolder() const; // where keys are made by default
    QString settingsFile() const;

private:
    ProgramFolders m_folders;
    ProgramSettings m_settings;
    std::unique_ptr<QtTranslations> m_qtWords;
};

} // namespace quorvane
