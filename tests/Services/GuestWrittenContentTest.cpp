// SPDX-License-Identifier: MIT
#include "GuestWrittenContent.h"

#include "FileSystemTraps.h"
#include "QtPrinters.h"
#include "TemporaryHome.h"
#include "TestFiles.h"
#include "WithoutAccessOverride.h"

#include <QDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <optional>

namespace {

class GuestWrittenContentTest : public ::testing::Test
{
protected:
    QString bundle() const { return m_home.path() + QStringLiteral("/Dev.vm"); }
    QString automation(const QString &relative = {}) const
    {
        return bundle() + QStringLiteral("/Automation") + (relative.isEmpty() ? QString() : QLatin1Char('/') + relative);
    }

    TemporaryHome m_home;
};

} // namespace

TEST_F(GuestWrittenContentTest, OnlyTheAutomationFolderIsTheGuests)
{
    for (const char *path : {"Automation", "Automation/Responses/a.json", "Automation/.hidden"})
        EXPECT_TRUE(GuestWrittenContent::contains(QString::fromUtf8(path))) << path;
    for (const char *path : {"Automations", "AutomationX/a", "Logs/Automation", "Metadata.json", ""})
        EXPECT_FALSE(GuestWrittenContent::contains(QString::fromUtf8(path))) << path;
}

TEST_F(GuestWrittenContentTest, TheFirstItemACopyCannotReadIsNamed)
{
    const WithoutAccessOverride noOverride;
    if (!noOverride.isActive())
        GTEST_SKIP() << "root could not give up its access override";

    // Readable content of every kind passes.
    TestFiles::write(automation(QStringLiteral("Responses/.hidden/a.json")), "{}");
    TestFiles::makeLink(QStringLiteral("/nonexistent"), automation(QStringLiteral("dangling")));
    TestFiles::makeFifo(automation(QStringLiteral("pipe")));
    EXPECT_EQ(GuestWrittenContent::unreadableItem(bundle()), std::nullopt);

    // A file only its owner could read, once it is not ours, and a folder nobody may list.
    TestFiles::write(automation(QStringLiteral("Responses/private.json")), "{}");
    ::chmod(QFile::encodeName(automation(QStringLiteral("Responses/private.json"))).constData(), 0);
    const std::optional<QString> file = GuestWrittenContent::unreadableItem(bundle());
    ::chmod(QFile::encodeName(automation(QStringLiteral("Responses/private.json"))).constData(), 0644);
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(*file, QStringLiteral("\"Automation/Responses/private.json\" in the VM's shared automation folder cannot be read (Permission "
                                    "denied). The guest wrote it there; make it readable or remove it, then try again."));

    const FileSystemTraps::UnreadableFolder locked(automation(QStringLiteral("Clipboard/Locked")));
    const std::optional<QString> folder = GuestWrittenContent::unreadableItem(bundle());
    ASSERT_TRUE(folder.has_value());
    EXPECT_TRUE(folder->startsWith(QStringLiteral("\"Automation/Clipboard/Locked\" in the VM's shared automation folder cannot be read")))
        << folder->toStdString();
}

TEST_F(GuestWrittenContentTest, AnAutomationFolderThatIsNoFolderIsNotLookedInto)
{
    QDir().mkpath(bundle());
    TestFiles::makeLink(QStringLiteral("/root"), automation());
    EXPECT_EQ(GuestWrittenContent::unreadableItem(bundle()), std::nullopt);
    QFile::remove(automation());
    TestFiles::write(automation(), "a file");
    EXPECT_EQ(GuestWrittenContent::unreadableItem(bundle()), std::nullopt);
}
