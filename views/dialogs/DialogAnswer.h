// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>

#include <optional>

class QDialog;

namespace DialogAnswer {

/**
 * Opens `dialog` with open() and waits for its answer: the result code it
 * finished with, or none when it was destroyed unanswered (its parent
 * window went away). Never waits forever on a dialog that is gone.
 *
 * The dialog is not deleted here and must not delete itself on close
 * (WA_DeleteOnClose would take it away before the caller reads its
 * choice): the caller reads what it needs, through a QPointer, and then
 * calls deleteLater().
 */
QCoro::Task<std::optional<int>> open(QDialog *dialog);

} // namespace DialogAnswer
