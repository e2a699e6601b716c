// Creation of the program's windows in their fixed order, and the start of the main window.
#include "app/application.h"

#include <QDir>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>

#include "app/service_events.h"
#include "app/tunnel_editor.h"
#include "app/window_messages.h"
#include "desktop/about_box.h"
#include "desktop/dialog_service.h"
#include "desktop/import_list_dialog.h"
#include "desktop/key_generator_dialog.h"
#include "desktop/licence_viewer.h"
#include "desktop/options_dialog.h"
#include "desktop/process_list_window.h"
#include "desktop/ras_manager_window.h"
#include "desktop/tray_icon.h"
#include "i18n/language_engine.h"
#include "i18n/message_texts.h"
#include "process/client_launcher.h"
#include "process/key_generator.h"
#include "process/process_services.h"
#include "store/file_system.h"
#include "store/paths.h"
#include "store/program_folders.h"

namespace quorvane {

QuorvaneApp::QuorvaneApp(AppOptions options)
    : m_startWatch(options.startWatch  ? std::move(options.startWatch)
                   : options.processes ? nullptr
                                       : createSystemClientStartWatch()),
      m_processes(options.processes ? std::move(options.processes) : createSystemProcessServices()),
      m_launcher(options.launcher ? std::move(options.launcher) : createSystemLauncher()) {
    const ProgramFolders folders =
        options.workingDir.empty()
            ? programFolders()
            : ProgramFolders{options.programDir.empty() ? options.workingDir : options.programDir, options.workingDir};
    const std::string workingDir = folders.data;
    m_dataFolder = folders.data;
    m_sockets = options.sockets ? std::move(options.sockets) : createSystemSocketTable();
    m_health =
        std::make_unique<TunnelHealthTracker>(workingDir, *m_sockets, options.clock ? *options.clock : m_systemClock);
    m_probes = options.probes ? std::move(options.probes) : createSystemProbeSockets();
    m_network = options.network ? std::move(options.network) : createSystemNetworkWatch();
    m_service =
        std::make_unique<TunnelService>(folders, *m_processes, *m_launcher, *m_health, m_probes.get(), m_network.get());
    m_events = std::make_unique<ServiceEvents>();
    m_service->setListener(m_events.get());
    m_service->setClientStartWatch(m_startWatch.get());
    m_events->startTicking(*m_service);
    m_main = std::make_unique<TMain>(m_windows, *m_service, *m_events, std::move(options.trayBackend));
    m_windows.editor = [this] { return &editor(); };
    m_windows.editorIfMade = [this] { return m_editor.get(); };
    m_windows.about = [this] { return &about(); };
    // A list nobody opened is not kept up: it lists for itself when made.
    m_events->showProcesses = [this](const std::vector<ProcessEntry>& processes) {
        if (m_processList)
            m_processList->showProcesses(processes);
    };
    m_messages = std::make_unique<TfMessage>();
    m_windows.messages = m_messages.get();
    setDialogTexts([messages = m_messages.get()](const QString& key) { return messages->text(key); });
    m_windows.licence = [this] { return &licence(); };
    m_ras = std::make_unique<TFormRAS>(options.rasApi ? *options.rasApi : systemRasApi());
    if (keyGenerationAvailable())
        m_windows.keyGenerator = [this] { return keyGenerator(); };
    m_windows.options = [this] { return &this->options(); };
    m_windows.importList = [this] { return &importList(); };
    TLanguageEngine::SetWindowMaker([this](const QString& name) -> QWidget* {
        const auto is = [&name](const char* window) {
            return name.compare(QLatin1String(window), Qt::CaseInsensitive) == 0;
        };
        if (is("ShowTunn"))
            return &editor();
        if (is("AboutBox"))
            return &about();
        if (is("licence"))
            return &licence();
        if (is("Form2"))
            return &processList();
        if (is("KeyGenerator"))
            return keyGenerator();
        if (is("Options"))
            return &this->options();
        if (is("ImportList"))
            return &importList();
        return nullptr;
    });
    m_main->setImportHome(options.homeDir.empty() ? QDir::toNativeSeparators(QDir::homePath()).toStdString()
                                                  : options.homeDir);
    m_texts = std::make_unique<WindowMessages>(*m_messages, [this] { return m_editor.get(); });
    m_windows.texts = m_texts.get();
}

TShowTunn& QuorvaneApp::editor() {
    if (m_editor)
        return *m_editor;
    m_editor = std::make_unique<TShowTunn>();
    m_editor->pickDialUpEntry = [this] { return m_ras->pickEntry(); };
    m_editor->messages = m_messages.get();
    m_editor->componentMade = [this](QObject* made) {
        m_main->language->ApplyLanguageFileUnder(QString::fromStdString(paths::LanguageFile(m_dataFolder)),
                                                 m_editor->objectName() + u'.' + made->objectName() + u'.');
    };
    if (keyGenerationAvailable()) {
        m_editor->generateKeyIn = [this](const QString& folder) {
            TKeyGenerator& generator = *keyGenerator();
            generator.setDefaultFolder(folder);
            const QString before = generator.lastSaved();
            generator.exec();
            return generator.lastSaved() != before ? generator.lastSaved() : QString();
        };
    }
    m_editor->generachiave->setVisible(keyGenerationAvailable());
    m_main->editorMade(*m_editor);
    return *m_editor;
}

TAboutBox& QuorvaneApp::about() {
    if (!m_about)
        m_about = std::make_unique<TAboutBox>();
    return *m_about;
}

Tlicence& QuorvaneApp::licence() {
    if (!m_licence)
        m_licence = std::make_unique<Tlicence>();
    return *m_licence;
}

TForm2& QuorvaneApp::processList() {
    if (!m_processList) {
        m_processList = std::make_unique<TForm2>(*m_processes);
        m_processList->Button1Click();
    }
    return *m_processList;
}

TKeyGenerator* QuorvaneApp::keyGenerator() {
    if (!m_keyGenerator && keyGenerationAvailable()) {
        m_keyGenerator = std::make_unique<TKeyGenerator>(
            QString::fromStdString(fs::resolve(paths::KeyGenerator(m_service->folders().program))));
    }
    return m_keyGenerator.get();
}

TOptions& QuorvaneApp::options() {
    if (!m_options) {
        m_options = std::make_unique<TOptions>();
    }
    return *m_options;
}

TImportList& QuorvaneApp::importList() {
    if (!m_importList) {
        m_importList = std::make_unique<TImportList>();
    }
    return *m_importList;
}

QuorvaneApp::~QuorvaneApp() {
    TLanguageEngine::SetWindowMaker(nullptr);
    // The main window goes first: its timer and commands use the others; the service tells nobody after it.
    m_main.reset();
    m_service->setListener(nullptr);
    setDialogTexts(nullptr);
}

void QuorvaneApp::start(bool hidden) {
    m_main->TrayBar->HideIcon();
    if (hidden || m_main->settings().startHidden) {
        m_main->startInNotificationArea();
        return;
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = m_main->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        m_main->move(frame.topLeft());
    }
    m_main->show();
    m_main->showTrayIconAsChosen();
}

} // namespace quorvane
