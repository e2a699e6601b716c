// The windows' message texts and the editor's captions, in the current language, as a source of words.
#pragma once

#include <functional>

#include "service/tunnel_words.h"

namespace quorvane {

class TShowTunn;
class TfMessage;

class WindowMessages : public MessageSource {
public:
    // Without an editor the fields are named by the built-in captions, which an editor not made yet still shows.
    // Both must outlive this object.
    WindowMessages(const TfMessage& messages, const TShowTunn* editor)
        : m_messages(messages), m_editor([editor] { return editor; }) {}
    WindowMessages(const TfMessage& messages, std::function<const TShowTunn*()> editorIfMade)
        : m_messages(messages), m_editor(std::move(editorIfMade)) {}

    std::string text(std::string_view key) const override;
    std::string fieldName(ConnectField field) const override;
    const TfMessage& messages() const { return m_messages; }

private:
    const TfMessage& m_messages;
    std::function<const TShowTunn*()> m_editor;
};

// A tunnel's folder name as text to show (a name that is not UTF-8 decoded as the system that wrote it spells it).
std::string tunnelText(const std::string& folderName);

} // namespace quorvane
