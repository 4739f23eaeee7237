#include "core/version.h"

#include <gtest/gtest.h>

TEST(VersionString, KnownKeysAreFilledAndUnknownKeysAreEmpty)
{
    EXPECT_EQ(tallyhost::VersionString("ProductName"), "Tallyhost");
    EXPECT_FALSE(tallyhost::VersionString("FileVersion").empty());
    EXPECT_FALSE(tallyhost::VersionString("CompanyName").empty());
    EXPECT_FALSE(tallyhost::VersionString("LegalCopyright").empty());
    EXPECT_EQ(tallyhost::VersionString("productname"), "");
    EXPECT_EQ(tallyhost::VersionString("Comments"), "");
}
