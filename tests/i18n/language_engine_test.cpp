// Language engine: key walking, value rules, bad entries reported, clamping and the property adapters on small windows.
#include "i18n/builtin_texts.h"
#include "i18n/language_engine.h"
#include "i18n/language_file.h"
#include "i18n/message_texts.h"
#include "i18n/property_adapters.h"
#include "qt_printers.h"
#include "support/temp_dir.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace quorvane {
namespace {

// Stands for a component with a declared text of its own, as the tray icon's Hint.
class TrayLike : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Hint MEMBER hint)

public:
    using QObject::QObject;
    QString hint;
};

class LanguageEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        main.setObjectName("Main");
        main.setWindowTitle("Quorvane");
        main.resize(400, 300);
        fileMenu = main.menuBar()->addMenu("&File");
        fileMenu->setObjectName("File1");
        aggiungi = fileMenu->addAction("Aggiungi");
        aggiungi->setObjectName("Aggiungi1");
        auto* central = new QWidget(&main);
        auto* panel = new QWidget(central);
        panel->setObjectName("Panel1");
        image = new QLabel(panel);
        image->setObjectName("Image1");
        listView = new QListWidget(central);
        listView->setObjectName("ListView1");
        listView->setProperty("controlKind", "ListView");
        listView->addItem("Office");
        listBox = new QListWidget(central);
        listBox->setObjectName("ListBox1");
        main.setCentralWidget(central);
        main.statusBar()->setObjectName("StatusBar");
        timer = new QTimer(&main);
        timer->setObjectName("checkprocessi");
        tray = new TrayLike(&main);
        tray->setObjectName("TrayBar");
        language = new TLanguageEngine(&main);
        language->OnBeforeTranslation = [this](QObject*) { ++befores; };
        language->OnAfterTranslation = [this](QObject*) { ++afters; };
    }

    // Writes a language file with CR LF line ends (after a section that must be ignored) and applies it.
    void apply(const std::string& entries) { language->ApplyLanguageFile(QString::fromStdString(write(entries))); }
    std::string write(const std::string& entries) {
        std::string body = "[Other]\r\nMain.Caption=Elsewhere\r\n[Translations]\r\n";
        for (char c : entries)
            body += c == '\n' ? std::string("\r\n") : std::string(1, c);
        dir.write("test.lng", body);
        return dir.file("test.lng");
    }

    test::TempDir dir;
    QMainWindow main;
    TfMessage messages;
    QMenu* fileMenu = nullptr;
    QAction* aggiungi = nullptr;
    QLabel* image = nullptr;
    QListWidget* listView = nullptr;
    QListWidget* listBox = nullptr;
    QTimer* timer = nullptr;
    TrayLike* tray = nullptr;
    TLanguageEngine* language = nullptr;
    int befores = 0;
    int afters = 0;
};

TEST_F(LanguageEngineTest, ReachesWindowsControlsMenusAndMessageTexts) {
    apply("Main.Caption=Gestore\n"
          "Main.Aggiungi1.Caption=Nuovo\n"
          "Main.Aggiungi1.Hint=Nuovo tunnel\n"
          "Main.File1.Caption=&Archivio\n"
          "Main.Image1.Caption=logo\n"
          "Main.Panel1.Image1.Hint=nested\n"
          "Main.StatusBar.SimpleText=Fatto\n"
          "Main.TrayBar.Hint=Icona\n"
          "Main.checkprocessi.Interval=0x1F4\n"
          "Main.Width=600\n"
          "fMessage.NomeNonValido.Text=Nome vuoto!\n"
          "fMessage.Pronto.Text=\n");
    EXPECT_EQ(main.windowTitle(), "Gestore");
    EXPECT_EQ(aggiungi->text(), "Nuovo");
    EXPECT_EQ(aggiungi->statusTip(), "Nuovo tunnel");
    EXPECT_EQ(fileMenu->title(), "&Archivio");
    EXPECT_EQ(image->text(), "logo");
    EXPECT_EQ(image->toolTip(), "nested");
    EXPECT_EQ(main.statusBar()->currentMessage(), "Fatto");
    EXPECT_EQ(tray->hint, "Icona");
    EXPECT_EQ(timer->interval(), 500);
    EXPECT_EQ(main.width(), 600);
    EXPECT_EQ(messages.NomeNonValido(), "Nome vuoto!");
    EXPECT_EQ(messages.Pronto(), "Pronto");
    EXPECT_EQ(befores, 1);
    EXPECT_EQ(afters, 1);
}

TEST_F(LanguageEngineTest, KeysIgnoreCaseAndBlanksTildeBecomesTabFirstDuplicateWins) {
    language->ApplyEntry("  main . aggiungi1 .caption ", "Nuovo");
    EXPECT_EQ(aggiungi->text(), "Nuovo");
    apply("MAIN . FILE1 . CAPTION = Archivio\n"
          "Main.Caption=a~b\nmain.CAPTION=Second\nMain.Aggiungi1.Caption=First\nMain.Aggiungi1.Caption=Second\n");
    EXPECT_EQ(fileMenu->title(), "Archivio");
    EXPECT_EQ(main.windowTitle(), "a\tb");
    EXPECT_EQ(aggiungi->text(), "First");
}

TEST_F(LanguageEngineTest, SkipsWhatCannotBeAppliedAndGoesOn) {
    QWidget unnamed; // an empty window name must not reach a window that has no name
    unnamed.setWindowTitle("unnamed");
    apply("Main.Caption=\n"
          "Nobody.Caption=x\n"
          "Main.Nobody.Caption=x\n"
          "Main.Nobody.Deeper.Caption=x\n"
          "Main.Aggiungi1.Colour=x\n"
          "Main.Aggiungi1.Name=Renamed\n"
          "Main.ListView1.Items=x\n"
          "Main.checkprocessi.Caption=x\n"
          "Tag=1\n"
          ".Caption=x\n"
          " . Hint=x\n"
          "Main.Aggiungi1.Caption=Still found\n");
    EXPECT_EQ(main.windowTitle(), "Quorvane");
    EXPECT_EQ(aggiungi->text(), "Still found");
    ASSERT_EQ(listView->count(), 1);
    EXPECT_EQ(listView->item(0)->text(), "Office");
    EXPECT_FALSE(qApp->property("Tag").isValid());
    EXPECT_EQ(unnamed.windowTitle(), "unnamed");
    EXPECT_TRUE(unnamed.toolTip().isEmpty());
    EXPECT_EQ(afters, 1);
}

TEST_F(LanguageEngineTest, TimerIntervalsAndStatusTextKeepTheWindowWorking) {
    // An interval of 0 would make Qt fire the monitor on every pass of the event loop.
    int ticks = 0;
    QObject::connect(timer, &QTimer::timeout, [&] { ++ticks; });
    timer->start(3000);
    apply("Main.checkprocessi.Interval=0\n");
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 50)
        QCoreApplication::processEvents();
    EXPECT_EQ(ticks, 0);
    EXPECT_FALSE(timer->isActive());
    apply("Main.checkprocessi.Interval=-1\n");
    EXPECT_FALSE(timer->isActive());
    apply("Main.checkprocessi.Interval=2000\n");
    EXPECT_TRUE(timer->isActive()) << "a parked timer runs again with a real interval";
    EXPECT_EQ(timer->interval(), 2000);

    timer->stop();
    apply("Main.checkprocessi.Interval=0\n");
    apply("Main.checkprocessi.Interval=500\n");
    EXPECT_FALSE(timer->isActive()) << "a stopped timer is not started";
    EXPECT_EQ(timer->interval(), 500);

    // With panels, the simple text is kept but must not cover them.
    auto* panel = new QLabel("General", main.statusBar());
    main.statusBar()->addWidget(panel);
    apply("Main.StatusBar.SimpleText=Fatto\n");
    EXPECT_FALSE(panel->isHidden());
    EXPECT_TRUE(main.statusBar()->currentMessage().isEmpty());
    EXPECT_EQ(translatableText(main.statusBar(), "simpletext"), "Fatto");
}

TEST_F(LanguageEngineTest, BadEntriesAreReportedAndSkippedTheOthersApplyClamped) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    struct Row {
        const char* entry;
        const char* problem; // nullptr: applied without one
        std::function<QVariant()> actual;
        QVariant expected;
    };
    const Row rows[] = {
        {"Main.Caption=Before", nullptr, [&] { return QVariant(main.windowTitle()); }, "Before"},
        {"Main.Height=abc", "'abc' is not a valid integer value", [&] { return QVariant(main.height()); }, 300},
        {"Main.Tag=2147483648", "'2147483648' is not a valid integer value", [&] { return main.property("Tag"); },
         QVariant()},
        {"Main.Width=2147483647", nullptr, [&] { return QVariant(main.width()); }, screen.width()},
        {"Main.Left=-99999", nullptr, [&] { return QVariant(main.x()); }, screen.x()},
        {"Main.Image1.Top=99999", nullptr, [&] { return QVariant(image->y()); }, screen.height()},
        {"Main.checkprocessi.Interval=1", nullptr, [&] { return QVariant(timer->interval()); }, 100},
        {"Main.Aggiungi1.Caption=After", nullptr, [&] { return QVariant(aggiungi->text()); }, "After"},
    };
    std::string entries;
    QStringList problems;
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        entries += rows[i].entry + std::string("\n");
        if (rows[i].problem) // the entries start after the three lines of write()
            problems << QStringLiteral("line %1, %2: %3")
                            .arg(i + 4)
                            .arg(QString(rows[i].entry).section('=', 0, 0), rows[i].problem);
    }
    apply(entries);
    for (const Row& row : rows)
        EXPECT_EQ(row.actual(), row.expected) << row.entry;
    EXPECT_EQ(language->lastProblems(), problems);
    EXPECT_EQ(afters, 1);

    apply("Main.Caption=Fine\n");
    EXPECT_TRUE(language->lastProblems().isEmpty()) << "problems are those of the last application";
}

TEST_F(LanguageEngineTest, AFileLargerThanTheLimitIsRefused) {
    apply("Main.Caption=Huge\n;" + std::string(language::kMaxFileBytes, 'x'));
    EXPECT_EQ(main.windowTitle(), "Quorvane");
    ASSERT_EQ(language->lastProblems().size(), 1);
    EXPECT_TRUE(language->lastProblems()[0].contains("larger than 4 MiB"));
}

TEST(IntegerValues, DecimalAndHexadecimalWithinThirtyTwoBits) {
    const std::pair<const char*, int> good[] = {{"600", 600},
                                                {"-5", -5},
                                                {"+7", 7},
                                                {"$1F", 31},
                                                {"0x1f", 31},
                                                {"-$10", -16},
                                                {"$FFFFFFFF", -1},
                                                {"2147483647", 2147483647},
                                                {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : good)
        EXPECT_EQ(language::parseInteger(text), value) << text;
    for (const char* bad : {"", "abc", "12a", "0x", "$", "-", "- 5", " 5", "1.5", "2147483648", "$100000000",
                            "\u0663"}) // the last is a digit, but not an ASCII one
        EXPECT_EQ(language::parseInteger(bad), std::nullopt) << bad;
}

TEST_F(LanguageEngineTest, ListBoxItemsAndTheSeparator) {
    listBox->addItems({"old1", "old2"});
    apply("Main.ListBox1.Items=a|b\n");
    ASSERT_EQ(listBox->count(), 1);
    EXPECT_EQ(listBox->item(0)->text(), "a|b");

    language->SetStringsSeparator("|");
    language->ApplyEntry("Main.ListBox1.Items", " a | b ");
    ASSERT_EQ(listBox->count(), 2);
    EXPECT_EQ(listBox->item(1)->text(), "b");

    EXPECT_EQ(splitTextList("a||b|", "|"), QStringList({"a", "", "b"}));
    language->SetStringsSeparator("  ");
    EXPECT_EQ(language->StringsSeparator(), "\r\n");
    language->SetStringsSeparator(" ; ");
    EXPECT_EQ(language->StringsSeparator(), " ; ");
}

TEST_F(LanguageEngineTest, KeyNamesBeyondTheBufferAreNotApplied) {
    std::string entries = "Main.Caption=Early\n";
    // 90 names of 200 characters, each with its terminator, fill more than the 16384-character buffer.
    for (int i = 0; i < 90; ++i)
        entries += "Main.Filler" + std::to_string(100 + i) + std::string(181, 'x') + ".Caption=x\n";
    apply(entries + "Main.Aggiungi1.Caption=Late\n");
    EXPECT_EQ(main.windowTitle(), "Early");
    EXPECT_EQ(aggiungi->text(), "Aggiungi");
    ASSERT_EQ(language->lastProblems().size(), 1);
    EXPECT_TRUE(language->lastProblems()[0].startsWith("line 85: the key names reach the limit")) << "told where";
}

TEST_F(LanguageEngineTest, OnTranslateSeesTheOldValueAndMayChangeTheNew) {
    QStringList seen;
    language->OnTranslate = [&](QObject* sender, QObject* component, const QString& property, const QString& oldValue,
                                QString& newValue) {
        EXPECT_EQ(sender, language);
        seen << component->objectName() + "." + property + "=" + oldValue;
        if (component == aggiungi)
            newValue += "!";
    };
    apply("Main.Aggiungi1.Caption=Nuovo\nMain.Width=600\nMain.Nobody.Caption=x\nMain.Caption=\n");
    EXPECT_EQ(seen, QStringList({"Aggiungi1.Caption=Aggiungi", "Main.Width="}));
    EXPECT_EQ(aggiungi->text(), "Nuovo!");
}

TEST_F(LanguageEngineTest, ResourceFileMissingFileAndAutoTranslate) {
    const QString path = QString::fromStdString(write("Main.Caption=Risorsa\n"));
    language->SetResourceFile(path);
    EXPECT_EQ(main.windowTitle(), "Quorvane");
    language->ApplyLanguageFile("");
    EXPECT_EQ(main.windowTitle(), "Risorsa");

    main.setWindowTitle("Quorvane");
    language->SetAutoTranslate(true);
    language->SetResourceFile(path);
    EXPECT_EQ(main.windowTitle(), "Risorsa");

    befores = afters = 0;
    language->ApplyLanguageFile(QString::fromStdString(dir.file("missing.lng")));
    EXPECT_EQ(befores, 1);
    EXPECT_EQ(afters, 1);
}

// The command line, with no window, says what fMessage says: its fields are the built-in texts, in order.
TEST(MessageTexts, AreTheBuiltInTexts) {
    const TfMessage messages;
    QStringList fields;
    for (const QString& name : messages.fieldNames())
        fields << name + "=" + messages.text(name);
    QStringList table;
    for (const BuiltInText& entry : builtInTexts())
        table << QString::fromUtf8(entry.key.data(), qsizetype(entry.key.size())) + "=" +
                     QString::fromUtf8(entry.text.data(), qsizetype(entry.text.size()));
    EXPECT_EQ(fields, table);
}

// A message field is made when an entry first names it, in any letter case, and reads back as a made one would.
TEST_F(LanguageEngineTest, AMessageFieldIsMadeWhenAnEntryNamesIt) {
    EXPECT_EQ(messages.text("Pronto"), QString::fromUtf8("Pronto"));
    apply("fMessage.pronto.Text=Ready\nfMessage.PRONTO.Hint=tip\nfMessage.NoSuchText.Text=x\n");
    EXPECT_EQ(messages.text("Pronto"), "Ready");
    const auto edits = messages.findChildren<QLineEdit*>();
    ASSERT_EQ(edits.size(), 1) << "only the field named is made";
    EXPECT_EQ(edits[0]->objectName(), "Pronto");
    EXPECT_EQ(edits[0]->toolTip(), "tip");
    EXPECT_EQ(messages.fieldNames().size(), qsizetype(builtInTexts().size()));
    EXPECT_EQ(messages.text("NoSuchText"), QString());
}

} // namespace
} // namespace quorvane

#include "language_engine_test.moc"
