// The one table that maps the published property names a language file uses onto Qt objects.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QObject;

namespace quorvane {

enum class PropertyKind { Text, Integer, TextList };

// The kind of the property of that name (matched without regard to case) on that component, or
// nothing when the component offers no such property. The application object offers none.
std::optional<PropertyKind> translatablePropertyKind(const QObject* component, const QString& name);

// The current value of a text property; empty for integer and text-list properties and unknown names.
QString translatableText(const QObject* component, const QString& name);

enum class PropertyOutcome { Set, UnknownProperty, NotAnInteger };

// Sets the property from a text: text kinds take it as it is, integers are read with
// language::parseInteger and clamped with language::clampInteger to the primary screen's available
// area, text lists are split with splitTextList at separator and replace the items. Changes nothing
// for an unknown property or an integer property given a value that is not an integer.
PropertyOutcome setTranslatableProperty(QObject* component, const QString& name, const QString& value,
                                        const QString& separator);

// language::splitTextList on Qt texts.
QStringList splitTextList(const QString& value, const QString& separator);

// Drops every character up to and including the blank (codes 0 to 32) at both ends.
QString trimBlanks(const QString& text);

} // namespace quorvane
