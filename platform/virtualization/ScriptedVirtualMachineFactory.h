// SPDX-License-Identifier: MIT
#pragma once

#include "ScriptedVirtualMachine.h"
#include "VirtualMachineFactory.h"
#include "VirtualMachineScript.h"

#include <QList>
#include <QPointer>
#include <QStringList>

/**
 * The factory that tests inject in place of QEMU's: it records every
 * configuration it is given and makes ScriptedVirtualMachine objects, each
 * starting with a copy of the factory's script.
 *
 * @code
 * ScriptedVirtualMachineFactory machines;
 * machines.script().enqueue(VirtualMachineScript::Operation::start, ScriptedAnswer::failure(error));
 * VMRuntimeService runtime(..., machines);
 * ...
 * EXPECT_EQ(machines.configurations().size(), 1);
 * machines.lastMachine()->raiseGuestDidStop();
 * @endcode
 */
class ScriptedVirtualMachineFactory final : public VirtualMachineFactory
{
public:
    bool isSupported() const override { return m_supported; }
    void setSupported(bool supported) { m_supported = supported; }

    std::unique_ptr<VirtualMachine> makeVirtualMachine(const VirtualMachineConfiguration &configuration, const QString &logDirectory) override;

    /// The script each machine made from now on starts with.
    VirtualMachineScript &script() { return m_script; }
    /// The display socket path each machine made from now on reports.
    void setDisplaySocketPath(const QString &path) { m_displaySocketPath = path; }
    /// Every configuration given, in order.
    const QList<VirtualMachineConfiguration> &configurations() const { return m_configurations; }
    const QStringList &logDirectories() const { return m_logDirectories; }
    /// The machines made so far that still exist, in the order they were made.
    QList<ScriptedVirtualMachine *> machines() const;
    /// The machine made last, while it exists.
    ScriptedVirtualMachine *lastMachine() const;

private:
    bool m_supported = true;
    VirtualMachineScript m_script;
    QList<VirtualMachineConfiguration> m_configurations;
    QStringList m_logDirectories;
    QList<QPointer<ScriptedVirtualMachine>> m_machines;
    QString m_displaySocketPath;
};
