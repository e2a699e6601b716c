// Words from the windows: fMessage's current texts, and the editor's labels as a language file set them.
#include "app/window_messages.h"

#include "store/text_codec.h"

#include <QGroupBox>
#include <QLabel>

#include "app/tunnel_editor.h"
#include "i18n/message_texts.h"

namespace quorvane {

std::string WindowMessages::text(std::string_view key) const {
    return m_messages.text(QString::fromUtf8(key.data(), qsizetype(key.size()))).toStdString();
}

std::string WindowMessages::fieldName(ConnectField field) const {
    const TShowTunn* editor = m_editor();
    if (!editor)
        return BuiltInMessages().fieldName(field);
    return fieldNameFromCaptions(field, [editor](std::string_view objectName) {
        const QString name = QString::fromUtf8(objectName.data(), qsizetype(objectName.size()));
        if (const auto* label = editor->findChild<QLabel*>(name))
            return label->text().toStdString();
        const auto* group = editor->findChild<QGroupBox*>(name);
        return group ? group->title().toStdString() : std::string();
    });
}

std::string tunnelText(const std::string& folderName) {
    return decodeFileText(folderName);
}

} // namespace quorvane
