// The program's windows, created once in their fixed order, with the services they rest on.
#pragma once

#include <memory>
#include <string>

#include "app/main_window.h"
#include "desktop/tray_backend.h"
#include "process/client_launcher.h"
#include "process/process_services.h"
#include "service/tunnel_service.h"
#include "tunnel/socket_table.h"
#include "tunnel/tunnel_health_tracker.h"

namespace quorvane {

class TForm2;
class TFormRAS;
class TKeyGenerator;
class TOptions;
class TImportList;
class RasApi;
class ServiceEvents;
class WindowMessages;

struct AppOptions {
    std::string workingDir;                     // empty: the folders the program chooses (see ProgramFolders)
    std::string programDir;                     // empty: workingDir
    std::unique_ptr<ProcessServices> processes; // empty: the system's
    std::unique_ptr<ClientLauncher> launcher;   // empty: the system's
    std::unique_ptr<TrayBackend> trayBackend;   // empty: the Qt notification area
    RasApi* rasApi = nullptr;                   // null: the system's dial-up library (not owned)
    std::unique_ptr<SocketTable> sockets;       // empty: the system's
    std::unique_ptr<ProbeSockets> probes;       // empty: the system's
    std::unique_ptr<NetworkWatch> network;      // empty: the system's
    // Empty: the system's when the processes are the system's; none (every pass lists) for other processes.
    std::unique_ptr<ClientStartWatch> startWatch;
    const Clock* clock = nullptr; // null: the steady clock (not owned)
    std::string homeDir;          // whose SSH settings an import reads; empty: the user's home folder
};

class QuorvaneApp {
public:
    // Creates the windows that live from the start: TMain, TfMessage and TFormRAS (whose log follows dial-up
    // connections from then on). Nothing is shown.
    explicit QuorvaneApp(AppOptions options = {});
    ~QuorvaneApp();

    TMain& main() { return *m_main; }
    TFormRAS& ras() { return *m_ras; }
    TfMessage& messages() { return *m_messages; }
    // The other windows are made on first use, or when a language entry names them.
    TShowTunn& editor();
    TAboutBox& about();
    Tlicence& licence();
    TKeyGenerator* keyGenerator(); // null where puttygen's own window serves
    TForm2& processList();
    TOptions& options();
    TImportList& importList();
    ProcessServices& processes() { return *m_processes; }
    TunnelHealthTracker& health() { return *m_health; }
    TunnelService& service() { return *m_service; }
    const WindowMessages& texts() { return *m_texts; }
    ServiceEvents& events() { return *m_events; }

    // Just before the event loop: the tray icon leaves the notification area; then the main window
    // is shown (which runs the load sequence), or, when asked or set in the options, the program
    // starts in the notification area.
    void start(bool hidden = false);

private:
    std::string m_dataFolder;
    std::unique_ptr<ClientStartWatch> m_startWatch; // before the processes, which it is chosen by
    std::unique_ptr<ProcessServices> m_processes;
    std::unique_ptr<ClientLauncher> m_launcher;
    std::unique_ptr<SocketTable> m_sockets;
    std::unique_ptr<ProbeSockets> m_probes;
    std::unique_ptr<NetworkWatch> m_network;
    SystemClock m_systemClock;
    std::unique_ptr<TunnelHealthTracker> m_health;
    std::unique_ptr<TunnelService> m_service;
    std::unique_ptr<ServiceEvents> m_events;
    std::unique_ptr<WindowMessages> m_texts;
    AppWindows m_windows;
    std::unique_ptr<TMain> m_main;
    std::unique_ptr<TShowTunn> m_editor;
    std::unique_ptr<TAboutBox> m_about;
    std::unique_ptr<TForm2> m_processList;
    std::unique_ptr<TfMessage> m_messages;
    std::unique_ptr<Tlicence> m_licence;
    std::unique_ptr<TFormRAS> m_ras;
    std::unique_ptr<TKeyGenerator> m_keyGenerator;
    std::unique_ptr<TOptions> m_options;
    std::unique_ptr<TImportList> m_importList;
};

} // namespace quorvane
