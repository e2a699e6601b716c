// Shipped language files: well formed, and every key reaches a real property of the program's own windows.
#include "app/application.h"
#include "app/tunnel_editor.h"
#include "desktop/about_box.h"
#include "desktop/import_list_dialog.h"
#include "desktop/licence_viewer.h"
#include "desktop/options_dialog.h"
#include "desktop/process_list_window.h"
#include "desktop/ras_manager_window.h"
#include "i18n/language_engine.h"
#include "i18n/message_texts.h"
#include "i18n/property_adapters.h"
#include "i18n/qt_translations.h"
#include "qt_printers.h"
#include "store/file_system.h"
#include "store/ini_file.h"
#include "store/text_codec.h"
#include "support/fake_services.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSet>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace quorvane {
namespace {

const char* const kSection = "Translations";

std::string langFile(const std::string& name) {
    return std::string(QUORVANE_LANG_DIR) + "/" + name;
}

QSet<QString> lowerKeys(const std::string& path) {
    QSet<QString> keys;
    for (const std::string& key : IniFile(path).readKeyNames(kSection, TLanguageEngine::kKeyBufferChars))
        keys.insert(QString::fromStdString(key).toLower());
    return keys;
}

class ShippedTranslation : public ::testing::TestWithParam<const char*> {
protected:
    ShippedTranslation() {
        AppOptions options;
        options.workingDir = dir.withSeparator();
        options.trayBackend = std::make_unique<test::FakeTrayBackend>(tray);
        app = std::make_unique<QuorvaneApp>(std::move(options));
    }

    std::string path() const { return langFile(GetParam()); }

    // Every text a user can see on a window that no key of the file translates, as Window.Component.Property.
    QStringList untranslated(QWidget* window, const QSet<QString>& keys) const {
        QStringList missing;
        for (QObject* o : window->findChildren<QObject*>()) {
            const QString name = o->objectName();
            if (name.isEmpty() || name.startsWith("qt_") || insideDialogOrStatusBar(o, window) || isHidden(o))
                continue;
            const QString property = qobject_cast<QLineEdit*>(o) ? "Text" : "Caption";
            const QString key = window->objectName() + "." + name + "." + property;
            if (!translatableText(o, property).isEmpty() && !keys.contains(key.toLower()))
                missing << key;
        }
        return missing;
    }

    static bool isHidden(const QObject* o) {
        if (const auto* action = qobject_cast<const QAction*>(o))
            return !action->isVisible();
        return o->isWidgetType() && static_cast<const QWidget*>(o)->isHidden();
    }

    // Dialogs owned by a window (the file-open dialog) and the status panels are not the window's texts.
    static bool insideDialogOrStatusBar(const QObject* o, const QObject* window) {
        for (const QObject* up = o->parent(); up && up != window; up = up->parent()) {
            if (qobject_cast<const QDialog*>(up) || up->inherits("QStatusBar"))
                return true;
        }
        return false;
    }

    test::TempDir dir;
    test::FakeTrayBackend::Counts tray;
    std::unique_ptr<QuorvaneApp> app;
};

TEST_P(ShippedTranslation, IsAnUtf8IniFileWithCrLfLineEnds) {
    std::string bytes;
    ASSERT_TRUE(fs::readFileBytes(path(), bytes));
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(isValidUtf8(bytes));
    EXPECT_NE(bytes.find("\r\n[Translations]\r\n"), std::string::npos);
    for (std::size_t at = bytes.find('\n'); at != std::string::npos; at = bytes.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && bytes[at - 1] == '\r') << "bare line feed at byte " << at;
    EXPECT_EQ(bytes.find('~'), std::string::npos) << "'~' would become a tab";
    const QSet<QString> keys = lowerKeys(path());
    const QSet<QString> reference = lowerKeys(langFile("english.lng"));
    EXPECT_EQ(QSet<QString>(reference).subtract(keys).values(), QStringList()) << "missing here";
    EXPECT_EQ(QSet<QString>(keys).subtract(reference).values(), QStringList()) << "only here";
}

TEST_P(ShippedTranslation, EveryKeyReachesARealPropertyOfTheWindows) {
    const IniFile ini(path());
    const auto keys = ini.readKeyNames(kSection, TLanguageEngine::kKeyBufferChars);
    ASSERT_GT(keys.size(), 50u);
    EXPECT_EQ(std::size_t(lowerKeys(path()).size()), keys.size()) << "a key is repeated";

    TLanguageEngine language(nullptr);
    QObject* reached = nullptr;
    QString property;
    language.OnTranslate = [&](QObject*, QObject* component, const QString& name, const QString&, QString&) {
        reached = component;
        property = name;
    };
    for (const std::string& key : keys) {
        const QString value = QString::fromStdString(ini.readString(kSection, key, ""));
        reached = nullptr;
        language.ApplyEntry(QString::fromStdString(key), value);
        ASSERT_NE(reached, nullptr) << key << " reaches no component, or has no value";
        ASSERT_EQ(translatablePropertyKind(reached, property), PropertyKind::Text) << key;
        EXPECT_EQ(translatableText(reached, property), value) << key;
    }
}

TEST_P(ShippedTranslation, TranslatesEveryVisibleTextOfTheWindows) {
    const QSet<QString> keys = lowerKeys(path());
    EXPECT_EQ(untranslated(&app->main(), keys), QStringList());
    EXPECT_EQ(untranslated(&app->editor(), keys), QStringList());
    EXPECT_EQ(untranslated(&app->messages(), keys), QStringList());
    EXPECT_EQ(untranslated(&app->processList(), keys), QStringList());
    EXPECT_EQ(untranslated(&app->about(), keys), QStringList());
    EXPECT_EQ(untranslated(&app->licence(), keys), QStringList());
    EXPECT_EQ(untranslated(&app->ras(), keys), QStringList());
    EXPECT_EQ(untranslated(&app->options(), keys), QStringList());
    EXPECT_EQ(untranslated(&app->importList(), keys), QStringList());
}

// Every menu command can be reached from the keyboard: one mnemonic each, none twice in a menu.
TEST_P(ShippedTranslation, GivesEveryMenuCommandItsOwnMnemonic) {
    app->main().language->ApplyLanguageFile(QString::fromStdString(path()));
    QList<QWidget*> menus{app->main().menuBar()};
    for (QMenu* menu : app->main().findChildren<QMenu*>())
        menus << menu;
    for (QWidget* menu : menus) {
        QSet<QChar> used;
        for (const QAction* action : menu->actions()) {
            if (action->isSeparator() || !action->isVisible())
                continue;
            const QString text = action->text();
            const qsizetype at = text.indexOf(QRegularExpression(QStringLiteral("&[^&]")));
            ASSERT_GE(at, 0) << (menu->objectName() + ": " + text).toStdString();
            EXPECT_FALSE(used.contains(text[at + 1].toLower())) << (menu->objectName() + ": " + text).toStdString();
            used.insert(text[at + 1].toLower());
        }
    }
}

// italiano.lng brings the built-in texts back after another language: it must say exactly what they say.
TEST(ShippedItalian, HoldsTheBuiltInTexts) {
    test::TempDir dir;
    test::FakeTrayBackend::Counts tray;
    AppOptions options;
    options.workingDir = dir.withSeparator();
    options.trayBackend = std::make_unique<test::FakeTrayBackend>(tray);
    QuorvaneApp app(std::move(options));
    const IniFile ini(langFile("italiano.lng"));
    TLanguageEngine language(nullptr);
    QString builtIn;
    language.OnTranslate = [&](QObject*, QObject*, const QString&, const QString& old, QString& value) {
        builtIn = old;
        value = old;
    };
    for (const std::string& key : ini.readKeyNames(kSection, TLanguageEngine::kKeyBufferChars)) {
        builtIn.clear();
        language.ApplyEntry(QString::fromStdString(key), QStringLiteral("?"));
        EXPECT_EQ(QString::fromStdString(ini.readString(kSection, key, "")), builtIn) << key;
    }
}

INSTANTIATE_TEST_SUITE_P(Lang, ShippedTranslation, ::testing::Values("english.lng", "deutsch.lng", "italiano.lng"),
                         [](const auto& info) {
                             const std::string file = info.param;
                             return file.substr(0, file.find('.'));
                         });

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

// Qt's own words follow the language file: each shipped file names a translation Qt has, and a file's value
// can never name a path.
TEST(QtTranslations, FollowTheLanguageFileAndNeverTakeAPath) {
    test::TempDir folder;
    folder.write("noqt.lng", "[Translations]\r\nMain.Caption=x\r\n");
    folder.write("path.lng", "[Language]\r\nQt=../../etc/x\r\n");
    const struct {
        std::string file;
        std::string language;
    } rows[] = {
        {folder.file("absent.lng"), "it"}, // the built-in texts are Italian
        {langFile("english.lng"), "en"},   {langFile("deutsch.lng"), "de"},
        {langFile("italiano.lng"), "it"},  {folder.file("noqt.lng"), ""}, // a file of its own: Qt stays as it was
        {folder.file("path.lng"), ""},
    };
    for (const auto& row : rows)
        EXPECT_EQ(qtLanguageOf(row.file), row.language) << row.file;

    QtTranslations words(QString::fromStdString(folder.file("")));
    ASSERT_TRUE(words.follow(langFile("deutsch.lng"))) << "qt6-translations-l10n is installed";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    ASSERT_TRUE(words.follow(folder.file("noqt.lng")));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
}

} // namespace
} // namespace quorvane
