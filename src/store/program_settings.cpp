// Reading and writing the program's settings file.
#include "store/program_settings.h"

#include <algorithm>

#include "store/autostart.h"
#include "store/file_system.h"
#include "store/ini_file.h"
#include "store/ini_line.h"
#include "store/paths.h"
#include "store/working_dir.h"

namespace quorvane {
namespace {

const char* const kSection = "Opzioni";
constexpr std::size_t kMaxLanguageFileBytes = std::size_t{4} << 20; // as the language engine reads them

bool readFlag(const IniText& file, const char* key, bool fallback) {
    const std::string value = file.readString(kSection, key, "");
    return value == "1" ? true : value == "0" ? false : fallback;
}

} // namespace

std::string settingsFile(const std::string& dataFolder) {
    return dataFolder + "quorvane.ini";
}

ProgramSettings loadProgramSettings(const std::string& dataFolder) {
    std::string bytes; // a missing or unreadable file reads as the defaults
    const std::string path = settingsFile(dataFolder);
    const fs::FileStatus status = fs::readFileNoFollow(path, IniFile::kMaxFileBytes, bytes);
    const IniText file(std::move(bytes));
    ProgramSettings settings;
    if (status != fs::FileStatus::Missing)
        settings.problem = fs::fileProblemWords(status, fs::resolve(path), IniFile::kMaxFileBytes);
    settings.showCommandLine = readFlag(file, "MostraComando", settings.showCommandLine);
    settings.startHidden = readFlag(file, "AvvioNascosto", settings.startHidden);
    settings.notifications = readFlag(file, "Notifiche", settings.notifications);
    settings.editAfterAdd = readFlag(file, "ModificaDopoAggiunta", settings.editAfterAdd);
    settings.trayIconAlways = readFlag(file, "IconaSempre", settings.trayIconAlways);
    settings.startAtLogin = readFlag(file, "AvvioAccesso", settings.startAtLogin);
    settings.detailsView = readFlag(file, "VistaDettagli", settings.detailsView);
    settings.language = file.readString(kSection, "Lingua", "");
    return settings;
}

bool saveProgramSettings(const std::string& dataFolder, const ProgramSettings& settings) {
    auto flag = [](bool on) { return std::string(on ? "1" : "0"); };
    return IniFile(settingsFile(dataFolder))
               .writeStrings({{kSection, "MostraComando", flag(settings.showCommandLine)},
                              {kSection, "AvvioNascosto", flag(settings.startHidden)},
                              {kSection, "Notifiche", flag(settings.notifications)},
                              {kSection, "ModificaDopoAggiunta", flag(settings.editAfterAdd)},
                              {kSection, "IconaSempre", flag(settings.trayIconAlways)},
                              {kSection, "AvvioAccesso", flag(settings.startAtLogin)},
                              {kSection, "VistaDettagli", flag(settings.detailsView)},
                              {kSection, "Lingua", settings.language}}) == IniWriteResult::Written;
}

std::string languageFilePath(const std::string& programFolder, const std::string& fileName) {
    return programFolder + "lang" + fs::separator() + fileName;
}

ProgramSettings settingsToShow(const std::string& dataFolder, const ProgramSettings& current) {
    ProgramSettings shown = current;
    if (shown.language.empty() && !fs::fileExists(paths::LanguageFile(dataFolder)))
        shown.language = kBuiltInLanguageFile;
    return shown;
}

KeptSettings keepProgramSettings(const std::string& programFolder, const std::string& dataFolder,
                                 const ProgramSettings& current, const ProgramSettings& chosen) {
    KeptSettings kept{chosen, {}, {}, true};
    if (!chosen.language.empty() && chosen.language != current.language) {
        const std::string source = languageFilePath(programFolder, chosen.language);
        // Read as any language file is read: no link, pipe or device, and bounded.
        std::string bytes;
        if (fs::readFileNoFollow(source, kMaxLanguageFileBytes, bytes) != fs::FileStatus::Ok ||
            fs::replacePrivateFileNoFollow(paths::LanguageFile(dataFolder), bytes) != fs::FileStatus::Ok) {
            kept.languageNotCopied = fs::resolve(source);
            kept.settings.language = current.language;
        }
    }
    // Only a change touches the system's entry: a file without the key leaves whatever is there alone.
    if (chosen.startAtLogin != current.startAtLogin) {
        kept.startAtLoginNotSet = chosen.startAtLogin ? autostart::enable(executablePath()) : autostart::disable();
        if (!kept.startAtLoginNotSet.empty())
            kept.settings.startAtLogin = current.startAtLogin;
    }
    kept.saved = saveProgramSettings(dataFolder, kept.settings);
    return kept;
}

std::vector<std::string> languageFiles(const std::string& programFolder) {
    std::vector<std::string> names;
    for (const std::string& name : fs::listOrdinaryFiles(programFolder + "lang")) {
        if (name.size() > 4 && ini::sameName(std::string_view(name).substr(name.size() - 4), ".lng"))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace quorvane
