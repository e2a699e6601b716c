// Export and import from the window: what the user chooses, then the service's commands, their notices presented.
#include "app/transfer_commands.h"

#include "app/import_words.h"
#include "app/tunnel_list_view.h"
#include "desktop/dialog_service.h"
#include "desktop/import_list_dialog.h"
#include "i18n/message_texts.h"
#include "import/import_candidate.h"

namespace quorvane {

QString TransferCommands::text(const char* key) const {
    const QString name = QString::fromLatin1(key);
    return m_messages ? m_messages->text(name) : dialogText(name);
}

void TransferCommands::exportTunnel(const std::string& tunnel, const QString& caption) {
    const QString file =
        dialogs().saveFileName(text("TitoloEsporta"), caption + QStringLiteral(".tun"), text("FiltroDefinizioni"));
    if (file.isEmpty())
        return;
    // Whoever gets the file gets what it holds: the secrets go only when the user says so.
    const bool withSecrets = dialogs().question(filled(text("EsportaSegreti"), {caption}));
    m_present(m_service.exportTunnel(tunnel, file.toStdString(), withSecrets).notices);
}

std::string TransferCommands::importFile() {
    const QString file = dialogs().openFileName(text("TitoloImporta"), text("FiltroDefinizioni"));
    if (file.isEmpty())
        return {};
    const TunnelService::ImportCheck check = m_service.checkImport(file.toStdString());
    m_present(check.notices);
    if (!check.definition)
        return {};
    const std::optional<QString> name =
        dialogs().askText(text("TitoloImporta"), text("NomeDaAssegnare"), tunnelCaption(check.name), 255);
    if (!name)
        return {};
    const std::string tunnel = name->toStdString();
    const CommandResult imported = m_service.importTunnel(tunnel, *check.definition);
    m_present(imported.notices);
    return imported.done ? tunnel : std::string();
}

std::vector<std::string> TransferCommands::importFromSsh(const std::string& home, TImportList& list,
                                                         const TShowTunn& editor) {
    std::vector<std::string> made;
    const std::vector<ImportCandidate> found = findImportCandidates(home);
    if (found.empty()) {
        dialogs().showMessage(filled(text("ImportaNienteTrovato"), {QString::fromStdString(home)}));
        return made;
    }
    if (!m_messages)
        return made;
    std::vector<ImportRow> rows;
    for (const ImportCandidate& candidate : found)
        rows.push_back(importRowOf(candidate, editor, *m_messages));
    list.setColumnTitles(importColumnTitles(*m_messages));
    std::vector<ImportCandidate> chosen;
    for (const std::size_t row : list.choose(rows))
        chosen.push_back(found[row]);
    if (chosen.empty())
        return made;
    const CommandResult imported = m_service.importCandidates(chosen, made);
    m_present(imported.notices);
    if (made.empty())
        return made;
    QStringList names;
    for (const std::string& name : made)
        names << tunnelCaption(name);
    dialogs().showMessage(filled(text("ImportaFatto"), {names.join(QStringLiteral(", "))}));
    return made;
}

} // namespace quorvane
