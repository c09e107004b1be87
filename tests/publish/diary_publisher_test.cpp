#include "publish/diary_publisher.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "platform/child_process.h"
#include "platform/clock.h"
#include "publish/publish_settings.h"
#include "settings/shared_settings.h"
#include "support/loopback.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kDay = "20240301";

// Every regular file under `root`, by its relative path, with its bytes.
std::map<std::string, std::string> Tree(const fs::path& root) {
    std::map<std::string, std::string> tree;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file() && !it->is_symlink())
            tree[it->path().lexically_relative(root).string()] = ReadFileBytes(it->path());
    }
    return tree;
}

void SetMtime(const fs::path& path, std::chrono::seconds ago) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - ago);
}

std::string Obscured(const std::string& password) {
    std::string out;
    FILE* pipe = ::popen(("rclone obscure " + password).c_str(), "r");
    if (!pipe) return out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// A save folder, a remote folder (rclone's local backend, which moves files,
// so every upload goes through a partial name), and a publisher driven call
// by call on the test's thread with a clock of the test's.
class PublisherTest : public ::testing::Test {
protected:
    PublisherTest() {
        fs::create_directories(save_);
        fs::create_directories(remote_);
        WriteFileBytes(config_, "");
        settings_.Update([&](DiarySettings& s) {
            s.SAVE_DIRECTORY = save_.string() + "/";
            s.Section<PublishSettings>().REMOTE = remote_.string();
            s.Section<PublishSettings>().RCLONE_CONFIG = config_.string();
        });
    }

    std::unique_ptr<DiaryPublisher> Make(std::string rclone = "rclone") {
        return std::make_unique<DiaryPublisher>(
            DiaryJobContext{
                .settings = settings_,
                .events = events_,
                .publish = events_,
                .clock = SystemClockInstance(),
                .post_line = [this](const LogText& line) { lines_.push_back(line.designed); }},
            DiaryPublisherOptions{std::move(rclone), [this] { return now_; }});
    }

    // The wakes it asks for at once, until it would sleep.
    void Settle(DiaryPublisher& publisher) {
        for (int i = 0; i < 1000; ++i) {
            const auto wake = publisher.NextWake();
            if (!wake || *wake > 0ms) return;
            publisher.Wake(stop_);
        }
        ADD_FAILURE() << "the publisher never sleeps";
    }

    fs::path Local(const std::string& relative) const { return save_ / relative; }

    // A picture (of `picture_bytes`) and the two pages as the store leaves
    // them: the day page lists the day's pictures newest first, the index
    // page the newest two; `page_padding` makes the day page heavier.
    PictureStored Store(const std::vector<std::string>& pictures_of_the_day,
                        std::size_t picture_bytes = 4096, std::size_t page_padding = 0) {
        const std::string& newest = pictures_of_the_day.back();
        fs::create_directories(save_ / kDay);
        WriteFileBytes(Local(std::string(kDay) + "/" + newest), Picture(newest, picture_bytes));
        std::string day_page = "<html><!--" + std::string(page_padding, '-') + "-->";
        std::string index_page = "<html>";
        int n = 0;
        for (auto it = pictures_of_the_day.rbegin(); it != pictures_of_the_day.rend(); ++it) {
            day_page += "<a href=\"./" + *it + "\"><img src=\"./" + *it + "\"></a>\n";
            if (n++ < 2) index_page += "<img src=\"./" + std::string(kDay) + "/" + *it + "\">\n";
        }
        WriteFileBytes(Local(std::string(kDay) + "/preview.html"), day_page + "</html>");
        WriteFileBytes(Local("preview.html"), index_page + "</html>");
        PictureStored stored;
        stored.save_directory = save_.string() + "/";
        stored.day_name = kDay;
        stored.file_name = newest;
        stored.path = stored.save_directory + kDay + "/" + newest;
        stored.pages = {stored.save_directory + kDay + "/preview.html",
                        stored.save_directory + "preview.html"};
        return stored;
    }

    static std::string Picture(const std::string& name, std::size_t bytes = 4096) {
        std::string picture = "jpeg " + name;
        picture.resize(std::max(bytes, picture.size()), '.');
        return picture;
    }

    std::string Remote(const std::string& relative) const {
        return fs::exists(remote_ / relative) ? ReadFileBytes(remote_ / relative) : "(none)";
    }

    TempDir home_;
    fs::path save_ = home_.path() / "diary";
    fs::path remote_ = home_.path() / "remote";
    fs::path config_ = home_.path() / "rclone.conf";
    SharedSettings settings_;
    DiaryEvents events_;
    std::vector<std::string> lines_;
    std::chrono::steady_clock::time_point now_{};
    StopSignal stop_;
};

TEST_F(PublisherTest, CatchUpSendsOnlyTheDiarysOwnFilesAndLeavesEverythingElseOnTheRemote) {
    const std::string day = kDay;
    const fs::path outside = home_.path() / "outside";
    fs::create_directories(outside);
    WriteFileBytes(outside / "20240302120000.jpg", "not in the save folder");
    fs::create_directories(save_ / day);
    fs::create_directories(save_ / "misc");
    const std::map<std::string, std::string> ours = {
        {day + "/20240301120000.jpg", "picture zero"},
        {day + "/20240301120001.jpg", "picture one, newer than the remote's"},
        {day + "/20240301120002.jpg", "same size, remote's is newer"},
        {day + "/20240301120003_001.jpg", "a repeat of a second"},
        {day + "/20240301.webm", "video"},
        {day + "/preview.html", "<a href=\"./20240301120000.jpg\">"},
        {day + "/style.css", "body{}"},
        {"preview.html", "<img src=\"./20240301/20240301120000.jpg\">"},
        {"style.css", "p{}"},
    };
    for (const auto& [path, bytes] : ours) WriteFileBytes(save_ / path, bytes);
    // Not ours, or not to be sent: temporary files, user files, the settings
    // of a save folder that is the home folder, links out of the folder.
    for (const std::string& other : std::vector<std::string>{
             day + "/20240301120004.jpg.tmp", day + "/20240301120005.jpg.Ab3dE9.tmp",
             day + "/.preview.html.swp", day + "/notes.txt", day + "/20240229120000.jpg",
             "misc/20240301120006.jpg", "setup.ini", "log.txt", "index.html.tmp"}) {
        WriteFileBytes(save_ / other, "not ours");
    }
    fs::create_symlink(outside / "20240302120000.jpg", save_ / day / "20240301120007.jpg");
    fs::create_directory_symlink(outside, save_ / "20240302");

    // The remote: a user's files, an older and a newer copy, a partial
    // upload of ours that a kill left, and one that only looks like it.
    fs::create_directories(remote_ / day);
    WriteFileBytes(remote_ / "user.txt", "the user's");
    WriteFileBytes(remote_ / day / "user.jpg", "the user's");
    WriteFileBytes(remote_ / day / "20240301120001.jpg", "old");
    const std::string newer = "same size, REMOTE's is newer";
    WriteFileBytes(remote_ / day / "20240301120002.jpg", newer);
    SetMtime(save_ / day / "20240301120002.jpg", 3600s);
    WriteFileBytes(remote_ / day / "20240301120000.jpg.Q1w2E3.partial", "cut off");
    WriteFileBytes(remote_ / day / "notes.txt.Q1w2E3.partial", "the user's");

    auto publisher = Make();
    publisher->Begin(stop_);
    Settle(*publisher);

    std::map<std::string, std::string> expected = ours;
    expected[day + "/20240301120002.jpg"] = newer;
    expected["user.txt"] = "the user's";
    expected[day + "/user.jpg"] = "the user's";
    expected[day + "/notes.txt.Q1w2E3.partial"] = "the user's";
    EXPECT_EQ(Tree(remote_), expected);
    EXPECT_TRUE(lines_.empty()) << lines_.front();
    EXPECT_EQ(publisher->NextWake(), std::optional(10000ms))
        << "idle: only the settings are looked at";
    publisher->End(stop_);
}

TEST_F(PublisherTest, PicturesGoAtOncePagesAtTheIntervalAndAtTheStopNeverBeforeTheirPictures) {
    settings_.Update(
        [](DiarySettings& s) { s.Section<PublishSettings>().PAGE_INTERVAL_SECOND = 300; });
    auto publisher = Make();
    publisher->Begin(stop_);
    Settle(*publisher);
    const std::string day = kDay;

    // The first picture and, since no page went yet, its pages at once.
    publisher->Handle(Store({"20240301120000.jpg"}), stop_);
    EXPECT_EQ(Remote(day + "/20240301120000.jpg"), Picture("20240301120000.jpg"));
    Settle(*publisher);
    const std::string first_day_page = ReadFileBytes(Local(day + "/preview.html"));
    EXPECT_EQ(Remote(day + "/preview.html"), first_day_page);

    // The next picture goes at once; its pages wait for the interval.
    publisher->Handle(Store({"20240301120000.jpg", "20240301120010.jpg"}), stop_);
    Settle(*publisher);
    EXPECT_EQ(Remote(day + "/20240301120010.jpg"), Picture("20240301120010.jpg"));
    EXPECT_EQ(Remote(day + "/preview.html"), first_day_page);
    const auto wake = publisher->NextWake();
    ASSERT_TRUE(wake);
    EXPECT_LE(*wake, 10000ms);

    // A picture whose event has not come yet, linked by the newest pages:
    // when they go at the interval, it goes first; its event later sends it
    // no second time (a replacement would take it away for a moment).
    const PictureStored late =
        Store({"20240301120000.jpg", "20240301120010.jpg", "20240301120020.jpg"});
    now_ += 299s;
    Settle(*publisher);
    EXPECT_EQ(Remote(day + "/preview.html"), first_day_page);
    EXPECT_EQ(Remote(day + "/20240301120020.jpg"), "(none)");
    now_ += 1s;
    Settle(*publisher);
    EXPECT_EQ(Remote(day + "/20240301120020.jpg"), Picture("20240301120020.jpg"));
    EXPECT_EQ(Remote(day + "/preview.html"), ReadFileBytes(Local(day + "/preview.html")));
    EXPECT_EQ(Remote("preview.html"), ReadFileBytes(Local("preview.html")));
    struct stat before {};
    ASSERT_EQ(::stat((remote_ / day / "20240301120020.jpg").c_str(), &before), 0);
    publisher->Handle(late, stop_);
    Settle(*publisher);
    struct stat after {};
    ASSERT_EQ(::stat((remote_ / day / "20240301120020.jpg").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "sent again";
    // Stored again in the same second, under the same name: it goes.
    WriteFileBytes(Local(day + "/20240301120020.jpg"), Picture("another frame", 5000));
    publisher->Handle(late, stop_);
    EXPECT_EQ(Remote(day + "/20240301120020.jpg"), Picture("another frame", 5000));

    // The stop sends the newest pages at once, also for a picture whose event
    // the stop dropped, and its picture before them.
    publisher->Handle(Store({"20240301120000.jpg", "20240301120010.jpg", "20240301120020.jpg",
                             "20240301120030.jpg"}),
                      stop_);
    Store({"20240301120000.jpg", "20240301120010.jpg", "20240301120020.jpg", "20240301120030.jpg",
           "20240301120040.jpg"});
    stop_.Request();
    publisher->End(stop_);
    EXPECT_EQ(Tree(remote_), Tree(save_));
    EXPECT_TRUE(lines_.empty()) << lines_.front();
}

// The day page grows all day; sent every round it would outweigh the
// pictures. It goes again once pictures of twice its size went, or after an
// hour; a small page (the index) goes every round.
TEST_F(PublisherTest, AHeavyPageWaitsForPicturesWorthTwiceItsSizeOrAnHour) {
    settings_.Update(
        [](DiarySettings& s) { s.Section<PublishSettings>().PAGE_INTERVAL_SECOND = 300; });
    auto publisher = Make();
    publisher->Begin(stop_);
    Settle(*publisher);
    const std::string day_page = std::string(kDay) + "/preview.html";
    publisher->Handle(Store({"20240301120000.jpg"}, 4096, 10000), stop_);
    Settle(*publisher);
    ASSERT_EQ(Remote(day_page), ReadFileBytes(Local(day_page))) << "a first version goes at once";

    publisher->Handle(Store({"20240301120000.jpg", "20240301120010.jpg"}, 4096, 10000), stop_);
    now_ += 300s;
    Settle(*publisher);
    EXPECT_NE(Remote(day_page), ReadFileBytes(Local(day_page))) << "4 KB of pictures since";
    EXPECT_EQ(Remote("preview.html"), ReadFileBytes(Local("preview.html")));

    // 24 KB of pictures since it went: more than twice its 10 KB.
    publisher->Handle(
        Store({"20240301120000.jpg", "20240301120010.jpg", "20240301120020.jpg"}, 20000, 10000),
        stop_);
    now_ += 300s;
    Settle(*publisher);
    EXPECT_EQ(Remote(day_page), ReadFileBytes(Local(day_page)));

    publisher->Handle(Store({"20240301120000.jpg", "20240301120010.jpg", "20240301120020.jpg",
                             "20240301120030.jpg"},
                            4096, 10000),
                      stop_);
    now_ += 3599s;
    Settle(*publisher);
    EXPECT_NE(Remote(day_page), ReadFileBytes(Local(day_page)));
    now_ += 300s;
    Settle(*publisher);
    EXPECT_EQ(Remote(day_page), ReadFileBytes(Local(day_page))) << "an hour is the longest wait";
    publisher->End(stop_);
}

TEST_F(PublisherTest, DeletionsOfRetentionRemoveExactlyThoseFilesAndNeverAUsersFile) {
    const std::string day = kDay;
    const std::vector<std::string> pictures = {"20240301120000.jpg", "20240301120010.jpg"};
    Store(pictures);
    fs::create_directories(save_ / "20240302");
    WriteFileBytes(Local("20240302/20240302120000.jpg"), "next day");
    auto publisher = Make();
    publisher->Begin(stop_);
    Settle(*publisher);
    ASSERT_EQ(Tree(remote_), Tree(save_));
    // On the remote only: a user's file and a picture the remote kept.
    WriteFileBytes(remote_ / day / "user.txt", "the user's");
    WriteFileBytes(remote_ / day / "20240301235959.jpg", "kept by the remote");
    WriteFileBytes(remote_ / "20240302" / "20240302235959.jpg", "kept by the remote");

    // Retention empties the first day and names what it removed; a name
    // outside the folder and a user's name among them are not sent deletions.
    DayDeleted deleted{save_.string() + "/",
                       day,
                       {day + "/20240301120000.jpg", day + "/20240301120010.jpg",
                        day + "/preview.html", "../outside.txt", day + "/user.txt"}};
    fs::remove_all(save_ / day);
    publisher->Handle(deleted, stop_);
    Settle(*publisher);
    EXPECT_FALSE(fs::exists(remote_ / day / "20240301120000.jpg"));
    EXPECT_FALSE(fs::exists(remote_ / day / "preview.html"));
    EXPECT_EQ(Remote(day + "/user.txt"), "the user's");
    EXPECT_EQ(Remote(day + "/20240301235959.jpg"), "kept by the remote");
    EXPECT_EQ(Remote("preview.html"), ReadFileBytes(Local("preview.html")));

    // A day folder that holds nothing else afterwards goes as well.
    fs::remove(remote_ / "20240302" / "20240302235959.jpg");
    fs::remove_all(save_ / "20240302");
    publisher->Handle(DayDeleted{save_.string() + "/", "20240302", {"20240302/20240302120000.jpg"}},
                      stop_);
    Settle(*publisher);
    EXPECT_FALSE(fs::exists(remote_ / "20240302"));
    EXPECT_TRUE(lines_.empty()) << lines_.front();
    publisher->End(stop_);
}

TEST_F(PublisherTest, MissingRcloneIsSaidOnceWithHowToInstallItAndUnsetRemoteSaysNothing) {
    {
        auto publisher = Make(home_.str() + "no-such-rclone");
        publisher->Begin(stop_);
        Settle(*publisher);
        publisher->Handle(Store({"20240301120000.jpg"}), stop_);
        publisher->Wake(stop_);
        publisher->End(stop_);
        EXPECT_EQ(lines_, std::vector<std::string>{kRcloneMissingLine});
        EXPECT_NE(lines_.front().find("sudo apt-get install rclone"), std::string::npos);
    }
    lines_.clear();
    settings_.Update([](DiarySettings& s) { s.Section<PublishSettings>().REMOTE.clear(); });
    auto publisher = Make(home_.str() + "no-such-rclone");
    publisher->Begin(stop_);
    publisher->Handle(Store({"20240301120000.jpg", "20240301120010.jpg"}), stop_);
    Settle(*publisher);
    publisher->End(stop_);
    EXPECT_TRUE(lines_.empty()) << lines_.front();
    EXPECT_TRUE(Tree(remote_).empty());
}

// A WebDAV server of rclone's on a port the test picks, with a password.
class WebDavServer {
public:
    WebDavServer(fs::path root, int port, fs::path config)
        : root_(std::move(root)), port_(port), config_(std::move(config)) {}
    bool Start(bool read_only = false) {
        std::string error;
        std::vector<std::string> argv = {FindOnPath("rclone"),
                                         "serve",
                                         "webdav",
                                         root_.string(),
                                         "--addr=127.0.0.1:" + std::to_string(port_),
                                         "--user=u",
                                         "--pass=secretpw",
                                         "--config=" + config_.string()};
        if (read_only) argv.push_back("--read-only");
        if (!server_.Start(argv, {"PATH=/usr/bin:/bin"}, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        for (int i = 0; i < 600 && !Listening(port_); ++i) std::this_thread::sleep_for(50ms);
        return Listening(port_);
    }

private:
    fs::path root_;
    int port_;
    fs::path config_;
    ChildProcess server_;
};

TEST_F(PublisherTest, OutageIsSaidOnceRetriedWithGrowingPausesAndTheBackLineCountsWhatWaited) {
    const int port = FreePort();
    const std::string obscured = Obscured("secretpw");
    ASSERT_FALSE(obscured.empty());
    settings_.Update([&](DiarySettings& s) {
        s.Section<PublishSettings>().REMOTE =
            ":webdav,url='http://127.0.0.1:" + std::to_string(port) + "',user=u,pass=" + obscured +
            ":diary";
    });
    // An earlier run published a day that retention removes while the
    // server is away.
    fs::create_directories(remote_ / "diary" / "20240229");
    WriteFileBytes(remote_ / "diary" / "20240229" / "20240229120000.jpg", "old day");

    auto publisher = Make();
    publisher->Begin(stop_);
    Settle(*publisher);
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_TRUE(lines_[0].starts_with("公開先に接続できません（つながるまで再試行します）: "))
        << lines_[0];
    EXPECT_EQ(lines_[0].find(obscured), std::string::npos) << lines_[0];
    EXPECT_EQ(lines_[0].find("secretpw"), std::string::npos) << lines_[0];
    EXPECT_EQ(publisher->NextWake(), std::optional(2000ms));
    now_ += 2s;
    Settle(*publisher);
    EXPECT_EQ(publisher->NextWake(), std::optional(4000ms)) << "the pause grows";
    EXPECT_EQ(lines_.size(), 1u) << "said once";

    // Pictures and a deletion while it is away: nothing goes, nothing is said.
    publisher->Handle(Store({"20240301120000.jpg"}), stop_);
    publisher->Handle(Store({"20240301120000.jpg", "20240301120010.jpg"}), stop_);
    publisher->Handle(DayDeleted{save_.string() + "/", "20240229", {"20240229/20240229120000.jpg"}},
                      stop_);
    EXPECT_EQ(lines_.size(), 1u);

    WebDavServer server(remote_, port, config_);
    ASSERT_TRUE(server.Start());
    now_ += 4s;
    Settle(*publisher);
    ASSERT_EQ(lines_.size(), 2u);
    EXPECT_EQ(lines_[1], "公開先に再び接続しました。送信待ちのファイル: 4件");
    EXPECT_EQ(Tree(remote_ / "diary"), Tree(save_));
    publisher->End(stop_);
}

// A remote that answers "no" (read-only): the pauses grow as in an
// outage, and the one line says what it answered.
TEST_F(PublisherTest, ARefusingRemoteIsRetriedWithGrowingPausesAndSaidOnceAsARefusal) {
    const int port = FreePort();
    settings_.Update([&](DiarySettings& s) {
        s.Section<PublishSettings>().REMOTE =
            ":webdav,url='http://127.0.0.1:" + std::to_string(port) +
            "',user=u,pass=" + Obscured("secretpw") + ":diary";
    });
    WebDavServer server(remote_, port, config_);
    ASSERT_TRUE(server.Start(true));
    Store({"20240301120000.jpg"});
    auto publisher = Make();
    publisher->Begin(stop_);
    Settle(*publisher);
    ASSERT_EQ(lines_.size(), 1u);
    const std::string refused = kRemoteRefusedLine;
    EXPECT_TRUE(lines_[0].starts_with(refused.substr(0, refused.find('%')))) << lines_[0];
    for (const auto pause : {2000ms, 4000ms, 8000ms}) {
        EXPECT_EQ(publisher->NextWake(), std::optional(pause));
        now_ += pause;
        Settle(*publisher);
    }
    EXPECT_EQ(lines_.size(), 1u) << lines_.back();
    EXPECT_TRUE(Tree(remote_).empty());
    publisher->End(stop_);
}

}  // namespace
