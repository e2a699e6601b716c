// TLanguageEngine: applies a language file's "Translations" entries to the live windows by name.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <stdexcept>

namespace quorvane {

// "'%s' is not a valid integer value": stops the application of a file at that entry.
class LanguageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TLanguageEngine : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kKeyBufferChars = 16384;

    using NotifyEvent = std::function<void(QObject* sender)>;
    using LanguageEvent = std::function<void(QObject* sender, QObject* component, const QString& propertyName,
                                             const QString& oldValue, QString& newValue)>;

    explicit TLanguageEngine(QObject* owner);

    bool AutoTranslate() const { return m_autoTranslate; }
    void SetAutoTranslate(bool on) { m_autoTranslate = on; }
    QString ResourceFile() const { return m_resourceFile; }
    void SetResourceFile(const QString& file);
    QString StringsSeparator() const { return m_stringsSeparator; }
    void SetStringsSeparator(const QString& separator);

    NotifyEvent OnBeforeTranslation;
    NotifyEvent OnAfterTranslation;
    LanguageEvent OnTranslate;

    // Applies every entry of the file's section "Translations" (empty name: ResourceFile).
    // Throws LanguageError on an integer property given a non-integer; earlier entries stay applied.
    void ApplyLanguageFile(const QString& fileName);
    void ApplyEntry(const QString& key, const QString& value);
    void SetPropertyText(QObject* component, const QString& propertyName, const QString& value);

private:
    bool m_autoTranslate = false;
    QString m_resourceFile;
    QString m_stringsSeparator;
};

} // namespace quorvane
