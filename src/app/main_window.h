// TMain ("Main"): the tunnel list, its menus and every tunnel command.
#pragma once

#include <QMainWindow>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "desktop/tray_backend.h"
#include "process/process_services.h"
#include "process/tunnel_client_control.h"
#include "store/folder_walker.h"
#include "store/program_folders.h"
#include "store/program_settings.h"
#include "store/tunnel_definition.h"
#include "tunnel/tunnel_health_tracker.h"

class QAction;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;
class QFrame;

namespace quorvane {

class ClientEndWatch;
class ClientLauncher;
class TForm2;
class TLanguageEngine;
class TShowTunn;
class TAboutBox;
class Tlicence;
class TTrayIcon;
class TfMessage;
class TKeyGenerator;
class TOptions;
class TrayBackend;
class HiddenFileList;

// The other windows the main window works with; they are created after it, so it reaches them here.
struct AppWindows {
    TShowTunn* editor = nullptr;
    TAboutBox* about = nullptr;
    Tlicence* licence = nullptr;
    TForm2* processList = nullptr;
    TfMessage* messages = nullptr;
    TKeyGenerator* keyGenerator = nullptr; // null where keys are made by puttygen's own window
    TOptions* options = nullptr;
};

class TMain : public QMainWindow {
    Q_OBJECT

public:
    // The folders end with the separator; WorkingDir is the data folder. The services are not owned
    // and must outlive the window.
    TMain(ProgramFolders folders, AppWindows& windows, ProcessServices& processes, ClientLauncher& launcher,
          TunnelHealthTracker& health, std::unique_ptr<TrayBackend> trayBackend = {});
    ~TMain() override;

    const std::string& WorkingDir() const { return m_workingDir; }
    bool SuppressEditor = true;

    // Commands, named after the control and event they are bound to.
    void FormShow();
    void Nascondi1Click();
    void Opzioni1Click();
    // Keeps the chosen options (saved in the data folder); a new language is copied to default.lng
    // and applied at once.
    void applyOptions(const ProgramSettings& chosen);
    const ProgramSettings& settings() const { return m_settings; }
    // A box of the program waits for its user, or the load sequence runs: commands from elsewhere
    // (another start, the tray menu) must wait, and the list is not rebuilt under them.
    bool busy() const;
    // Not saved: connects asked for on the command line show no command line box, whoever's screen
    // the window is on.
    void showCommandLineBox(bool shown) { m_commandLineBox = shown; }
    // Starts in the notification area: the load sequence runs without the window being shown.
    void startInNotificationArea();
    void Visualizza1Click();
    void TrayBarDblClick();
    void Esci1Click();
    void Esci2Click();
    void Aggiungi1Click();
    void ListView1DblClick(); // the modify command
    void AttivaTunnell1Click();
    void DisattivaTunnell1Click();
    void Elimina2Click();
    // In-place rename of the item's tunnel: folder and client copy, refused while its client runs
    // or when the name is taken; the caption follows only a rename that happened.
    void RenameTunnel(QListWidgetItem* item, const QString& newName);
    void checkprocessiTimer();
    void GeneratoredichiaviPutty1Click();
    void LicenzaPutty1Click();
    void LicenzaQuorvane1Click();
    void Autore1Click();
    void Visitasitoweb1Click();

    // The named tunnel selected and connected (or disconnected), as from its popup menu; false when
    // no listed tunnel has that name.
    bool connectTunnel(const std::string& name);
    bool hasTunnel(const std::string& name) const { return itemOf(name) != nullptr; }
    // The tunnels folder listed into the list, with nothing connected: the load sequence's first
    // step, and all that commands from the command line need.
    // Returns which folders a save left a temporary file in, as the listing saw them.
    LeftoverFolders listTunnels();
    // Each listed tunnel's name and state, one line each, for --status.
    std::string statusReport();
    bool disconnectTunnel(const std::string& name);

    // The selected tunnel's item, or nullptr when no item is selected.
    QListWidgetItem* selectedItem() const;
    int pictureOf(int row) const; // 0 not connected, 1 connected

    // Controls and components, by design name.
    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    QListWidget* ListView1 = nullptr;
    QStatusBar* StatusBar = nullptr;
    QLabel* statusPanels[3] = {nullptr, nullptr, nullptr};
    QListWidget* ListBox1 = nullptr;
    HiddenFileList* files = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QTimer* checkprocessi = nullptr;
    TLanguageEngine* language = nullptr;
    TTrayIcon* TrayBar = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QMenu* PopupMenu2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    QAction* addItem(QMenu* menu, const char* name, const QString& caption, void (TMain::*handler)() = nullptr);
    void setPicture(QListWidgetItem* item, int picture);
    QListWidgetItem* appendTunnelItem(const QString& name);
    void fillList(const std::vector<std::string>& folderNames);
    void reportStopFailure(const QListWidgetItem* item);
    // The modify command's load step: the selected tunnel's definition into the editor's fields and
    // title. Nothing when no tunnel is selected; otherwise the load, with what made a file unusable.
    std::optional<DefinitionLoad> loadSelectedIntoEditor();
    // Starts the item's client with the definition, without asking: for connect and for restarts.
    void startClient(QListWidgetItem* item, const TunnelDefinition& definition);
    // The tunnel's own programs: "Prima" waited for (false: it failed, and the user was told), "Dopo"
    // started after the client has ended.
    bool runBefore(QListWidgetItem* item, const TunnelDefinition& definition);
    void runAfter(QListWidgetItem* item, const TunnelDefinition& definition);
    void showHealth();
    void readLanguageFile();
    void applyLanguage();
    void showSelectedHealth();
    QString trayHint(int connected) const;
    void fillTrayMenu();
    void notify(const QString& text);
    void reactTo(const HealthChange& change);
    void trustOfferedKey(const std::string& tunnel, const HostKeyOffer& offer);
    void restartDueClients();
    QListWidgetItem* itemOf(const std::string& tunnel) const;
    // The tunnel's folder, where its client, programs and keys run and live, as the system spells it.
    std::string clientFolder(const std::string& tunnel) const;
    void clearTunnelSelection();

    std::string m_workingDir;
    std::string m_programDir;
    ProgramSettings m_settings;
    QList<QAction*> m_trayTunnelActions; // the tunnels' entries at the top of the tray menu
    AppWindows& m_windows;
    ProcessServices& m_processes;
    ClientLauncher& m_launcher;
    TunnelClientControl m_clients;
    TunnelHealthTracker& m_health;
    ClientEndWatch* m_endWatch = nullptr;
    QTimer* m_restartTimer = nullptr; // a pass when the next restart is due
    bool m_anyTunnelUp = false;
    bool m_quitting = false;
    bool m_loading = false; // the load sequence runs
    bool m_commandLineBox = true;
};

} // namespace quorvane
