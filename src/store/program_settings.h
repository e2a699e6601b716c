// The program's own settings, kept in quorvane.ini in the data folder.
#pragma once

#include <string>
#include <vector>

namespace quorvane {

struct ProgramSettings {
    bool showCommandLine = true; // the client's command line (password masked) before each connect
    bool startHidden = false;    // start in the notification area
    bool notifications = true;   // balloons when a tunnel fails or comes back
    bool editAfterAdd = false;   // the editor opens on a tunnel just added
    bool trayIconAlways = false; // the notification area keeps the icon while the window is open too
    bool startAtLogin = false;   // the system starts the program, hidden, when the user logs in
    bool detailsView = false;    // the list as a table (name, state, connections, up for) rather than icons
    std::string language;        // the lang/ file last chosen; empty: none chosen here
    std::string problem;         // why the file was not read and the defaults hold (a link, a pipe, too large)
};

// The language file that holds the built-in texts.
inline constexpr const char* kBuiltInLanguageFile = "italiano.lng";

std::string settingsFile(const std::string& dataFolder);

// A missing file, a missing key or a value that is neither 0 nor 1 gives the default: older and
// hand-edited files keep working. Unknown keys are ignored. A file that is a link, not a regular file
// or larger than IniFile::kMaxFileBytes is not read (nor waited on): the defaults, and problem says why.
ProgramSettings loadProgramSettings(const std::string& dataFolder);

// False when the file could not be written (it is then left as it was).
bool saveProgramSettings(const std::string& dataFolder, const ProgramSettings& settings);

// The settings as the options show them: with no language chosen and no default.lng copied by hand,
// the built-in texts are in use.
ProgramSettings settingsToShow(const std::string& dataFolder, const ProgramSettings& current);

// What keeping the user's choice came to: a new language is copied to default.lng, which every later
// start reads; a change of startAtLogin writes or removes the system's entry for this executable; then the
// settings are saved.
struct KeptSettings {
    ProgramSettings settings;       // in force now (the old language when its copy failed)
    std::string languageNotCopied;  // the chosen file's path, when it could not be copied
    std::string startAtLoginNotSet; // why the login entry could not be written or removed (the choice is undone)
    bool saved = true;
};
KeptSettings keepProgramSettings(const std::string& programFolder, const std::string& dataFolder,
                                 const ProgramSettings& current, const ProgramSettings& chosen);

// A language file of the program's lang/ folder, by file name.
std::string languageFilePath(const std::string& programFolder, const std::string& fileName);

// The language files in the program's lang/ folder (file names, sorted); default.lng is not one.
std::vector<std::string> languageFiles(const std::string& programFolder);

} // namespace quorvane
