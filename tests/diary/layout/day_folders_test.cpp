// The one lister of the diary's folders, and every job that looks into a
// save folder seeing the same days and entries through it.
#include "diary/layout/day_folders.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "diary/layout/diary_layout.h"
#include "diary/page_writers.h"
#include "events/diary_events.h"
#include "platform/stop_signal.h"
#include "publish/publish_names.h"
#include "retention/diary_retention.h"
#include "retention/retention_settings.h"
#include "settings/shared_settings.h"
#include "support/fake_clock.h"
#include "support/local_time.h"
#include "support/recording_notice_sink.h"
#include "support/temp_dir.h"
#include "support/test_video.h"
#include "timelapse/day_timelapse.h"
#include "timelapse/timelapse_settings.h"
#include "web/index_page.h"
#include "web/page_cache.h"
#include "web/web_pages.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

class RecordingPublisher final : public EventPublisher {
public:
    void Publish(DiaryEvent event) override { events.push_back(std::move(event)); }
    std::vector<DiaryEvent> events;
};

// The thumbnails a page links, in page order.
std::vector<std::string> Links(const std::string& page, const std::string& prefix) {
    std::vector<std::string> links;
    const std::string open = "<img src=\"" + prefix;
    for (std::size_t at = page.find(open); at != std::string::npos; at = page.find(open, at + 1)) {
        const std::size_t start = at + open.size();
        links.push_back(page.substr(start, page.find('"', start) - start));
    }
    return links;
}

// A day folder swapped for a link after it was listed is not entered.
TEST(DayFolders, DeletionNeverGoesThroughALinkPutAtADaysName) {
    TempDir save;
    TempDir outside;
    WriteFileBytes(outside.path() / "20240301120000.jpg", "not the diary's");
    fs::create_directory(save.path() / "20240301");
    const OpenFolder folder = OpenFolder::Open(save.str());
    ASSERT_THAT(ListDayFolders(folder), ElementsAre("20240301"));
    fs::remove(save.path() / "20240301");
    fs::create_directory_symlink(outside.path(), save.path() / "20240301");

    StopSignal stop;
    const DayDeletion deletion = DeleteDayFiles(folder, "20240301", "preview.html", stop);
    EXPECT_FALSE(deletion.found);
    EXPECT_THAT(deletion.removed, IsEmpty());
    EXPECT_EQ(ReadFileBytes(outside.path() / "20240301120000.jpg"), "not the diary's");
    EXPECT_TRUE(fs::is_symlink(save.path() / "20240301"));
    EXPECT_THAT(ListDayFolders(folder), IsEmpty());
}

// A save folder with a link out of it named like a day, a link named like a
// picture, a foreign file and folder, and a day in the future; the save
// folder given relative to the settings folder. The timelapse, the pages,
// publishing and retention run over it in turn, each seeing the same days.
TEST(DayFolders, EveryJobSeesTheSameDaysAndEntries) {
    TempDir home;
    TempDir outside;
    const fs::path save = home.path() / "diary";
    const fs::path day = save / "20240301";
    fs::create_directories(day / "album.jpg");
    WriteFileBytes(day / "20240301120000.jpg", TestJpegBytes(64, 48, 60, 0));
    WriteFileBytes(day / "20240301130000_001.jpg", TestJpegBytes(64, 48, 70, 1));
    WriteFileBytes(day / "holiday.jpg", TestJpegBytes(64, 48, 80, 2));
    WriteFileBytes(day / "notes.txt", "the user's");
    WriteFileBytes(outside.path() / "secret.jpg", TestJpegBytes(64, 48, 90, 3));
    fs::create_symlink(outside.path() / "secret.jpg", day / "20240301140000.jpg");
    fs::create_directories(outside.path() / "20240302");
    WriteFileBytes(outside.path() / "20240302" / "20240302120000.jpg",
                   TestJpegBytes(64, 48, 90, 3));
    fs::create_directory_symlink(outside.path() / "20240302", save / "20240302");
    WriteFileBytes(save / "20240303", "a plain file named like a day");
    fs::create_directories(save / "20991231");
    WriteFileBytes(save / "20991231" / "20991231120000.jpg", TestJpegBytes(64, 48, 60, 0));
    fs::create_directories(save / "misc");
    WriteFileBytes(save / "misc" / "misc.jpg", TestJpegBytes(64, 48, 60, 0));
    WriteFileBytes(save / "index.html", "old");
    WriteFileBytes(save / "readme.txt", "the user's");

    SharedSettings settings;
    settings.Update([&](DiarySettings& s) {
        s.settings_folder = home.str();
        s.SAVE_DIRECTORY = "diary";
        s.INDEX_HTML = "index.html";
        s.Section<TimelapseSettings>().MAKE = true;
        s.Section<RetentionSettings>().KEEP_DAYS = 1;
    });
    const DiaryLayout layout = DiaryLayout::Of(settings.Copy());
    ASSERT_EQ(layout.save_folder, save.string() + "/");
    EXPECT_THAT(ListDayFolders(OpenFolder::Open(layout.save_folder)),
                ElementsAre("20240301", "20991231"));
    FakeClock clock;
    clock.SetWallClock(LocalTime(2024, 3, 10, 12));
    RecordingNoticeSink notices;
    WebPages pages{notices};
    StopSignal stop;

    // The timelapse: only the past real day, of the program's own pictures.
    RecordingPublisher timelapse_events;
    std::vector<std::string> lines;
    DiaryEvents events;
    DayTimelapse timelapse{
        {.settings = settings,
         .events = events,
         .publish = timelapse_events,
         .clock = clock,
         .post_line = [&](const LogText& line) { lines.push_back(line.designed); },
         .rewrite_past_day_page =
             [&](const std::string& save_folder, const std::string& day_name,
                 const DiarySettings& settings) {
                 return pages.RewritePastDayPage(save_folder, day_name, settings);
             }}};
    timelapse.Begin(stop);
    for (int wakes = 0; wakes < 10 && timelapse.NextWake(); ++wakes) timelapse.Wake(stop);
    ASSERT_EQ(timelapse_events.events.size(), 1u);
    EXPECT_EQ(std::get<DayVideoMade>(timelapse_events.events[0]).day_name, "20240301");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("タイムラプス動画を作成 20240301 (2コマ")) << lines[0];
    EXPECT_FALSE(fs::exists(save / "20991231" / "20991231.webm"));
    EXPECT_FALSE(fs::exists(outside.path() / "20240302" / "20240302.webm"));

    // The day page it rewrote: every ".jpg" file of the day, the user's too,
    // but no link and no folder.
    const std::string day_page = ReadFileBytes(day / "preview.html");
    EXPECT_THAT(Links(day_page, "./"),
                ElementsAre("holiday.jpg", "20240301130000_001.jpg", "20240301120000.jpg"));

    // The index page of a store on that day: the calendar has the real
    // folders named like days, the newest pictures come from every real
    // folder.
    PageCache cache;
    StoredPicture picture;
    picture.save_directory = layout.save_folder;
    picture.day_name = "20240301";
    picture.day_directory = layout.DayFolder("20240301");
    picture.file_name = "20240301130000_001.jpg";
    picture.width = 64;
    picture.height = 48;
    picture.calendar_rebuild = true;
    DiarySettings page_settings = settings.Copy();
    page_settings.INDEX_HTML = layout.index_page;
    ASSERT_FALSE(WriteIndexPage(cache, picture, page_settings, notices).empty());
    EXPECT_THAT(cache.saveSubdirectories, UnorderedElementsAre("20240301", "20991231", "misc"));
    const std::string index_page = ReadFileBytes(save / "index.html");
    EXPECT_NE(index_page.find("<a href=\"./20240301/preview.html\">"), std::string::npos);
    EXPECT_NE(index_page.find("<a href=\"./20991231/\">"), std::string::npos);
    EXPECT_EQ(index_page.find("20240302"), std::string::npos);
    EXPECT_EQ(index_page.find("20240303"), std::string::npos);
    EXPECT_THAT(Links(index_page, "./"),
                ElementsAre("misc/misc.jpg", "20991231/20991231120000.jpg", "20240301/holiday.jpg",
                            "20240301/20240301130000_001.jpg", "20240301/20240301120000.jpg"));
    EXPECT_TRUE(notices.codes().empty());

    // Publishing: the same days, and of them only the program's own files.
    EXPECT_THAT(ListPublishedDays(layout), ElementsAre("20991231", "20240301"));
    const auto names = [&](const std::string& folder) {
        std::vector<std::string> found;
        for (const PublishedFile& file : ListPublishedFiles(layout, folder))
            found.push_back(file.name);
        return found;
    };
    EXPECT_THAT(names(""), ElementsAre("index.html"));
    EXPECT_THAT(names("20240301"), ElementsAre("20240301.webm", "20240301120000.jpg",
                                               "20240301130000_001.jpg", "preview.html"));
    EXPECT_THAT(names("20240302"), IsEmpty());

    // Retention: the past day loses only the program's files and keeps its
    // folder for the user's; the future day and what lies outside stay.
    // Today holds a picture, so the past day is not the newest day kept.
    fs::create_directories(save / "20240310");
    WriteFileBytes(save / "20240310" / "20240310120000.jpg", TestJpegBytes(64, 48, 60, 0));
    RecordingPublisher retention_events;
    DiaryRetention retention{{.settings = settings,
                              .events = events,
                              .publish = retention_events,
                              .clock = clock,
                              .post_line = [](const LogText&) {}}};
    retention.Begin(stop);
    ASSERT_EQ(retention_events.events.size(), 1u);
    const auto& deleted = std::get<DayDeleted>(retention_events.events[0]);
    EXPECT_EQ(deleted.save_directory, layout.save_folder);
    EXPECT_EQ(deleted.day_name, "20240301");
    std::vector<std::string> files = deleted.files;
    std::sort(files.begin(), files.end());
    EXPECT_THAT(files, ElementsAre("20240301/20240301.webm", "20240301/20240301120000.jpg",
                                   "20240301/20240301130000_001.jpg", "20240301/preview.html"));
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(day)) left.push_back(entry.path().filename());
    EXPECT_THAT(
        left, UnorderedElementsAre("album.jpg", "holiday.jpg", "notes.txt", "20240301140000.jpg"));
    EXPECT_TRUE(fs::exists(save / "20991231" / "20991231120000.jpg"));
    EXPECT_TRUE(fs::exists(outside.path() / "secret.jpg"));
    EXPECT_TRUE(fs::exists(outside.path() / "20240302" / "20240302120000.jpg"));
    // Nothing was made in the folder the test runs in.
    EXPECT_FALSE(fs::exists("diary"));
}

}  // namespace
