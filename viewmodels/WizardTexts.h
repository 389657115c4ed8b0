// SPDX-License-Identifier: MIT
#pragma once

#include "CreateVMWizardViewModel.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

/**
 * The fixed and derived texts of the new-VM wizard: step titles, the header
 * of each guest, the guest cards, display labels and the review summary.
 * Pure functions of their arguments, so they are tested without widgets.
 */
namespace WizardTexts {

QString stepTitle(CreateVMWizardViewModel::Step step);
QString headerTitle(VMGuestOSType guest);
QString headerSubtitle(VMGuestOSType guest);
QString guestSymbol(VMGuestOSType guest);
QString guestCardName(VMGuestOSType guest);
/// The card's line under the guest's name; the Windows card names the install command only for `missingPackages`.
QString guestCardDescription(VMGuestOSType guest, const QStringList &missingPackages = {});
/// "1920 x 1200".
QString displayPresetLabel(VMHardwareProfile::DisplayPreset preset);
/// The whole part of a size, clamped into the int range; NaN reads as 0.
int wholeNumber(double value);

/// The review's rows, label and value, in order, for the wizard's current choices.
QList<QPair<QString, QString>> reviewRows(const CreateVMWizardViewModel &wizard);
/// What Create will do, shown before it is pressed; for Windows, how to install `missingPackages` when there are any.
QString reviewNote(VMGuestOSType guest, const QStringList &missingPackages = {});

} // namespace WizardTexts
