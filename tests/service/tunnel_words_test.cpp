// The words of tunnel notices and states in the built-in texts, as the windows say them.
#include "service/tunnel_words.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

struct NoticeCase {
    const char* name;
    Notice notice;
    std::string text;
    bool error = false;
};

ClientFailure failure(FailureKind kind, std::string detail = {}) {
    return {kind, std::move(detail), std::nullopt};
}

class NoticeWordsTest : public ::testing::TestWithParam<NoticeCase> {};

TEST_P(NoticeWordsTest, SaysWhatTheWindowSays) {
    const NoticeWords words = noticeWords(GetParam().notice, "Ufficio", BuiltInMessages());
    EXPECT_EQ(words.text, GetParam().text);
    EXPECT_EQ(words.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, NoticeWordsTest,
    ::testing::Values(
        NoticeCase{"DefinitionUnusable",
                   {.kind = NoticeKind::DefinitionUnusable, .tunnel = "ufficio", .detail = "x is a link"},
                   "x is a link",
                   true},
        NoticeCase{"FieldRefused",
                   {.kind = NoticeKind::FieldRefused,
                    .tunnel = "ufficio",
                    .field = FieldProblem{ConnectField::PortaServer, FieldFault::NotAPort}},
                   "Il campo \"Server SSH - Porta\" deve essere un numero di porta da 1 a 65535"},
        NoticeCase{"FieldNotSet",
                   {.kind = NoticeKind::FieldRefused,
                    .tunnel = "ufficio",
                    .field = FieldProblem{ConnectField::PortaLocale, FieldFault::NotSet}},
                   "Il campo \"Porta locale\" non è impostato"},
        NoticeCase{"BeforeNotStarted",
                   {.kind = NoticeKind::BeforeNotStarted,
                    .tunnel = "ufficio",
                    .subject = "prima.bat",
                    .detail = "non trovato"},
                   "Impossibile eseguire il programma \"Prima\" del tunnell Ufficio (prima.bat): non trovato"},
        NoticeCase{"BeforeFailed",
                   {.kind = NoticeKind::BeforeFailed, .tunnel = "ufficio", .subject = "prima.bat", .code = -2},
                   "Il programma \"Prima\" del tunnell Ufficio (prima.bat) è terminato con il codice -2: il "
                   "tunnell non viene connesso"},
        NoticeCase{"AfterFailed",
                   {.kind = NoticeKind::AfterFailed, .tunnel = "ufficio", .subject = "dopo.bat", .detail = "negato"},
                   "dopo.bat: negato",
                   true},
        NoticeCase{"OpenRefused",
                   {.kind = NoticeKind::OpenRefused,
                    .tunnel = "ufficio",
                    .subject = "file:///etc\npasswd",
                    .code = static_cast<int>(QuickOpenProblem::SchemeNotAllowed)},
                   "Il tunnell Ufficio non può aprire \"file:///etc passwd\": si aprono solo indirizzi http:// e "
                   "https://",
                   true},
        NoticeCase{"OpenNotApproved",
                   {.kind = NoticeKind::OpenNotApproved, .tunnel = "ufficio", .subject = "viewer.exe"},
                   "Il programma \"viewer.exe\" da aprire per il tunnell Ufficio non è stato eseguito: non è ancora "
                   "approvato. Per approvarlo, sceglilo con Apri nel menu del tunnell."},
        NoticeCase{"RenameFailed",
                   {.kind = NoticeKind::RenameFailed, .tunnel = "ufficio"},
                   "Impossibile rinominare il tunnell \"Ufficio\""},
        NoticeCase{"HostKeyOffered",
                   {.kind = NoticeKind::HostKeyOffered,
                    .tunnel = "ufficio",
                    .failure = {FailureKind::HostKeyUnknown, "",
                                HostKeyOffer{"h.example", "2222", "ssh-ed25519", "SHA256:abc"}}},
                   "Il server h.example (porta 2222) si presenta con la chiave ssh-ed25519 SHA256:abc, non ancora "
                   "nota. Fidarsi di questo server e connettere il tunnell?"},
        NoticeCase{"HostKeyChanged",
                   {.kind = NoticeKind::HostKeyChanged,
                    .tunnel = "ufficio",
                    .subject = "SHA256:old",
                    .failure = {FailureKind::HostKeyChanged, "",
                                HostKeyOffer{"h.example", "22", "ssh-ed25519", "SHA256:new"}}},
                   "ATTENZIONE: il server del tunnell Ufficio non presenta più la chiave memorizzata. La sua identità "
                   "è cambiata, o qualcuno si frappone: il tunnell non viene connesso. Se il cambio è atteso, "
                   "dimenticare la chiave nell'editor del tunnell.\n\nChiave memorizzata: SHA256:old\nChiave "
                   "presentata ora: ssh-ed25519 SHA256:new",
                   true},
        NoticeCase{"HostKeyChangedInTheClientsCache",
                   {.kind = NoticeKind::HostKeyChanged, .tunnel = "ufficio"},
                   "ATTENZIONE: il server del tunnell Ufficio non presenta più la chiave memorizzata. La sua identità "
                   "è cambiata, o qualcuno si frappone: il tunnell non viene connesso. Se il cambio è atteso, "
                   "dimenticare la chiave nell'editor del tunnell.\n\nChiave memorizzata: nella cache di plink\n"
                   "Chiave presentata ora: non indicata",
                   true},
        NoticeCase{
            "DroppedPortInUse",
            {.kind = NoticeKind::Dropped, .tunnel = "ufficio", .failure = failure(FailureKind::LocalPortInUse, "8080")},
            "Tunnell Ufficio: porta locale 8080 già in uso"},
        NoticeCase{"DroppedInTheClientsWords",
                   {.kind = NoticeKind::Dropped,
                    .tunnel = "ufficio",
                    .failure = failure(FailureKind::ClientEnded, "Network error %1")},
                   "Tunnell Ufficio: Network error %1"},
        NoticeCase{"DroppedWithoutWords",
                   {.kind = NoticeKind::Dropped, .tunnel = "ufficio", .failure = failure(FailureKind::None)},
                   "Tunnell Ufficio: il client SSH è terminato"},
        NoticeCase{
            "Restored", {.kind = NoticeKind::Restored, .tunnel = "ufficio"}, "Tunnell Ufficio di nuovo connesso"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FieldNames, ComeFromTheEditorsCaptionsWithoutMnemonicsOrColons) {
    const std::pair<ConnectField, const char*> names[] = {
        {ConnectField::IpServer, "Server SSH - Indirizzo IP"},
        {ConnectField::PortaServer, "Server SSH - Porta"},
        {ConnectField::Username, "Account utente"},
        {ConnectField::Password, "Password"},
        {ConnectField::PortaLocale, "Porta locale"},
        {ConnectField::IpServizio, "Indirizzo IP servizio"},
        {ConnectField::PortaServizio, "Porta del servizio"},
        {ConnectField::FileChiave, "File chiave SSH"},
        {ConnectField::Inoltri, "Altri inoltri"},
    };
    for (const auto& [field, name] : names)
        EXPECT_EQ(BuiltInMessages().fieldName(field), name);
    const auto translated = [](std::string_view name) { return std::string("&").append(name).append(": :"); };
    EXPECT_EQ(fieldNameFromCaptions(ConnectField::IpServer, translated), "serversshtitle - ipaddress");
}

TEST(FillText, ReplacesEveryMarkerAndNotTheMarkerInItsOwnValue) {
    EXPECT_EQ(fillText("%2, %1 e %1", {"%1!", "b"}), "b, %1! e %1!");
    EXPECT_EQ(fillText("senza segnaposti", {"a"}), "senza segnaposti");
}

TEST(StatusWords, FailedStatesTheReason) {
    TunnelHealth health;
    EXPECT_EQ(statusWords(health, BuiltInMessages()), "Non connesso");
    health.status = TunnelStatus::Failed;
    health.failure = failure(FailureKind::AccessDenied);
    EXPECT_EQ(statusWords(health, BuiltInMessages()), "Errore: accesso negato");
    health.failure = failure(FailureKind::BeforeFailed, "3");
    EXPECT_EQ(statusWords(health, BuiltInMessages()), "Errore: il programma \"Prima\" è terminato con il codice 3");
    health.awaitingUser = true;
    EXPECT_EQ(statusWords(health, BuiltInMessages()), "In attesa dell'utente: chiave host da confermare");
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

// A refused forward entry is named as the file holds it, what a box cannot show replaced; a connect given up
// says where it stood.
TEST(TunnelWordsNew, NameTheRefusedEntryAndTheStageAConnectStoppedAt) {
    const BuiltInMessages texts;
    const std::string words =
        fieldProblemWords({ConnectField::Inoltri, FieldFault::NotAForward, "L,18991\x01,127.0.0.1"}, texts);
    EXPECT_NE(words.find("\"L,18991?,127.0.0.1\""), std::string::npos) << words;
    EXPECT_NE(words.find("Altri inoltri"), std::string::npos) << words;
    const struct {
        ConnectStage stage;
        const char* words;
    } rows[] = {
        {ConnectStage::Reaching, "nessuna risposta dal server"},
        {ConnectStage::Greeting, "il server non completa la connessione SSH: accetta ma non si presenta"},
        {ConnectStage::KeyExchange, "il server non completa la connessione SSH: lo scambio delle chiavi non finisce"},
        {ConnectStage::Login, "il server non completa l'accesso"},
    };
    for (const auto& row : rows) {
        ClientFailure failure{FailureKind::ConnectTimedOut, {}, std::nullopt};
        failure.stage = row.stage;
        EXPECT_EQ(reasonWords(failure, texts), row.words);
    }
}

} // namespace
} // namespace quorvane
