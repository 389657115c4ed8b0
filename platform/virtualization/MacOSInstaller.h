// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QString>

class VirtualMachine;

/**
 * Installs macOS from a restore image into the disk of a machine made from
 * an install-time configuration. QEMU cannot boot macOS, so on this host
 * install() always fails with VirtualizationError (notSupported) and leaves
 * the machine and its disk untouched.
 */
class MacOSInstaller
{
public:
    MacOSInstaller(VirtualMachine &virtualMachine, QString restoreImageURL);

    QCoro::Task<> install();

    VirtualMachine &virtualMachine() const { return m_virtualMachine; }
    const QString &restoreImageURL() const { return m_restoreImageURL; }

    /// False here: QEMU cannot boot macOS.
    static bool isAvailableOnThisHost() { return false; }
    static QString unavailableDescription();

private:
    VirtualMachine &m_virtualMachine;
    QString m_restoreImageURL;
};
