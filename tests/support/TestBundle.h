// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <QDateTime>
#include <QFileInfo>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>

/**
 * Builds the VMBundle record a test works on, in one expression. Only the
 * record is made: nothing is written to disk. It starts as a stopped, not
 * installed VM of unknown guest kind, with a fresh identifier, named after
 * its folder ("Ubuntu" for ".../Ubuntu.vm") and without hardware figures;
 * the setters change the fields a test varies. Hardware figures are set in
 * the profile and in the top-level copies the store keeps equal to it.
 *
 *     VMBundle m_bundle = TestBundle(m_home.path() + QStringLiteral("/Ubuntu.vm")).guest(VMGuestOSType::linux).installed();
 *     const VMBundle stored = TestBundle::in(root(), QStringLiteral("Dev")).runState(VMRuntimeState::running);
 */
class TestBundle
{
public:
    explicit TestBundle(QString bundleURL)
    {
        m_bundle.metadata.id = QUuid::createUuid();
        m_bundle.metadata.name = QFileInfo(bundleURL).completeBaseName();
        m_bundle.bundleURL = std::move(bundleURL);
    }

    /// A bundle named `name` in `<folder>/<name>.vm`.
    static TestBundle in(const QString &folder, const QString &name)
    {
        return TestBundle(folder + QLatin1Char('/') + name + QStringLiteral(".vm"));
    }

    TestBundle &named(QString name)
    {
        m_bundle.metadata.name = std::move(name);
        return *this;
    }
    TestBundle &id(const QUuid &id)
    {
        m_bundle.metadata.id = id;
        return *this;
    }
    TestBundle &guest(std::optional<VMGuestOSType> guest)
    {
        m_bundle.metadata.guestOSType = guest;
        return *this;
    }
    /// The guest's name and build as the VM last reported them.
    TestBundle &guestVersion(std::optional<QString> displayName, std::optional<QString> build = std::nullopt)
    {
        m_bundle.metadata.guestOSDisplayName = std::move(displayName);
        m_bundle.metadata.guestBuildVersion = std::move(build);
        return *this;
    }
    TestBundle &installState(VMInstallState state)
    {
        m_bundle.metadata.installState = state;
        return *this;
    }
    TestBundle &installed() { return installState(VMInstallState::installed); }
    TestBundle &runState(VMRuntimeState state)
    {
        m_bundle.metadata.runtimeState = state;
        return *this;
    }
    TestBundle &installSource(VMInstallSource source)
    {
        m_bundle.metadata.installSource = std::move(source);
        return *this;
    }
    /// Creation and last change at `time`.
    TestBundle &created(const QDateTime &time)
    {
        m_bundle.metadata.createdAt = time;
        m_bundle.metadata.updatedAt = time;
        return *this;
    }

    TestBundle &hardware(const VMHardwareProfile &profile)
    {
        m_bundle.metadata.hardwareProfile = profile;
        return cpus(profile.cpuCount).memory(profile.memorySizeBytes).disk(profile.diskSizeBytes);
    }
    TestBundle &cpus(qint64 count)
    {
        m_bundle.metadata.hardwareProfile.cpuCount = m_bundle.metadata.cpuCount = count;
        return *this;
    }
    TestBundle &memory(quint64 bytes)
    {
        m_bundle.metadata.hardwareProfile.memorySizeBytes = m_bundle.metadata.memorySizeBytes = bytes;
        return *this;
    }
    TestBundle &disk(quint64 bytes)
    {
        m_bundle.metadata.hardwareProfile.diskSizeBytes = m_bundle.metadata.diskSizeBytes = bytes;
        return *this;
    }
    TestBundle &display(qint64 width, qint64 height)
    {
        m_bundle.metadata.hardwareProfile.displayWidth = width;
        m_bundle.metadata.hardwareProfile.displayHeight = height;
        return *this;
    }

    TestBundle &media(const VMMediaConfiguration &media)
    {
        m_bundle.metadata.mediaConfiguration = media;
        return *this;
    }
    TestBundle &network(VMNetworkConfiguration network)
    {
        m_bundle.metadata.networkConfiguration = std::move(network);
        return *this;
    }
    TestBundle &savedState(VMSavedState state)
    {
        m_bundle.metadata.savedState = std::move(state);
        m_bundle.metadata.hasSavedState = true;
        return *this;
    }
    TestBundle &sharedFolders(QList<VMSharedFolder> folders)
    {
        m_bundle.sharedFolders = std::move(folders);
        return *this;
    }
    TestBundle &firstBoot(std::optional<VMFirstBootConfig> config)
    {
        m_bundle.firstBootConfig = std::move(config);
        return *this;
    }

    operator VMBundle() const { return m_bundle; }

private:
    VMBundle m_bundle;
};
