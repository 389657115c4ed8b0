// SPDX-License-Identifier: MIT
#pragma once

#include "LinuxDistroVariant.h"

#include <QHash>
#include <QList>
#include <QUuid>
#include <QWidget>

#include <optional>

class CreateVMWizardViewModel;
class LabGroupBox;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class SelectableCard;
struct LinuxDistribution;

/**
 * Where a new Linux guest is installed from: a distribution of the built-in
 * catalog (filtered by desktop or server) or a local ISO or disk image, and
 * its boot options. Writes every choice into the wizard; refresh() shows
 * the wizard's state. Children are named "linux.<control>"; distribution
 * rows "linux.distribution:<id>".
 */
class LinuxSourceStepView final : public QWidget
{
    Q_OBJECT

public:
    explicit LinuxSourceStepView(CreateVMWizardViewModel &wizard, QWidget *parent = nullptr);

    void refresh();

private:
    QWidget *makeCatalogGroup();
    QWidget *makeLocalGroup();
    QWidget *makeBootGroup();
    SelectableCard *makeDistributionRow(const LinuxDistribution &distribution);
    QPushButton *makeChip(const QString &symbol, const QString &title, const QString &objectName, std::optional<LinuxDistroVariant> filter);
    void styleChips();

    CreateVMWizardViewModel &m_wizard;
    QRadioButton *m_catalog = nullptr;
    QRadioButton *m_localISO = nullptr;
    LabGroupBox *m_catalogGroup = nullptr;
    QList<QPair<QPushButton *, std::optional<LinuxDistroVariant>>> m_chips;
    QHash<QUuid, SelectableCard *> m_rows;
    QLabel *m_noMatch = nullptr;
    LabGroupBox *m_localGroup = nullptr;
    QLabel *m_localPrompt = nullptr;
    QWidget *m_localChosen = nullptr;
    QLabel *m_localName = nullptr;
    QLabel *m_localFolder = nullptr;
    QLineEdit *m_commandLine = nullptr;
    QCheckBox *m_rosetta = nullptr;
};
