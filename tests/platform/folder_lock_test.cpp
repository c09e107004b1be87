#include "platform/folder_lock.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace {

// flock(2) locks belong to an open file, so a second lock in the same process
// meets the first as another copy would.
TEST(FolderLock, OneHolderAtATimeAndReleasedWithTheHolder) {
    TempDir home;
    auto first = std::make_unique<FolderLock>();
    ASSERT_EQ(first->Take(home.str()), FolderLock::Outcome::kTaken);
    FolderLock second;
    EXPECT_EQ(second.Take(home.str()), FolderLock::Outcome::kHeldElsewhere);
    first.reset();
    EXPECT_EQ(second.Take(home.str()), FolderLock::Outcome::kTaken);
    EXPECT_EQ(FolderLock().Take((home.path() / "missing").string()),
              FolderLock::Outcome::kUnavailable);
}

// A link planted at the lock file's name is not followed: nothing is made at
// its target, and the folder itself carries the lock.
TEST(FolderLock, PlantedLinkIsNotFollowed) {
    TempDir home;
    TempDir elsewhere;
    const auto target = elsewhere.path() / "made";
    std::filesystem::create_symlink(target, home.path() / FolderLock::kFileName);
    FolderLock first;
    ASSERT_EQ(first.Take(home.str()), FolderLock::Outcome::kTaken);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(FolderLock().Take(home.str()), FolderLock::Outcome::kHeldElsewhere);
}

}  // namespace
