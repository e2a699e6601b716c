// Tests of creating, loading and saving a tunnel's definition file.
#include "store/tunnel_definition.h"

#include "store/file_system.h"
#include "store/paths.h"
#include "support/temp_dir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <tuple>

using namespace quorvane;
using quorvane::test::TempDir;

namespace {

const std::string kCreatedFile = "[SSH Server]\r\n"
                                 "IpServer=0.0.0.0\r\n"
                                 "PortaServer=22\r\n"
                                 "Username=Nome Utente\r\n"
                                 "Password=" +
                                 std::string(kPlaceholderPassword) +
                                 "\r\n"
                                 "[Tunnell]\r\n"
                                 "PortaLocale=Numero Porta Locale\r\n"
                                 "IpServizio=IP Intranet del servizio\r\n"
                                 "PortaServizio=Numero Porta su IP Intranet del servizio\r\n"
                                 "AutoConnessione=0\r\n";

const TunnelDefinition kSample{"ssh.example.org", "2222", "mario", "p=w;d", "9001", "10.1.2.3", "3389", true};

} // namespace

TEST(TunnelDefinitionFile, CreatedDefaultsLoadThroughTheOtherSpelling) {
    TempDir dir;
    const std::string wd = dir.withSeparator();
    dir.makeFolder("Tunnells");
    ASSERT_TRUE(fs::createFolder(paths::TunnelFolderForAdd(wd, "Office")));
    CreateDefaultDefinition(paths::TunnelFolderForAdd(wd, "Office"));
    EXPECT_EQ(dir.read("Tunnells/Office/Tunnell.tun"), kCreatedFile);

    EXPECT_EQ(LoadDefinition(wd, "Office"),
              (TunnelDefinition{"0.0.0.0", "22", "Nome Utente", kPlaceholderPassword, "Numero Porta Locale",
                                "IP Intranet del servizio", "Numero Porta su IP Intranet del servizio", false}));

    // The save spells the path "tunnells/.../tunnell.tun" and must land in the same file.
    SaveDefinition(wd, "Office", kSample);
    EXPECT_EQ(fs::listOrdinaryFiles(dir.file("Tunnells/Office")), std::vector<std::string>{"Tunnell.tun"});
    EXPECT_EQ(LoadDefinition(wd, "office"), kSample);
}

TEST(TunnelDefinitionFile, SwitchIsAnIntegerNonZeroOn) {
    for (const char* on : {"1", "2", "-1", "+7", "0x1", "0XfF", "0x80000000", "2147483647", "-2147483648"})
        EXPECT_TRUE(parseSwitch(on)) << on;
    for (const char* off :
         {"0", "", "yes", "true", "0x", "0x0", "1a", "0x1g", "--1", "-0x1", "2147483648", "0x100000000", "1 2"})
        EXPECT_FALSE(parseSwitch(off)) << off;

    TempDir dir;
    const auto autoConnectOf = [&](const std::string& line) {
        dir.write("tunnells/T/tunnell.tun", "[Tunnell]\r\n" + line + "\r\n");
        return LoadDefinition(dir.withSeparator(), "T").AutoConnessione;
    };
    EXPECT_TRUE(autoConnectOf("AutoConnessione= 2 "));
    EXPECT_TRUE(autoConnectOf("autoconnessione=\"0x1\""));
    EXPECT_FALSE(autoConnectOf("Other=1"));
}

TEST(TunnelDefinitionFile, HandEditedFileLoadsAndSavesInPlace) {
    TempDir dir;
    dir.write("Tunnells/Office/Tunnell.tun", "; made by hand\r\n"
                                             "[ssh server]\r\n"
                                             "ipserver =  host.lan  \r\n"
                                             "Password=\"  two blanks  \"\r\n"
                                             "Extra=kept\r\n"
                                             "[Other]\r\n"
                                             "x=y\r\n");
    const std::string wd = dir.withSeparator();
    TunnelDefinition d = LoadDefinition(wd, "Office");
    EXPECT_EQ(d.IpServer, "host.lan");
    EXPECT_EQ(d.Password, "  two blanks  ");
    EXPECT_EQ(d.Username, "");
    EXPECT_FALSE(d.AutoConnessione);

    d.IpServer = "other.lan";
    SaveDefinition(wd, "Office", d);
    EXPECT_EQ(dir.read("Tunnells/Office/Tunnell.tun"), "; made by hand\r\n"
                                                       "[ssh server]\r\n"
                                                       "ipserver=other.lan\r\n"
                                                       "Password=\"  two blanks  \"\r\n"
                                                       "Extra=kept\r\n"
                                                       "PortaServer=\r\n"
                                                       "Username=\r\n"
                                                       "[Other]\r\n"
                                                       "x=y\r\n"
                                                       "[Tunnell]\r\n"
                                                       "PortaLocale=\r\n"
                                                       "IpServizio=\r\n"
                                                       "PortaServizio=\r\n"
                                                       "AutoConnessione=0\r\n");
    // Quoted again on the way out, so the blanks survive the next load.
    EXPECT_EQ(LoadDefinition(wd, "Office"), d);
}

TEST(TunnelDefinitionFile, NewerKeysComeBackAsSavedAndAreClearedInPlace) {
    TempDir dir;
    dir.makeFolder("tunnells/Office");
    const std::string wd = dir.withSeparator();
    TunnelDefinition d{"h", "22", "u", "p", "9001", "s", "80", true};
    d.HostKey = "SHA256:abc";
    d.Riconnessione = true;
    d.FileChiave = "keys/id.ppk";
    d.Direzione = kForwardDynamic;
    d.Debug = true;
    d.Prima = "\"./a b.sh\" -x";
    d.Dopo = "./after.sh";
    d.Inoltri = {{kForwardRemote, "9000", "127.0.0.1", "22"}, {kForwardDynamic, "1080", "", ""}};
    d.PassaPer = "Gateway";
    d.AttesaConnessione = 90;
    SaveDefinition(wd, "Office", d);
    EXPECT_EQ(LoadDefinition(wd, "Office"), d);

    // Set back to the defaults, they stay in the file as cleared values; a kind a newer program
    // wrote reads as the local forward every version knows.
    SaveDefinition(wd, "Office", {"h", "22", "u", "p", "9001", "s", "80", true});
    const std::string text = dir.read("tunnells/Office/tunnell.tun");
    EXPECT_NE(text.find("HostKey=\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Direzione=0\r\n"), std::string::npos) << text;
    dir.write("tunnells/Office/tunnell.tun", "[Tunnell]\r\nDirezione=7\r\nInoltri=X,1,a,2;L,5,b,6\r\n");
    EXPECT_EQ(LoadDefinition(wd, "Office").Direzione, kForwardLocal);
    EXPECT_EQ(LoadDefinition(wd, "Office").Inoltri, (std::vector<ExtraForward>{{kForwardLocal, "5", "b", "6"}}));
    // What is no forward is kept as the file holds it, and written back with the rest when anything else changes.
    dir.write("tunnells/Office/tunnell.tun", "[Tunnell]\r\nInoltri=X,1,a,2;L,5,b,6;L,18991,127.0.0.1;;L,7,c,8,9\r\n");
    TunnelDefinition broken = LoadDefinition(wd, "Office");
    EXPECT_EQ(broken.InoltriIllegibili, (std::vector<std::string>{"X,1,a,2", "L,18991,127.0.0.1", "L,7,c,8,9"}));
    EXPECT_EQ(broken.AttesaConnessione, kDefaultConnectSeconds) << "no key: the default";
    broken.HostKey = "SHA256:abc";
    SaveDefinition(wd, "Office", broken);
    EXPECT_EQ(LoadDefinition(wd, "Office"), broken);
    dir.write("tunnells/Office/tunnell.tun", "[Tunnell]\r\nAttesaConnessione=abc\r\n");
    EXPECT_EQ(LoadDefinition(wd, "Office").AttesaConnessione, kDefaultConnectSeconds) << "not a number";

    // A list longer than reading gives whole is refused, not taken without its last forward; the rest stays.
    std::string forwards = "L,1,a,2";
    while (forwards.size() < 2100)
        forwards += ";L,9002,database.example.org,5432";
    dir.write("tunnells/Office/tunnell.tun", "[SSH Server]\r\nIpServer=h\r\n[Tunnell]\r\nInoltri=" + forwards + "\r\n");
    const DefinitionLoad cut = loadDefinitionChecked(wd, "Office");
    EXPECT_EQ(cut.problem, DefinitionProblem::ValueCut);
    EXPECT_NE(cut.message().find("Inoltri"), std::string::npos) << cut.message();
    EXPECT_EQ(cut.definition.IpServer, "h");
}

TEST(TunnelDefinitionFile, MissingFilesAndFailedWrites) {
    TempDir dir;
    const std::string wd = dir.withSeparator();
    EXPECT_EQ(LoadDefinition(wd, "Nowhere"), TunnelDefinition{});

    // The file vanished since it was loaded: the save makes it again.
    dir.makeFolder("tunnells/Gone");
    SaveDefinition(wd, "Gone", kSample);
    EXPECT_EQ(LoadDefinition(wd, "Gone"), kSample);

    // The folder vanished: the save fails and names the file.
    try {
        SaveDefinition(wd, "Nowhere", kSample);
        FAIL() << "no error";
    } catch (const StoreError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + paths::DefinitionFile(wd, "Nowhere"));
    }
    EXPECT_THROW(CreateDefaultDefinition(dir.file("Tunnells/Nowhere")), StoreError);
    EXPECT_FALSE(fs::folderExists(dir.file("tunnells/Nowhere")));
}
