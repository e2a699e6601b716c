// Tests of INI reading and key-by-key writing on real files.
#include "store/ini_file.h"

#include "store/file_system.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

using namespace quorvane;
using quorvane::test::TempDir;

namespace {

// As Windows tools leave it: CR LF, an 8-bit code page, names in other case, padding and quotes.
const std::string kWindowsFile = "[SSH Server]\r\n"
                                 "ipserver =  10.0.0.1  \r\n"
                                 "Username=\"  bob  \"\r\n"
                                 "Password='secret'\r\n"
                                 "; a note\r\n"
                                 "\r\n"
                                 "[ tunnell ]\r\n"
                                 "IpServizio=Citt\xE0\r\n"
                                 "PortaLocale=8080\r\n"
                                 "portalocale=9090\r\n"
                                 "Odd=\"\r\n"
                                 "Mixed=\"x'\r\n"
                                 "\r\n"
                                 "[SSH Server]\r\n"
                                 "PortaServer=2222\r\n";

} // namespace

TEST(IniFileRead, FollowsTheProfileRulesOnAWindowsMadeFile) {
    TempDir dir;
    dir.write("t.tun", kWindowsFile);
    const IniFile ini(dir.file("t.tun"));
    EXPECT_EQ(ini.readString("SSH SERVER", "IpServer", "-"), "10.0.0.1");
    EXPECT_EQ(ini.readString("SSH Server", "USERNAME", "-"), "  bob  ");
    EXPECT_EQ(ini.readString("SSH Server", "Password", "-"), "secret");
    EXPECT_EQ(ini.readString("Tunnell", "IpServizio", "-"), "Citt\xC3\xA0");
    EXPECT_EQ(ini.readString("Tunnell", "PortaLocale", "-"), "8080") << "first occurrence wins";
    EXPECT_EQ(ini.readString("Tunnell", "Odd", "-"), "\"") << "a lone quote is no pair";
    EXPECT_EQ(ini.readString("Tunnell", "Mixed", "-"), "\"x'");
    EXPECT_EQ(ini.readString("SSH Server", "; a note", "-"), "-") << "comments are no keys";
    // Only the first section of a name counts.
    EXPECT_EQ(ini.readString("SSH Server", "PortaServer", "-"), "-");
}

TEST(IniFileRead, MissingPartsGiveTheDefaultAndLfOnlyFilesWithAByteOrderMarkRead) {
    TempDir dir;
    dir.write("t.ini", "\xEF\xBB\xBF[A]\nk = v\nlast=no line end");
    const IniFile ini(dir.file("t.ini"));
    EXPECT_EQ(ini.readString("A", "k", ""), "v");
    EXPECT_EQ(ini.readString("A", "last", ""), "no line end");
    EXPECT_EQ(ini.readString("B", "k", "def"), "def");
    EXPECT_EQ(ini.readString("A", "x", "def"), "def");
    EXPECT_EQ(IniFile(dir.file("none.ini")).readString("A", "k", "def"), "def");
    EXPECT_EQ(IniFile(dir.path()).readString("A", "k", "def"), "def") << "a folder is no file";
}

TEST(IniFileRead, CutsValuesTo2047Characters) {
    TempDir dir;
    const std::string latin(3000, 'x');
    std::string accented;
    for (int i = 0; i < 3000; ++i)
        accented += "\xC3\xA8";
    dir.write("t.ini", "[A]\r\nlatin=" + latin + "\r\naccented=" + accented + "\r\nquoted=\"" + latin + "\"\r\n");
    const IniFile ini(dir.file("t.ini"));
    EXPECT_EQ(ini.readString("A", "latin", ""), latin.substr(0, 2047));
    EXPECT_EQ(ini.readString("A", "accented", ""), accented.substr(0, 2 * 2047)) << "characters, not bytes";
    EXPECT_EQ(ini.readString("A", "quoted", ""), latin.substr(0, 2047));
}

TEST(IniFileRead, KeyNamesInFileOrderWithinTheBuffer) {
    TempDir dir;
    dir.write("t.lng", "[Translations]\r\nab=1\r\n;c=2\r\nno equals\r\ncde=3\r\nAB=4\r\nf=5\r\n[Other]\r\nz=1\r\n");
    const IniFile ini(dir.file("t.lng"));
    const std::vector<std::string> all = {"ab", "cde", "AB", "f"};
    EXPECT_EQ(ini.readKeyNames("translations", 16384), all);
    // Each name takes its length + 1, the list one more: 3 + 4 + 3 + 2 + 1 = 13.
    EXPECT_EQ(ini.readKeyNames("Translations", 13), all);
    EXPECT_EQ(ini.readKeyNames("Translations", 12), (std::vector<std::string>{"ab", "cde", "AB"}));
    EXPECT_EQ(ini.readKeyNames("Translations", 3), std::vector<std::string>{});
    EXPECT_TRUE(ini.readKeyNames("Missing", 16384).empty());
}

TEST(IniFileWrite, ReplacesInPlaceAndKeepsEveryOtherByte) {
    TempDir dir;
    const std::string before = "[A]\r\n  Key = old  \r\nnext=1\n; keep\r\n[B]\r\nKey=b";
    dir.write("t.ini", before);
    const IniFile ini(dir.file("t.ini"));
    ASSERT_TRUE(ini.writeString("a", "KEY", "new value"));
    EXPECT_EQ(dir.read("t.ini"), "[A]\r\nKey=new value\r\nnext=1\n; keep\r\n[B]\r\nKey=b");
    ASSERT_TRUE(ini.writeString("B", "key", "\"q\""));
    EXPECT_EQ(dir.read("t.ini"), "[A]\r\nKey=new value\r\nnext=1\n; keep\r\n[B]\r\nKey=\"\"q\"\"");
    EXPECT_EQ(ini.readString("B", "Key", ""), "\"q\"");
}

TEST(IniFileWrite, AddsKeysAfterTheLastKeyOfTheirSectionAndSectionsAtTheEnd) {
    TempDir dir;
    dir.write("t.ini", "[A]\r\nk1=1\r\n\r\n; about B\r\n[B]\r\nx=1\r\n[Empty]");
    const IniFile ini(dir.file("t.ini"));
    ASSERT_TRUE(ini.writeString("A", "k2", "2"));
    ASSERT_TRUE(ini.writeString("Empty", "e", "3"));
    EXPECT_EQ(dir.read("t.ini"), "[A]\r\nk1=1\r\nk2=2\r\n\r\n; about B\r\n[B]\r\nx=1\r\n[Empty]\r\ne=3\r\n");

    // New sections go at the end; a missing file is created.
    const IniFile fresh(dir.file("new.ini"));
    ASSERT_TRUE(fresh.writeString("SSH Server", "IpServer", "1.2.3.4"));
    ASSERT_TRUE(fresh.writeString("Tunnell", "PortaLocale", "80"));
    EXPECT_EQ(dir.read("new.ini"), "[SSH Server]\r\nIpServer=1.2.3.4\r\n[Tunnell]\r\nPortaLocale=80\r\n");

    // New lines follow the file's own line ends, so a file of LF lines stays one.
    dir.write("open.ini", "[A]\nk=1"); // no line end at the end
    ASSERT_TRUE(IniFile(dir.file("open.ini")).writeString("B", "k", "2"));
    ASSERT_TRUE(IniFile(dir.file("open.ini")).writeString("A", "j", "3"));
    EXPECT_EQ(dir.read("open.ini"), "[A]\nk=1\nj=3\n[B]\nk=2\n");
}

TEST(IniFileWrite, KeepsTheFileEncodingOrTurnsTheWholeFileIntoUtf8) {
    TempDir dir;
    const std::string ansi = "[A]\r\nCity=Citt\xE0\r\nName=Jos\xE9\r\n";
    dir.write("ansi.ini", ansi);
    ASSERT_TRUE(IniFile(dir.file("ansi.ini")).writeString("A", "Other", "Perch\xC3\xA9 \xE2\x82\xAC"));
    EXPECT_EQ(dir.read("ansi.ini"), "[A]\r\nCity=Citt\xE0\r\nName=Jos\xE9\r\nOther=Perch\xE9 \x80\r\n");

    // A character the code page lacks: every value is re-encoded once, none is read differently.
    dir.write("ansi.ini", ansi);
    const IniFile converted(dir.file("ansi.ini"));
    ASSERT_EQ(converted.writeStrings({{"A", "Name", "Jos\xC3\xA9"}, {"A", "Other", "\xE6\x97\xA5"}}),
              IniWriteResult::Written);
    EXPECT_EQ(dir.read("ansi.ini"), "[A]\r\nCity=Citt\xC3\xA0\r\nName=Jos\xC3\xA9\r\nOther=\xE6\x97\xA5\r\n");

    // Replacing the only byte that kept the file from reading as UTF-8 must not turn "\xC3\xA9" into "é".
    dir.write("flip.ini", "[A]\r\nOld=\xE0\r\nKept=\xC3\xA9\r\n");
    const IniFile flip(dir.file("flip.ini"));
    ASSERT_TRUE(flip.writeString("A", "Old", "x"));
    EXPECT_EQ(flip.readString("A", "Kept", ""), "\xC3\x83\xC2\xA9");
    EXPECT_EQ(flip.readString("A", "Old", ""), "x");

    dir.write("utf8.ini", "[A]\r\nCity=Citt\xC3\xA0\r\n");
    ASSERT_TRUE(IniFile(dir.file("utf8.ini")).writeString("A", "Other", "Perch\xC3\xA9"));
    EXPECT_EQ(dir.read("utf8.ini"), "[A]\r\nCity=Citt\xC3\xA0\r\nOther=Perch\xC3\xA9\r\n");
}

// Values the reader would trim, unquote or cut, in a UTF-8 and in a Windows-1252 file.
TEST(IniFileWrite, EveryStorableValueReadsBackExactly) {
    const std::string values[] = {"",     "  two blanks  ", "\"q\"",    "'q'",        "\"",     "\"\"",
                                  "\"x'", "'\"'\"'",        "\t\v tab", "\xC3\xA8\"", "\"  \"", std::string(2047, 'x')};
    for (const std::string& start : {std::string("[S]\r\nk=old\r\n"), std::string("[S]\r\nk=\xE0\r\n")}) {
        for (const std::string& value : values) {
            IniText text(start);
            ASSERT_TRUE(text.write({{"S", "k", value}, {"New", "k", value}})) << value;
            EXPECT_EQ(text.readString("S", "k", "-"), value) << start;
            EXPECT_EQ(text.readString("New", "k", "-"), value) << start;
        }
    }
}

// Line breaks, and whatever else would not read back, are refused with nothing written.
TEST(IniFileWrite, LineBreaksInAValueCannotInjectKeys) {
    const IniEntry refused[] = {
        {"A", "Password", "x\r\nAutoConnessione=1"}, // a line break would inject keys
        {"A", "Password", "x\ry"},
        {"A", "k", std::string(2048, 'x')}, // reading cuts at 2047
        {"A", "k", "\xE9"},                 // not UTF-8
        {"A\n", "k", "v"},
        {"A", "a=b", "v"},
        {"A", " ;k", "v"},
        {"A", "[k]", "v"},
    };
    TempDir dir;
    const std::string before = "[A]\r\nk=old\r\n";
    dir.write("t.ini", before);
    const IniFile ini(dir.file("t.ini"));
    for (const IniEntry& entry : refused) {
        EXPECT_FALSE(IniText::canStore(entry)) << entry.key;
        EXPECT_EQ(ini.writeStrings({{"A", "k", "new"}, entry}), IniWriteResult::Refused) << entry.key;
        EXPECT_EQ(dir.read("t.ini"), before);
    }
    EXPECT_EQ(ini.writeStrings({{"A", "k", "much too long"}}, before.size() + 5), IniWriteResult::TooLarge);
    EXPECT_EQ(dir.read("t.ini"), before);
}

TEST(IniFileWrite, SeveralKeysGiveTheBytesOfOneWriteEach) {
    TempDir dir;
    const std::string start = "; head\r\n[b]\r\nX = 1\r\n\r\n[C]";
    dir.write("one.ini", start);
    dir.write("many.ini", start);
    const std::vector<IniEntry> entries = {{"A", "k", "1"}, {"B", "x", "2"}, {"B", "y", " 3"}, {"c", "z", "4"}};
    for (const IniEntry& entry : entries)
        ASSERT_TRUE(IniFile(dir.file("one.ini")).writeString(entry.section, entry.key, entry.value));
    ASSERT_EQ(IniFile(dir.file("many.ini")).writeStrings(entries), IniWriteResult::Written);
    EXPECT_EQ(dir.read("many.ini"), dir.read("one.ini"));
    EXPECT_EQ(dir.read("many.ini"), "; head\r\n[b]\r\nX=2\r\ny=\" 3\"\r\n\r\n[C]\r\nz=4\r\n[A]\r\nk=1\r\n");
}
