#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/diary_process.h"
#include "support/temp_dir.h"

// Log texts of the program.
inline constexpr const char* kStartedLine = "Quillomatを開始しました。";
inline constexpr const char* kMotionLine = "動作を検知しました";
inline constexpr const char* kDayFolderFailedLine = "日別ディレクトリの作成に失敗";
inline constexpr const char* kPictureFailedLine = "画像の保存に失敗";
inline constexpr const char* kPageFailedLine = "ファイルのオープンに失敗";
inline constexpr const char* kNoDeviceMessage = "映像入力デバイスが見つかりませんでした";

// Waits end as soon as their condition holds; the limits are for slow
// sanitizer builds on a shared machine, not expected durations.
inline constexpr std::chrono::milliseconds kConditionLimit{45000};
// How long a stopped process may take before the test kills it; the designed
// bound (2 s) is asserted separately.
inline constexpr std::chrono::milliseconds kStopLimit{15000};
inline constexpr double kStopSeconds = 2.0;
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

// A home folder (QUILLOMAT_HOME) with a diary folder inside it, and the
// running program.
class HeadlessDiaryTest : public ::testing::Test {
protected:
    HeadlessDiaryTest() { std::filesystem::create_directory(diary_); }

    std::string DiaryFolder() const { return diary_.string() + "/"; }

    // setup.ini with the diary folder, the interval in seconds and motion
    // detection; `extra` lines are appended to the [DIARY] section.
    void WriteSetup(int interval_seconds, bool motion, const std::vector<std::string>& extra = {}) {
        std::vector<std::string> lines = {"[DIARY]",
                                          "SAVE_DIRECTORY=" + DiaryFolder(),
                                          "INTERVAL_HOUR=0",
                                          "INTERVAL_MINUTE=0",
                                          "INTERVAL_SECOND=" + std::to_string(interval_seconds),
                                          std::string("MOTION_DETECT=") + (motion ? "on" : "off")};
        lines.insert(lines.end(), extra.begin(), extra.end());
        WriteIniFile(home_.path() / "setup.ini", lines);
    }
    void WriteDevice(const std::string& select, int width, int height) {
        WriteIniFile(home_.path() / "device.ini",
                     {"[DEVICE]", "SELECT=" + select, "WIDTH=" + std::to_string(width),
                      "HEIGHT=" + std::to_string(height), "FRAMERATE=333333"});
    }

    void Start(const std::string& devices, std::vector<std::string> environment = {}) {
        ASSERT_TRUE(process_.Start({home_.path(), devices, std::move(environment)}));
    }

    std::filesystem::path DayFolder() const { return diary_ / TodayFolderName(); }
    std::filesystem::path DayPage() const { return DayFolder() / "preview.html"; }
    std::filesystem::path IndexPage() const { return diary_ / "preview.html"; }

    std::size_t PictureCount() const { return PictureNames(diary_).size(); }
    bool WaitForPictures(std::size_t count) {
        return WaitUntil([&] { return PictureCount() >= count || !process_.Running(); },
                         kConditionLimit) &&
               PictureCount() >= count;
    }
    // Until the day page lists at least `count` pictures.
    bool WaitForListed(std::size_t count) {
        return WaitUntil(
                   [&] {
                       return ListedPictures(DayPage(), diary_).size() >= count ||
                              !process_.Running();
                   },
                   kConditionLimit) &&
               ListedPictures(DayPage(), diary_).size() >= count;
    }

    // Ends the program with `signal` and checks the designed end: exit code 0
    // within 2 s (or `max_seconds`).
    void StopAndExpectCleanExit(int signal = SIGTERM, double max_seconds = kStopSeconds) {
        const ProcessEnd end = process_.StopWith(
            signal,
            std::max(kStopLimit, std::chrono::milliseconds(static_cast<int>(max_seconds * 2000))));
        EXPECT_TRUE(end.CleanExit()) << end.Describe() << "\n" << Transcript();
        if (end.CleanExit()) {
            EXPECT_LT(end.seconds, max_seconds) << "from the signal to the end";
            std::printf("[   INFO   ] ended %.3f s after the signal\n", end.seconds);
        }
    }

    std::string Transcript() const {
        return "--- stdout ---\n" + process_.Output() + "--- stderr ---\n" + process_.Errors();
    }

    TempDir home_;
    std::filesystem::path diary_ = home_.path() / "diary";
    DiaryProcess process_;
};
