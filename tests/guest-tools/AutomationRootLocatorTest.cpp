// SPDX-License-Identifier: MIT
#include "core/AutomationRootLocator.h"

#include "GuestTestSupport.h"

#include <functional>

using namespace GuestTools;
using namespace GuestTestSupport;

class AutomationRootLocatorTest : public ::testing::Test
{
protected:
    /// Mounts the host's share at `share` and places the marker in its automation folder, or in `folder` below it.
    fs::path shareWithMarker(const fs::path &share, const fs::path &folder = DozizidOdezuConstants::automationShareName)
    {
        mounts.mountHostShare(volumes / share);
        writeFile(volumes / share / folder / DozizidOdezuConstants::markerFilename, "");
        return volumes / share / folder;
    }

    std::optional<fs::path> findRoot() const { return locator().findRoot(); }
    AutomationRootLocator locator() const { return AutomationRootLocator(volumes, mounts.lookup()); }

    TemporaryDirectory directory;
    const fs::path volumes = directory.path() / "Volumes";
    FakeMounts mounts;
};

TEST_F(AutomationRootLocatorTest, FindsTheMarkerUpToFourLevelsDown)
{
    const fs::path root = shareWithMarker("a/b");
    EXPECT_EQ(findRoot(), root);
}

TEST_F(AutomationRootLocatorTest, DoesNotLookFiveLevelsDown)
{
    shareWithMarker("a/b/c");
    EXPECT_EQ(findRoot(), std::nullopt);
}

TEST_F(AutomationRootLocatorTest, SkipsHiddenEntriesAndLinks)
{
    shareWithMarker(".hidden");
    EXPECT_EQ(findRoot(), std::nullopt);
    const fs::path share = volumes / "Shared";
    mounts.mountHostShare(share);
    writeFile(share / DozizidOdezuConstants::automationShareName / ("." + std::string(DozizidOdezuConstants::markerFilename)), "");
    EXPECT_EQ(findRoot(), std::nullopt);

    const fs::path outside = directory.path() / "outside";
    writeFile(outside / DozizidOdezuConstants::automationShareName / DozizidOdezuConstants::markerFilename, "");
    mounts.mountHostShare(volumes / "link");
    fs::create_directory_symlink(outside, volumes / "link");
    EXPECT_EQ(findRoot(), std::nullopt);
}

TEST_F(AutomationRootLocatorTest, MatchesTheNameExactlyAndAcceptsAFolderOfThatName)
{
    const fs::path one = volumes / "one";
    mounts.mountHostShare(one);
    writeFile(one / DozizidOdezuConstants::automationShareName / "duvuzodovevavautomationroot.marker", "");
    EXPECT_EQ(findRoot(), std::nullopt);
    mounts.mountHostShare(volumes / "two");
    const fs::path root = volumes / "two" / DozizidOdezuConstants::automationShareName;
    fs::create_directories(root / DozizidOdezuConstants::markerFilename);
    EXPECT_EQ(findRoot(), root);
}

TEST_F(AutomationRootLocatorTest, NoVolumesFolderMeansNoRoot)
{
    EXPECT_EQ(AutomationRootLocator(directory.path() / "missing", mounts.lookup()).findRoot(), std::nullopt);
}

TEST_F(AutomationRootLocatorTest, ServesOnlyTheHostsShareAndOnlyWhenItIsFoundOnce)
{
    const fs::path hostRoot = volumes / "My Shared Files" / DozizidOdezuConstants::automationShareName;
    const auto userDisk = [this](const fs::path &name, const fs::path &folder) {
        mounts.mount(volumes / name, "apfs", "/dev/disk4s1");
        const fs::path marked = folder.empty() ? volumes / name : volumes / name / folder;
        writeFile(marked / DozizidOdezuConstants::markerFilename, "");
        return marked;
    };
    const struct {
        const char *layout;
        std::function<std::vector<fs::path>()> prepare; // the folders with a marker that are not the host's share
        std::optional<fs::path> root;
        std::size_t hostShares;
    } cases[] = {
        {"the host's share only", [&] { shareWithMarker("My Shared Files"); return std::vector<fs::path>{}; }, hostRoot, 1},
        {"a user's disk named earlier with a marker",
         [&] {
             shareWithMarker("My Shared Files");
             return std::vector<fs::path>{userDisk("AAA User Disk", {}),
                                          userDisk("AAA User Disk", DozizidOdezuConstants::automationShareName)};
         },
         hostRoot, 1},
        {"a user's disk named like the host's share",
         [&] { return std::vector<fs::path>{userDisk("My Shared Files", DozizidOdezuConstants::automationShareName)}; }, std::nullopt, 0},
        {"a folder made in a shared folder the guest writes to",
         [&] {
             shareWithMarker("My Shared Files");
             const fs::path made = fs::path("Projects") / DozizidOdezuConstants::automationShareName;
             return std::vector<fs::path>{shareWithMarker("My Shared Files", made)};
         },
         hostRoot, 1},
        {"a virtio file system under another tag",
         [&] {
             mounts.mount(volumes / "Other", std::string(DozizidOdezuConstants::virtioFileSystemType), "user-tag");
             writeFile(volumes / "Other" / DozizidOdezuConstants::automationShareName / DozizidOdezuConstants::markerFilename, "");
             return std::vector<fs::path>{volumes / "Other" / DozizidOdezuConstants::automationShareName};
         },
         std::nullopt, 0},
        {"two host-like candidates",
         [&] {
             shareWithMarker("My Shared Files");
             shareWithMarker("My Shared Files 1");
             return std::vector<fs::path>{};
         },
         std::nullopt, 2},
        {"no marker at all",
         [&] {
             mounts.mountHostShare(volumes / "My Shared Files");
             fs::create_directories(hostRoot);
             return std::vector<fs::path>{};
         },
         std::nullopt, 0},
    };
    for (const auto &entry : cases) {
        SCOPED_TRACE(entry.layout);
        fs::remove_all(volumes);
        mounts = FakeMounts();
        std::vector<fs::path> ignored = entry.prepare();
        const AutomationRootSearch search = locator().search();
        EXPECT_EQ(search.root, entry.root);
        EXPECT_EQ(search.hostShares.size(), entry.hostShares);
        std::vector<fs::path> found = search.ignored;
        std::sort(found.begin(), found.end());
        std::sort(ignored.begin(), ignored.end());
        EXPECT_EQ(found, ignored);
        EXPECT_EQ(search.report().empty(), entry.hostShares <= 1 && ignored.empty()) << search.report();
    }
}

TEST_F(AutomationRootLocatorTest, OnTheSystemsOwnMountsAPlainFolderIsNeverTheRoot)
{
    // Named and placed like the host's share, but on whatever disk holds the temporary folder.
    const fs::path folder = volumes / "My Shared Files" / DozizidOdezuConstants::automationShareName;
    writeFile(folder / DozizidOdezuConstants::markerFilename, "");
    const AutomationRootSearch search = AutomationRootLocator(volumes).search();
    EXPECT_EQ(search.root, std::nullopt);
    EXPECT_EQ(search.ignored, std::vector<fs::path>{folder});
}
