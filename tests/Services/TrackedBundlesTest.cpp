// SPDX-License-Identifier: MIT
#include "FileOperations.h"
#include "StoreTestFixture.h"
#include "TrackedVMBundleRegistry.h"

#include <QFileInfo>

namespace {

class TrackedBundlesTest : public StoreTest
{
protected:
    const TrackedBundles &tracked() { return store().trackedBundles(); }

    QString makeFolder(const QString &path)
    {
        QDir().mkpath(path);
        return path;
    }

    QList<TrackedVMBundleReference> registry() { return tracked().readTrackedRegistry(); }
};

} // namespace

TEST_F(TrackedBundlesTest, TheRegistryLivesBesideTheLibraryRoot)
{
    EXPECT_EQ(store().registryURL(), m_home.applicationData() + QStringLiteral("/TrackedBundles.json"));
    EXPECT_TRUE(registry().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(store().registryURL()));
}

TEST_F(TrackedBundlesTest, OnlyBundlesOutsideTheRootAreTracked)
{
    const QString inside = makeFolder(root() + QStringLiteral("/Inside.vm"));
    const QString outsideBundle = makeFolder(outside(QStringLiteral("Outside.vm")));

    tracked().trackBundle(inside);
    EXPECT_FALSE(QFileInfo::exists(store().registryURL()));

    tracked().trackBundle(outsideBundle);
    ASSERT_EQ(registry().size(), 1);
    EXPECT_EQ(registry().first().lastKnownPath, outsideBundle);

    // A bundle moved into the library is forgotten when tracked at its old path from inside the root.
    tracked().writeTrackedRegistry({TrackedVMBundleReference{QUuid::createUuid(), m_bookmarks.makeBookmark(inside), inside, QDateTime::currentDateTimeUtc()},
                                    registry().first()});
    tracked().trackBundle(inside);
    ASSERT_EQ(registry().size(), 1);
    EXPECT_EQ(registry().first().lastKnownPath, outsideBundle);
}

TEST_F(TrackedBundlesTest, TrackingAgainKeepsTheEntryAndRenewsItsBookmark)
{
    const QString bundle = makeFolder(outside(QStringLiteral("Again.vm")));
    tracked().trackBundle(bundle);
    const TrackedVMBundleReference first = registry().first();

    // A link to the old file tells whether the registry was replaced (atomic writes make a new file).
    const QString previous = m_home.path() + QStringLiteral("/previous-registry");
    FileOperations::createHardLink(store().registryURL(), previous);
    tracked().trackBundle(outside(QStringLiteral("./Again.vm")));
    ASSERT_EQ(registry().size(), 1);
    EXPECT_EQ(registry().first().id, first.id);
    EXPECT_EQ(registry().first().addedAt, first.addedAt);
    EXPECT_FALSE(FileOperations::isSameFile(store().registryURL(), previous));

    // Paths are compared as exact text: another letter case is another bundle.
    const QString otherCase = makeFolder(outside(QStringLiteral("AGAIN.vm")));
    tracked().trackBundle(otherCase);
    EXPECT_EQ(registry().size(), 2);
}

TEST_F(TrackedBundlesTest, UntrackingAnUnknownPathWritesNothing)
{
    tracked().untrackBundle(outside(QStringLiteral("Never.vm")));
    EXPECT_FALSE(QFileInfo::exists(store().registryURL()));
}

TEST_F(TrackedBundlesTest, UnresolvableEntriesAreLoggedAndKept)
{
    const QString gone = makeFolder(outside(QStringLiteral("Gone.vm")));
    const QString kept = makeFolder(outside(QStringLiteral("Kept.vm")));
    tracked().trackBundle(gone);
    tracked().trackBundle(kept);
    QDir(gone).removeRecursively();

    EXPECT_EQ(tracked().trackedBundleURLs(), QList<QString>{kept});
    EXPECT_EQ(appLog().count(QStringLiteral("[Store] Tracked VM bookmark could not be resolved for ") + gone + QStringLiteral(": ")), 1);
    EXPECT_EQ(registry().size(), 2);
}

TEST_F(TrackedBundlesTest, AStaleBookmarkIsRenewedWithTheNewPath)
{
    // An external disk, mounted at "disk-a" when the bundle was tracked and at "disk-b" now.
    const QString diskA = outside(QStringLiteral("disk-a"));
    const QString diskB = outside(QStringLiteral("disk-b"));
    makeFolder(diskA + QStringLiteral("/VMs/Travel.vm"));
    m_mounts.append({diskA, QStringLiteral("/"), QStringLiteral("uuid:EXTERNAL")});
    tracked().trackBundle(diskA + QStringLiteral("/VMs/Travel.vm"));

    ASSERT_TRUE(QDir().rename(diskA, diskB));
    m_mounts.last().mountPoint = diskB;
    const QString moved = diskB + QStringLiteral("/VMs/Travel.vm");

    EXPECT_EQ(tracked().trackedBundleURLs(), QList<QString>{moved});
    ASSERT_EQ(registry().size(), 1);
    EXPECT_EQ(registry().first().lastKnownPath, moved);
    EXPECT_EQ(m_bookmarks.resolveBookmark(registry().first().bookmarkData), (ResolvedBookmark{moved, false}));
}

TEST_F(TrackedBundlesTest, WorkRunsInsideAccessThatIsAlwaysStopped)
{
    const QString untracked = makeFolder(outside(QStringLiteral("Loose.vm")));
    EXPECT_EQ(tracked().withTrackedSecurityScope(untracked, [] { return 42; }), 42);
    EXPECT_EQ(m_access.started, QStringList{untracked});
    EXPECT_EQ(m_access.stopped, QStringList{untracked});

    EXPECT_THROW(tracked().withTrackedSecurityScope(untracked, []() -> int { throw std::runtime_error("work failed"); }), std::runtime_error);
    EXPECT_EQ(m_access.started.size(), 2);
    EXPECT_EQ(m_access.stopped.size(), 2);
}

TEST_F(TrackedBundlesTest, ACorruptRegistryFailsEveryOperationAndIsNeverOverwritten)
{
    write(store().registryURL(), "{\"references\": [{\"id\": \"nope\"}]}");
    const QString bundle = makeFolder(outside(QStringLiteral("Blocked.vm")));
    bool ran = false;

    EXPECT_THROW(tracked().trackBundle(bundle), JSONDecodingError);
    EXPECT_THROW(tracked().untrackBundle(bundle), JSONDecodingError);
    EXPECT_THROW(tracked().trackedBundleURLs(), JSONDecodingError);
    EXPECT_THROW(tracked().withTrackedSecurityScope(bundle, [&] { ran = true; }), JSONDecodingError);
    EXPECT_FALSE(ran);
    EXPECT_EQ(read(store().registryURL()), QStringLiteral("{\"references\": [{\"id\": \"nope\"}]}"));
}
