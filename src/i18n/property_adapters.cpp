// Property adapters: the published property names of the program's controls, per kind of control, on Qt.
#include "i18n/property_adapters.h"

#include "i18n/language_file.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QScreen>
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
    ReadText read = nullptr;                                            // text properties
    WriteText writeText = nullptr;                                      // text properties
    WriteInt writeInt = nullptr;                                        // integer properties
    WriteList writeList = nullptr;                                      // text-list properties
    language::IntegerProperty integer = language::IntegerProperty::Tag; // how an integer is clamped
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

    {.name = "Left",
     .applies = isControl,
     .kind = PropertyKind::Integer,
     .writeInt = [](QObject* o, int v) { widget(o)->move(v, widget(o)->y()); },
     .integer = language::IntegerProperty::Left},
    {.name = "Top",
     .applies = isControl,
     .kind = PropertyKind::Integer,
     .writeInt = [](QObject* o, int v) { widget(o)->move(widget(o)->x(), v); },
     .integer = language::IntegerProperty::Top},
    {.name = "Width",
     .applies = isControl,
     .kind = PropertyKind::Integer,
     .writeInt = [](QObject* o, int v) { widget(o)->resize(v, widget(o)->height()); },
     .integer = language::IntegerProperty::Width},
    {.name = "Height",
     .applies = isControl,
     .kind = PropertyKind::Integer,
     .writeInt = [](QObject* o, int v) { widget(o)->resize(widget(o)->width(), v); },
     .integer = language::IntegerProperty::Height},
    {.name = "Tag",
     .applies = [](const QObject*) { return true; },
     .kind = PropertyKind::Integer,
     .writeInt = [](QObject* o, int v) { o->setProperty("Tag", v); },
     .integer = language::IntegerProperty::Tag},
    {.name = "Interval",
     .applies = [](const QObject* o) -> bool { return qobject_cast<const QTimer*>(o); },
     .kind = PropertyKind::Integer,
     .writeInt = setTimerInterval,
     .integer = language::IntegerProperty::Interval},
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

// A window that is off the screen, or far larger than it, cannot be used: positions and sizes stay on it.
language::ScreenArea availableScreen() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    if (area.isEmpty())
        return {};
    return {area.x(), area.y(), area.width(), area.height()};
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

PropertyOutcome setTranslatableProperty(QObject* component, const QString& name, const QString& value,
                                        const QString& separator) {
    const Adapter* adapter = findAdapter(component, name);
    if (!adapter)
        return PropertyOutcome::UnknownProperty;
    switch (adapter->kind) {
    case PropertyKind::Text:
        adapter->writeText(component, value);
        break;
    case PropertyKind::Integer: {
        const std::optional<int> number = language::parseInteger(value.toStdString());
        if (!number)
            return PropertyOutcome::NotAnInteger;
        adapter->writeInt(component,
                          language::clampInteger(adapter->integer, *number, isWindow(component), availableScreen()));
        break;
    }
    case PropertyKind::TextList:
        adapter->writeList(component, splitTextList(value, separator));
        break;
    }
    return PropertyOutcome::Set;
}

QStringList splitTextList(const QString& value, const QString& separator) {
    QStringList items;
    for (const std::string& item : language::splitTextList(value.toStdString(), separator.toStdString()))
        items << QString::fromStdString(item);
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
