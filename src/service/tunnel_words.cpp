// The words for tunnel notices and states from a source of message texts.
#include "service/tunnel_words.h"

#include <chrono>
#include <ctime>

#include "i18n/builtin_texts.h"

namespace quorvane {

namespace {

std::string plainCaption(std::string text) {
    std::erase(text, '&');
    while (!text.empty() && (text.back() == ':' || text.back() == ' '))
        text.pop_back();
    return text;
}

} // namespace

std::string BuiltInMessages::text(std::string_view key) const {
    return std::string(builtInText(key));
}

std::string BuiltInMessages::fieldName(ConnectField field) const {
    return fieldNameFromCaptions(field, [](std::string_view name) { return std::string(builtInCaption(name)); });
}

std::string fieldNameFromCaptions(ConnectField field,
                                  const std::function<std::string(std::string_view objectName)>& caption) {
    const auto plain = [&](std::string_view name) { return plainCaption(caption(name)); };
    // The server's two labels ("Indirizzo IP", "Porta") would be ambiguous without their group.
    const auto inServerGroup = [&](std::string_view name) { return plain("serversshtitle") + " - " + plain(name); };
    switch (field) {
    case ConnectField::IpServer:
        return inServerGroup("ipaddress");
    case ConnectField::PortaServer:
        return inServerGroup("port");
    case ConnectField::Username:
        return plain("useraccount");
    case ConnectField::Password:
        return plain("password");
    case ConnectField::PortaLocale:
        return plain("Localport");
    case ConnectField::IpServizio:
        return plain("ipservice");
    case ConnectField::PortaServizio:
        return plain("portservice");
    case ConnectField::FileChiave:
        return plain("Label1");
    case ConnectField::Inoltri:
        return plain("GroupBox2");
    case ConnectField::HostKey:
        return plain("hostkeytitle");
    case ConnectField::Prima:
        return plain("prima");
    case ConnectField::Dopo:
        return plain("dopo");
    }
    return {};
}

std::string_view statusKey(TunnelStatus status) {
    switch (status) {
    case TunnelStatus::Connected:
        return "StatoConnesso";
    case TunnelStatus::Connecting:
        return "StatoInConnessione";
    case TunnelStatus::Failed:
        return "StatoErrore";
    case TunnelStatus::NotConnected:
        break;
    }
    return "StatoNonConnesso";
}

namespace {

std::string_view connectStageKey(ConnectStage stage) {
    switch (stage) {
    case ConnectStage::Reaching:
        return "ErrNessunaRisposta";
    case ConnectStage::Greeting:
    case ConnectStage::Unknown:
        return "ErrNessunSaluto";
    case ConnectStage::KeyExchange:
        return "ErrScambioChiavi";
    case ConnectStage::Login:
        return "ErrAccessoIncompiuto";
    case ConnectStage::Forwarding:
        break;
    }
    return "ErrInoltriIncompiuti";
}

} // namespace

std::string reasonWords(const ClientFailure& failure, const MessageSource& texts) {
    if (!failure.hop.empty()) {
        ClientFailure own = failure;
        own.hop.clear();
        return fillText(texts.text("ErrPassaggio"), {failure.hop, reasonWords(own, texts)});
    }
    switch (failure.kind) {
    case FailureKind::AccessDenied:
        return texts.text("ErrAccessoNegato");
    case FailureKind::ConnectionRefused:
        return texts.text("ErrConnessioneRifiutata");
    case FailureKind::HostKeyUnknown:
        return texts.text("ErrChiaveSconosciuta");
    case FailureKind::HostKeyChanged:
        return texts.text("ErrChiaveCambiata");
    case FailureKind::LocalPortInUse:
        return fillText(texts.text("ErrPortaInUso"), {failure.detail});
    case FailureKind::NameNotKnown:
        return texts.text("ErrNomeSconosciuto");
    case FailureKind::ServerNotAnswering:
        return texts.text("ErrServerNonRisponde");
    case FailureKind::ConnectTimedOut:
        return texts.text(connectStageKey(failure.stage));
    case FailureKind::ClosedEarly:
        return texts.text("ErrChiusaSubito");
    case FailureKind::ForwardingRefused:
        return fillText(texts.text("ErrInoltroRifiutato"), {failure.detail});
    case FailureKind::BeforeFailed:
        return fillText(texts.text("ErrPrimaFallito"), {failure.detail});
    case FailureKind::BeforeNotStarted:
        return fillText(texts.text("ErrPrimaNonAvviato"), {failure.detail});
    case FailureKind::BeforeTimedOut:
        return texts.text("ErrPrimaScaduto");
    case FailureKind::ClientEnded:
    case FailureKind::None:
        break;
    }
    return failure.detail.empty() ? texts.text("ErrClientTerminato") : failure.detail;
}

std::string clockTime(std::chrono::system_clock::time_point at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    const std::tm* local = std::localtime(&seconds);
    if (!local)
        return {};
    char text[8];
    std::strftime(text, sizeof text, "%H:%M", local);
    return text;
}

std::string statusWords(const TunnelHealth& health, const MessageSource& texts) {
    if (health.status == TunnelStatus::Connected && health.warning)
        return fillText(texts.text("StatoAvvisoServizio"), {health.warning->service, clockTime(health.warning->at)});
    if (health.awaitingUser)
        return texts.text("StatoAttesaUtente");
    const std::string text = texts.text(statusKey(health.status));
    if (health.status != TunnelStatus::Failed)
        return text;
    const std::string failed = fillText(text, {reasonWords(health.failure, texts)});
    if (!health.retryIn)
        return failed;
    return fillText(texts.text("RiconnessioneTra"), {failed, std::to_string(*health.retryIn)});
}

std::string connectionsWords(int count, const MessageSource& texts) {
    return fillText(texts.text(count == 1 ? "Connessione1" : "ConnessioniN"), {std::to_string(count)});
}

std::string durationWords(std::chrono::steady_clock::duration up, const MessageSource& texts) {
    const auto minutes = std::chrono::duration_cast<std::chrono::minutes>(up).count();
    if (minutes < 1)
        return texts.text("DurataMenoDiUnMinuto");
    if (minutes < 60)
        return fillText(texts.text("DurataMinuti"), {std::to_string(minutes)});
    const auto hours = minutes / 60;
    if (hours < 24)
        return fillText(texts.text("DurataOre"), {std::to_string(hours), std::to_string(minutes % 60)});
    return fillText(texts.text("DurataGiorni"), {std::to_string(hours / 24), std::to_string(hours % 24)});
}

std::string activityWords(const TunnelActivity& activity, const MessageSource& texts) {
    const std::string up = fillText(texts.text("AttivoDa"), {durationWords(activity.up, texts)});
    if (!activity.connections)
        return up;
    return connectionsWords(*activity.connections, texts) + " · " + up;
}

std::string quickOpenRefusal(const std::string& caption, const std::string& value, QuickOpenProblem problem,
                             const MessageSource& texts) {
    std::string_view key = "ApriCaratteriControllo";
    switch (problem) {
    case QuickOpenProblem::LeadingDash:
        key = "ApriTrattino";
        break;
    case QuickOpenProblem::SchemeNotAllowed:
        key = "ApriSchema";
        break;
    case QuickOpenProblem::BadAddress:
        key = "ApriIndirizzo";
        break;
    case QuickOpenProblem::NoPort:
        key = "ApriSenzaPorta";
        break;
    case QuickOpenProblem::ControlCharacter:
    case QuickOpenProblem::None:
        break;
    }
    // A control character is shown as a blank: the box must not break the line where the value does.
    std::string shown = value;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = ' ';
    }
    return fillText(texts.text("ApriRifiutato"), {caption, shown, texts.text(key)});
}

std::string fieldProblemWords(const FieldProblem& problem, const MessageSource& texts) {
    std::string_view key;
    switch (problem.fault) {
    case FieldFault::LeadingDash:
        key = "CampoConTrattino";
        break;
    case FieldFault::NotAPort:
        key = "PortaNonValida";
        break;
    case FieldFault::Unpassable:
        key = "CampoNonValido";
        break;
    case FieldFault::NotSet:
        key = "CampoNonImpostato";
        break;
    case FieldFault::NotAForward:
        key = "InoltroNonValido";
        break;
    }
    std::string words = fillText(texts.text(key), {texts.fieldName(problem.field)});
    if (problem.entry.empty())
        return words;
    // The entry as the file holds it may carry what a box cannot show.
    std::string entry = problem.entry;
    for (char& c : entry) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    }
    return fillText(texts.text("VoceInoltro"), {words, entry});
}

namespace {

// "Quorvane non può passare per «X»: " and the reason.
std::string jumpProblemWords(const Notice& notice, const std::string& caption, const MessageSource& texts) {
    std::string reason;
    switch (static_cast<JumpProblem>(notice.code)) {
    case JumpProblem::NotListed:
        reason = texts.text("PassaggioMancante");
        break;
    case JumpProblem::Itself:
        reason = texts.text("PassaggioSeStesso");
        break;
    case JumpProblem::Chained:
        reason = texts.text("PassaggioInCatena");
        break;
    case JumpProblem::FieldRefused:
        reason = notice.field ? fieldProblemWords(*notice.field, texts) : std::string();
        break;
    case JumpProblem::KeyFileMissing:
        reason = fillText(texts.text("ChiaveMancante"), {notice.detail});
        break;
    case JumpProblem::Unusable:
    default:
        reason = notice.detail;
        break;
    }
    return fillText(texts.text("PassaggioNonUsabile"), {caption, notice.subject, reason});
}

} // namespace

NoticeWords noticeWords(const Notice& notice, const std::string& caption, const MessageSource& texts) {
    const auto message = [&](std::string_view key, const std::vector<std::string>& values = {}) {
        return NoticeWords{fillText(texts.text(key), values)};
    };
    switch (notice.kind) {
    case NoticeKind::DefinitionUnusable:
    case NoticeKind::LaunchFailed:
    case NoticeKind::FolderNotCreated:
        return {notice.detail, true};
    case NoticeKind::FieldRefused:
        return {notice.field ? fieldProblemWords(*notice.field, texts) : std::string()};
    case NoticeKind::KeyFileMissing:
        return message("ChiaveMancante", {notice.subject});
    case NoticeKind::JumpUnusable:
        return {jumpProblemWords(notice, caption, texts), true};
    case NoticeKind::ProgramNotApproved:
    case NoticeKind::AfterNotApproved: {
        const std::string slot = texts.fieldName(
            notice.detail == programSlotKey(ProgramSlot::After) ? ConnectField::Dopo : ConnectField::Prima);
        return message(notice.kind == NoticeKind::AfterNotApproved ? "DopoNonApprovato" : "ProgrammaNonApprovato",
                       {caption, slot, notice.subject});
    }
    case NoticeKind::ApprovalNotSaved:
        return message("ApprovazioneNonSalvata", {caption, notice.detail});
    case NoticeKind::BeforeNotStarted:
        return message("PrimaNonAvviato", {caption, notice.subject, notice.detail});
    case NoticeKind::BeforeTimedOut:
        return message("PrimaScaduto", {caption, notice.subject});
    case NoticeKind::BeforeFailed:
        return message("PrimaFallito", {caption, notice.subject, std::to_string(notice.code)});
    case NoticeKind::AfterFailed:
        return {notice.subject + ": " + notice.detail, true};
    case NoticeKind::StopFailed:
        return message("ArrestoNonRiuscito", {caption});
    case NoticeKind::RenameWhileRunning:
        return message("RinominaConnesso", {caption});
    case NoticeKind::NameTaken:
        return message("TunnellEsistente");
    case NoticeKind::RenameFailed:
        return message("RinominaNonRiuscita", {caption});
    case NoticeKind::NameInvalid:
        return message("NomeNonValido");
    case NoticeKind::NameUnmanageable:
        return message("NomeNonGestibile", {caption});
    case NoticeKind::FolderNotRemoved:
        return message("ProbRimozCartella");
    case NoticeKind::ClientNotCopied:
        return message("ClientNonCopiato");
    case NoticeKind::KeyNotConverted:
        return {fillText(texts.text("ChiaveNonConvertita"), {caption, notice.subject, notice.detail}), true};
    case NoticeKind::HostKeyOffered: {
        const HostKeyOffer offer = notice.failure.hostKey.value_or(HostKeyOffer{});
        return message("DomandaChiaveHost", {offer.host, offer.port, offer.keyType, offer.fingerprint});
    }
    case NoticeKind::HostKeyChanged: {
        // Both keys, so that the user can tell an expected change (compared with what the server's owner
        // says) from someone in between.
        const std::string stored = notice.subject.empty() ? texts.text("ChiaveNellaCacheClient") : notice.subject;
        const std::string presented = notice.failure.hostKey && !notice.failure.hostKey->fingerprint.empty()
                                          ? notice.failure.hostKey->keyType + " " + notice.failure.hostKey->fingerprint
                                          : texts.text("ChiaveNonIndicata");
        return {fillText(texts.text("AvvisoChiaveCambiata"), {caption}) + "\n\n" +
                    fillText(texts.text("ChiaveMemorizzata"), {stored}) + "\n" +
                    fillText(texts.text("ChiavePresentata"), {presented}),
                true};
    }
    case NoticeKind::OpenRefused:
        return {quickOpenRefusal(caption, notice.subject, static_cast<QuickOpenProblem>(notice.code), texts), true};
    case NoticeKind::OpenNotApproved:
        return message("ApriNonApprovato", {caption, notice.subject});
    case NoticeKind::OpenFailed:
        return {notice.subject + ": " + notice.detail, true};
    case NoticeKind::Dropped:
        return message("NotificaInterrotto", {caption, reasonWords(notice.failure, texts)});
    case NoticeKind::Restored:
        return message("NotificaRipristinato", {caption});
    }
    return {};
}

} // namespace quorvane
