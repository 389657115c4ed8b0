// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QString>

#include <functional>

class QObject;

/**
 * Starts a view-model command from a widget's signal. The task runs to its
 * end even when `context` goes first (a command that has begun writing a
 * bundle must finish). View models report their own failures; anything that
 * still escapes the task is handed to `reportFailure` while `context` lives,
 * so it reaches the banner instead of vanishing with the task.
 *
 * @code
 * connect(button, &QPushButton::clicked, this, [this] {
 *     ViewCommand::start(*this, m_viewModel.importBundle(), bannerReport);
 * });
 * @endcode
 */
namespace ViewCommand {

using FailureReport = std::function<void(const QString &message)>;

void start(QObject &context, QCoro::Task<> task, FailureReport reportFailure = {});

} // namespace ViewCommand
