#include "settings/settings_io.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "event_commands/event_commands_settings.h"
#include "platform/cp932.h"
#include "publish/publish_settings.h"
#include "retention/retention_settings.h"
#include "schedule/schedule_settings.h"
#include "settings/app_directory.h"
#include "settings/ini_file.h"
#include "settings/stored_nothing.h"
#include "support/temp_dir.h"
#include "timelapse/timelapse_settings.h"

namespace {

class SettingsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QUILLOMAT_HOME", home.path().c_str(), 1);
        // The jobs' sections, in the order the program registers them.
        RegisterSettingsSection(RetentionSettingsSection());
        RegisterSettingsSection(PublishSettingsSection());
        RegisterSettingsSection(TimelapseSettingsSection());
        RegisterSettingsSection(EventCommandsSettingsSection());
        RegisterSettingsSection(ScheduleSettingsSection());
    }
    void TearDown() override { ::unsetenv("QUILLOMAT_HOME"); }

    std::filesystem::path device() const { return home.path() / "device.ini"; }
    std::filesystem::path setup() const { return home.path() / "setup.ini"; }

    TempDir home;
};

TEST_F(SettingsFiles, AppDirectoryFollowsHomeAndEndsInSlash) {
    EXPECT_EQ(GetAppDirectory(), home.str());
}

TEST_F(SettingsFiles, NoFilesGiveDefaultsAndFirstSaveWritesEveryKeyInOrder) {
    DiarySettings s;
    s.ONAIR = false;
    s.FRAMERATE = 1;
    LoadSettings(s);
    DiarySettings expected;
    expected.SAVE_DIRECTORY = home.str();
    expected.settings_folder = home.str();
    EXPECT_EQ(s, expected);

    SaveSettings(s);
    EXPECT_EQ(ReadFileBytes(device()),
              "[DEVICE]\r\nSELECT=\r\nWIDTH=320\r\nHEIGHT=240\r\nFRAMERATE=333333\r\n");
    const std::string setup_text = Cp932ToUtf8(ReadFileBytes(setup()));
    const std::string expected_setup =
        "[APPLICATION]\r\nLOGFILE=off\r\nCLOSECANCEL=off\r\nJPEG_QUALITY=80\r\nSTARTUP_TIMER=0\r\n"
        "STARTUP_DIALOG=off\r\n"
        "[DIARY]\r\nONAIR=on\r\nSAVE_DIRECTORY=" +
        home.str() +
        "\r\nINTERVAL_HOUR=0\r\nINTERVAL_MINUTE=10\r\nINTERVAL_SECOND=0\r\nMOTION_DETECT=off\r\n"
        "MOTION_DETECT_LEVEL=50\r\nMOTION_DETECT_UPDATE=500\r\nMOTION_DETECT_INTERVAL=60\r\n"
        "[HTML]\r\nPREVIEW_HTML=preview.html\r\nPREVIEW_CREATE=on\r\nPREVIEW_IMAGE_SIZE=50\r\n"
        "PREVIEW_AUTO_REFLESH=on\r\nPREVIEW_AUTO_REFLESH_SECOND=60\r\nPREVIEW_SORT=on\r\n"
        "INDEX_HTML=preview.html\r\nINDEX_CREATE=on\r\nINDEX_PREVIEW=on\r\nINDEX_IMAGE_SIZE=50\r\n"
        "INDEX_IMAGE_MAX=5\r\nINDEX_AUTO_REFLESH=on\r\nINDEX_AUTO_REFLESH_SECOND=60\r\nINDEX_"
        "CALENDAR=on\r\n"
        "INDEX_CALENDAR_SORT=on\r\nINDEX_CALENDAR_MAX=15\r\nINDEX_CALENDAR_ROW=5\r\n"
        "INDEX_CALENDAR_FONT_SIZE=15\r\nINDEX_HTML_TITLE=保存履歴\r\nTOP_CODE=\r\nBOTTOM_CODE=" +
        DiarySettings::DefaultBottomCode() +
        "\r\n[TIMETEXT]\r\nSHOW_TEXT=on\r\nTEXT_XPOS=5\r\nTEXT_YPOS=5\r\n"
        "TIME_FORMAT=%Y/%M/%D(%w) %h:%m:%s\r\nFONT_NAME=ＭＳ "
        "ゴシック\r\nFONT_SIZE=14\r\nFONT_BOLD=off\r\n"
        "FONT_ITALIC=off\r\nSHOW_SHADOW=on\r\nSHADOW_XPOS=1\r\nSHADOW_YPOS=1\r\nTEXT_COLOR="
        "16777215\r\n"
        "SHADOW_COLOR=0\r\n";
    EXPECT_EQ(setup_text, expected_setup);
}

TEST_F(SettingsFiles, RoundTripKeepsEveryValue) {
    DiarySettings s;
    s.SELECT = "USB カメラ (2)";
    s.WIDTH = 1280;
    s.HEIGHT = -720;
    s.FRAMERATE = 666666;
    s.LOGFILE = true;
    s.SAVE_DIRECTORY = "/srv/日記";
    s.MOTION_DETECT_UPDATE = 5;  // below the dialog's range: kept
    s.TOP_CODE = "<h1>表\\n</h1>\r\nline two\\\\\nend\\";
    s.BOTTOM_CODE = "";
    s.TIME_FORMAT = "%Y\\n%h";  // the time text's own backslash token stays as typed
    s.TEXT_COLOR = 255;
    s.SHADOW_COLOR = 16711680;
    // Every key of the added sections away from its default, the jobs' too.
    s.SETTLE_MAX_MS = 100;
    s.Section<RetentionSettings>() = {3, 100, 50};
    s.Section<PublishSettings>() = {"remote:diary", "/etc/rclone.conf", 60, "1M"};
    s.Section<TimelapseSettings>() = {true, 12};
    s.Section<EventCommandsSettings>() = {"a", "b", "c", "d", 5};
    SaveSettings(s);
    DiarySettings back;
    LoadSettings(back);
    s.settings_folder = home.str();
    EXPECT_EQ(back, s);
    DiarySettings other = back;
    other.Section<TimelapseSettings>().FPS = 13;
    EXPECT_NE(other, back);
    const std::string setup_text = ReadFileBytes(setup());
    EXPECT_NE(setup_text.find("TEXT_COLOR=255\r\n"), std::string::npos);
    EXPECT_NE(setup_text.find("SHADOW_COLOR=16711680\r\n"), std::string::npos);
    EXPECT_NE(setup_text.find("TIME_FORMAT=%Y\\n%h\r\n"), std::string::npos);
}

TEST_F(SettingsFiles, FlagsAreOnOnlyForExactOn) {
    WriteFileBytes(setup(),
                   "[DIARY]\r\nONAIR=On\r\nMOTION_DETECT=on\r\n[APPLICATION]\r\nLOGFILE=1\r\n"
                   "CLOSECANCEL=on \r\n[TIMETEXT]\r\nSHOW_TEXT=\r\n");
    DiarySettings s;
    LoadSettings(s);
    EXPECT_FALSE(s.ONAIR);
    EXPECT_TRUE(s.MOTION_DETECT);
    EXPECT_FALSE(s.LOGFILE);
    EXPECT_TRUE(s.CLOSECANCEL);  // trailing blanks are trimmed
    EXPECT_FALSE(s.SHOW_TEXT);   // empty is not absent
}

TEST_F(SettingsFiles, FrameTimeKeepsLow32BitsAndDeviceSectionOnlyFromDeviceIni) {
    WriteFileBytes(device(), "[DEVICE]\r\nFRAMERATE=-1\r\n");
    WriteFileBytes(setup(), "[DEVICE]\r\nSELECT=wrong\r\nWIDTH=1\r\n");
    DiarySettings s;
    LoadSettings(s);
    EXPECT_EQ(s.FRAMERATE, 4294967295LL);
    EXPECT_EQ(s.SELECT, "");
    EXPECT_EQ(s.WIDTH, 320);

    WriteFileBytes(device(), "[DEVICE]\r\nFRAMERATE=666666\r\n");
    LoadSettings(s);
    EXPECT_EQ(s.FRAMERATE, 666666);
    s.FRAMERATE = 0x100000005LL;
    SaveSettings(s);
    EXPECT_NE(ReadFileBytes(device()).find("FRAMERATE=5\r\n"), std::string::npos);
}

TEST_F(SettingsFiles, SaveKeepsForeignLinesAndKeysOfOtherPrograms) {
    WriteFileBytes(setup(),
                   "; hand notes\r\n[DIARY]\r\nCUSTOM=keep me\r\nONAIR=off\r\n[EXTRA]\r\nA=1");
    DiarySettings s;
    LoadSettings(s);
    s.ONAIR = true;
    SaveSettings(s);
    const IniFile ini = IniFile::Load(setup());
    EXPECT_EQ(ini.GetString("DIARY", "CUSTOM"), "keep me");
    EXPECT_EQ(ini.GetString("DIARY", "ONAIR"), "on");
    EXPECT_EQ(ini.GetString("EXTRA", "A"), "1");
    EXPECT_EQ(ini.Content().rfind("; hand notes\r\n", 0), 0u);
}

TEST_F(SettingsFiles, GarbageFilesLoadWithDefaultsWhereUnreadable) {
    std::string garbage = "\xFF\xFE\x81";
    garbage += '\0';
    garbage += "\r\n[DIARY]\r\nINTERVAL_MINUTE=abc\r\n\x82";
    garbage += std::string(10 << 20, 'Z');
    garbage += "\r\nINTERVAL_SECOND=7\r\nSAVE_DIRECTORY=\x82\xA0\xFF\r\n";
    WriteFileBytes(setup(), garbage);
    static const char kDevice[] = "\0\0\0\r[DEVICE]\rWIDTH=640\r";
    WriteFileBytes(device(), std::string(kDevice, sizeof kDevice - 1));
    DiarySettings s;
    LoadSettings(s);
    EXPECT_EQ(s.INTERVAL_MINUTE, 0);
    EXPECT_EQ(s.INTERVAL_SECOND, 7);
    EXPECT_EQ(s.WIDTH, 640);
    EXPECT_EQ(s.SAVE_DIRECTORY, "あ\xEF\xBF\xBD");  // invalid byte replaced, not dropped silently
    SaveSettings(s);
    DiarySettings again;
    LoadSettings(again);
    EXPECT_EQ(again.INTERVAL_SECOND, 7);
    EXPECT_EQ(again.WIDTH, 640);
}

TEST(MultilineEscape, RoundTripsEveryTextAndReadsOldValuesUnchanged) {
    for (const std::string text : {"", "plain", "a\nb\r\nc", "back\\slash", "\\n literal",
                                   "表n 能\\", "\\", "end\\\\", "\r\r\n\n"}) {
        EXPECT_EQ(UnescapeMultiline(EscapeMultiline(text)), text) << text;
        EXPECT_EQ(EscapeMultiline(text).find_first_of("\r\n"), std::string::npos);
    }
    EXPECT_EQ(UnescapeMultiline("C:\\temp\\x"), "C:\\temp\\x");
    EXPECT_EQ(UnescapeMultiline("表示"), "表示");
}

}  // namespace

namespace {

// The sections beyond the original four: only what was set is written back,
// and a value that cannot be used as it stands is replaced and remarked on.
TEST_F(SettingsFiles, AddedSectionsAreWrittenOnlyWhenSetAndBadValuesAreReplacedAndSaid) {
    WriteFileBytes(setup(),
                   "[RETENTION]\r\nKEEP_DAYS=-5\r\nKEEP_MAX_MB=99999999999999\r\n"
                   "[TIMELAPSE]\r\nMAKE=yes\r\nFPS=twelve\r\n"
                   "[EVENTS]\r\nON_PICTURE=notify-send \"a b\"\r\nCOMMAND_TIMEOUT_SECOND=30\r\n");
    DiarySettings s;
    std::vector<std::string> remarks;
    LoadSettings(s, &remarks);
    EXPECT_EQ(std::tuple(s.Section<RetentionSettings>().KEEP_DAYS,
                         s.Section<RetentionSettings>().KEEP_MAX_MB,
                         s.Section<RetentionSettings>().KEEP_FREE_MB),
              std::tuple(0, 2147483647, 0));
    EXPECT_EQ(std::tuple(s.Section<TimelapseSettings>().MAKE, s.Section<TimelapseSettings>().FPS),
              std::tuple(false, 25));
    EXPECT_EQ(s.Section<EventCommandsSettings>().ON_PICTURE, "notify-send \"a b\"");
    EXPECT_EQ(s.Section<EventCommandsSettings>().COMMAND_TIMEOUT_SECOND, 30);
    EXPECT_EQ(remarks,
              (std::vector<std::string>{
                  "quillomat: setup.ini [RETENTION] KEEP_DAYS=-5 is outside 0 to 36500; 0 is used.",
                  "quillomat: setup.ini [RETENTION] KEEP_MAX_MB=99999999999999 is outside 0 to "
                  "2147483647; 2147483647 is used.",
                  "quillomat: setup.ini [TIMELAPSE] MAKE=yes is neither on nor off; off is used.",
                  "quillomat: setup.ini [TIMELAPSE] FPS=twelve is not a whole number; 25 is "
                  "used."}));

    // Keys that were in the file are written back as used; a key set away
    // from its default is added; untouched sections stay away.
    s.Section<PublishSettings>().REMOTE = "bucket:diary";
    SaveSettings(s);
    const std::string text = ReadFileBytes(setup());
    EXPECT_NE(text.find("[RETENTION]\r\nKEEP_DAYS=0\r\nKEEP_MAX_MB=2147483647\r\n[TIMELAPSE]\r\n"
                        "MAKE=off\r\nFPS=25\r\n[EVENTS]\r\nON_PICTURE=notify-send \"a b\"\r\n"
                        "COMMAND_TIMEOUT_SECOND=30\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[PUBLISH]\r\nREMOTE=bucket:diary\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("KEEP_FREE_MB"), std::string::npos) << text;
    EXPECT_EQ(text.find("COOLDOWN_SECOND"), std::string::npos) << text;
    EXPECT_EQ(text.find("[CAPTURE]"), std::string::npos) << text;

    // A command line that begins and ends with the same quote reads back as
    // it was saved, though reading drops a pair of quotes around a value.
    s.Section<EventCommandsSettings>().ON_CAMERA_LOST = "'/opt/my tools/say' 'camera lost'";
    s.Section<EventCommandsSettings>().ON_CAMERA_FOUND = "\"x\"";
    SaveSettings(s);
    DiarySettings again;
    LoadSettings(again);
    EXPECT_EQ(again.Section<EventCommandsSettings>().ON_CAMERA_LOST,
              "'/opt/my tools/say' 'camera lost'");
    EXPECT_EQ(again.Section<EventCommandsSettings>().ON_CAMERA_FOUND, "\"x\"");
    EXPECT_EQ(again.Section<EventCommandsSettings>().ON_PICTURE, "notify-send \"a b\"");
}

// A key whose absence means something else than an empty value (a weekday
// of the recording hours): absent, present and empty, and present are three
// values, each written back as it was; a key taken away is removed.
TEST_F(SettingsFiles, KeysThatMayBeAbsentKeepAbsentEmptyAndSetApart) {
    WriteFileBytes(setup(), "[SCHEDULE]\r\nHOURS=07:00-19:00\r\nSAT=\r\nSUN=10:00-12:00\r\n");
    DiarySettings s;
    LoadSettings(s);
    const auto& schedule = s.Section<ScheduleSettings>();
    EXPECT_EQ(schedule.MON, std::nullopt);
    EXPECT_EQ(schedule.SAT, std::optional<std::string>(""));
    EXPECT_EQ(schedule.SUN, std::optional<std::string>("10:00-12:00"));

    s.Section<ScheduleSettings>().SUN.reset();
    s.Section<ScheduleSettings>().FRI = "";
    SaveSettings(s);
    const std::string text = ReadFileBytes(setup());
    EXPECT_NE(text.find("[SCHEDULE]\r\nHOURS=07:00-19:00\r\nSAT=\r\nFRI=\r\n"), std::string::npos)
        << text;
    EXPECT_EQ(text.find("SUN="), std::string::npos) << text;
    EXPECT_EQ(text.find("MON="), std::string::npos) << text;
    DiarySettings again;
    LoadSettings(again);
    EXPECT_EQ(again.Section<ScheduleSettings>(), s.Section<ScheduleSettings>());
}

// A file that is neither CP932 nor UTF-8 throughout is read value by value;
// a value that is neither keeps its bytes until it is changed (the UTF-8
// file itself: HeadlessSafetyTest).
TEST_F(SettingsFiles, ValuesOfAMixedFileKeepTheirBytesUntilChanged) {
    const std::string latin1 = "INDEX_HTML_TITLE=Caf\xE9 Diary\r\n";
    WriteFileBytes(setup(), "[DIARY]\r\nSAVE_DIRECTORY=/srv/日記/\r\n[HTML]\r\n" + latin1 +
                                Utf8ToCp932("TOP_CODE=<p>月曜</p>\r\n"));
    EXPECT_EQ(SettingsFileTextOf(setup()), SettingsFileText::kMixed);
    DiarySettings s;
    LoadSettings(s);
    EXPECT_EQ(s.SAVE_DIRECTORY, "/srv/日記/");
    EXPECT_EQ(s.TOP_CODE, "<p>月曜</p>");
    SaveSettings(s);
    EXPECT_NE(ReadFileBytes(setup()).find(latin1), std::string::npos);
    EXPECT_NE(ReadFileBytes(setup()).find(Utf8ToCp932("SAVE_DIRECTORY=/srv/日記/\r\n")),
              std::string::npos);
    s.INDEX_HTML_TITLE = "Café";
    SaveSettings(s);
    EXPECT_NE(ReadFileBytes(setup()).find("INDEX_HTML_TITLE=Caf?\r\n"), std::string::npos);
    EXPECT_EQ(SettingsFileTextOf(setup()), SettingsFileText::kCp932);
}

}  // namespace

namespace {

// Negative interval parts that add up to no time never store; beside
// motion detection that gets its own line (the rest: HeadlessSafetyTest).
TEST_F(SettingsFiles, NegativeIntervalPartsAreNamedWhenTheyStoreNothing) {
    DiarySettings s;
    LoadSettings(s);
    EXPECT_TRUE(StartupRemarks(s).empty());
    s.INTERVAL_MINUTE = -1;
    s.INTERVAL_SECOND = 30;
    s.MOTION_DETECT = true;
    EXPECT_EQ(StartupRemarks(s), std::vector<std::string>{
                                     "quillomat: no picture will be stored at an interval, only on "
                                     "motion: INTERVAL_MINUTE is -1 (setup.ini, section DIARY)."});
    s.MOTION_DETECT = false;
    s.INTERVAL_MINUTE = 10;
    s.INTERVAL_SECOND = -1;  // 9 min 59 s
    EXPECT_TRUE(StartupRemarks(s).empty());
    // No interval and no motion, but pictures at set times; off the air
    // still stores nothing.
    s.INTERVAL_MINUTE = 0;
    s.INTERVAL_SECOND = 0;
    EXPECT_FALSE(StartupRemarks(s).empty());
    EXPECT_TRUE(StartupRemarks(s, true).empty());
    s.ONAIR = false;
    EXPECT_EQ(WhyNothingIsStored(s, true),
              "quillomat: no picture will be stored: ONAIR is off (setup.ini, section DIARY).");
}

}  // namespace
