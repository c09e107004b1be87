// The real program on the kinds of camera found in the wild: one that shows
// the present at every start, Motion-JPEG cameras, cameras that are unplugged
// and plugged in again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "app/headless_fixture.h"
#include "support/jpeg_decode.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ::testing::IsEmpty;

const std::vector<std::string> kNoTimeText = {"[TIMETEXT]", "SHOW_TEXT=off"};

class HeadlessCameraKindsTest : public HeadlessDiaryTest {
protected:
    // The bytes of every picture so far, by name.
    std::map<std::string, std::string> Pictures() const {
        std::map<std::string, std::string> pictures;
        for (const std::string& name : PictureNames(diary_))
            pictures[name] = ReadFileBytes(diary_ / name);
        return pictures;
    }
    // Names of pictures that are byte for byte the one before them.
    std::vector<std::string> RepeatedPictures() const {
        std::vector<std::string> repeated;
        const std::map<std::string, std::string> pictures = Pictures();
        const std::string* previous = nullptr;
        for (const auto& [name, bytes] : pictures) {
            if (previous != nullptr && *previous == bytes) repeated.push_back(name);
            previous = &bytes;
        }
        return repeated;
    }
};

// Interval pictures without motion detection restart the graph for every
// picture; without the time text, only the camera's picture tells them apart.
// A camera shows what is in front of it now, so no two may be the same.
TEST_F(HeadlessCameraKindsTest, ConsecutiveIntervalPicturesShowThePresent) {
    WriteSetup(1, false, kNoTimeText);
    WriteDevice("Cam", 320, 240);
    Start("Cam");
    ASSERT_TRUE(WaitForPictures(3)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_THAT(RepeatedPictures(), IsEmpty());
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
}

// A Motion-JPEG camera whose first frame after every start of the graph is
// damaged, which is the frame a store's wait finds first: the damaged frame
// is skipped, never stored and never taken for the fresh one, and every
// picture is a whole, new one.
TEST_F(HeadlessCameraKindsTest, MotionJpegCameraStoresDecodedPicturesAndSkipsDamagedFrames) {
    WriteSetup(1, false, kNoTimeText);
    WriteDevice("Jpeg", 640, 480);
    Start("Jpeg:mjpeg:corrupt=1");
    ASSERT_TRUE(WaitForPictures(3)) << Transcript();
    EXPECT_TRUE(process_.Running());
    StopAndExpectCleanExit();
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
    EXPECT_THAT(RepeatedPictures(), IsEmpty());
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    for (const std::string& name : PictureNames(diary_)) {
        const std::optional<DecodedJpeg> picture = DecodeJpegFile((diary_ / name).string());
        ASSERT_TRUE(picture) << name;
        EXPECT_EQ(picture->width, 640);
        EXPECT_EQ(picture->height, 480);
    }
}

// A camera whose picture fades in from black over 1.5 s after every start,
// as automatic exposure does: the graph starts for every interval picture,
// yet every picture is as bright as one from the same camera that starts
// settled, because a picture is taken only once its brightness has settled.
TEST_F(HeadlessCameraKindsTest, DarkStartIsWaitedOutBeforeEveryPicture) {
    WriteSetup(1, false, kNoTimeText);
    WriteDevice("Cam", 320, 240);
    Start("Cam:bars");
    ASSERT_TRUE(WaitForPictures(2)) << Transcript();
    StopAndExpectCleanExit();
    double settled = 0;
    for (const std::string& name : PictureNames(diary_)) settled = MeanBrightness(diary_ / name);
    ASSERT_GT(settled, 50) << "the bars";
    fs::remove_all(diary_);
    fs::create_directory(diary_);

    Start("Cam:bars:warmup=1500");
    ASSERT_TRUE(WaitForPictures(3)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
    for (const std::string& name : PictureNames(diary_)) {
        const double mean = MeanBrightness(diary_ / name);
        EXPECT_NEAR(mean, settled, settled * 0.05) << name;
    }
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// Motion detection beside interval pictures: every interval picture stops
// the camera, and the next motion check starts it again. A still scene that
// fades in after each start would be "motion" against the check before it;
// the check waits for the settled picture as a store does, so a start is
// never motion.
TEST_F(HeadlessCameraKindsTest, StartOfTheCameraIsNeverMotion) {
    std::vector<std::string> setup = {"MOTION_DETECT_INTERVAL=0"};
    setup.insert(setup.end(), kNoTimeText.begin(), kNoTimeText.end());
    WriteSetup(3, true, setup);
    WriteDevice("Cam", 320, 240);
    Start("Cam:still:counter:warmup=1500");
    ASSERT_TRUE(WaitForPictures(3)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(process_.CountLogLines(kMotionLine), 0) << Transcript();
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// A camera that hands out the last frame before the stop again after every
// start (five times, stamped at the start of the stream): none of them is
// ever stored, so no picture is one that was stored before.
TEST_F(HeadlessCameraKindsTest, FramesQueuedBeforeTheStopAreNeverStored) {
    WriteSetup(1, false, kNoTimeText);
    WriteDevice("Cam", 320, 240);
    Start("Cam:stale=5");
    ASSERT_TRUE(WaitForPictures(4)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
    std::set<std::string> seen;
    for (const auto& [name, bytes] : Pictures())
        EXPECT_TRUE(seen.insert(bytes).second) << name << " repeats an earlier picture";
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
}

// Counts of `text` in the program's log lines (its standard output).
int CountInLog(const DiaryProcess& process, const std::string& text) {
    const std::string output = process.Output();
    int n = 0;
    for (std::size_t p = output.find(text); p != std::string::npos; p = output.find(text, p + 1))
        ++n;
    return n;
}

class HeadlessUnplugTest : public HeadlessCameraKindsTest {
protected:
    fs::path Plug() const { return home_.path() / "unplugged"; }
    void Unplug() { WriteFileBytes(Plug(), ""); }
    void PlugIn() { fs::remove(Plug()); }
    std::string Unpluggable(const std::string& name) const {
        return name + ":unplugged=" + Plug().string();
    }
    // 60 frames a second and a third of the designed delays: a grab's poll
    // right after a recovery rebuild finds new frames, as at the designed
    // delays with a camera at 30.
    void WriteFastDevice(const std::string& select, int width, int height) {
        WriteIniFile(home_.path() / "device.ini",
                     {"[DEVICE]", "SELECT=" + select, "WIDTH=" + std::to_string(width),
                      "HEIGHT=" + std::to_string(height), "FRAMERATE=166667"});
    }
    void StartUnpluggable(const std::string& devices) {
        Start(devices, {"QUILLOMAT_TEST_DELAYS=3"});
    }
    bool WaitForLog(const std::string& text, int count = 1) {
        return WaitUntil([&] { return CountInLog(process_, text) >= count || !process_.Running(); },
                         kConditionLimit) &&
               CountInLog(process_, text) >= count;
    }
};

// The only camera is pulled out while it records and plugged in again: one
// log line says so, the program goes on through its recoveries (each store
// gives up as for a camera that never starts), and when the camera is back
// pictures resume by themselves. No picture is stored from a frame that was
// there before the camera went.
TEST_F(HeadlessUnplugTest, OnlyCameraUnpluggedAndPluggedInAgainResumesByItself) {
    const std::string gone = "camera \"Cam\" is gone (unplugged?)";
    const std::string back = "camera \"Cam\" is back";
    WriteSetup(1, false, kNoTimeText);
    WriteFastDevice("Cam", 320, 240);
    StartUnpluggable(Unpluggable("Cam"));
    ASSERT_TRUE(WaitForPictures(2)) << Transcript();

    Unplug();
    ASSERT_TRUE(WaitForLog(gone)) << Transcript();
    // Stores while it is gone fail and say so; the program keeps running.
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 2, kConditionLimit)) << Transcript();
    const std::size_t while_gone = PictureCount();
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 3, kConditionLimit)) << Transcript();
    EXPECT_EQ(PictureCount(), while_gone) << "a picture while the camera was gone";
    EXPECT_EQ(CountInLog(process_, gone), 1) << "said more than once\n" << Transcript();

    PlugIn();
    ASSERT_TRUE(WaitForLog(back)) << Transcript();
    ASSERT_TRUE(WaitForPictures(while_gone + 2)) << Transcript();
    EXPECT_TRUE(process_.Running());
    StopAndExpectCleanExit();
    EXPECT_EQ(CountInLog(process_, gone), 1);
    EXPECT_EQ(CountInLog(process_, back), 1);
    EXPECT_THAT(RepeatedPictures(), IsEmpty());
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
}

// The commands of [EVENTS] follow the camera: ON_CAMERA_LOST when it is
// pulled out, ON_STORE_FAILED for the stores while it is gone, and
// ON_CAMERA_FOUND when it is back, each with the event and the camera.
TEST_F(HeadlessUnplugTest, CameraLostAndFoundRunTheirCommands) {
    const fs::path record = home_.path() / "events";
    const std::string command =
        "ON_{}=sh -c 'echo \"$QUILLOMAT_EVENT $QUILLOMAT_CAMERA\" >> \"$1\"' sh '" +
        record.string() + "'";
    std::vector<std::string> setup = kNoTimeText;
    setup.push_back("[EVENTS]");
    for (const char* key : {"CAMERA_LOST", "CAMERA_FOUND", "STORE_FAILED"}) {
        std::string line = command;
        line.replace(line.find("{}"), 2, key);
        setup.push_back(line);
    }
    WriteSetup(1, false, setup);
    WriteFastDevice("Cam", 320, 240);
    StartUnpluggable(Unpluggable("Cam"));
    ASSERT_TRUE(WaitForPictures(1)) << Transcript();
    Unplug();
    const auto recorded = [&](const std::string& line) {
        return WaitUntil(
                   [&] {
                       return ReadFileBytes(record).find(line + "\n") != std::string::npos ||
                              !process_.Running();
                   },
                   kConditionLimit) &&
               ReadFileBytes(record).find(line + "\n") != std::string::npos;
    };
    ASSERT_TRUE(recorded("camera-lost Cam")) << Transcript();
    ASSERT_TRUE(recorded("store-failed Cam")) << Transcript();
    PlugIn();
    ASSERT_TRUE(recorded("camera-found Cam")) << Transcript();
    StopAndExpectCleanExit();
    const std::string events = ReadFileBytes(record);
    EXPECT_LT(events.find("camera-lost Cam"), events.find("camera-found Cam")) << events;
    EXPECT_EQ(events.find("camera-lost"), events.rfind("camera-lost")) << "lost once: " << events;
}

// With two cameras the first one takes over when the chosen one is pulled
// out, and stays the chosen one (it is saved) when the other comes back.
TEST_F(HeadlessUnplugTest, ChosenOfTwoCamerasUnpluggedFallsBackToTheFirstForGood) {
    WriteSetup(1, false, kNoTimeText);
    WriteFastDevice("Pro", 352, 288);
    StartUnpluggable("Cam," + Unpluggable("Pro"));
    ASSERT_TRUE(WaitForPictures(2)) << Transcript();
    Unplug();
    ASSERT_TRUE(WaitForLog("camera \"Pro\" is gone (unplugged?); using \"Cam\" instead"))
        << Transcript();
    const std::size_t before = PictureCount();
    ASSERT_TRUE(WaitForPictures(before + 2)) << Transcript();
    PlugIn();
    ASSERT_TRUE(WaitForPictures(before + 3)) << Transcript();
    StopAndExpectCleanExit();
    EXPECT_EQ(process_.CountLogLines(kPictureFailedLine), 0) << Transcript();
    EXPECT_EQ(CountInLog(process_, "is back"), 0);
    EXPECT_NE(ReadFileBytes(home_.path() / "device.ini").find("SELECT=Cam\r\n"), std::string::npos);
    EXPECT_THAT(RepeatedPictures(), IsEmpty());
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
}

// The network camera of mjpeg_server.py as a child process; ended (and
// reaped) by Stop or at the end of the test.
class MjpegServer {
public:
    MjpegServer(fs::path frames, fs::path port_file)
        : frames_(std::move(frames)), port_file_(std::move(port_file)) {
        fs::create_directories(frames_);
    }
    ~MjpegServer() { Stop(); }

    // Serves on `port` (0: a free one); false when it does not come up.
    bool Start(int port = 0) {
        fs::remove(port_file_);
        std::vector<std::string> args = {"python3", QUILLOMAT_MJPEG_SERVER, frames_.string(),
                                         port_file_.string(), std::to_string(port)};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, "python3", nullptr, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
            return false;
        }
        return WaitUntil([&] { return fs::exists(port_file_); }, kConditionLimit) &&
               (port_ = std::stoi(ReadFileBytes(port_file_))) > 0;
    }
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    int port() const { return port_; }

private:
    fs::path frames_;
    fs::path port_file_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// A network camera: a stored address opens the Motion-JPEG stream a server
// on this machine sends over HTTP. The server goes away: stores fail as for a
// camera that stopped, no picture is made of the last frame; it comes back
// on the same port: pictures resume by themselves.
TEST_F(HeadlessCameraKindsTest, NetworkCameraOverHttpIsRecordedAndResumesWhenTheServerIsBack) {
    MjpegServer server(home_.path() / "frames", home_.path() / "port");
    ASSERT_TRUE(server.Start());
    const std::string address = "http://127.0.0.1:" + std::to_string(server.port()) + "/video";
    WriteSetup(1, false, kNoTimeText);
    WriteIniFile(home_.path() / "device.ini",
                 {"[DEVICE]", "SELECT=" + address, "WIDTH=640", "HEIGHT=480", "FRAMERATE=333333"});
    Start("", {"QUILLOMAT_TEST_DELAYS=3"});
    ASSERT_TRUE(WaitForPictures(2)) << Transcript();

    server.Stop();
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 1, kConditionLimit)) << Transcript();
    const std::size_t while_gone = PictureCount();
    ASSERT_TRUE(process_.WaitForLogLine(kPictureFailedLine, 2, kConditionLimit)) << Transcript();
    EXPECT_EQ(PictureCount(), while_gone) << "a picture while the server was gone";

    ASSERT_TRUE(server.Start(server.port()));
    ASSERT_TRUE(WaitForPictures(while_gone + 2)) << Transcript();
    EXPECT_TRUE(process_.Running());
    StopAndExpectCleanExit();
    EXPECT_NE(ReadFileBytes(home_.path() / "device.ini").find("SELECT=" + address + "\r\n"),
              std::string::npos);
    EXPECT_THAT(DiaryIntegrityProblems(diary_), IsEmpty());
    EXPECT_EQ(ListedPictures(DayPage(), diary_), PictureNames(diary_));
    // The stream's own size, whatever was asked for.
    for (const std::string& name : PictureNames(diary_)) {
        const std::optional<DecodedJpeg> picture = DecodeJpegFile((diary_ / name).string());
        ASSERT_TRUE(picture) << name;
        EXPECT_EQ(picture->width, 320);
        EXPECT_EQ(picture->height, 240);
    }
}

}  // namespace
