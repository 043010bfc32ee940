// The library's version string and the header macros give the same number.
#include <gtest/gtest.h>

#include <string>

#include "norvale/datamatrix.h"

TEST(VersionTest, LibraryReportsTheHeadersVersion)
{
    const std::string fromMacros = std::to_string(NORVALE_VERSION_MAJOR) + "." +
                                   std::to_string(NORVALE_VERSION_MINOR) + "." +
                                   std::to_string(NORVALE_VERSION_PATCH);
    EXPECT_EQ(NorvaleVersion(), fromMacros);
    EXPECT_EQ(NORVALE_VERSION_STRING, fromMacros);
}
