// Property adapters: the published property names of the program's controls, per kind of control, on Qt.
#include "i18n/property_adapters.h"

#include "i18n/language_engine.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QSizeGrip>
#include <QStatusBar>
#include <QTextEdit>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <algorithm>

namespace quorvane {
namespace {

// ---- kinds of control -------------------------------------------------------------------------

bool hasMetaProperty(const QObject* o, const char* name) {
    return o->metaObject()->indexOfProperty(name) >= 0;
}

// Menus are popup windows in Qt, but to a language file they are menu items or menus, never windows.
bool isControl(const QObject* o) {
    return o->isWidgetType() && !qobject_cast<const QMenu*>(o);
}

bool isWindow(const QObject* o) {
    return isControl(o) && static_cast<const QWidget*>(o)->isWindow();
}

bool isListView(const QObject* o) {
    return o->property("controlKind").toString().compare(QLatin1String("ListView"), Qt::CaseInsensitive) == 0;
}

bool isFileListBox(const QObject* o) {
    return hasMetaProperty(o, "Mask");
}

bool isListBox(const QObject* o) {
    return qobject_cast<const QListWidget*>(o) && !isListView(o) && !isFileListBox(o);
}

bool isMemo(const QObject* o) {
    return qobject_cast<const QPlainTextEdit*>(o) || qobject_cast<const QTextEdit*>(o);
}

bool isEdit(const QObject* o) {
    return qobject_cast<const QLineEdit*>(o);
}

bool hasImeName(const QObject* o) {
    return isEdit(o) || isListBox(o) || isMemo(o) || isFileListBox(o);
}

QWidget* widget(QObject* o) {
    return static_cast<QWidget*>(o);
}
const QWidget* widget(const QObject* o) {
    return static_cast<const QWidget*>(o);
}

bool hasPanels(const QStatusBar* bar) {
    const auto children = bar->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    return std::any_of(children.begin(), children.end(),
                       [](const QWidget* child) { return !qobject_cast<const QSizeGrip*>(child); });
}

// Qt fires a timer of interval 0 on every pass of the event loop and refuses negative ones; here an
// interval of 0 (or a negative one, beyond any useful wait) parks a running timer until it gets a real one.
constexpr char kParked[] = "IntervalParked";

void setTimerInterval(QObject* o, int interval) {
    auto* timer = static_cast<QTimer*>(o);
    if (interval <= 0) {
        if (timer->isActive()) {
            timer->stop();
            timer->setProperty(kParked, true);
        }
        return;
    }
    timer->setInterval(interval);
    if (timer->property(kParked).toBool()) {
        timer->setProperty(kParked, QVariant());
        timer->start();
    }
}

// ---- the table --------------------------------------------------------------------------------

using Applies = bool (*)(const QObject*);
using ReadText = QString (*)(const QObject*);
using WriteText = void (*)(QObject*, const QString&);
using WriteInt = void (*)(QObject*, int);
using WriteList = void (*)(QObject*, const QStringList&);

struct Adapter {
    const char* name;
    Applies applies;
    PropertyKind kind;
    ReadText read = nullptr;       // text properties
    WriteText writeText = nullptr; // text properties
    WriteInt writeInt = nullptr;   // integer properties
    WriteList writeList = nullptr; // text-list properties
};

// Texts kept as properties of the object: declared ones where the object has them (the tray icon's Hint,
// Mask, URL), otherwise dynamic ones that have no visible effect in Qt but read back as set.
constexpr char kHint[] = "Hint";
constexpr char kMask[] = "Mask";
constexpr char kUrl[] = "URL";
constexpr char kHelpKeyword[] = "HelpKeyword";
constexpr char kHelpFile[] = "HelpFile";
constexpr char kImeName[] = "ImeName";

template <const char* Name> QString readStored(const QObject* o) {
    return o->property(Name).toString();
}

template <const char* Name> void writeStored(QObject* o, const QString& v) {
    o->setProperty(Name, v);
}

// Order matters only where one object fits two rows of the same name: the first row that applies wins.
const Adapter kAdapters[] = {
    // Caption
    {"Caption", isWindow, PropertyKind::Text, [](const QObject* o) { return widget(o)->windowTitle(); },
     [](QObject* o, const QString& v) { widget(o)->setWindowTitle(v); }},
    {"Caption", [](const QObject* o) -> bool { return qobject_cast<const QLabel*>(o); }, PropertyKind::Text,
     [](const QObject* o) { return static_cast<const QLabel*>(o)->text(); },
     [](QObject* o, const QString& v) { static_cast<QLabel*>(o)->setText(v); }},
    {"Caption", [](const QObject* o) -> bool { return qobject_cast<const QAbstractButton*>(o); }, PropertyKind::Text,
     [](const QObject* o) { return static_cast<const QAbstractButton*>(o)->text(); },
     [](QObject* o, const QString& v) { static_cast<QAbstractButton*>(o)->setText(v); }},
    {"Caption", [](const QObject* o) -> bool { return qobject_cast<const QGroupBox*>(o); }, PropertyKind::Text,
     [](const QObject* o) { return static_cast<const QGroupBox*>(o)->title(); },
     [](QObject* o, const QString& v) { static_cast<QGroupBox*>(o)->setTitle(v); }},
    {"Caption", [](const QObject* o) -> bool { return qobject_cast<const QAction*>(o); }, PropertyKind::Text,
     [](const QObject* o) { return static_cast<const QAction*>(o)->text(); },
     [](QObject* o, const QString& v) { static_cast<QAction*>(o)->setText(v); }},
    {"Caption", [](const QObject* o) -> bool { return qobject_cast<const QMenu*>(o); }, PropertyKind::Text,
     [](const QObject* o) { return static_cast<const QMenu*>(o)->title(); },
     [](QObject* o, const QString& v) { static_cast<QMenu*>(o)->setTitle(v); }},

    // Hint: the tray icon keeps its own; menu items show it in the status line as well, and read it back
    // from there because an action's tooltip falls back to its caption.
    {"Hint", [](const QObject* o) { return hasMetaProperty(o, "Hint"); }, PropertyKind::Text, readStored<kHint>,
     writeStored<kHint>},
    {"Hint", [](const QObject* o) -> bool { return qobject_cast<const QAction*>(o); }, PropertyKind::Text,
     [](const QObject* o) { return static_cast<const QAction*>(o)->statusTip(); },
     [](QObject* o, const QString& v) {
         static_cast<QAction*>(o)->setToolTip(v);
         static_cast<QAction*>(o)->setStatusTip(v);
     }},
    {"Hint", [](const QObject* o) -> bool { return qobject_cast<const QMenu*>(o); }, PropertyKind::Text,
     [](const QObject* o) { return static_cast<const QMenu*>(o)->menuAction()->statusTip(); },
     [](QObject* o, const QString& v) {
         static_cast<QMenu*>(o)->menuAction()->setToolTip(v);
         static_cast<QMenu*>(o)->menuAction()->setStatusTip(v);
     }},
    {"Hint", isControl, PropertyKind::Text, [](const QObject* o) { return widget(o)->toolTip(); },
     [](QObject* o, const QString& v) { widget(o)->setToolTip(v); }},

    {"Text", isEdit, PropertyKind::Text, [](const QObject* o) { return static_cast<const QLineEdit*>(o)->text(); },
     [](QObject* o, const QString& v) { static_cast<QLineEdit*>(o)->setText(v); }},

    {"Mask", isFileListBox, PropertyKind::Text, readStored<kMask>, writeStored<kMask>},
    {"URL", [](const QObject* o) { return hasMetaProperty(o, "URL"); }, PropertyKind::Text, readStored<kUrl>,
     writeStored<kUrl>},
    // A status bar shows its simple text only when it has no panels: a message would hide them.
    {"SimpleText", [](const QObject* o) -> bool { return qobject_cast<const QStatusBar*>(o); }, PropertyKind::Text,
     [](const QObject* o) { return o->property("SimpleText").toString(); },
     [](QObject* o, const QString& v) {
         o->setProperty("SimpleText", v);
         if (!hasPanels(static_cast<QStatusBar*>(o)))
             static_cast<QStatusBar*>(o)->showMessage(v);
     }},
    {"HelpKeyword", isControl, PropertyKind::Text, readStored<kHelpKeyword>, writeStored<kHelpKeyword>},
    {"HelpFile", isWindow, PropertyKind::Text, readStored<kHelpFile>, writeStored<kHelpFile>},
    {"ImeName", hasImeName, PropertyKind::Text, readStored<kImeName>, writeStored<kImeName>},

    {"Items", isListBox, PropertyKind::TextList, nullptr, nullptr, nullptr,
     [](QObject* o, const QStringList& items) {
         auto* list = static_cast<QListWidget*>(o);
         list->clear();
         list->addItems(items);
     }},
    {"Lines", isMemo, PropertyKind::TextList, nullptr, nullptr, nullptr,
     [](QObject* o, const QStringList& lines) {
         const QString text = lines.join(QLatin1Char('\n'));
         if (auto* plain = qobject_cast<QPlainTextEdit*>(o))
             plain->setPlainText(text);
         else
             static_cast<QTextEdit*>(o)->setPlainText(text);
     }},

    {"Left", isControl, PropertyKind::Integer, nullptr, nullptr,
     [](QObject* o, int v) { widget(o)->move(v, widget(o)->y()); }},
    {"Top", isControl, PropertyKind::Integer, nullptr, nullptr,
     [](QObject* o, int v) { widget(o)->move(widget(o)->x(), v); }},
    {"Width", isControl, PropertyKind::Integer, nullptr, nullptr,
     [](QObject* o, int v) { widget(o)->resize(v, widget(o)->height()); }},
    {"Height", isControl, PropertyKind::Integer, nullptr, nullptr,
     [](QObject* o, int v) { widget(o)->resize(widget(o)->width(), v); }},
    {"Tag", [](const QObject*) { return true; }, PropertyKind::Integer, nullptr, nullptr,
     [](QObject* o, int v) { o->setProperty("Tag", v); }},
    {"Interval", [](const QObject* o) -> bool { return qobject_cast<const QTimer*>(o); }, PropertyKind::Integer,
     nullptr, nullptr, setTimerInterval},
};

const Adapter* findAdapter(const QObject* component, const QString& name) {
    if (!component || qobject_cast<const QCoreApplication*>(component))
        return nullptr;
    for (const Adapter& adapter : kAdapters) {
        if (name.compare(QLatin1String(adapter.name), Qt::CaseInsensitive) == 0 && adapter.applies(component))
            return &adapter;
    }
    return nullptr;
}

[[noreturn]] void throwNotAnInteger(const QString& value) {
    throw LanguageError("'" + value.toStdString() + "' is not a valid integer value");
}

int digitValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return 99;
}

} // namespace

std::optional<PropertyKind> translatablePropertyKind(const QObject* component, const QString& name) {
    const Adapter* adapter = findAdapter(component, name);
    if (!adapter)
        return std::nullopt;
    return adapter->kind;
}

QString translatableText(const QObject* component, const QString& name) {
    const Adapter* adapter = findAdapter(component, name);
    return adapter && adapter->read ? adapter->read(component) : QString();
}

bool setTranslatableProperty(QObject* component, const QString& name, const QString& value, const QString& separator) {
    const Adapter* adapter = findAdapter(component, name);
    if (!adapter)
        return false;
    switch (adapter->kind) {
    case PropertyKind::Text:
        adapter->writeText(component, value);
        break;
    case PropertyKind::Integer:
        adapter->writeInt(component, parseIntegerValue(value));
        break;
    case PropertyKind::TextList:
        adapter->writeList(component, splitTextList(value, separator));
        break;
    }
    return true;
}

int parseIntegerValue(const QString& value) {
    qsizetype i = 0;
    const qsizetype n = value.size();
    bool negative = false;
    if (i < n && (value[i] == u'+' || value[i] == u'-')) {
        negative = value[i] == u'-';
        ++i;
    }
    int base = 10;
    if (i < n && value[i] == u'$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && value[i] == u'0' && (value[i + 1] == u'x' || value[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    if (i == n)
        throwNotAnInteger(value);

    // Hexadecimal spells the 32 bits and may wrap into the negatives; decimal must fit as it is.
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 2147483648ull : 2147483647ull);
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const int digit = digitValue(value[i]);
        if (digit >= base)
            throwNotAnInteger(value);
        magnitude = magnitude * base + static_cast<quint64>(digit);
        if (magnitude > limit)
            throwNotAnInteger(value);
    }
    const auto bits = static_cast<quint32>(negative ? 0u - static_cast<quint32>(magnitude) : magnitude);
    return static_cast<int>(bits);
}

QStringList splitTextList(const QString& value, const QString& separator) {
    QStringList items;
    QString rest = value;
    if (!separator.isEmpty()) {
        qsizetype at;
        while ((at = rest.indexOf(separator)) >= 0) {
            items << trimBlanks(rest.left(at));
            rest = rest.mid(at + separator.size());
        }
    }
    rest = trimBlanks(rest);
    if (!rest.isEmpty())
        items << rest;
    return items;
}

QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= u' ')
        ++first;
    while (last > first && text[last - 1].unicode() <= u' ')
        --last;
    return text.mid(first, last - first);
}

} // namespace quorvane
