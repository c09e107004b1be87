#include "platform/cp932.h"

#include <gtest/gtest.h>

namespace {

TEST(Cp932, ConvertsBothWaysIncludingBackslashSecondBytes) {
    EXPECT_EQ(Utf8ToCp932("表示"), "\x95\x5C\x8E\xA6");
    EXPECT_EQ(Cp932ToUtf8("\x95\x5C\x8E\xA6"), "表示");
    EXPECT_EQ(Utf8ToCp932("ＭＳ ゴシック～"),
              "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E\x81\x60");
}

TEST(Cp932, UnmappableCharactersNeverBreakTheText) {
    EXPECT_EQ(Utf8ToCp932("a😀b"), "a?b");
    EXPECT_EQ(Utf8ToCp932("a😀b€", Unmappable::kHtmlReference), "a&#128512;b&#8364;");
    EXPECT_EQ(Utf8ToCp932("x\xFFy"), "x?y");  // invalid UTF-8
    EXPECT_EQ(Cp932ToUtf8("a\xFF"
                          "b\x81"),
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD");
}

// What tells a settings file saved by a Linux editor from one in CP932.
TEST(Cp932, ValidityOfBothEncodings) {
    EXPECT_TRUE(IsValidCp932("plain ASCII"));
    EXPECT_TRUE(IsValidCp932("\x95\x5C\x8E\xA6"));
    EXPECT_FALSE(IsValidCp932("\x95"));        // a lead byte cut off
    EXPECT_FALSE(IsValidCp932("caf\xE9 au"));  // Latin-1
    EXPECT_FALSE(IsValidCp932("日記"));        // its UTF-8 form
    EXPECT_TRUE(IsValidUtf8("日記 😀"));
    EXPECT_FALSE(IsValidUtf8("\x95\x5C\x8E\xA6"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // a surrogate
    EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // beyond U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xE6\x97"));          // cut off
}

TEST(Cp932, CutsNeverSplitACharacter) {
    EXPECT_EQ(Cp932PrefixLength("ab\x95\x5C", 3), 2u);
    EXPECT_EQ(Cp932PrefixLength("ab\x95\x5C", 4), 4u);
    EXPECT_EQ(TruncateToCp932Bytes("ab表示", 5), "ab表");
    EXPECT_EQ(TruncateToCp932Bytes("ab表示", 4), "ab表");
    EXPECT_EQ(TruncateToCp932Bytes("ab表示", 3), "ab");
    EXPECT_EQ(Cp932ByteLength("USBカメラ"), 9u);
}

}  // namespace
