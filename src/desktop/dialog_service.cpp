// The program-wide dialog service and the error box of commands.
#include "desktop/dialog_service.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <stdexcept>

#include "desktop/qt_dialog_service.h"
#include "i18n/builtin_texts.h"

namespace quorvane {

namespace {
DialogService* g_installed = nullptr;
std::function<QString(const QString&)> g_texts;
} // namespace

void setDialogTexts(std::function<QString(const QString& key)> texts) {
    g_texts = std::move(texts);
}

QString dialogText(const QString& key) {
    if (g_texts) {
        if (QString text = g_texts(key); !text.isEmpty())
            return text;
    }
    const std::string_view builtIn = builtInText(key.toStdString());
    return QString::fromUtf8(builtIn.data(), qsizetype(builtIn.size()));
}

QString errorBoxText(const QString& message) {
    if (!message.isEmpty() && message.back().unicode() > u'.')
        return message + u'.';
    return message;
}

bool DialogService::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}

DialogService& dialogs() {
    static QtDialogService qtDialogs;
    return g_installed ? *g_installed : qtDialogs;
}

void setDialogService(DialogService* service) {
    g_installed = service;
}

ScopedDialogService::ScopedDialogService(DialogService& service) : m_previous(g_installed) {
    g_installed = &service;
}

ScopedDialogService::~ScopedDialogService() {
    g_installed = m_previous;
}

void runCommand(const std::function<void()>& command) {
    try {
        command();
    } catch (const std::exception& error) {
        dialogs().showError(errorBoxText(QString::fromUtf8(error.what())));
    } catch (...) {
        dialogs().showError(errorBoxText(QStringLiteral("Unknown error")));
    }
}

} // namespace quorvane
