// TLanguageEngine: walks each "Translations" key from the application to a window, a component, a property.
#include "i18n/language_engine.h"

#include "i18n/property_adapters.h"
#include "store/ini_file.h"

#include <QApplication>
#include <QWidget>
#include <string>
#include <utility>
#include <vector>

namespace quorvane {
namespace {

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A window of the program. Popup menus are top-level widgets in Qt but not windows here, and a window
// without a parent is preferred over a dialog parented to another window of the same name.
QObject* findWindow(const QString& name) {
    if (name.isEmpty())
        return nullptr; // an empty name is no name: it must not pick some unnamed window
    QObject* parented = nullptr;
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* window : windows) {
        if (window->windowType() == Qt::Popup || !sameName(window->objectName(), name))
            continue;
        if (!window->parentWidget())
            return window;
        if (!parented)
            parented = window;
    }
    return parented;
}

// Every component of a window, whatever control it sits in: menu items under their menus, widgets
// under their layouts' hosts, timers and the tray icon under the window.
QObject* findComponent(const QObject* owner, const QString& name) {
    const auto all = owner->findChildren<QObject*>(QString(), Qt::FindChildrenRecursively);
    for (QObject* child : all) {
        if (!child->objectName().isEmpty() && sameName(child->objectName(), name))
            return child;
    }
    return nullptr;
}

} // namespace

TLanguageEngine::TLanguageEngine(QObject* owner) : QObject(owner) {}

void TLanguageEngine::SetResourceFile(const QString& file) {
    if (file != m_resourceFile)
        m_resourceFile = file;
    if (m_autoTranslate)
        ApplyLanguageFile(QString());
}

void TLanguageEngine::SetStringsSeparator(const QString& separator) {
    m_stringsSeparator = trimBlanks(separator).isEmpty() ? QStringLiteral("\r\n") : separator;
}

void TLanguageEngine::ApplyLanguageFile(const QString& fileName) {
    if (OnBeforeTranslation)
        OnBeforeTranslation(this);

    const QString file = fileName.isEmpty() ? m_resourceFile : fileName;
    std::vector<std::pair<QString, QString>> entries;
    if (!file.isEmpty()) {
        static const std::string kSection = "Translations";
        const IniFile ini(file.toStdString());
        // readString gives the first occurrence of a key, so a repeated key applies its first value.
        for (const std::string& key : ini.readKeyNames(kSection, kKeyBufferChars))
            entries.emplace_back(QString::fromStdString(key),
                                 QString::fromStdString(ini.readString(kSection, key, "")));
    }

    for (const auto& [key, value] : entries) {
        if (!trimBlanks(key).isEmpty())
            ApplyEntry(key, value);
    }

    if (OnAfterTranslation)
        OnAfterTranslation(this);
}

void TLanguageEngine::ApplyEntry(const QString& key, const QString& value) {
    QString rest = trimBlanks(key);
    QString text = value;
    text.replace(QLatin1Char('~'), QLatin1Char('\t'));

    // The walk starts at the application, which owns the windows; the windows own all their components.
    QObject* current = QCoreApplication::instance();
    bool atApplication = true;
    while (rest.contains(QLatin1Char('.'))) {
        if (!current)
            return;
        const qsizetype dot = rest.indexOf(QLatin1Char('.'));
        const QString head = trimBlanks(rest.left(dot));
        rest = trimBlanks(rest.mid(dot + 1));
        current = atApplication ? findWindow(head) : findComponent(current, head);
        atApplication = false;
    }
    if (!current || text.isEmpty())
        return;

    if (OnTranslate) {
        const QString oldValue = translatableText(current, rest);
        OnTranslate(this, current, rest, oldValue, text);
    }
    SetPropertyText(current, rest, text);
}

void TLanguageEngine::SetPropertyText(QObject* component, const QString& propertyName, const QString& value) {
    // Renaming a component would leave every later entry for it finding nothing: Name is refused.
    if (!component || sameName(trimBlanks(propertyName), QStringLiteral("Name")))
        return;
    setTranslatableProperty(component, trimBlanks(propertyName), value, m_stringsSeparator);
}

} // namespace quorvane
