// Message texts: the exact defaults the commands show until a language file changes them.
#include "i18n/message_texts.h"
#include "qt_printers.h"

#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(MessageTexts, DefaultsAreTheItalianTexts) {
    TfMessage messages;
    EXPECT_EQ(messages.objectName(), "fMessage");
    EXPECT_EQ(messages.windowTitle(), "Messaggi");
    EXPECT_EQ(messages.NomeNonValido(), "Nome non  valido!"); // two blanks, as users have always seen it
    EXPECT_EQ(messages.ProbRimozCartella(), "Problemi nella rimozione della cartella");
    EXPECT_EQ(messages.CreazTunnell(), "Creazione Tunnell");
    EXPECT_EQ(messages.NomeDaAssegnare(), "Nome da assegnare");
    EXPECT_EQ(messages.Connessi(), "Connessi");
    EXPECT_EQ(messages.Disconnessi(), "Disconnessi");
    EXPECT_EQ(messages.Pronto(), "Pronto");
    EXPECT_EQ(messages.TunnellEsistente(), QString::fromUtf8("Tunnell già esistente!"));
    EXPECT_EQ(messages.ClientNonCopiato(),
              QString::fromUtf8("Impossibile copiare il client SSH (plink.exe): il tunnell è stato creato ma non "
                                "potrà connettersi."));
    EXPECT_EQ(messages.text("Inesistente"), QString());
}

} // namespace
} // namespace quorvane
