// TLanguageEngine: walks each "Translations" key from the application to a window, a component, a property.
#include "i18n/language_engine.h"

#include "i18n/component_source.h"
#include "i18n/property_adapters.h"

#include <QApplication>
#include <QWidget>
#include <exception>
#include <string>
#include <vector>

namespace quorvane {
namespace {

bool sameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

TLanguageEngine::WindowMaker& windowMaker() {
    static TLanguageEngine::WindowMaker maker;
    return maker;
}

// A window of the program. Popup menus are top-level widgets in Qt but not windows here, and a window
// without a parent is preferred over a dialog parented to another window of the same name. One not made yet
// is made.
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
    if (!parented && windowMaker())
        return windowMaker()(name);
    return parented;
}

// Every component of a window, whatever control it sits in: menu items under their menus, widgets
// under their layouts' hosts, timers and the tray icon under the window; and one the window makes when named.
QObject* findComponent(QObject* owner, const QString& name) {
    const auto all = owner->findChildren<QObject*>(QString(), Qt::FindChildrenRecursively);
    for (QObject* child : all) {
        if (!child->objectName().isEmpty() && sameName(child->objectName(), name))
            return child;
    }
    auto* source = dynamic_cast<ComponentSource*>(owner);
    return source && !name.isEmpty() ? source->makeComponent(name) : nullptr;
}

} // namespace

TLanguageEngine::TLanguageEngine(QObject* owner) : QObject(owner) {}

void TLanguageEngine::SetWindowMaker(WindowMaker maker) {
    windowMaker() = std::move(maker);
}

void TLanguageEngine::SetResourceFile(const QString& file) {
    if (file != m_resourceFile)
        m_resourceFile = file;
    if (m_autoTranslate)
        ApplyLanguageFile(QString());
}

void TLanguageEngine::SetStringsSeparator(const QString& separator) {
    m_stringsSeparator = trimBlanks(separator).isEmpty() ? QStringLiteral("\r\n") : separator;
}

void TLanguageEngine::report(const QString& problem) {
    if (m_problems.size() < kMaxProblems)
        m_problems << problem;
    else
        ++m_unlistedProblems;
}

// A handler or a property that throws costs its own entry, never the rest of the file.
template <typename Call> void TLanguageEngine::guarded(const QString& where, Call&& call) {
    try {
        call();
    } catch (const std::exception& error) {
        report(where + QString::fromUtf8(error.what()));
    } catch (...) {
        report(where + QStringLiteral("unknown error"));
    }
}

void TLanguageEngine::ApplyLanguageFile(const QString& fileName) {
    m_problems.clear();
    m_unlistedProblems = 0;
    guarded(QString(), [&] {
        if (OnBeforeTranslation)
            OnBeforeTranslation(this);
    });

    const QString file = fileName.isEmpty() ? m_resourceFile : fileName;
    if (!file.isEmpty()) {
        language::File parsed;
        guarded(QString(), [&] { parsed = language::readFile(file.toStdString()); });
        for (const language::Entry& entry : parsed.entries) {
            if (!language::trimBlanks(entry.key).empty())
                applyEntry(entry.key, QString::fromStdString(parsed.valueOf(entry)), entry.line);
        }
        for (const std::string& problem : parsed.problems)
            report(QString::fromStdString(problem));
    }

    guarded(QString(), [&] {
        if (OnAfterTranslation)
            OnAfterTranslation(this);
    });
}

void TLanguageEngine::ApplyLanguageFileUnder(const QString& fileName, const QString& keyPrefix) {
    m_problems.clear();
    m_unlistedProblems = 0;
    language::File parsed;
    guarded(QString(), [&] { parsed = language::readFile(fileName.toStdString()); });
    for (const language::Entry& entry : parsed.entries) {
        const QString key = QString::fromStdString(std::string(language::trimBlanks(entry.key)));
        if (key.startsWith(keyPrefix, Qt::CaseInsensitive))
            applyEntry(entry.key, QString::fromStdString(parsed.valueOf(entry)), entry.line);
    }
}

void TLanguageEngine::ApplyEntry(const QString& key, const QString& value) {
    m_problems.clear();
    m_unlistedProblems = 0;
    QString text = value;
    text.replace(QLatin1Char('~'), QLatin1Char('\t'));
    applyEntry(key.toStdString(), text, 0);
}

QStringList TLanguageEngine::lastProblems() const {
    if (m_unlistedProblems == 0)
        return m_problems;
    return m_problems + QStringList{QStringLiteral("... and %1 more problems").arg(m_unlistedProblems)};
}

void TLanguageEngine::applyEntry(std::string_view key, QString text, std::size_t line) {
    // The walk starts at the application, which owns the windows; the windows own all their components.
    const std::vector<std::string_view> names = language::splitKey(key);
    QObject* current = QCoreApplication::instance();
    for (std::size_t i = 0; i + 1 < names.size() && current; ++i) {
        const QString name = QString::fromUtf8(names[i].data(), static_cast<qsizetype>(names[i].size()));
        current = i == 0 ? findWindow(name) : findComponent(current, name);
    }
    if (!current || text.isEmpty())
        return;

    const QString property = QString::fromUtf8(names.back().data(), static_cast<qsizetype>(names.back().size()));
    const QString keyText = QString::fromUtf8(key.data(), static_cast<qsizetype>(key.size()));
    const QString where =
        line > 0 ? QStringLiteral("line %1, %2: ").arg(line).arg(keyText) : keyText + QStringLiteral(": ");
    guarded(where, [&] {
        if (OnTranslate) {
            const QString oldValue = translatableText(current, property);
            OnTranslate(this, current, property, oldValue, text);
        }
        if (SetPropertyText(current, property, text) == PropertyOutcome::NotAnInteger) {
            // A value of up to 2047 characters would swamp the list.
            constexpr qsizetype kShown = 40;
            const QString shown = text.size() > kShown ? text.left(kShown) + QStringLiteral("...") : text;
            report(where + QStringLiteral("'%1' is not a valid integer value").arg(shown));
        }
    });
}

PropertyOutcome TLanguageEngine::SetPropertyText(QObject* component, const QString& propertyName,
                                                 const QString& value) {
    // Renaming a component would leave every later entry for it finding nothing: Name is refused.
    if (!component || sameName(trimBlanks(propertyName), QStringLiteral("Name")))
        return PropertyOutcome::UnknownProperty;
    return setTranslatableProperty(component, trimBlanks(propertyName), value, m_stringsSeparator);
}

} // namespace quorvane
