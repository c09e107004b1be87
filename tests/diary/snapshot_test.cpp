#include "diary/snapshot.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "snapshot_fixture.h"
#include "support/jpeg_decode.h"

namespace {

using Entries = std::vector<std::string>;

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bytes[at + i]);
    return value;
}

std::uint16_t Le16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                      static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

// Answers like a user; keeps what it saw while it was open.
class ScriptedView final : public SnapshotView {
public:
    explicit ScriptedView(SnapshotFixture& fixture) : fixture_(fixture) {}
    std::string ChooseSnapshotPath(const std::string& bitmap_path,
                                   const std::string& stem) override {
        ++calls;
        seen_stem = stem;
        seen_bitmap_path = bitmap_path;
        bitmap = std::filesystem::is_regular_file(bitmap_path) ? ReadFileBytes(bitmap_path) : "";
        jpeg_there = std::filesystem::exists(fixture_.TemporaryJpeg());
        // The graph lock is free while the picture is shown: the worker can
        // take it from its own thread.
        lock_free = std::async(std::launch::async, [this] {
                        if (!fixture_.graph.lock.try_lock()) return false;
                        fixture_.graph.lock.unlock();
                        return true;
                    }).get();
        return answer;
    }

    std::string answer;
    int calls = 0;
    std::string seen_stem, seen_bitmap_path, bitmap;
    bool jpeg_there = false;
    bool lock_free = false;

private:
    SnapshotFixture& fixture_;
};

TEST(TakeSnapshot, WritesTheBitmapAndJpegNamedByTheCaptureTimeAndDiscardLeavesNothing) {
    SnapshotFixture f;
    ScriptedView view(f);
    EXPECT_EQ(f.Take(view), SnapshotResult::kDiscarded);
    ASSERT_EQ(view.calls, 1);
    // Read before the grab, which takes seconds of the fake clock.
    EXPECT_EQ(view.seen_stem, "20240315093005");
    EXPECT_EQ(view.seen_bitmap_path, f.Bitmap().string());
    EXPECT_TRUE(view.jpeg_there);
    EXPECT_TRUE(view.lock_free);

    const std::string& bmp = view.bitmap;
    ASSERT_EQ(bmp.size(), 54u + 230400u);
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(Le32(bmp, 2), 54u + 230400u);
    EXPECT_EQ(Le32(bmp, 6), 0u);
    EXPECT_EQ(Le32(bmp, 10), 54u);
    EXPECT_EQ(Le32(bmp, 14), 40u);
    EXPECT_EQ(Le32(bmp, 18), 320u);
    EXPECT_EQ(Le32(bmp, 22), 240u);  // positive: bottom row first
    EXPECT_EQ(Le16(bmp, 26), 1);
    EXPECT_EQ(Le16(bmp, 28), 24);
    EXPECT_EQ(Le32(bmp, 30), 0u);
    EXPECT_EQ(Le32(bmp, 34), 230400u);
    // The pixel bits are the fresh frame: the last copy's grey, not the
    // reference copy's.
    const auto last = static_cast<char>(40 + f.source.copies() % 100);
    EXPECT_EQ(bmp.find_first_not_of(last, 54), std::string::npos);
    EXPECT_GE(f.source.copies(), 2);

    EXPECT_EQ(f.HomeEntries(), Entries{});
}

TEST(TakeSnapshot, SavesOverAnExistingFileAndLeavesNoTemporaryFile) {
    SnapshotFixture f;
    TempDir pictures;
    const auto target = pictures.path() / "mine.jpg";
    WriteFileBytes(target, "old picture");
    ScriptedView view(f);
    view.answer = target.string();
    EXPECT_EQ(f.Take(view), SnapshotResult::kSaved);
    const auto jpeg = DecodeJpegFile(target.string());
    ASSERT_TRUE(jpeg.has_value());
    EXPECT_EQ(jpeg->width, 320);
    EXPECT_EQ(jpeg->height, 240);
    EXPECT_EQ(f.HomeEntries(), Entries{});
    EXPECT_TRUE(f.prompts.messages.empty());
}

TEST(TakeSnapshot, SavesToAnotherFileSystem) {
    SnapshotFixture f;
    struct stat home_stat {
    }, shm_stat{};
    if (::stat(f.home.path().c_str(), &home_stat) != 0 || ::stat("/dev/shm", &shm_stat) != 0 ||
        home_stat.st_dev == shm_stat.st_dev || ::access("/dev/shm", W_OK) != 0) {
        GTEST_SKIP() << "no second writable file system at /dev/shm";
    }
    const auto target = std::filesystem::path("/dev/shm") /
                        ("quillomat-snapshot-" + std::to_string(::getpid()) + ".jpg");
    ScriptedView view(f);
    view.answer = target.string();
    EXPECT_EQ(f.Take(view), SnapshotResult::kSaved);
    EXPECT_TRUE(DecodeJpegFile(target.string()).has_value());
    EXPECT_EQ(f.HomeEntries(), Entries{});
    std::error_code ec;
    std::filesystem::remove(target, ec);
    for (const auto& entry : std::filesystem::directory_iterator("/dev/shm")) {
        EXPECT_EQ(entry.path().filename().string().find("quillomat-snapshot-" +
                                                        std::to_string(::getpid())),
                  std::string::npos);
    }
}

TEST(TakeSnapshot, TimeTextInTheBitmapAndTheJpeg) {
    for (const bool show_text : {false, true}) {
        SCOPED_TRACE(show_text);
        SnapshotFixture f;
        f.settings.Update([&](DiarySettings& s) { s.SHOW_TEXT = show_text; });
        TempDir pictures;
        ScriptedView view(f);
        view.answer = (pictures.path() / "shot.jpg").string();
        ASSERT_EQ(f.Take(view), SnapshotResult::kSaved);
        // The text's corner, at TEXT_XPOS/TEXT_YPOS 5 from the picture's top.
        const std::string& bmp = view.bitmap;
        const std::size_t stride = 960;
        EXPECT_EQ(RegionVaries(
                      [&](int x, int y) {
                          const std::size_t row = 239 - static_cast<std::size_t>(y);
                          return static_cast<std::uint32_t>(
                              static_cast<std::uint8_t>(bmp[54 + row * stride + x * 3]));
                      },
                      0, 0, 200, 30),
                  show_text);
        const auto jpeg = DecodeJpegFile(view.answer);
        ASSERT_TRUE(jpeg.has_value());
        int far = 0;
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 200; ++x) {
                if (std::abs(jpeg->At(x, y)[0] - jpeg->At(0, 40)[0]) > 60) ++far;
            }
        }
        EXPECT_EQ(far > 20, show_text);
    }
}

TEST(TakeSnapshot, APictureTheChosenPathCannotTakeIsKeptInTheAppFolderAndTheMessageSaysWhere) {
    SnapshotFixture f;
    TempDir pictures;
    ScriptedView view(f);
    // A file of the user's at the first name is neither replaced nor removed.
    const std::string users = f.home.str() + "snapshot-20240315093005.jpg";
    WriteFileBytes(users, "the user's own");
    const std::string kept = f.home.str() + "snapshot-20240315093005-2.jpg";
    // A folder that is not there (as one the user may not write to).
    view.answer = (pictures.path() / "gone" / "shot.jpg").string();
    EXPECT_EQ(f.Take(view), SnapshotResult::kNotSaved);
    ASSERT_EQ(f.prompts.messages.size(), 1u);
    EXPECT_EQ(
        f.prompts.messages[0].rfind("スナップショットを保存できませんでした。\n" + view.answer, 0),
        0u);
    EXPECT_NE(f.prompts.messages[0].find("\n\n画像は次の場所に残してあります。\n" + kept),
              std::string::npos);
    Entries entries = f.HomeEntries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (Entries{"snapshot-20240315093005-2.jpg", "snapshot-20240315093005.jpg"}));
    EXPECT_EQ(ReadFileBytes(users), "the user's own");
    EXPECT_FALSE(std::filesystem::exists(pictures.path() / "gone"));
    const auto first = DecodeJpegFile(kept);
    ASSERT_TRUE(first);
    EXPECT_EQ(std::pair(first->width, first->height), std::pair(320, 240));

    // Over a folder of that name: not replaced; one more picture kept, and
    // the message names it.
    std::filesystem::create_directory(pictures.path() / "taken.jpg");
    view.answer = (pictures.path() / "taken.jpg").string();
    const std::string first_bytes = ReadFileBytes(kept);
    EXPECT_EQ(f.Take(view), SnapshotResult::kNotSaved);
    ASSERT_EQ(f.prompts.messages.size(), 2u);
    EXPECT_TRUE(std::filesystem::is_directory(pictures.path() / "taken.jpg"));
    entries = f.HomeEntries();
    ASSERT_EQ(entries.size(), 3u);
    for (const std::string& name : entries) {
        EXPECT_EQ(name.rfind("snapshot-2024031509300", 0), 0u) << name;
        if (f.home.str() + name != users && f.home.str() + name != kept) {
            EXPECT_NE(f.prompts.messages[1].find(f.home.str() + name), std::string::npos) << name;
        }
    }
    EXPECT_EQ(ReadFileBytes(kept), first_bytes);
}

TEST(TakeSnapshot, AJpegThatCouldNotBeWrittenIsReportedOnSaveAndTheBitmapStillGoes) {
    SnapshotFixture f;
    // The temporary JPEG's name is taken by a folder: it cannot be written.
    std::filesystem::create_directory(f.TemporaryJpeg());
    TempDir pictures;
    ScriptedView view(f);
    view.answer = (pictures.path() / "shot.jpg").string();
    EXPECT_EQ(f.Take(view), SnapshotResult::kNotSaved);
    EXPECT_EQ(view.bitmap.size(), 54u + 230400u);
    ASSERT_EQ(f.prompts.messages.size(), 1u);
    EXPECT_NE(f.prompts.messages[0].find("JPEG"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(pictures.path() / "shot.jpg"));
    // Only the folder that was there before is left.
    EXPECT_EQ(f.HomeEntries(), Entries{"20240315093005.jpg"});
    EXPECT_TRUE(std::filesystem::is_directory(f.TemporaryJpeg()));

    // Discarded: nothing to report, and still nothing else left.
    view.answer.clear();
    EXPECT_EQ(f.Take(view), SnapshotResult::kDiscarded);
    EXPECT_EQ(f.prompts.messages.size(), 1u);
    EXPECT_EQ(f.HomeEntries(), Entries{"20240315093005.jpg"});
}

TEST(TakeSnapshot, AMissingBitmapDoesNotKeepTheJpeg) {
    SnapshotFixture f;
    std::filesystem::create_directory(f.Bitmap());
    ScriptedView view(f);
    EXPECT_EQ(f.Take(view), SnapshotResult::kDiscarded);
    EXPECT_EQ(view.calls, 1);
    EXPECT_TRUE(view.bitmap.empty());
    EXPECT_TRUE(view.jpeg_there);
    EXPECT_FALSE(std::filesystem::exists(f.TemporaryJpeg()));
    EXPECT_TRUE(f.prompts.messages.empty());
}

TEST(TakeSnapshot, NothingWithoutAReadyGraphOrAFreshFrame) {
    SnapshotFixture f;
    ScriptedView view(f);
    f.graph.ready = false;
    EXPECT_EQ(f.Take(view), SnapshotResult::kNotReady);
    EXPECT_EQ(f.source.copies(), 0);

    // The camera repeats one frame through every recovery.
    f.graph.ready = true;
    f.source.SetFrameGenerator({});
    f.source.SetMode(FakeFrameSource::Mode::kStill);
    EXPECT_EQ(f.Take(view), SnapshotResult::kNoFrame);
    EXPECT_GE(f.source.rebuilds(), 1);
    EXPECT_EQ(f.source.releases(), f.source.rebuilds());
    EXPECT_EQ(f.prompts.messages.size(), 1u);

    // Stopped while grabbing: the program is closing, nothing is shown.
    f.source.SetMode(FakeFrameSource::Mode::kStill);
    f.stop.Request();
    EXPECT_EQ(f.Take(view), SnapshotResult::kNoFrame);
    EXPECT_EQ(f.prompts.messages.size(), 1u);

    EXPECT_EQ(view.calls, 0);
    EXPECT_EQ(f.HomeEntries(), Entries{});
}

TEST(TakeSnapshot, WaitsForAStoreThatHoldsTheGraphLock) {
    SnapshotFixture f;
    std::atomic<bool> released{false};
    std::atomic<int> copies_while_held{0};
    f.source.OnCopy([&](int) {
        if (!released.load()) copies_while_held.fetch_add(1);
    });
    std::promise<void> locked;
    std::thread store([&] {
        f.graph.lock.lock();
        locked.set_value();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        released.store(true);
        f.graph.lock.unlock();
    });
    locked.get_future().wait();
    ScriptedView view(f);
    EXPECT_EQ(f.Take(view), SnapshotResult::kDiscarded);
    store.join();
    EXPECT_EQ(copies_while_held.load(), 0);
    EXPECT_EQ(view.calls, 1);
}

TEST(MoveFileReplacing, ReplacesAndReportsWhyItCouldNot) {
    TempDir dir;
    WriteFileBytes(dir.path() / "a", "new");
    WriteFileBytes(dir.path() / "b", "old");
    std::string error;
    EXPECT_TRUE(MoveFileReplacing((dir.path() / "a").string(), (dir.path() / "b").string(), error));
    EXPECT_EQ(ReadFileBytes(dir.path() / "b"), "new");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "a"));

    EXPECT_FALSE(
        MoveFileReplacing((dir.path() / "a").string(), (dir.path() / "c").string(), error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFileBytes(dir.path() / "b"), "new");
}

}  // namespace
