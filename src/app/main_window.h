// TMain ("Main"): the tunnel list, its menus, and the commands that ask the user before the service acts.
#pragma once

#include <QMainWindow>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/pending_notices.h"
#include "app/program_options.h"
#include "app/transfer_commands.h"
#include "app/tunnel_list_view.h"
#include "app/window_prompts.h"
#include "desktop/tray_backend.h"
#include "service/tunnel_service.h"

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

class ServiceEvents;
class WindowMessages;
class TLanguageEngine;
class QtTranslations;
class TShowTunn;
class TAboutBox;
class Tlicence;
class TTrayIcon;
class TfMessage;
class TKeyGenerator;
class TOptions;
class TImportList;
class TrayBackend;
class HiddenFileList;
class TunnelFilter;

// The other windows the main window works with; they are created after it, so it reaches them here.
struct AppWindows {
    TfMessage* messages = nullptr;
    // Made on first use: most runs never open them.
    std::function<TShowTunn*()> editor;
    std::function<TShowTunn*()> editorIfMade; // null until the editor is made
    std::function<TAboutBox*()> about;
    std::function<Tlicence*()> licence;
    std::function<TKeyGenerator*()> keyGenerator; // null where keys are made by puttygen's own window
    std::function<TOptions*()> options;
    std::function<TImportList*()> importList;
    const WindowMessages* texts = nullptr; // the messages' and the editor's words, as the language file has them
};

class TMain : public QMainWindow {
    Q_OBJECT

public:
    // The service and its events are not owned and must outlive the window.
    TMain(AppWindows& windows, TunnelService& service, ServiceEvents& events,
          std::unique_ptr<TrayBackend> trayBackend = {});
    ~TMain() override;

    const std::string& WorkingDir() const { return m_service.folders().data; }
    // Raised while the load sequence runs: the modify command then loads without showing the editor.
    bool SuppressEditor = false;
    // The editor, made on first use, holds the tunnel loaded last, as if it had been there all along.
    void editorMade(TShowTunn& editor);

    // Commands, named after the control and event they are bound to.
    void FormShow();
    void Nascondi1Click();
    void Opzioni1Click();
    // The selected tunnel's definition to a file the user picks (password and host key only if they say so),
    // and a definition file back as a new tunnel under a name the user gives.
    void EsportaTunnel1Click();
    void ImportaTunnel1Click();
    // The hosts of the user's OpenSSH configuration and PuTTY's saved sessions in a list to tick; each ticked
    // one becomes a new tunnel (an existing one is never replaced). Nothing of the user's files is written.
    void ImportaDaSSH1Click();
    // The home folder whose .ssh/config and PuTTY sessions the import reads (the user's own by default).
    void setImportHome(const std::string& home) { m_importHome = home; }
    // Keeps the chosen options (saved in the data folder); a new language is copied to default.lng
    // and applied at once.
    void applyOptions(const ProgramSettings& chosen);
    // While the window is open the icon stays in the notification area only when the options say so.
    void showTrayIconAsChosen();
    const ProgramSettings& settings() const { return m_options.settings(); }
    // A box of the program waits for its user, or the load sequence runs: commands from elsewhere
    // (another start, the tray menu) must wait, and the list is not rebuilt under them.
    bool busy() const;
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
    // Opens what the selected tunnel's "Apri" names (an address in the browser, or its program) while it is
    // connected; a program not yet approved is put to the user first.
    void Apri1Click();
    bool openTunnel(const std::string& name);
    // The list as a table with columns, or as icons; kept in the settings.
    void Dettagli1Click(bool on);
    // A failed tunnel connects now, without waiting for its next try; from the tray, every waiting one.
    void RiconnettiOra1Click();
    void RiconnettiOra2Click();
    // Every tunnel that is down connected, or every one stopped; what went wrong is told in one box.
    void ConnettiTutti1Click();
    void DisconnettiTutti1Click();
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
    bool disconnectTunnel(const std::string& name);

    // The selected tunnel's item, or nullptr when no item is selected.
    QListWidgetItem* selectedItem() const;
    int pictureOf(int row) const { return ListView1->pictureOf(row); } // see desktop/artwork.h

    // Controls and components, by design name.
    QFrame* Panel1 = nullptr;
    QLabel* Image1 = nullptr;
    TunnelListView* ListView1 = nullptr;
    TunnelFilter* Filtro = nullptr; // shown while the list is filtered by name
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
    void showTunnels();
    // The tunnel's definition into the editor's fields and title, for the modify command and after a connect;
    // an editor not made yet gets it when it is made.
    void loadIntoEditor(const std::string& tunnel);
    void fillEditor(TShowTunn& editor, const std::string& tunnel);
    TShowTunn* editor() { return m_windows.editor ? m_windows.editor() : nullptr; }
    void present(const std::vector<Notice>& notices) { m_prompts.present(notices); }
    void present(const Notice& notice) { m_prompts.present(notice); }
    void presentFound(const Notice& notice); // what a pass found, once the box before it has closed
    // A command on several tunnels: every notice in one box under the heading, each line naming its tunnel.
    void presentTogether(const QString& heading, const BatchResult& batch) {
        m_prompts.presentTogether(heading, batch);
    }
    // onlyWhenChanged: after a pass, which on a quiet machine changes nothing.
    void showHealth(bool onlyWhenChanged = false);
    void readLanguageFile();
    TransferCommands transfers();
    void applyLanguage();
    void showSelectedHealth();
    void showColumnTitles();
    QString trayHint(int connected) const;
    void notify(const QString& text, bool warning);
    void openAddress(const std::string& tunnel, const std::string& url);
    bool canOpen(const std::string& tunnel) const; // connected, with something to open
    void clearTunnelSelection();
    void selectRow(const std::string& tunnel);
    std::vector<std::string> waitingTunnels() const;

    ProgramOptions m_options; // before the widgets, which are built as the settings say
    AppWindows& m_windows;
    std::string m_importHome;
    std::string m_editorTunnel; // the tunnel loaded into the editor last
    TunnelService& m_service;
    bool m_anyTunnelUp = false;
    std::optional<std::uint64_t> m_shownRevision; // of the states drawn last
    PendingNotices m_pendingNotices{[this](const Notice& notice) { presentFound(notice); }};
    WindowPrompts m_prompts{
        m_service, m_windows, m_pendingNotices, [this](const QString& text, bool warning) { notify(text, warning); },
        WindowPrompts::Window{[this] { return isVisible(); }, [this] { return m_options.settings().showCommandLine; },
                              [this](const std::string& tunnel) { selectRow(tunnel); }}};
    int m_connectedShown = 0;
    bool m_quitting = false;
    bool m_loading = false; // the load sequence runs
};

} // namespace quorvane
