// SPDX-License-Identifier: MIT
#pragma once

#include "RecordingFakes.h"
#include "FileBookmarkService.h"
#include "FileViewer.h"
#include "LoggingService.h"
#include "SecurityScopedAccess.h"
#include "QtPrinters.h"
#include "TemporaryHome.h"
#include "VMStore.h"

#include <QCoroTask>
#include <QDir>
#include <QFile>
#include <QStringList>

#include <gtest/gtest.h>

#include <memory>

/**
 * A library store over a temporary home: the library root is the default
 * one under the temporary XDG data home, and bookmarks see a mount table
 * the test controls.
 */
class StoreTest : public ::testing::Test
{
protected:
    StoreTest() { m_store = std::make_unique<VMStore>(VMStore::Services{m_logging, m_bookmarks, m_access, m_viewer}); }

    VMStore &store() { return *m_store; }
    QString root() const { return m_home.applicationData() + QStringLiteral("/VirtualMachines"); }
    QString outside(const QString &relative) const { return m_home.path() + QStringLiteral("/elsewhere/") + relative; }
    QString appLog() const { return read(m_home.applicationData() + QStringLiteral("/Logs/app.log")); }
    static QString bundleLog(const QString &bundleURL) { return read(bundleURL + QStringLiteral("/Logs/duvuzodovevav.log")); }

    static QString read(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    static void write(const QString &path, const QByteArray &content)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        file.write(content);
    }

    /// A Linux guest that is not installed yet: it needs no disk image to load.
    static VMMetadata sampleMetadata(const QString &name, const QDateTime &createdAt = QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC))
    {
        VMMetadata metadata;
        metadata.id = QUuid::createUuid();
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.name = name;
        metadata.bundleName = name + QStringLiteral(".vm");
        metadata.createdAt = createdAt;
        metadata.updatedAt = createdAt;
        metadata.hardwareProfile = VMHardwareProfile{2, 4'000'000'000ULL, 64'000'000'000ULL, 1920, 1200, 80};
        metadata.installSource = VMInstallSource::latestSupportedAutomatic();
        metadata.normalize();
        return metadata;
    }

    /// Writes a new bundle through the store and returns it as stored.
    VMBundle savedBundle(const QString &name, const QString &folder = {})
    {
        VMBundle bundle;
        bundle.bundleURL = (folder.isEmpty() ? root() : folder) + QLatin1Char('/') + name + QStringLiteral(".vm");
        bundle.metadata = sampleMetadata(name);
        store().updateBundle(bundle);
        return *store().bundle(bundle.id());
    }

    void reload() { QCoro::waitFor(store().reload()); }

    TemporaryHome m_home;
    LoggingService m_logging;
    QList<MountPoint> m_mounts{{QStringLiteral("/"), QStringLiteral("/"), QStringLiteral("uuid:ROOT")}};
    FileBookmarkService m_bookmarks{[this] { return m_mounts; }};
    RecordingAccess m_access;
    RecordingFileViewer m_viewer;
    std::unique_ptr<VMStore> m_store;
};
