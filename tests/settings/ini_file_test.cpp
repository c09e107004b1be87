#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>

#include "platform/cp932.h"
#include "support/file_size_limit.h"
#include "support/temp_dir.h"

namespace {

std::string Sj(const char* utf8) { return Utf8ToCp932(utf8); }

TEST(IniFileRead, NamesMatchCaseInsensitivelyAndFirstMatchWins) {
    const IniFile ini(
        "[diary]\r\n"
        "  onair = on  \r\n"
        "ONAIR=off\r\n"
        "[DIARY]\r\n"
        "INTERVAL_HOUR=7\r\n");
    EXPECT_EQ(ini.GetString("DIARY", "ONAIR"), "on");
    // Only the first copy of a duplicated section is searched.
    EXPECT_EQ(ini.GetString("DIARY", "INTERVAL_HOUR"), std::nullopt);
}

TEST(IniFileRead, CommentsQuotesAndEmptyValues) {
    const IniFile ini(
        "[A]\n"
        "; KEY=commented\n"
        "ONAIR=on ;x\n"
        "Q=\"quoted value\"\n"
        "S='single'\n"
        "M=\"mismatched'\n"
        "E=\n"
        "EQ=a=b\n");
    EXPECT_EQ(ini.GetString("A", "; KEY"), std::nullopt);
    EXPECT_EQ(ini.GetString("A", "ONAIR"), "on ;x");  // no inline comments
    EXPECT_EQ(ini.GetString("A", "Q"), "quoted value");
    EXPECT_EQ(ini.GetString("A", "S"), "single");
    EXPECT_EQ(ini.GetString("A", "M"), "\"mismatched'");
    EXPECT_EQ(ini.GetString("A", "E"), "");  // present but empty
    EXPECT_EQ(ini.GetString("A", "EQ"), "a=b");
    EXPECT_EQ(ini.GetInt("A", "E", 42), 42);
    EXPECT_EQ(ini.GetInt("A", "MISSING", 42), 42);
}

TEST(IniFileRead, SectionNameEndsAtFirstBracket) {
    const IniFile ini("[SEC]junk]\nK=1\n");
    EXPECT_EQ(ini.GetInt("SEC", "K", 0), 1);
}

TEST(IniFileRead, IntegerReaderTakesLeadingDecimal) {
    EXPECT_EQ(IniFile::ParseLeadingInt("-5"), -5);
    EXPECT_EQ(IniFile::ParseLeadingInt("12abc"), 12);
    EXPECT_EQ(IniFile::ParseLeadingInt("abc"), 0);
    EXPECT_EQ(IniFile::ParseLeadingInt("0x10"), 0);
    EXPECT_EQ(IniFile::ParseLeadingInt("4294967295"), -1);  // wraps as 32 bits
    EXPECT_EQ(IniFile::ParseLeadingInt("-"), 0);
    EXPECT_EQ(IniFile::ParseLeadingInt("+12"), 12);
    EXPECT_EQ(IniFile::ParseLeadingInt("+-1"), 0);
}

TEST(IniFileRead, LineEndsOfEveryKind) {
    const IniFile ini("[A]\rX=1\rY=2\n\rZ=3\r\n");
    EXPECT_EQ(ini.GetInt("A", "X", 0), 1);
    EXPECT_EQ(ini.GetInt("A", "Y", 0), 2);
    EXPECT_EQ(ini.GetInt("A", "Z", 0), 3);
}

TEST(IniFileRead, ValueCutTo1023BytesWithoutSplittingACharacter) {
    std::string value(1022, 'x');
    value += Sj("表");  // bytes 1023 and 1024
    const IniFile ini("[A]\nK=" + value + "\n");
    const auto read = ini.GetString("A", "K");
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->size(), 1022u);

    const IniFile plain("[A]\nK=" + std::string(5000, 'y') + "\n");
    EXPECT_EQ(plain.GetString("A", "K")->size(), 1023u);
}

TEST(IniFileRead, DoubleByteSecondBytesAreNotSyntaxNorFolded) {
    // "ゾ" ends in 0x5D (']'), "ヂ" in 0x61 ('a'), "ア" in 0x41 ('A').
    const IniFile ini("[" + Sj("ゾ") + "X]\nK" + Sj("ヂ") + "=1\n");
    EXPECT_EQ(ini.GetInt(Sj("ゾ") + "X", "K" + Sj("ヂ"), 0), 1);
    EXPECT_EQ(ini.GetInt(Sj("ゾ") + "X", "K" + Sj("ア"), 0), 0);
    EXPECT_EQ(ini.GetInt(Sj("ゾ") + "x", "k" + Sj("ヂ"), 0), 1);
    EXPECT_FALSE(ProfileNamesEqual(Sj("ヂ"), Sj("ア")));
}

TEST(IniFileRead, GarbageLoadsWithoutCrash) {
    std::string garbage;
    for (int i = 0; i < 200000; ++i) garbage += static_cast<char>((i * 7919) % 256);
    garbage += std::string(1 << 20, '[');
    garbage += '\0';
    garbage += "\n[DIARY]\nONAIR=on";  // no final line end
    const IniFile ini(garbage);
    EXPECT_EQ(ini.GetString("DIARY", "ONAIR"), "on");
    EXPECT_EQ(ini.GetInt("NOPE", "X", 3), 3);
}

// Hand-edited files read as the Windows profile functions read them.
TEST(IniFileRead, HandEditedLinesReadAsTheProfileFunctionsReadThem) {
    IniFile ini(
        "[DIARY]\r\n"
        "SAVE_DIRECTORY\r\n"  // no "=": not a key, so the default applies
        "INTERVAL_MINUTE=+5\r\n"
        "INTERVAL_HOUR=-3\r\n"
        "INTERVAL_SECOND=+\r\n"
        "\v[\vHTML\v]\v\r\n"
        "\vINDEX_HTML\v=\v index.html\t\v\r\n"
        "\v; INDEX_CREATE=off\r\n"
        "\vBARE\v\r\n"
        "BARE=later\r\n"
        "[TIMETEXT]\r\n"
        "FONT_SIZE=20");
    EXPECT_EQ(ini.GetString("DIARY", "SAVE_DIRECTORY"), std::nullopt);
    EXPECT_EQ(ini.GetInt("DIARY", "INTERVAL_MINUTE", 10), 5);
    EXPECT_EQ(ini.GetInt("DIARY", "INTERVAL_HOUR", 0), -3);
    EXPECT_EQ(ini.GetInt("DIARY", "INTERVAL_SECOND", 7), 0);
    EXPECT_EQ(ini.GetString("HTML", "INDEX_HTML"), "index.html");
    EXPECT_EQ(ini.GetString("HTML", "; INDEX_CREATE"), std::nullopt);
    EXPECT_EQ(ini.GetString("HTML", "INDEX_CREATE"), std::nullopt);
    // The first line that is a key wins; the bare name before it is none.
    EXPECT_EQ(ini.GetString("HTML", "BARE"), "later");

    // Writing: the bare line stays as it was and the key is added after the
    // section's last key; a rewritten last line gets its CR LF.
    ini.SetString("DIARY", "SAVE_DIRECTORY", "/srv/diary/");
    ini.SetString("TIMETEXT", "FONT_SIZE", "14");
    ini.SetString("HTML", "INDEX_CREATE", "on");
    EXPECT_EQ(ini.Content(),
              "[DIARY]\r\n"
              "SAVE_DIRECTORY\r\n"
              "INTERVAL_MINUTE=+5\r\n"
              "INTERVAL_HOUR=-3\r\n"
              "INTERVAL_SECOND=+\r\n"
              "SAVE_DIRECTORY=/srv/diary/\r\n"
              "\v[\vHTML\v]\v\r\n"
              "\vINDEX_HTML\v=\v index.html\t\v\r\n"
              "\v; INDEX_CREATE=off\r\n"
              "\vBARE\v\r\n"
              "BARE=later\r\n"
              "INDEX_CREATE=on\r\n"
              "[TIMETEXT]\r\n"
              "FONT_SIZE=14\r\n");
    const IniFile reread(ini.Content());
    EXPECT_EQ(reread.GetString("DIARY", "SAVE_DIRECTORY"), "/srv/diary/");
    EXPECT_EQ(reread.GetInt("TIMETEXT", "FONT_SIZE", 0), 14);
}

TEST(IniFileWrite, ReplacesInPlaceAndKeepsEveryOtherLine) {
    IniFile ini(
        "; my notes\r\n"
        "[DIARY]\r\n"
        "  OnAir = \"on\"  \r\n"
        "\r\n"
        "; trailing comment\r\n"
        "[OTHER]\nx=1\n");
    ini.SetString("DIARY", "ONAIR", "off");
    EXPECT_EQ(ini.Content(),
              "; my notes\r\n"
              "[DIARY]\r\n"
              "OnAir=off\r\n"
              "\r\n"
              "; trailing comment\r\n"
              "[OTHER]\nx=1\n");
}

TEST(IniFileWrite, NewKeyGoesAfterLastKeyLineOfItsSection) {
    IniFile ini("[A]\r\nK1=1\r\n\r\n; c\r\n[B]\r\nZ=9\r\n");
    ini.SetString("a", "K2", "2");
    EXPECT_EQ(ini.Content(), "[A]\r\nK1=1\r\nK2=2\r\n\r\n; c\r\n[B]\r\nZ=9\r\n");

    IniFile empty_section("[A]\r\n; only a comment\r\n");
    empty_section.SetString("A", "K", "v");
    EXPECT_EQ(empty_section.Content(), "[A]\r\nK=v\r\n; only a comment\r\n");
}

TEST(IniFileWrite, NewSectionAppendedAfterRepairingFinalLineEnd) {
    IniFile ini("[A]\r\nK=1");
    ini.SetString("B", "X", "y");
    EXPECT_EQ(ini.Content(), "[A]\r\nK=1\r\n[B]\r\nX=y\r\n");

    IniFile missing_end("[A]\r\nK=1");
    missing_end.SetString("A", "L", "2");
    EXPECT_EQ(missing_end.Content(), "[A]\r\nK=1\r\nL=2\r\n");

    IniFile none;
    none.SetString("S", "K", "v");
    EXPECT_EQ(none.Content(), "[S]\r\nK=v\r\n");
}

TEST(IniFileWrite, LineBreaksInValuesCannotSplitTheKey) {
    IniFile ini;
    ini.SetString("S", "K", "a\r\nb");
    EXPECT_EQ(ini.GetString("S", "K"), "a  b");

    // A name with a line break writes several lines; the document answers as
    // the written file will.
    ini.SetString("S", "X\n[S]\nY", "1");
    const IniFile reread(ini.Content());
    for (const char* key : {"X\n[S]\nY", "Y", "X"}) {
        EXPECT_EQ(ini.GetString("S", key), reread.GetString("S", key)) << key;
    }
}

TEST(IniFileWrite, FailedSaveKeepsPreviousFile) {
    TempDir dir;
    const auto path = dir.path() / "setup.ini";
    WriteFileBytes(path, "[A]\r\nK=old\r\n");
    IniFile ini = IniFile::Load(path);
    ini.SetString("A", "K", "new");
    {
        // The disk fills in the middle of the write.
        FileSizeLimit limit(4);
        EXPECT_FALSE(ini.Save(path));
    }
    EXPECT_EQ(ReadFileBytes(path), "[A]\r\nK=old\r\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
