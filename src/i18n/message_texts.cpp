// TfMessage: the hidden window whose edit fields hold the translatable message texts.
#include "i18n/message_texts.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "i18n/builtin_texts.h"
#include "i18n/text_fill.h"

namespace quorvane {

QString filled(const QString& text, const QStringList& values) {
    // One rule for the window and the terminal: the core's.
    std::vector<std::string> utf8;
    utf8.reserve(static_cast<std::size_t>(values.size()));
    for (const QString& value : values)
        utf8.push_back(value.toStdString());
    return QString::fromStdString(fillText(text.toStdString(), utf8));
}

TfMessage::TfMessage(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fMessage"));
    setWindowTitle(QStringLiteral("Messaggi"));

    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(
        QStringLiteral("Questa form è usata solo per la traduzione dei messaggi per le showmessage()"), this);
    label->setObjectName(QStringLiteral("Label1"));
    layout->addWidget(label);

    // The texts live in the core, where the command line reads them with no window built.
    m_fields.reserve(builtInTexts().size());
    for (const BuiltInText& entry : builtInTexts()) {
        const QString name = QString::fromUtf8(entry.key.data(), qsizetype(entry.key.size()));
        m_byName.insert(name, m_fields.size());
        m_byFoldedName.insert(name.toLower(), m_fields.size());
        m_fields.push_back({name, QString::fromUtf8(entry.text.data(), qsizetype(entry.text.size()))});
    }
}

QString TfMessage::text(const QString& field) const {
    const auto found = m_byName.constFind(field);
    if (found == m_byName.cend())
        return {};
    const Field& entry = m_fields[*found];
    return entry.edit ? entry.edit->text() : entry.builtIn;
}

QStringList TfMessage::fieldNames() const {
    QStringList names;
    names.reserve(qsizetype(m_fields.size()));
    for (const Field& field : m_fields)
        names << field.name;
    return names;
}

QObject* TfMessage::makeComponent(const QString& name) {
    const auto found = m_byFoldedName.constFind(name.toLower());
    if (found == m_byFoldedName.cend())
        return nullptr;
    Field& field = m_fields[*found];
    if (!field.edit) {
        field.edit = new QLineEdit(field.builtIn, this);
        field.edit->setObjectName(field.name);
        layout()->addWidget(field.edit);
    }
    return field.edit;
}

} // namespace quorvane
