// Message box, error box and input box behind one interface, so tests can answer them.
#pragma once

#include <QString>
#include <QUrl>
#include <exception>
#include <functional>
#include <optional>

namespace quorvane {

class DialogService {
public:
    virtual ~DialogService() = default;

    // Modal box with the application title as caption, an OK button and no icon.
    virtual void showMessage(const QString& text) = 0;

    // The application's error box: stop icon, OK, the text as given (see errorBoxText).
    virtual void showError(const QString& text) = 0;

    // A warning box with "Sì"/"No" buttons ("No" the default); true for yes.
    virtual bool question(const QString& text) = 0;

    // Input box with a single-line field of at most maxLength characters and "OK"/"Cancel";
    // returns the text typed, or initialText when cancelled or closed.
    virtual QString inputBox(const QString& title, const QString& prompt, const QString& initialText,
                             int maxLength) = 0;

    // inputBox that tells a cancel apart from an answer: nothing when cancelled or closed.
    virtual std::optional<QString> askText(const QString& title, const QString& prompt, const QString& initialText,
                                           int maxLength) = 0;

    // The system's dialogs to pick a file to write (an existing one is confirmed there) or to read; filter as
    // Qt's file dialogs take it. Empty when cancelled.
    virtual QString saveFileName(const QString& title, const QString& suggested, const QString& filter) = 0;
    virtual QString openFileName(const QString& title, const QString& filter) = 0;

    // The address in the user's browser (QDesktopServices); false when the system could not open it.
    virtual bool openUrl(const QUrl& url);
};

// The error box text: the message with "." appended when its last character's code is greater than
// that of ".".
QString errorBoxText(const QString& message);

// The words of the boxes' own buttons come from the message texts (by key, e.g. "BottoneSi"), so that a
// language file reaches them; with no source set, or an empty text, the built-in ones.
void setDialogTexts(std::function<QString(const QString& key)> texts);
QString dialogText(const QString& key);

// The program's dialog service (Qt dialogs by default); tests install their own.
DialogService& dialogs();
void setDialogService(DialogService* service); // nullptr restores the Qt dialogs

// Installs a service for a scope, then puts back the one before (a test's, or the Qt dialogs).
class ScopedDialogService {
public:
    explicit ScopedDialogService(DialogService& service);
    ~ScopedDialogService();
    ScopedDialogService(const ScopedDialogService&) = delete;
    ScopedDialogService& operator=(const ScopedDialogService&) = delete;

private:
    DialogService* m_previous;
};

// Runs a command; an error that escapes it is shown in the error box and the program goes on.
void runCommand(const std::function<void()>& command);

} // namespace quorvane
