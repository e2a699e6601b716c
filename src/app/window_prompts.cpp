// The window's side of the service's notices and questions, in the language the window shows.
#include "app/window_prompts.h"

#include <QStringList>

#include "app/main_window.h"
#include "app/window_messages.h"
#include "desktop/dialog_service.h"
#include "service/tunnel_words.h"

namespace quorvane {

void WindowPrompts::present(const std::vector<Notice>& notices) {
    for (const Notice& notice : notices)
        present(notice);
}

void WindowPrompts::present(const Notice& notice) {
    if (!m_windows.texts)
        return;
    const NoticeWords words = noticeWords(notice, tunnelText(notice.tunnel), *m_windows.texts);
    const QString text = QString::fromStdString(words.text);
    switch (notice.kind) {
    case NoticeKind::HostKeyOffered:
        askAboutHostKey(notice, text);
        return;
    case NoticeKind::Dropped:
    case NoticeKind::Restored:
        m_notify(text, notice.kind == NoticeKind::Dropped); // back again is good news
        return;
    default:
        words.error ? dialogs().showError(errorBoxText(text)) : dialogs().showMessage(text);
    }
}

void WindowPrompts::askAboutHostKey(const Notice& notice, const QString& question) {
    // Trusted, the key goes into the definition and the client starts again.
    if (!notice.failure.hostKey)
        return;
    m_service.awaitUser(notice.tunnel, true); // not an error yet: the user has not answered
    const bool trusted = dialogs().question(question);
    m_service.awaitUser(notice.tunnel, false);
    // Offered the same server's same key meanwhile (a connect of all, a load): the answer serves them too.
    const std::vector<std::string> alike = m_pending.takeSameKeyOffers(notice);
    if (!trusted)
        return;
    const bool ofJumpHost = !notice.failure.hop.empty();
    present(m_service.trustHostKey(notice.tunnel, notice.failure.hostKey->fingerprint, ofJumpHost).notices);
    for (const std::string& tunnel : alike)
        present(m_service.trustHostKey(tunnel, notice.failure.hostKey->fingerprint, ofJumpHost).notices);
}

void WindowPrompts::presentTogether(const QString& heading, const BatchResult& batch) {
    if (!m_windows.texts)
        return;
    QStringList lines;
    bool error = false;
    for (const BatchResult::Outcome& outcome : batch.outcomes) {
        for (const Notice& notice : outcome.result.notices) {
            const std::string caption = tunnelText(notice.tunnel);
            const NoticeWords words = noticeWords(notice, caption, *m_windows.texts);
            lines << QString::fromStdString(caption + ": " + words.text);
            error = error || words.error;
        }
    }
    if (lines.isEmpty())
        return;
    const QString text = heading + QStringLiteral("\n\n") + lines.join(QLatin1Char('\n'));
    error ? dialogs().showError(text) : dialogs().showMessage(text);
}

bool WindowPrompts::approvePrograms(const ConnectPlan& plan) {
    if (!m_windows.texts)
        return false;
    const MessageSource& texts = *m_windows.texts;
    std::string programs = "\n\n";
    for (const ConnectPlan::Program& program : plan.unapproved)
        programs += texts.fieldName(program.slot == ProgramSlot::Before ? ConnectField::Prima : ConnectField::Dopo) +
                    ": " + program.command + "\n";
    return dialogs().question(
        QString::fromStdString(fillText(texts.text("ApprovaProgrammi"), {tunnelText(plan.tunnel), programs + "\n"})));
}

void WindowPrompts::aboutToStart(const ConnectPlan& plan) {
    if (m_window.select)
        m_window.select(plan.tunnel);
    // The password is shown masked and reaches the client through a file only this user can read.
    if (m_window.commandLineWanted && m_window.commandLineWanted())
        dialogs().showMessage(QString::fromStdString(plan.maskedCommandLine));
}

} // namespace quorvane
