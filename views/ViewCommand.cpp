// SPDX-License-Identifier: MIT
#include "ViewCommand.h"

#include <QDebug>
#include <QObject>
#include <QPointer>

#include <exception>

namespace {

QCoro::Task<> runReporting(QCoro::Task<> task, QPointer<QObject> context, ViewCommand::FailureReport reportFailure)
{
    QString failure;
    try {
        co_await std::move(task);
        co_return;
    } catch (const std::exception &error) {
        failure = QString::fromUtf8(error.what());
    } catch (...) {
        failure = QStringLiteral("The action failed.");
    }
    if (context && reportFailure)
        reportFailure(failure);
    else
        qWarning().noquote() << "A command failed after its window closed:" << failure;
}

} // namespace

void ViewCommand::start(QObject &context, QCoro::Task<> task, FailureReport reportFailure)
{
    // connect() keeps the task alive through then(); only its empty callback depends on `context`.
    QCoro::connect(runReporting(std::move(task), QPointer<QObject>(&context), std::move(reportFailure)), &context, [] {});
}
