// The real program publishing to real servers on 127.0.0.1 that the test
// starts: rclone's WebDAV and SFTP servers and the S3 server s3rver. One run
// per server goes through an outage of the server, a SIGKILL at a random
// moment and a restart; the remote is polled all along.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "app/headless_fixture.h"
#include "support/jpeg_decode.h"
#include "support/loopback.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Log texts of publishing (publish/diary_publisher.h).
constexpr const char* kGoneLine = "公開先に接続できません（つながるまで再試行します）: ";
constexpr const char* kBackLine = "公開先に再び接続しました。送信待ちのファイル: ";

const std::string kPlacedFile = "notes/keep.txt";
const std::string kPlacedText = "put there by the user";

// A helper program with its output in `log`; ended (and reaped) by Stop.
class Helper {
public:
    ~Helper() { Stop(); }
    bool Start(const std::vector<std::string>& argv, const std::vector<std::string>& extra_env,
               const fs::path& log) {
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
        env.insert(env.end(), extra_env.begin(), extra_env.end());
        std::vector<char*> args, envp;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, log.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t all, none;
        sigfillset(&all);
        sigemptyset(&none);
        posix_spawnattr_setsigdefault(&attr, &all);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
        const int rc = posix_spawnp(&pid_, args[0], &actions, &attr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        if (rc != 0) pid_ = -1;
        return rc == 0;
    }
    // Waits for its end; false when it failed or did not end within `limit`.
    bool Wait(std::chrono::milliseconds limit) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (pid_ > 0 && std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        if (!Wait(10s) && pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        pid_ = -1;
    }

private:
    pid_t pid_ = -1;
};

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

std::string S3rver() {
    if (const char* path = std::getenv("QUILLOMAT_TEST_S3RVER")) return path;
    return QUILLOMAT_S3RVER;
}

// A server the diary publishes to, and what its clients would see there.
class Server {
public:
    virtual ~Server() = default;
    virtual bool Start() = 0;
    void Stop() { process_.Stop(); }
    // Where the server keeps the published root on this machine.
    virtual fs::path Root() const = 0;
    // The remote's files by their path below the published root, each with
    // the file that holds its bytes on this machine.
    virtual std::map<std::string, fs::path> Files() const = 0;
    // The server writes an upload under its final name as it comes, so only
    // our partial names and moves keep a half-written page from showing.
    virtual bool WritesInPlace() const { return true; }
    std::string remote;        // PUBLISH REMOTE
    std::string config_lines;  // rclone.conf
    std::string secret;        // must never show in the program's output

protected:
    bool Await() {
        for (int i = 0; i < 600 && !Listening(port_); ++i) std::this_thread::sleep_for(50ms);
        return Listening(port_);
    }
    static std::map<std::string, fs::path> Below(const fs::path& root, const std::string& cut) {
        std::map<std::string, fs::path> files;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end;
             it.increment(ec)) {
            std::error_code type_ec;
            if (!it->is_regular_file(type_ec)) continue;
            std::string name = it->path().lexically_relative(root).string();
            if (!cut.empty()) {
                if (!name.ends_with(cut)) continue;
                name.resize(name.size() - cut.size());
            }
            files[name] = it->path();
        }
        return files;
    }

    int port_ = FreePort();
    Helper process_;
};

class RcloneServer : public Server {
public:
    RcloneServer(std::string protocol, fs::path work)
        : protocol_(std::move(protocol)), work_(std::move(work)) {
        fs::create_directories(work_ / "served" / "diary");
        secret = Obscured("e2e-secret");
        const std::string url = "http://127.0.0.1:" + std::to_string(port_);
        if (protocol_ == "webdav") {
            // A connection string, password included: the program must mask it.
            remote = ":webdav,url='" + url + "',user=u,pass=" + secret + ":diary";
        } else {
            config_lines =
                "[e2esftp]\ntype = sftp\nhost = 127.0.0.1\nport = " + std::to_string(port_) +
                "\nuser = u\npass = " + secret + "\n";
            remote = "e2esftp:diary";
        }
    }
    bool Start() override {
        const fs::path empty = work_ / "server.conf";
        std::ofstream(empty.string()).flush();
        return process_.Start({"rclone", "serve", protocol_, (work_ / "served").string(),
                               "--addr=127.0.0.1:" + std::to_string(port_), "--user=u",
                               "--pass=e2e-secret", "--config=" + empty.string()},
                              {"XDG_CACHE_HOME=" + (work_ / "cache").string()},
                              work_ / "server.log") &&
               Await();
    }
    fs::path Root() const override { return work_ / "served" / "diary"; }
    std::map<std::string, fs::path> Files() const override { return Below(Root(), ""); }

private:
    std::string protocol_;
    fs::path work_;
};

class S3Server : public Server {
public:
    explicit S3Server(fs::path work) : work_(std::move(work)) {
        fs::create_directories(work_ / "data");
        config_lines = "[e2es3]\ntype = s3\nprovider = Other\nendpoint = http://127.0.0.1:" +
                       std::to_string(port_) +
                       "\naccess_key_id = S3RVER\nsecret_access_key = S3RVER\n";
        remote = "e2es3:diary/photos";
        secret = "S3RVER";
    }
    bool Start() override {
        return process_.Start({S3rver(), "-d", (work_ / "data").string(), "-a", "127.0.0.1", "-p",
                               std::to_string(port_), "--silent", "--configure-bucket", "diary"},
                              {}, work_ / "server.log") &&
               Await();
    }
    fs::path Root() const override { return work_ / "data" / "diary" / "photos"; }
    std::map<std::string, fs::path> Files() const override {
        return Below(Root(), "._S3rver_object");
    }
    // An object appears whole to S3 clients; its file here may not.
    bool WritesInPlace() const override { return false; }

private:
    fs::path work_;
};

// What may never be seen on the remote, looked for every 100 ms: a page
// that lists a picture the remote lacks, or (where the server writes in
// place) a page cut short.
class RemotePoller {
public:
    explicit RemotePoller(const Server& server) : server_(server) {
        thread_ = std::thread([this] {
            while (!stop_.load()) {
                Look();
                std::this_thread::sleep_for(100ms);
            }
        });
    }
    ~RemotePoller() {
        stop_.store(true);
        thread_.join();
    }
    std::vector<std::string> Problems() {
        std::lock_guard lock(mutex_);
        return problems_;
    }
    int Looks() const { return looks_.load(); }

private:
    void Look() {
        std::vector<std::pair<std::string, std::set<std::string>>> pages;
        for (const auto& [name, path] : server_.Files()) {
            if (!name.ends_with(".html")) continue;
            const std::string text = ReadFileBytes(path);
            // A page replaced between the listing and the read: next time.
            if (text.empty()) continue;
            if (server_.WritesInPlace() && !text.ends_with("</body></html>\r\n"))
                Report("page cut short on the remote: " + name);
            pages.emplace_back(name, ListedPictures(path, server_.Root()));
        }
        // Listed after the pages were read, and pictures are never taken
        // away here: a picture missing now was missing when its page was
        // there. Except while one is replaced (two pictures in one second
        // share a name): rclone deletes it just before it moves the new one,
        // uploaded under a partial name, into place.
        const std::map<std::string, fs::path> files = server_.Files();
        for (const auto& [name, pictures] : pages) {
            for (const std::string& picture : pictures) {
                if (files.contains(picture)) continue;
                const bool replacing = std::any_of(files.begin(), files.end(), [&](const auto& f) {
                    return f.first.starts_with(picture + ".") && f.first.ends_with(".partial");
                });
                if (!replacing)
                    Report(name + " on the remote lists a picture it lacks: " + picture);
            }
        }
        ++looks_;
    }
    void Report(const std::string& problem) {
        std::lock_guard lock(mutex_);
        if (problems_.size() < 20) problems_.push_back(problem);
    }

    const Server& server_;
    std::atomic<bool> stop_{false};
    std::atomic<int> looks_{0};
    std::mutex mutex_;
    std::vector<std::string> problems_;
    std::thread thread_;
};

// rclone processes whose parent is `pid`.
std::vector<pid_t> RcloneChildren(pid_t pid) {
    std::vector<pid_t> children;
    for (const fs::directory_entry& e : fs::directory_iterator("/proc")) {
        const std::string name = e.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(e.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos || line.find("(rclone)") == std::string::npos) continue;
        char state = 0;
        int parent = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &parent) == 2 &&
            parent == pid) {
            children.push_back(std::stoi(name));
        }
    }
    return children;
}

bool Gone(pid_t pid) { return ::kill(pid, 0) != 0 && errno == ESRCH; }

class HeadlessPublishTest : public HeadlessDiaryTest,
                            public ::testing::WithParamInterface<std::string> {
protected:
    void SetUp() override {
        const std::string kind = GetParam();
        if (kind == "s3") {
            if (::access(S3rver().c_str(), X_OK) != 0)
                GTEST_FAIL() << S3rver() << " is missing: scripts/install-deps installs it";
            // rclone 1.60's S3 client refuses any custom CA bundle; the
            // server here is plain HTTP.
            ::unsetenv("AWS_CA_BUNDLE");
            server_ = std::make_unique<S3Server>(home_.path() / "server");
        } else {
            server_ = std::make_unique<RcloneServer>(kind, home_.path() / "server");
        }
        WriteFileBytes(home_.path() / "rclone.conf", server_->config_lines);
        ASSERT_TRUE(server_->Start()) << "the " << kind << " server did not start";
        // A file someone else put on the remote.
        WriteFileBytes(home_.path() / "keep.txt", kPlacedText);
        Helper put;
        ASSERT_TRUE(
            put.Start({"rclone", "copyto", "--config=" + (home_.path() / "rclone.conf").string(),
                       (home_.path() / "keep.txt").string(), server_->remote + "/" + kPlacedFile},
                      {}, home_.path() / "copyto.log"));
        ASSERT_TRUE(put.Wait(60s)) << ReadFileBytes(home_.path() / "copyto.log");
    }

    // `on_air` false: the diary stores nothing, publishing runs.
    void WritePublishSetup(bool on_air = true) {
        WriteSetup(
            1, false,
            {std::string("ONAIR=") + (on_air ? "on" : "off"), "[PUBLISH]",
             "REMOTE=" + server_->remote,
             "RCLONE_CONFIG=" + (home_.path() / "rclone.conf").string(), "PAGE_INTERVAL_SECOND=2"});
        WriteDevice("Cam", 320, 240);
    }

    // The remote's files but the placed one and the diary's mark, and the
    // diary's, with their bytes.
    std::map<std::string, std::string> RemoteBytes() const {
        std::map<std::string, std::string> bytes;
        for (const auto& [name, path] : server_->Files()) {
            if (name != kPlacedFile && !name.starts_with(".quillomat-diary-"))
                bytes[name] = ReadFileBytes(path);
        }
        return bytes;
    }
    std::map<std::string, std::string> DiaryBytes() const {
        std::map<std::string, std::string> bytes;
        std::error_code ec;
        for (fs::recursive_directory_iterator it(diary_, ec), end; !ec && it != end;
             it.increment(ec)) {
            if (it->is_regular_file())
                bytes[it->path().lexically_relative(diary_).string()] = ReadFileBytes(it->path());
        }
        return bytes;
    }

    std::set<std::string> RemotePictures() const {
        std::set<std::string> pictures;
        for (const auto& [name, path] : server_->Files()) {
            if (name.ends_with(".jpg")) pictures.insert(name);
        }
        return pictures;
    }
    bool WaitForRemotePictures(std::size_t count) {
        return WaitUntil([&] { return RemotePictures().size() >= count; }, kConditionLimit);
    }
    // Until the remote holds every picture stored so far.
    bool WaitForRemoteToHoldTheDiary() {
        return WaitUntil(
            [&] {
                const std::set<std::string> remote = RemotePictures();
                const std::set<std::string> local = PictureNames(diary_);
                return std::includes(remote.begin(), remote.end(), local.begin(), local.end());
            },
            kConditionLimit);
    }
    std::vector<std::string> LinesStartingWith(const std::string& start) const {
        std::vector<std::string> lines;
        for (const std::string& text : LogTexts(process_.Output())) {
            if (text.starts_with(start)) lines.push_back(text);
        }
        return lines;
    }
    bool WaitForLineStartingWith(const std::string& start) {
        return WaitUntil([&] { return !LinesStartingWith(start).empty() || !process_.Running(); },
                         kConditionLimit) &&
               !LinesStartingWith(start).empty();
    }

    std::unique_ptr<Server> server_;
};

TEST_P(HeadlessPublishTest, RemoteMirrorsTheDiaryThroughAnOutageAKillAndARestart) {
    WritePublishSetup();
    RemotePoller poller(*server_);
    Start("Cam");
    ASSERT_TRUE(WaitForRemotePictures(3)) << Transcript();

    // The server goes away mid-run: one line, the diary goes on storing.
    server_->Stop();
    ASSERT_TRUE(WaitForLineStartingWith(kGoneLine)) << Transcript();
    const std::size_t stored = PictureCount();
    ASSERT_TRUE(WaitForPictures(stored + 3)) << Transcript();
    ASSERT_TRUE(server_->Start());
    ASSERT_TRUE(WaitForLineStartingWith(kBackLine)) << Transcript();
    const std::string back = LinesStartingWith(kBackLine).front();
    EXPECT_GE(std::atoi(back.c_str() + std::strlen(kBackLine)), 3) << Transcript();
    ASSERT_TRUE(WaitForRemoteToHoldTheDiary()) << Transcript();
    EXPECT_EQ(LinesStartingWith(kGoneLine).size(), 1u) << Transcript();
    EXPECT_EQ(LinesStartingWith(kBackLine).size(), 1u) << Transcript();
    const std::string first_output = process_.Output();

    // Killed at a random moment: its rclone goes with it, and the next start
    // sends what the remote lacks.
    std::mt19937 random(std::random_device{}());
    const int delay_ms = std::uniform_int_distribution<int>(0, 1500)(random);
    std::printf("[   INFO   ] SIGKILL %d ms after the remote held the diary\n", delay_ms);
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    const std::vector<pid_t> helpers = RcloneChildren(process_.pid());
    EXPECT_EQ(helpers.size(), 1u) << "one rclone daemon of the program's";
    process_.Kill();
    for (pid_t helper : helpers)
        EXPECT_TRUE(WaitUntil([&] { return Gone(helper); }, 10s)) << "rclone outlived the program";
    Start("Cam");
    const std::size_t after_restart = PictureCount();
    ASSERT_TRUE(WaitForPictures(after_restart + 2)) << Transcript();
    ASSERT_TRUE(WaitForRemoteToHoldTheDiary()) << Transcript();
    const std::vector<pid_t> last_helpers = RcloneChildren(process_.pid());
    StopAndExpectCleanExit(SIGTERM);
    for (pid_t helper : last_helpers)
        EXPECT_TRUE(WaitUntil([&] { return Gone(helper); }, 5s)) << "rclone outlived the program";
    // The last pages go at the stop, within what a stop may take; on a busy
    // machine they can miss it, and a start that stores nothing sends them.
    std::printf("[   INFO   ] the remote %s the diary right after the stop\n",
                RemoteBytes() == DiaryBytes() ? "held" : "did not hold");
    WritePublishSetup(false);
    Start("Cam");
    ASSERT_TRUE(process_.WaitForLogLine(kStartedLine, 1, kConditionLimit)) << Transcript();
    // Its look at the save folder may send a page again (where the remote
    // keeps no times): the remote is to stay equal for two seconds.
    auto equal_since = std::chrono::steady_clock::now();
    EXPECT_TRUE(WaitUntil(
        [&] {
            if (RemoteBytes() != DiaryBytes()) equal_since = std::chrono::steady_clock::now();
            return std::chrono::steady_clock::now() - equal_since >= 2s;
        },
        kConditionLimit));
    StopAndExpectCleanExit(SIGTERM);

    // The remote holds the diary as it is, names and bytes, and what the
    // user put there; it never showed a page before its pictures.
    const std::map<std::string, fs::path> remote = server_->Files();
    ASSERT_TRUE(remote.contains(kPlacedFile));
    EXPECT_EQ(ReadFileBytes(remote.at(kPlacedFile)), kPlacedText);
    std::map<std::string, std::string> remote_bytes = RemoteBytes();
    const std::map<std::string, std::string> local_bytes = DiaryBytes();
    EXPECT_GE(local_bytes.size(), 10u);
    EXPECT_EQ(remote_bytes.size(), local_bytes.size());
    for (const auto& [name, bytes] : local_bytes) {
        EXPECT_TRUE(remote_bytes.contains(name) && remote_bytes[name] == bytes)
            << name << (remote_bytes.contains(name) ? " differs" : " is missing")
            << " on the remote";
    }
    for (const auto& [name, bytes] : remote_bytes)
        EXPECT_TRUE(local_bytes.contains(name)) << name << " on the remote is no file of the diary";
    EXPECT_GT(poller.Looks(), 10);
    EXPECT_EQ(poller.Problems(), std::vector<std::string>{});
    if (HasFailure()) {
        for (const char* run : {"1", "2", "3"}) {
            std::printf(
                "--- start %s: stdout ---\n%s--- stderr ---\n%s", run,
                ReadFileBytes(home_.path() / (std::string("stdout-") + run + ".txt")).c_str(),
                ReadFileBytes(home_.path() / (std::string("stderr-") + run + ".txt")).c_str());
        }
    }
    EXPECT_EQ(DiaryIntegrityProblems(diary_), std::vector<std::string>{});
    // The connection string's password never shows.
    for (const std::string& output :
         {first_output, ReadFileBytes(home_.path() / "stdout-2.txt"), process_.Output()})
        EXPECT_EQ(output.find(server_->secret), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P(Servers, HeadlessPublishTest, ::testing::Values("webdav", "sftp", "s3"),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             return info.param;
                         });

}  // namespace
