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

// Sets the property from a text: text kinds take it as it is, integers are converted with
// parseIntegerValue, text lists are split with splitTextList at separator and replace the items.
// Returns false (and changes nothing) for an unknown property. Throws LanguageError for an integer
// property given a value that is not an integer; the property is then unchanged.
bool setTranslatableProperty(QObject* component, const QString& name, const QString& value, const QString& separator);

// Decimal, or hexadecimal after "$" or "0x", with an optional sign; the 32-bit range (hexadecimal
// wraps, so "$FFFFFFFF" is -1). Throws LanguageError "'<value>' is not a valid integer value" otherwise.
int parseIntegerValue(const QString& value);

// Items between occurrences of separator, each trimmed (an empty part gives an empty item), then the
// trimmed rest unless it is empty. An empty separator is never found: the result is the trimmed value.
QStringList splitTextList(const QString& value, const QString& separator);

// Drops every character up to and including the blank (codes 0 to 32) at both ends.
QString trimBlanks(const QString& text);

} // namespace quorvane
