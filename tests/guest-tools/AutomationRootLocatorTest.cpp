// SPDX-License-Identifier: MIT
#include "core/AutomationRootLocator.h"

#include "GuestTestSupport.h"

using namespace GuestTools;
using namespace GuestTestSupport;

class AutomationRootLocatorTest : public ::testing::Test
{
protected:
    std::optional<fs::path> placeMarkerAndSearch(const fs::path &folder)
    {
        writeFile(volumes / folder / DozizidOdezuConstants::markerFilename, "");
        return AutomationRootLocator(volumes).findRoot();
    }

    TemporaryDirectory directory;
    const fs::path volumes = directory.path() / "Volumes";
};

TEST_F(AutomationRootLocatorTest, FindsTheMarkerUpToFourLevelsDown)
{
    EXPECT_EQ(placeMarkerAndSearch("a/b/c"), volumes / "a/b/c");
}

TEST_F(AutomationRootLocatorTest, DoesNotLookFiveLevelsDown)
{
    EXPECT_EQ(placeMarkerAndSearch("a/b/c/d"), std::nullopt);
}

TEST_F(AutomationRootLocatorTest, SkipsHiddenEntriesAndLinks)
{
    EXPECT_EQ(placeMarkerAndSearch(".hidden/share"), std::nullopt);
    writeFile(volumes / "share" / ("." + std::string(DozizidOdezuConstants::markerFilename)), "");
    EXPECT_EQ(AutomationRootLocator(volumes).findRoot(), std::nullopt);

    const fs::path outside = directory.path() / "outside";
    writeFile(outside / DozizidOdezuConstants::markerFilename, "");
    fs::create_directory_symlink(outside, volumes / "link");
    EXPECT_EQ(AutomationRootLocator(volumes).findRoot(), std::nullopt);
}

TEST_F(AutomationRootLocatorTest, MatchesTheNameExactlyAndAcceptsAFolderOfThatName)
{
    writeFile(volumes / "one" / "duvuzodovevavautomationroot.marker", "");
    EXPECT_EQ(AutomationRootLocator(volumes).findRoot(), std::nullopt);
    fs::create_directories(volumes / "two" / "share" / DozizidOdezuConstants::markerFilename);
    EXPECT_EQ(AutomationRootLocator(volumes).findRoot(), volumes / "two" / "share");
}

TEST_F(AutomationRootLocatorTest, NoVolumesFolderMeansNoRoot)
{
    EXPECT_EQ(AutomationRootLocator(directory.path() / "missing").findRoot(), std::nullopt);
}
