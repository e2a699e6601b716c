// The words for tunnel notices and states, without Qt: the same rules for the windows and the command line.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "process/command_line.h"
#include "service/tunnel_service.h"
#include "tunnel/tunnel_health_tracker.h"
#include "tunnel/tunnel_monitor.h"

#include "i18n/text_fill.h"

namespace quorvane {

// Where the words come from: the windows' current language, or the built-in texts.
class MessageSource {
public:
    virtual ~MessageSource() = default;
    // The message text of that key (a field of fMessage), UTF-8.
    virtual std::string text(std::string_view key) const = 0;
    // The field as the editor's captions name it.
    virtual std::string fieldName(ConnectField field) const = 0;
};

// The built-in Italian texts, with no window built.
class BuiltInMessages : public MessageSource {
public:
    std::string text(std::string_view key) const override;
    std::string fieldName(ConnectField field) const override;
};

// A field's name from the captions of the editor's labels and group titles, looked up by object name
// (see builtInCaption): mnemonics and a trailing ':' dropped, the server's fields named with their group.
std::string fieldNameFromCaptions(ConnectField field,
                                  const std::function<std::string(std::string_view objectName)>& caption);

// The key of a status's words ("StatoErrore" for Failed, which takes the reason).
std::string_view statusKey(TunnelStatus status);

// The reason of a failure, in the client's own words where no text of ours says it better.
std::string reasonWords(const ClientFailure& failure, const MessageSource& texts);

// A time of day as the status shows it ("10:42", local time).
std::string clockTime(std::chrono::system_clock::time_point at);

// "Connesso" (with a refusing service named), "Connessione in corso", "Non connesso" or "Errore: " and the
// reason, with the wait until the next try.
std::string statusWords(const TunnelHealth& health, const MessageSource& texts);

// "1 connessione", "3 connessioni".
std::string connectionsWords(int count, const MessageSource& texts);
// A time a tunnel has been up, to the minute: "meno di 1 min", "14 min", "2 h 14 min", "3 g 5 h".
std::string durationWords(std::chrono::steady_clock::duration up, const MessageSource& texts);
// "3 connessioni · attivo da 2 h 14 min"; without the count when it is not known.
std::string activityWords(const TunnelActivity& activity, const MessageSource& texts);

// Why the tunnel's "Apri" value is not opened: "Il tunnell T non può aprire "V": ...".
std::string quickOpenRefusal(const std::string& caption, const std::string& value, QuickOpenProblem problem,
                             const MessageSource& texts);

// The refusal of a field the client cannot be given, naming the field.
std::string fieldProblemWords(const FieldProblem& problem, const MessageSource& texts);

struct NoticeWords {
    std::string text;
    bool error = false; // for an error box rather than a message
};

// What to tell the user about a notice; caption is the tunnel's name as the user sees it.
NoticeWords noticeWords(const Notice& notice, const std::string& caption, const MessageSource& texts);

} // namespace quorvane
