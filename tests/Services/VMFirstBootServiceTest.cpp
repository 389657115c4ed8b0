// SPDX-License-Identifier: MIT
#include "TestFiles.h"
#include "VMFirstBootService.h"

#include "LoggingService.h"
#include "PlatformError.h"
#include "QtPrinters.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using TestFiles::read;
using TestFiles::write;

class VMFirstBootServiceTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(m_bundle.bundleURL)); }

    QString at(const QString &relative) const { return m_home.path() + QLatin1Char('/') + relative; }
    QString bootstrap(const QString &name = {}) const
    {
        return m_bundle.bundleURL + QStringLiteral("/Bootstrap") + (name.isEmpty() ? QString() : QLatin1Char('/') + name);
    }
    QStringList bootstrapEntries() const
    {
        QStringList names = QDir(bootstrap()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        names.sort();
        return names;
    }

    /// A file under the temporary home with the given content, as the URL the wizard hands over.
    QUrl file(const QString &relative, const QByteArray &content = "payload") const
    {
        write(at(relative), content);
        return QUrl::fromLocalFile(at(relative));
    }

    static mode_t permissions(const QString &path)
    {
        struct stat status {
        };
        return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
    }

    static FirstBootBootstrapRequest enabled(std::optional<QUrl> script = std::nullopt, QList<QUrl> files = {})
    {
        return FirstBootBootstrapRequest { true, std::move(script), std::move(files), QStringLiteral("Set up the build user") };
    }

    VMFirstBootService service(std::optional<QString> resources = std::nullopt) const
    {
        return VMFirstBootService(m_logging, ApplicationResources(std::move(resources)));
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    VMBundle m_bundle { m_home.path() + QStringLiteral("/Build Agent.vm"), VMMetadata {}, {}, std::nullopt };
};

TEST_F(VMFirstBootServiceTest, WithoutAnEnabledRequestTheFolderIsLeftEmpty)
{
    for (const std::optional<FirstBootBootstrapRequest> &request : { std::optional<FirstBootBootstrapRequest> {},
             std::optional(FirstBootBootstrapRequest { false, file(QStringLiteral("s.sh")), {}, {} }) }) {
        write(bootstrap(QStringLiteral("manifest.json")), "{}");
        write(bootstrap(QStringLiteral(".hidden")), "x");
        write(bootstrap(QStringLiteral("old/nested.txt")), "x");

        EXPECT_EQ(service().prepareBootstrapFolder(m_bundle, request), std::nullopt);
        EXPECT_TRUE(QFileInfo(bootstrap()).isDir());
        EXPECT_EQ(bootstrapEntries(), QStringList());
    }
}

TEST_F(VMFirstBootServiceTest, AnEnabledRequestWithoutAnyScriptGetsTheDefaultScriptAndTheReadme)
{
    m_bundle.metadata.name = QStringLiteral("Build Agent");

    const auto config = service(at(QStringLiteral("no-resources"))).prepareBootstrapFolder(m_bundle, enabled());

    ASSERT_TRUE(config);
    EXPECT_EQ(
        *config, (VMFirstBootConfig { true, QStringLiteral("Bootstrap/firstboot.sh"), {}, true, QStringLiteral("Set up the build user") }));
    EXPECT_EQ(read(bootstrap(QStringLiteral("firstboot.sh"))),
        "#!/bin/zsh\n\necho \"Zovozu VM Lab first-boot folder is available.\"\necho \"Replace this file with your own bootstrap script.\"");
    EXPECT_EQ(permissions(bootstrap(QStringLiteral("firstboot.sh"))) & 0111, mode_t(0111));
    EXPECT_EQ(read(bootstrap(QStringLiteral("README.txt"))),
        "Zovozu VM Lab Bootstrap Folder\n\n"
        "This folder is exposed to the guest through the app's shared-folder configuration.\n"
        "Use the script and any additional payload files here for safe first-run setup inside the guest.");
    EXPECT_EQ(bootstrapEntries(), (QStringList { QStringLiteral("README.txt"), QStringLiteral("firstboot.sh") }));
    EXPECT_TRUE(read(m_bundle.bundleURL + QStringLiteral("/Logs/duvuzodovevav.log"))
                    .contains("[FirstBoot] Prepared bootstrap folder for Build Agent"));
}

TEST_F(VMFirstBootServiceTest, TheUsersScriptWinsOverTheApplicationsOneWhichWinsOverTheDefault)
{
    write(at(QStringLiteral("resources/firstboot.sh")), "#!/bin/sh\necho shipped");
    const QString resources = at(QStringLiteral("resources"));

    service(resources).prepareBootstrapFolder(m_bundle, enabled());
    EXPECT_EQ(read(bootstrap(QStringLiteral("firstboot.sh"))), "#!/bin/sh\necho shipped");

    // A script picked through a link arrives as the file itself, not as a link to a place on the host.
    const QUrl script = file(QStringLiteral("mine/setup.sh"), "#!/bin/sh\necho mine");
    ASSERT_EQ(
        ::symlink(QFile::encodeName(script.toLocalFile()).constData(), QFile::encodeName(at(QStringLiteral("linked.sh"))).constData()), 0);
    service(resources).prepareBootstrapFolder(m_bundle, enabled(QUrl::fromLocalFile(at(QStringLiteral("linked.sh")))));
    EXPECT_FALSE(QFileInfo(bootstrap(QStringLiteral("firstboot.sh"))).isSymLink());
    EXPECT_EQ(read(bootstrap(QStringLiteral("firstboot.sh"))), "#!/bin/sh\necho mine");
}

TEST_F(VMFirstBootServiceTest, MakeExecutableAddsTheExecuteBitsToWhatIsThere)
{
    const struct {
        mode_t before;
        mode_t after;
    } cases[] = { { 0644, 0755 }, { 0600, 0711 }, { 0755, 0755 }, { 0200, 0311 } };
    for (const auto &[before, after] : cases) {
        SCOPED_TRACE(before);
        const QString path = at(QStringLiteral("script.sh"));
        write(path, "#!/bin/sh");
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), before), 0);
        VMFirstBootService::makeExecutable(path);
        EXPECT_EQ(permissions(path), after);
    }
    EXPECT_THROW(VMFirstBootService::makeExecutable(at(QStringLiteral("missing.sh"))), PlatformError);
}

TEST_F(VMFirstBootServiceTest, AdditionalFilesGetFreeCleanNamesAndNeverTakeTheScriptsOrTheManifestsPlace)
{
    const QList<QUrl> files {
        file(QStringLiteral("one/a.txt"), "first a"),
        file(QStringLiteral("two/a.txt"), "second a"),
        file(QStringLiteral("one/README.txt"), "readme"),
        file(QStringLiteral("one/firstboot.sh"), "other script"),
        file(QStringLiteral("one/x:y?.txt"), "odd"),
        file(QStringLiteral("one/manifest.json"), "user manifest"),
    };

    const auto config = service().prepareBootstrapFolder(m_bundle, enabled(std::nullopt, files));

    ASSERT_TRUE(config);
    EXPECT_EQ(config->additionalFilesRelativePaths,
        (QList<QString> { QStringLiteral("Bootstrap/a.txt"), QStringLiteral("Bootstrap/a 2.txt"), QStringLiteral("Bootstrap/README 2.txt"),
            QStringLiteral("Bootstrap/firstboot 2.sh"), QStringLiteral("Bootstrap/x-y-.txt"),
            QStringLiteral("Bootstrap/manifest 2.json") }));
    EXPECT_EQ(read(bootstrap(QStringLiteral("a 2.txt"))), "second a");
    EXPECT_EQ(read(bootstrap(QStringLiteral("manifest 2.json"))), "user manifest");
    EXPECT_FALSE(QFileInfo::exists(bootstrap(QStringLiteral("manifest.json"))));
    EXPECT_NE(read(bootstrap(QStringLiteral("firstboot.sh"))), "other script");
}

TEST_F(VMFirstBootServiceTest, UniqueDestinationCleansTheName)
{
    ASSERT_TRUE(QDir().mkpath(bootstrap()));
    write(bootstrap(QStringLiteral("Virtual Mac")), "");
    write(bootstrap(QStringLiteral("archive.tar.gz")), "");
    const struct {
        const char16_t *name;
        const char16_t *expected;
    } cases[] = {
        { u" \n ", u"Virtual Mac 2" },
        { u"  a/b\\c|d*e%f\"g<h>i.txt\t", u"a-b-c-d-e-f-g-h-i.txt" },
        { u"a   b", u"a  b" }, // one pass over pairs of blanks
        { u"archive.tar.gz", u"archive.tar 2.gz" },
        { u".profile", u".profile" },
    };
    for (const auto &[name, expected] : cases) {
        SCOPED_TRACE(QString::fromUtf16(name).toStdString());
        EXPECT_EQ(VMFirstBootService::uniqueDestinationURL(QString::fromUtf16(name), bootstrap()), bootstrap(QString::fromUtf16(expected)));
    }
}

TEST_F(VMFirstBootServiceTest, AFailingCopyStopsWithTheErrorAndKeepsWhatWasWritten)
{
    const QList<QUrl> files { file(QStringLiteral("a.txt")), file(QStringLiteral("b.txt")),
        QUrl::fromLocalFile(at(QStringLiteral("gone.txt"))), file(QStringLiteral("d.txt")) };

    EXPECT_THROW(service().prepareBootstrapFolder(m_bundle, enabled(std::nullopt, files)), PlatformError);

    EXPECT_EQ(bootstrapEntries(),
        (QStringList { QStringLiteral("README.txt"), QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("firstboot.sh") }));
}

TEST_F(VMFirstBootServiceTest, ABootstrapLinkIsReplacedSoThatEmptyingItNeverReachesItsTarget)
{
    write(at(QStringLiteral("Documents/thesis.txt")), "years of work");
    ASSERT_EQ(::symlink(QFile::encodeName(at(QStringLiteral("Documents"))).constData(), QFile::encodeName(bootstrap()).constData()), 0);

    service().prepareBootstrapFolder(m_bundle, enabled());

    EXPECT_EQ(read(at(QStringLiteral("Documents/thesis.txt"))), "years of work");
    EXPECT_FALSE(QFileInfo(bootstrap()).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(bootstrap(QStringLiteral("firstboot.sh"))));
}

} // namespace
