#include "settings/app_directory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace {

TEST(AppDirectory, HomeVariableThenWritableExecutableFolderThenUserDataFolder) {
    TempDir root;
    const std::string user = (root.path() / "user").string();
    const auto bin = root.path() / "bin";
    std::filesystem::create_directory(bin);

    EXPECT_EQ(AppDirectoryFor("/srv/diary", bin, user), "/srv/diary/");
    EXPECT_EQ(AppDirectoryFor("/srv/diary/", bin, user), "/srv/diary/");
    // Set but empty counts as unset.
    EXPECT_EQ(AppDirectoryFor("", bin, user), bin.string() + "/");
    EXPECT_EQ(AppDirectoryFor(nullptr, bin, user), bin.string() + "/");
    EXPECT_FALSE(std::filesystem::exists(root.path() / "user"));

    // An executable folder that cannot be written to: the user's folder,
    // made on first use.
    const std::string data = user + "/.local/share/quillomat/";
    EXPECT_EQ(AppDirectoryFor(nullptr, root.path() / "missing", user), data);
    EXPECT_TRUE(std::filesystem::is_directory(data));
    EXPECT_EQ(AppDirectoryFor(nullptr, root.path() / "missing", user), data);

    if (::geteuid() != 0) {  // root may write anywhere
        ::chmod(bin.c_str(), 0555);
        EXPECT_EQ(AppDirectoryFor(nullptr, bin, user), data);
        ::chmod(bin.c_str(), 0755);
    }
}

TEST(AppDirectory, GetAppDirectoryReadsTheEnvironmentAndTheExecutable) {
    const char* saved = std::getenv("QUILLOMAT_HOME");
    const std::string saved_value = saved != nullptr ? saved : "";
    ::setenv("QUILLOMAT_HOME", "/var/tmp/quillomat-home", 1);
    EXPECT_EQ(GetAppDirectory(), "/var/tmp/quillomat-home/");
    ::unsetenv("QUILLOMAT_HOME");
    // This test's own folder in the build tree is writable.
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    if (::access(exe.parent_path().c_str(), W_OK) == 0) {
        EXPECT_EQ(GetAppDirectory(), exe.parent_path().string() + "/");
    }
    if (saved != nullptr) ::setenv("QUILLOMAT_HOME", saved_value.c_str(), 1);
}

}  // namespace
