// The built-in Italian texts: the messages of fMessage and the editor captions that name fields.
#include "i18n/builtin_texts.h"

#include <algorithm>

namespace quorvane {

namespace {

constexpr BuiltInText kTexts[] = {
    // The double blank is deliberate: it is the text users have always seen.
    {"NomeNonValido", "Nome non  valido!"},
    {"ProbRimozCartella", "Problemi nella rimozione della cartella"},
    {"CreazTunnell", "Creazione Tunnell"},
    {"NomeDaAssegnare", "Nome da assegnare"},
    {"Connessi", "Connessi"},
    {"Disconnessi", "Disconnessi"},
    {"Pronto", "Pronto"},
    {"TunnellEsistente", "Tunnell già esistente!"},
    {"ClientNonCopiato",
     "Impossibile copiare il client SSH (plink.exe): il tunnell è stato creato ma non potrà connettersi."},
    {"CampoConTrattino", "Il campo \"%1\" non può iniziare con \"-\""},
    {"PortaNonValida", "Il campo \"%1\" deve essere un numero di porta da 1 a 65535"},
    {"CampoNonValido", "Il campo \"%1\" contiene caratteri non ammessi"},
    {"CampoNonImpostato", "Il campo \"%1\" non è impostato"},
    {"ArrestoNonRiuscito", "Impossibile arrestare il client SSH del tunnell \"%1\""},
    {"PrimaNonAvviato", "Impossibile eseguire il programma \"Prima\" del tunnell %1 (%2): %3"},
    {"PrimaFallito",
     "Il programma \"Prima\" del tunnell %1 (%2) è terminato con il codice %3: il tunnell non viene connesso"},
    {"PrimaScaduto",
     "Il programma \"Prima\" del tunnell %1 (%2) non è terminato entro 30 secondi ed è stato fermato: il "
     "tunnell non viene connesso"},
    {"ErrPrimaFallito", "il programma \"Prima\" è terminato con il codice %1"},
    {"ErrPrimaNonAvviato", "impossibile eseguire il programma \"Prima\": %1"},
    {"ErrPrimaScaduto", "il programma \"Prima\" non è terminato entro 30 secondi"},
    {"SuggerimentoVuoto", "Nessun tunnell ancora: crearne uno con Tunnells › Aggiungi, poi impostarlo con Modifica."},
    {"NomeNonGestibile", "Il nome \"%1\" non può essere il nome di un tunnell: rinominare la cartella a mano"},
    {"ConfermaEliminazione", "Eliminare il tunnell %1 con la sua cartella, la definizione e le chiavi che contiene?"},
    {"ChiaveMancante", "File chiave non trovato: %1"},
    {"RinominaConnesso", "Disconnettere il tunnell \"%1\" prima di rinominarlo"},
    {"RinominaNonRiuscita", "Impossibile rinominare il tunnell \"%1\""},
    {"StatoNonConnesso", "Non connesso"},
    {"StatoInConnessione", "Connessione in corso"},
    {"StatoConnesso", "Connesso"},
    {"StatoErrore", "Errore: %1"},
    {"StatoAttesaUtente", "In attesa dell'utente: chiave host da confermare"},
    {"ErrAccessoNegato", "accesso negato"},
    {"ErrConnessioneRifiutata", "connessione rifiutata"},
    {"ErrChiaveSconosciuta", "chiave host non conosciuta"},
    {"ErrChiaveCambiata", "chiave host cambiata"},
    {"ErrPortaInUso", "porta locale %1 già in uso"},
    {"ErrNomeSconosciuto", "nome o servizio sconosciuto"},
    {"ErrClientTerminato", "il client SSH è terminato"},
    {"DomandaChiaveHost",
     "Il server %1 (porta %2) si presenta con la chiave %3 %4, non ancora nota. Fidarsi di questo server e "
     "connettere il tunnell?"},
    {"AvvisoChiaveCambiata",
     "ATTENZIONE: il server del tunnell %1 non presenta più la chiave memorizzata. La sua identità è "
     "cambiata, o qualcuno si frappone: il tunnell non viene connesso. Se il cambio è atteso, dimenticare "
     "la chiave nell'editor del tunnell."},
    {"ChiaveMemorizzata", "Chiave memorizzata: %1"},
    {"ChiavePresentata", "Chiave presentata ora: %1"},
    {"ChiaveNellaCacheClient", "nella cache di plink"},
    {"ChiaveNonIndicata", "non indicata"},
    {"NotificaInterrotto", "Tunnell %1: %2"},
    {"NotificaRipristinato", "Tunnell %1 di nuovo connesso"},
    {"ErrServerNonRisponde", "il server non risponde"},
    {"ErrNessunaRisposta", "nessuna risposta dal server"},
    {"ErrNessunSaluto", "il server non completa la connessione SSH: accetta ma non si presenta"},
    {"ErrScambioChiavi", "il server non completa la connessione SSH: lo scambio delle chiavi non finisce"},
    {"ErrAccessoIncompiuto", "il server non completa l'accesso"},
    {"ErrInoltriIncompiuti", "il server non conferma gli inoltri dopo l'accesso"},
    {"ErrChiusaSubito", "il server ha chiuso la connessione prima di rispondere (occupato?)"},
    {"InoltroNonValido", "Una voce del campo \"%1\" non è un inoltro: servono tipo (L, R o D), porta locale, indirizzo e porta, separati da virgole"},
    {"VoceInoltro", "%1 (voce \"%2\")"},
    {"ErrInoltroRifiutato", "il server rifiuta l'inoltro (%1)"},
    {"ErrPassaggio", "host di passaggio %1: %2"},
    {"PassaggioNonUsabile", "Il tunnell %1 non può passare per \"%2\": %3"},
    {"PassaggioMancante", "nessun tunnell ha questo nome"},
    {"PassaggioSeStesso", "un tunnell non può passare per se stesso"},
    {"PassaggioInCatena", "quel tunnell passa a sua volta per un altro"},
    {"PassaggioNessuno", "(nessuno: direttamente)"},
    {"PassaggioSuggerimento", "Un altro tunnell della lista, il cui server SSH porta al server di questo"},
    {"StatoAvvisoServizio", "Connesso — il servizio %1 rifiuta le connessioni, %2"},
    {"RiconnessioneTra", "%1 — riconnessione tra %2 s"},
    {"TunnellConnessi", "%3: %1 di %2 tunnell connessi"},
    {"OpzioniNonSalvate", "Impossibile salvare le opzioni in %1"},
    {"LinguaNonApplicata", "Impossibile usare la lingua %1: %2"},
    {"AvvioAccessoNonImpostato", "Impossibile cambiare l'avvio all'accesso: %1"},
    {"ProgrammaNonApprovato",
     "Il tunnell %1 non viene connesso: il suo programma \"%3\" (%2) non è ancora approvato. I programmi di una "
     "definizione partono solo dopo la tua approvazione: connetti il tunnell dalla finestra e rispondi Sì, oppure "
     "aprilo con Modifica e spunta \"Approva i programmi\"."},
    {"DopoNonApprovato", "Il programma \"%3\" (%2) del tunnell %1 non è stato eseguito: non è ancora approvato. Per "
                         "approvarlo, apri il tunnell con Modifica e spunta \"Approva i programmi\"."},
    {"ApprovazioneNonSalvata", "Impossibile salvare l'approvazione dei programmi del tunnell %1 in %2: vale solo "
                               "finché il programma resta aperto"},
    {"ApprovaProgrammi", "Il tunnell %1 esegue questi programmi, scritti nella sua definizione (che può venire da "
                         "altri):%2Approvarli, ed eseguirli ora e a ogni connessione?"},
    // Words of the windows themselves, so that a translation reaches every one of them.
    {"TitoloTunnell", "Tunnell: %1"},
    {"BottoneSi", "&Sì"},
    {"BottoneNo", "&No"},
    {"BottoneOk", "OK"},
    {"BottoneAnnulla", "Cancel"},
    {"ColonnaTipo", "Tipo (L, R, D)"},
    {"ColonnaPortaLocale", "Porta locale"},
    {"ColonnaIndirizzo", "Indirizzo"},
    {"ColonnaPorta", "Porta"},
    // What the local port of an extra forward is, by its kind.
    {"ColonnaPortaLocaleL", "L: la porta aperta su questo computer"},
    {"ColonnaPortaLocaleR", "R: la porta aperta sul server"},
    {"ColonnaPortaLocaleD", "D: la porta SOCKS su questo computer"},
    // Above the notices of a command on every tunnel, one line each.
    {"EsitoConnettiTutti", "Connetti tutti:"},
    {"EsitoDisconnettiTutti", "Disconnetti tutti:"},
    {"TitoloEsporta", "Esporta il tunnell"},
    {"TitoloImporta", "Importa un tunnell"},
    {"FiltroDefinizioni", "Definizioni di tunnell (*.tun);;Tutti i file (*)"},
    {"EsportaSegreti", "Mettere nel file anche la password e la chiave host memorizzata del tunnell %1? Chi avrà il "
                       "file potrà usarle."},
    {"SuggerimentoFiltro", "Filtra per nome (Esc mostra di nuovo tutti i tunnell)"},
    // What a connected tunnel carries, and for how long it has been up.
    {"Connessione1", "1 connessione"},
    {"ConnessioniN", "%1 connessioni"},
    {"AttivoDa", "attivo da %1"},
    {"DurataMenoDiUnMinuto", "meno di 1 min"},
    {"DurataMinuti", "%1 min"},
    {"DurataOre", "%1 h %2 min"},
    {"DurataGiorni", "%1 g %2 h"},
    {"ColonnaNome", "Nome"},
    {"ColonnaStato", "Stato"},
    {"ColonnaConnessioni", "Connessioni"},
    {"ColonnaAttivoDa", "Attivo da"},
    // What "Apri" opens once the tunnel is connected.
    {"ApriTunnell", "Apri %1"},
    {"ApriRifiutato", "Il tunnell %1 non può aprire \"%2\": %3"},
    {"ApriCaratteriControllo", "contiene caratteri di controllo"},
    {"ApriTrattino", "non può iniziare con \"-\""},
    {"ApriSchema", "si aprono solo indirizzi http:// e https://"},
    {"ApriIndirizzo", "l'indirizzo non è completo o contiene spazi"},
    {"ApriSenzaPorta", "il tunnell non ha una porta locale da mettere al posto di {porta}"},
    {"ApriNonApprovato", "Il programma \"%2\" da aprire per il tunnell %1 non è stato eseguito: non è ancora "
                         "approvato. Per approvarlo, sceglilo con Apri nel menu del tunnell."},
    {"ApprovaApri", "Il tunnell %1 apre questo programma, scritto nella sua definizione (che può venire da altri):"
                    "%2Approvarlo, ed eseguirlo ora e quando il tunnell si connette?"},
    {"ApriNonRiuscito", "Impossibile aprire \"%1\""},
    // What an import from the user's SSH settings found, and why a row cannot be imported.
    {"ImportaNienteTrovato", "Nessun host in %1/.ssh/config e nessuna sessione salvata di PuTTY da importare."},
    {"ImportaFatto", "Tunnell importati: %1. Impostare la password (o una chiave) di ciascuno con Modifica."},
    {"ImportaColonnaNome", "Nome"},
    {"ImportaColonnaServer", "Server"},
    {"ImportaColonnaInoltri", "Inoltri"},
    {"ImportaColonnaOrigine", "Origine"},
    {"ImportaColonnaMotivo", "Note"},
    {"ImportaIlleggibile", "non leggibile: %1"},
    {"ImportaMatch", "blocco Match: le sue condizioni si valutano solo alla connessione"},
    {"ImportaModello", "modello di host (*, ?, !): non indica un solo server"},
    {"ImportaNonSsh", "sessione %1, non SSH"},
    {"ImportaProxy", "passa per un altro server (%1): non ancora gestito"},
    {"ImportaInoltroNonGestito", "inoltro non gestibile (indirizzo d'ascolto, socket o SOCKS remoto): %1"},
    {"ImportaSenzaInoltro", "nessun inoltro: un tunnell ne richiede almeno uno"},
    {"ImportaNonMemorizzabile", "un valore non memorizzabile (non UTF-8, con un a capo o troppo lungo)"},
    {"ImportaChiaveDaConvertire", "la chiave %1 è in formato OpenSSH, che plink non legge: convertirla con \"puttygen "
                                  "%1 -O private -o %2\" e indicare il file .ppk"},
    {"ImportaChiaveConvertita", "chiave %1 in formato OpenSSH: puttygen ne fa una copia .ppk nel tunnell"},
    {"ChiaveNonConvertita", "Tunnell %1: impossibile convertire la chiave %2 per plink (%3). Il tunnell indica ancora "
                            "la chiave com'è: convertirla con puttygen e indicare il file .ppk nell'editor."},
};

// Stored as the editor shows them (a translation may add '&' or ':'; the message names drop them).
constexpr BuiltInText kCaptions[] = {
    {"serversshtitle", "Server SSH"},
    {"ipaddress", "Indirizzo IP"},
    {"port", "Porta"},
    {"useraccount", "Account utente"},
    {"password", "Password"},
    {"Label1", "File chiave SSH"},
    {"Localport", "Porta locale"},
    {"ipservice", "Indirizzo IP servizio"},
    {"portservice", "Porta del servizio"},
    {"GroupBox2", "Altri inoltri"},
    {"hostkeytitle", "Chiave host"},
    {"prima", "Prima"},
    {"dopo", "Dopo"},
};

std::string_view find(std::span<const BuiltInText> table, std::string_view key) {
    const auto it = std::find_if(table.begin(), table.end(), [key](const BuiltInText& t) { return t.key == key; });
    return it == table.end() ? std::string_view() : it->text;
}

} // namespace

std::span<const BuiltInText> builtInTexts() {
    return kTexts;
}

std::string_view builtInText(std::string_view key) {
    return find(kTexts, key);
}

std::string_view builtInCaption(std::string_view objectName) {
    return find(kCaptions, objectName);
}

} // namespace quorvane
