#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

TEST(WriteFileAtomically, ReplacesWholeOrKeepsOld) {
    TempDir dir;
    const auto path = dir.path() / "page.html";
    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    ASSERT_TRUE(WriteFileAtomically(path, "second"));
    EXPECT_EQ(ReadFileBytes(path), "second");

    // The page path taken by a folder: the write fails, nothing is left over.
    const auto blocked = dir.path() / "blocked";
    std::filesystem::create_directory(blocked);
    EXPECT_FALSE(WriteFileAtomically(blocked, "x"));
    EXPECT_TRUE(std::filesystem::is_directory(blocked));
    EXPECT_FALSE(std::filesystem::exists(TemporaryPathFor(blocked)));
    EXPECT_FALSE(WriteFileAtomically(dir.path() / "no" / "such", "x"));
}

}  // namespace
