// SPDX-License-Identifier: MIT
#pragma once

#include "RestoreImageInfo.h"

#include <QList>
#include <QWidget>

class CreateVMWizardViewModel;
class InstallSourceOptionRow;
class LabGroupBox;
class QLayout;
class QLabel;
class QRadioButton;
class QVBoxLayout;

/**
 * Where a new macOS guest's restore image comes from: one of the recent
 * stable images the catalog offers, or a local .ipsw file. It says first
 * that this host cannot install macOS. Writes every choice into the wizard;
 * refresh() shows the wizard's state. Children are named "macOS.<control>".
 */
class MacOSSourceStepView final : public QWidget
{
    Q_OBJECT

public:
    explicit MacOSSourceStepView(CreateVMWizardViewModel &wizard, QWidget *parent = nullptr);

    void refresh();

private:
    QLayout *makeUnavailableNote();
    QLayout *makeSourcePicker();
    QWidget *makeAutomaticGroup();
    QWidget *makeLocalGroup();
    void rebuildRows();

    CreateVMWizardViewModel &m_wizard;
    QRadioButton *m_automatic;
    QRadioButton *m_local;
    LabGroupBox *m_automaticGroup;
    QLabel *m_automaticStatus;
    QWidget *m_rowsBox;
    QVBoxLayout *m_rowsLayout;
    QList<InstallSourceOptionRow *> m_rows;
    QList<RestoreImageInfo> m_shownOptions;
    LabGroupBox *m_localGroup;
    QLabel *m_localPrompt;
    QLabel *m_localName;
    QLabel *m_localBuild;
    QLabel *m_localPath;
};
