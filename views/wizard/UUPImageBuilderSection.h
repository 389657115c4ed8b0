// SPDX-License-Identifier: MIT
#pragma once

#include "WizardDesktop.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class CreateVMWizardViewModel;
class QVBoxLayout;

/**
 * The expert route to a Windows 11 ARM64 image: built from the vendor's
 * update servers with the UUP dump tools, outside this application. Shows
 * whether the four programs the build needs are installed, copies the
 * command that installs them, and leads back to choosing a ready image.
 * The tool check runs again each time the section is shown.
 * Children: "uup.tool:<name>", "uup.copyCommand", "uup.command", "uup.selectImage".
 */
class UUPImageBuilderSection final : public QWidget
{
    Q_OBJECT

public:
    struct RequiredTool {
        QString name;
        bool isInstalled = false;
        bool operator==(const RequiredTool &) const = default;
    };

    static const QStringList &toolNames();
    static const QStringList &toolSearchFolders();
    static QString installCommand();
    /// Each tool in order, installed when a program of its name is in one of the folders.
    static QList<RequiredTool> requiredTools(const std::function<bool(const QString &)> &isProgram);

    UUPImageBuilderSection(CreateVMWizardViewModel &wizard, WizardDesktop desktop, QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;

private:
    void showTools();

    CreateVMWizardViewModel &m_wizard;
    WizardDesktop m_desktop;
    QWidget *m_tools;
    QVBoxLayout *m_toolRows;
};
