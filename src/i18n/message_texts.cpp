// TfMessage: the hidden window whose edit fields hold the translatable message texts.
#include "i18n/message_texts.h"

#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "i18n/builtin_texts.h"

namespace quorvane {

QString filled(const QString& text, const QStringList& values) {
    QString result = text;
    for (int i = 0; i < values.size(); ++i)
        result.replace(QStringLiteral("%") + QString::number(i + 1), values[i]);
    return result;
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
    for (const BuiltInText& entry : builtInTexts()) {
        addField(QString::fromUtf8(entry.key.data(), qsizetype(entry.key.size())),
                 QString::fromUtf8(entry.text.data(), qsizetype(entry.text.size())));
    }
}

QString TfMessage::text(const QString& field) const {
    const QLineEdit* edit = m_fields.value(field);
    return edit ? edit->text() : QString();
}

QLineEdit* TfMessage::addField(const QString& name, const QString& defaultText) {
    auto* edit = new QLineEdit(defaultText, this);
    edit->setObjectName(name);
    layout()->addWidget(edit);
    m_fields.insert(name, edit);
    return edit;
}

} // namespace quorvane
