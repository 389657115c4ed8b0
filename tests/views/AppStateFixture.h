// SPDX-License-Identifier: MIT
#pragma once

#include "AppState.h"
#include "ScriptedVirtualMachineFactory.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "VMStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <gtest/gtest.h>

#include <memory>

/**
 * The whole application state in a temporary home: its library in
 * "<home>/Library", its settings in "<home>/config", machines that answer
 * from a script, no bundled resources. Tests add VMs to the library with addBundle().
 */
class AppStateFixture : public ::testing::Test
{
protected:
    AppStateFixture()
    {
        // Window sizes and other settings stay in the temporary home too, so no test sees another's.
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, m_home.path() + QStringLiteral("/config"));
        AppState::Options options;
        options.libraryRoot = m_home.path() + QStringLiteral("/Library");
        options.machineFactory = std::make_unique<ScriptedVirtualMachineFactory>();
        options.resources = ApplicationResources(std::nullopt);
        m_state = std::make_unique<AppState>(std::move(options));
    }

    /// How a VM added by addBundle() stands.
    enum class Install {
        /// Its system was never installed; the bundle holds no disk.
        none,
        /// Installed and stopped, with a small disk of 1 MiB.
        withDisk,
    };

    /// Adds a VM to the library, as the store saves it.
    VMBundle addBundle(const QString &name, VMGuestOSType guest, Install install = Install::none)
    {
        TestBundle built = TestBundle::in(m_state->vmStore().rootURL(), name)
                               .named(name)
                               .guest(guest)
                               .created(QDateTime(QDate(2026, 1, 1), QTime(9, 0), Qt::UTC))
                               .installSource(VMInstallSource::latestSupportedAutomatic());
        if (install == Install::withDisk)
            built.installed();
        VMBundle bundle = built;
        bundle.metadata.bundleName = name + QStringLiteral(".vm");
        bundle.metadata.normalize();
        QDir().mkpath(bundle.bundleURL);
        if (install == Install::withDisk) {
            QFile disk(bundle.layout().diskImageURL());
            EXPECT_TRUE(disk.open(QIODevice::WriteOnly) && disk.resize(qint64(1) << 20));
        }
        m_state->vmStore().updateBundle(bundle);
        return bundle;
    }

    /// Lets queued deliveries and deferred deletions run.
    static void settle()
    {
        for (int round = 0; round < 5; ++round) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    TemporaryHome m_home;
    std::unique_ptr<AppState> m_state;
};
