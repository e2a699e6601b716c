// The main window's load sequence: the list read, the rows drawn once, the automatic connects made.
#include "app/main_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QStringList>

#include "app/hidden_file_list.h"
#include "app/tunnel_filter.h"
#include "app/tunnel_list_view.h"
#include "desktop/dialog_service.h"
#include "i18n/message_texts.h"

namespace quorvane {

namespace {

constexpr int kListingEventsEveryMs = 15;

// The message text of that key, from the window's language (the built-in text with no message window).
QString messageText(const TfMessage* messages, const QString& key) {
    return messages ? messages->text(key) : dialogText(key);
}

} // namespace

// ---- load sequence ----

void TMain::FormShow() {
    // However the sequence ends, the editor is usable afterwards.
    struct Lower {
        bool& suppress;
        bool& loading;
        ~Lower() { suppress = loading = false; }
    } lower{SuppressEditor, m_loading};
    m_loading = SuppressEditor = true;
    // A bad entry is told, and costs nothing else: the tunnels are listed and connected all the same.
    // The texts made from messages are set at the end of the sequence.
    readLanguageFile();

    // Let timer ticks and painting through while the folders are read, but no user input: a command
    // started in the middle of the rebuild would act on a half-filled list. A few times a frame is
    // enough for that; once per entry would cost more than the reading.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    LoadHooks hooks;
    hooks.letEventsThrough = [&sinceEvents] {
        if (sinceEvents.elapsed() < kListingEventsEveryMs)
            return;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        sinceEvents.restart();
    };
    hooks.reading = [this](const std::string& tunnel) {
        statusPanels[0]->setText(
            filled(messageText(m_windows.messages, QStringLiteral("TitoloTunnell")), {tunnelCaption(tunnel)}));
    };
    hooks.prompts = &m_prompts; // an automatic connect selects its row and shows its command line
    // The rows are drawn and laid out while the definitions are read.
    hooks.listed = [this] {
        ListBox1->clear(); // the hidden list of names, as the folders hold them
        for (const std::string& tunnel : m_service.tunnels())
            ListBox1->addItem(tunnelCaption(tunnel));
        // Pictures and tooltips before the selection: selecting lays the list out, and a change to every row
        // after that would have it laid out again at the first paint.
        showHealth();
        if (const int rows = ListView1->count(); rows > 0)
            ListView1->selectFirstTime(rows - 1);
    };
    LoadReport report;
    {
        // One pass over every picture and tooltip afterwards, not one per row.
        const QSignalBlocker quiet(ListView1);
        report = m_service.load(hooks);
        // The editor ends holding the last tunnel, as if each had been loaded in turn; an automatic connect
        // selected its own row meanwhile.
        if (const int rows = ListView1->count(); rows > 0) {
            if (ListView1->currentRow() != rows - 1)
                ListView1->setCurrentRow(rows - 1);
            loadIntoEditor(ListView1->tunnelOf(ListView1->item(rows - 1)));
        }
    }
    m_loading = false;
    // The last row was selected while the list was quiet: the commands that need a selection follow it now.
    Q_EMIT ListView1->itemSelectionChanged();
    showHealth(true);
    SuppressEditor = false;
    statusPanels[0]->setText(m_windows.messages ? m_windows.messages->Pronto() : QStringLiteral("Pronto"));
    if (m_windows.messages) {
        ListView1->setEmptyHint(m_windows.messages->SuggerimentoVuoto());
        Filtro->setPlaceholderText(m_windows.messages->text(QStringLiteral("SuggerimentoFiltro")));
        showColumnTitles();
    }
    present(report.notices);
    // A settings file that could not be read is told once; the defaults hold meanwhile.
    if (!m_options.settings().problem.empty())
        report.unusable.insert(report.unusable.begin(), std::exchange(m_options.settings().problem, {}));
    if (!report.unusable.empty()) {
        QStringList unusable;
        for (const std::string& message : report.unusable)
            unusable << QString::fromStdString(message);
        dialogs().showError(errorBoxText(unusable.join(QLatin1Char('\n'))));
    }
}

} // namespace quorvane
