// TLanguageEngine: applies a language file's "Translations" entries to the live windows by name.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <stdexcept>
#include <string_view>

#include "i18n/language_file.h"
#include "i18n/property_adapters.h"

class QWidget;

namespace quorvane {

class TLanguageEngine : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t kKeyBufferChars = language::kKeyBufferChars;
    // Beyond this many, one last problem counts the rest: a broken file must not give an endless box.
    static constexpr qsizetype kMaxProblems = 50;

    using NotifyEvent = std::function<void(QObject* sender)>;
    using LanguageEvent = std::function<void(QObject* sender, QObject* component, const QString& propertyName,
                                             const QString& oldValue, QString& newValue)>;

    explicit TLanguageEngine(QObject* owner);

    // Makes the window of that name (letter case aside) that is built on first use, or gives nullptr. An entry
    // naming a window that does not exist yet asks it, so the window has its texts from the start.
    using WindowMaker = std::function<QWidget*(const QString& name)>;
    static void SetWindowMaker(WindowMaker maker);

    bool AutoTranslate() const { return m_autoTranslate; }
    void SetAutoTranslate(bool on) { m_autoTranslate = on; }
    QString ResourceFile() const { return m_resourceFile; }
    void SetResourceFile(const QString& file);
    QString StringsSeparator() const { return m_stringsSeparator; }
    void SetStringsSeparator(const QString& separator);

    NotifyEvent OnBeforeTranslation;
    NotifyEvent OnAfterTranslation;
    LanguageEvent OnTranslate;

    // Applies every entry of the file's section "Translations" (empty name: ResourceFile), the file read
    // once. Never throws: an entry that cannot be applied (an integer property given a non-integer), a
    // file too large, a failing handler are problems; the other entries are applied.
    void ApplyLanguageFile(const QString& fileName);
    // The same for the entries under one component only ("ShowTunn.OpenDialog1."): a component made on first
    // use gets what the file says of it. Before and after events do not run.
    void ApplyLanguageFileUnder(const QString& fileName, const QString& keyPrefix);
    void ApplyEntry(const QString& key, const QString& value);
    PropertyOutcome SetPropertyText(QObject* component, const QString& propertyName, const QString& value);

    // What went wrong in the last ApplyLanguageFile or ApplyEntry, one line each ("line 3, Main.Width:
    // 'wide' is not a valid integer value"); empty when all went well.
    QStringList lastProblems() const;

private:
    void applyEntry(std::string_view key, QString text, std::size_t line);
    void report(const QString& problem);
    template <typename Call> void guarded(const QString& where, Call&& call);

    bool m_autoTranslate = false;
    QString m_resourceFile;
    QString m_stringsSeparator;
    QStringList m_problems;
    qsizetype m_unlistedProblems = 0;
};

} // namespace quorvane
