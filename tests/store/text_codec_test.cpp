// Tests of the UTF-8 / Windows-1252 conversion of file text.
#include "store/text_codec.h"

#include <gtest/gtest.h>

using namespace quorvane;

TEST(TextCodec, RejectsMalformedUtf8) {
    EXPECT_TRUE(isValidUtf8(""));
    EXPECT_TRUE(isValidUtf8("plain ASCII"));
    EXPECT_TRUE(isValidUtf8("Citt\xC3\xA0 \xE2\x82\xAC \xF0\x9F\x94\x91"));
    EXPECT_FALSE(isValidUtf8("Citt\xE0"));         // a Windows-1252 letter
    EXPECT_FALSE(isValidUtf8("\xC0\x80"));         // overlong NUL
    EXPECT_FALSE(isValidUtf8("\xE0\x80\xAF"));     // overlong '/'
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(isValidUtf8("\xF4\x90\x80\x80")); // past U+10FFFF
    EXPECT_FALSE(isValidUtf8("\xE2\x82"));         // cut short at the end
    EXPECT_FALSE(isValidUtf8("\xE2\x82x"));        // cut short by ASCII
    EXPECT_FALSE(isValidUtf8("\x80"));             // lone continuation byte
}

TEST(TextCodec, DecodesWindows1252OnlyWhenNotUtf8) {
    EXPECT_EQ(decodeFileText("Citt\xC3\xA0"), "Citt\xC3\xA0");
    EXPECT_EQ(decodeFileText("Citt\xE0"), "Citt\xC3\xA0");
    // The 0x80-0x9F block is not Latin-1: euro sign, en dash, Y with diaeresis.
    EXPECT_EQ(decodeFileText("\x80\x96\x9F"), "\xE2\x82\xAC\xE2\x80\x93\xC5\xB8");
    // One stray byte makes the whole text Windows-1252, including bytes that looked like UTF-8.
    EXPECT_EQ(decodeFileText("\xC3\xA0\xE0"), "\xC3\x83\xC2\xA0\xC3\xA0");
}

TEST(TextCodec, EncodesToWindows1252WithQuestionMarks) {
    EXPECT_EQ(encodeWindows1252("Citt\xC3\xA0 \xE2\x82\xAC"), "Citt\xE0 \x80");
    EXPECT_EQ(encodeWindows1252("\xE6\x97\xA5 \xF0\x9F\x94\x91"), "? ?");
    EXPECT_EQ(encodeWindows1252("a\xFF"
                                "b"),
              "a?b"); // malformed input is not passed through
}

TEST(TextCodec, EveryWindows1252ByteSurvivesARoundTrip) {
    for (int byte = 1; byte < 256; ++byte) {
        const std::string original(1, static_cast<char>(byte));
        EXPECT_EQ(encodeWindows1252(decodeFileText(original)), original) << "byte " << byte;
    }
}
