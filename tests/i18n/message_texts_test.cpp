// Message texts: the defaults commands show, and that a translation is read at the time of use.
#include "i18n/language_engine.h"
#include "i18n/message_texts.h"

#include <QLabel>
#include <gtest/gtest.h>

namespace quorvane {
namespace {

TEST(MessageTexts, DefaultsAreTheItalianTexts) {
    TfMessage messages;
    EXPECT_EQ(messages.objectName(), "fMessage");
    EXPECT_EQ(messages.windowTitle(), "Messaggi");
    EXPECT_FALSE(messages.isVisible());
    ASSERT_NE(messages.findChild<QLabel*>("Label1"), nullptr);

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

TEST(MessageTexts, TranslationTakesEffectAtTheNextRead) {
    TfMessage messages;
    TLanguageEngine language(nullptr);
    const QString before = messages.Pronto();

    language.ApplyEntry("fMessage.NomeNonValido.Text", "Name missing!");
    language.ApplyEntry("fMessage.Pronto.Text", "");
    language.ApplyEntry("fmessage.connessi.text", "Online");

    EXPECT_EQ(messages.NomeNonValido(), "Name missing!");
    EXPECT_EQ(messages.Pronto(), before);
    EXPECT_EQ(messages.Connessi(), "Online");
    EXPECT_EQ(messages.Disconnessi(), "Disconnessi");
}

} // namespace
} // namespace quorvane
