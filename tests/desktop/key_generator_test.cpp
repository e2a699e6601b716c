// Tests of TKeyGenerator with the real puttygen: the key files and public lines it makes, and what it refuses.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "desktop/key_generator_dialog.h"
#include "support/temp_dir.h"

namespace quorvane {
namespace {

constexpr char kPuttygen[] = "/usr/bin/puttygen";
constexpr char kComment[] = "tester@quorvane";

// Stands in for puttygen: notes each command line and whether descriptor 3 is a pipe, then runs the real one.
constexpr char kRecordingPuttygen[] = "#!/bin/sh\n"
                                      "fd3=none; [ -p /dev/fd/3 ] && fd3=pipe\n"
                                      "printf '%s fd3=%s\\n' \"$*\" \"$fd3\" >> \"$(dirname \"$0\")/argv.log\"\n"
                                      "exec /usr/bin/puttygen \"$@\"\n";
// A puttygen that fails after a word of its own, as it does on a full disk.
constexpr char kFailingPuttygen[] = "#!/bin/sh\necho 'puttygen: out of ideas' >&2\nexit 1\n";

struct Case {
    const char* name;
    const char* type;
    const char* bits; // "": the type has no choice
    const char* passphrase;
    const char* repeat;
    bool fileExists;
    const char* program;      // script run as puttygen
    const char* publicPrefix; // nullptr: refused
    const char* outcome;      // part of the dialog's message
};

const Case kCases[] = {
    {"ed25519 without passphrase", "ed25519", "", "", "", false, kRecordingPuttygen, "ssh-ed25519 ", "salvata"},
    {"rsa 2048 with passphrase", "RSA", "2048", "correct horse", "correct horse", false, kRecordingPuttygen, "ssh-rsa ",
     "salvata"},
    {"ecdsa 384", "ECDSA", "384", "", "", false, kRecordingPuttygen, "ecdsa-sha2-nistp384 ", "salvata"},
    {"passphrases differ", "ed25519", "", "one", "two", false, kRecordingPuttygen, nullptr, "non coincidono"},
    {"existing file", "ed25519", "", "", "", true, kRecordingPuttygen, nullptr, "esiste già"},
    {"puttygen fails", "ed25519", "", "", "", false, kFailingPuttygen, nullptr, "puttygen: out of ideas"},
};

void PrintTo(const Case& row, std::ostream* out) {
    *out << row.name;
}

// Runs the real puttygen; its standard output, or "exit N" when it failed.
QString puttygen(const QStringList& arguments) {
    QProcess process;
    process.start(QString::fromLatin1(kPuttygen), arguments);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return QStringLiteral("exit %1").arg(process.exitCode());
    return QString::fromUtf8(process.readAllStandardOutput()).trimmed();
}

class KeyGeneratorTest : public ::testing::TestWithParam<Case> {
protected:
    test::TempDir dir;
};

TEST_P(KeyGeneratorTest, MakesTheKeyOrRefusesInTheWindow) {
    const Case& row = GetParam();
    const std::string program = dir.file("puttygen");
    dir.write("puttygen", row.program);
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    const std::string key = dir.file("key.ppk");
    if (row.fileExists)
        dir.write("key.ppk", "keep me");

    TKeyGenerator dialog(QString::fromStdString(program));
    dialog.setDefaultFolder(QString::fromStdString(dir.path()));
    dialog.TipoChiave->setCurrentIndex(dialog.TipoChiave->findText(QString::fromUtf8(row.type)));
    EXPECT_EQ(dialog.Bit->isEnabled(), *row.bits != '\0');
    dialog.Bit->setCurrentIndex(dialog.Bit->findText(QString::fromUtf8(row.bits)));
    dialog.Commento->setText(QString::fromLatin1(kComment));
    dialog.Passphrase->setText(QString::fromUtf8(row.passphrase));
    dialog.RipetiPassphrase->setText(QString::fromUtf8(row.repeat));
    dialog.FileChiave->setText(QStringLiteral("key.ppk")); // a bare name goes to the default folder
    dialog.Genera->click();

    EXPECT_TRUE(dialog.Esito->text().contains(QString::fromUtf8(row.outcome))) << dialog.Esito->text().toStdString();
    const QString line = dialog.ChiavePubblica->toPlainText();
    if (!row.publicPrefix) {
        EXPECT_TRUE(line.isEmpty());
        EXPECT_FALSE(dialog.Copia->isEnabled());
        EXPECT_EQ(dir.read("key.ppk"), row.fileExists ? "keep me" : "") << "a refused key leaves no file";
        EXPECT_EQ(std::filesystem::exists(key), row.fileExists);
        if (row.fileExists) {
            // The generator itself refuses too, for a file that appears after the window looked.
            const KeyResult direct = generateKey(kPuttygen, {"ed25519", 0, kComment, "", key});
            EXPECT_FALSE(direct.ok);
            EXPECT_NE(direct.error.find("already exists"), std::string::npos) << direct.error;
            EXPECT_EQ(dir.read("key.ppk"), "keep me");
        }
        if (row.program == kRecordingPuttygen) {
            EXPECT_EQ(dir.read("argv.log"), "") << "puttygen ran for a refused request";
        }
        return;
    }

    EXPECT_TRUE(line.startsWith(QString::fromLatin1(row.publicPrefix))) << line.toStdString();
    EXPECT_TRUE(line.endsWith(QStringLiteral(" ") + kComment)) << line.toStdString();
    EXPECT_EQ(puttygen({QString::fromStdString(key), "-O", "public-openssh"}), line);
    struct stat status {};
    ASSERT_EQ(stat(key.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_TRUE(dialog.Passphrase->text().isEmpty()) << "the passphrase stays typed in after use";

    const std::string argv = dir.read("argv.log");
    EXPECT_NE(argv.find("--new-passphrase /dev/fd/3 fd3=pipe"), std::string::npos) << argv;
    const std::string passphrase = row.passphrase;
    if (passphrase.empty()) {
        EXPECT_NE(dir.read("key.ppk").find("Encryption: none"), std::string::npos);
    } else {
        EXPECT_EQ(argv.find(passphrase), std::string::npos) << "the passphrase was on a command line";
        dir.write("right", passphrase);
        dir.write("wrong", passphrase + "!");
        const QStringList load = {QString::fromStdString(key), "-O", "private-openssh", "-o", "/dev/null",
                                  "--old-passphrase"};
        EXPECT_EQ(puttygen(load + QStringList{QString::fromStdString(dir.file("right"))}), "");
        EXPECT_EQ(puttygen(load + QStringList{QString::fromStdString(dir.file("wrong"))}), "exit 1");
    }

    dialog.Copia->click();
    EXPECT_EQ(QApplication::clipboard()->text(), line);
}

INSTANTIATE_TEST_SUITE_P(Puttygen, KeyGeneratorTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

// Requests puttygen would misread (a passphrase cut at its line break) or refuse late are refused before it runs.
TEST(KeyRequestCheck, RefusesWhatPuttygenWouldMisread) {
    const struct {
        KeyRequest request;
        const char* error; // nullptr: accepted
    } rows[] = {
        {{"ed25519", 0, "c", "", "k.ppk"}, nullptr},
        {{"ed25519", 4096, "c", "", "k.ppk"}, nullptr}, // the size is ignored
        {{"rsa", 4096, "c", "", "k.ppk"}, nullptr},
        {{"dsa", 1024, "c", "", "k.ppk"}, "Unknown key type"},
        {{"rsa", 1024, "c", "", "k.ppk"}, "do not fit"},
        {{"ecdsa", 2048, "c", "", "k.ppk"}, "do not fit"},
        {{"ed25519", 0, "c", "first\nsecond", "k.ppk"}, "line break"},
        {{"ed25519", 0, "c", "first\r", "k.ppk"}, "line break"},
        {{"ed25519", 0, "c\nd", "", "k.ppk"}, "line break"},
        {{"ed25519", 0, "c", "", ""}, "No key file"},
    };
    test::TempDir dir;
    for (const auto& row : rows) {
        const std::optional<std::string> problem = checkKeyRequest(row.request);
        if (!row.error) {
            EXPECT_FALSE(problem) << *problem;
            continue;
        }
        ASSERT_TRUE(problem) << row.error;
        EXPECT_NE(problem->find(row.error), std::string::npos) << *problem;
        KeyRequest request = row.request;
        if (!request.outputFile.empty())
            request.outputFile = dir.file(request.outputFile);
        EXPECT_EQ(generateKey(kPuttygen, request).error, *problem);
        EXPECT_FALSE(std::filesystem::exists(dir.file("k.ppk"))) << *problem;
    }
}

} // namespace
} // namespace quorvane
