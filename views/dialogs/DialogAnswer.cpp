// SPDX-License-Identifier: MIT
#include "DialogAnswer.h"

#include <QDialog>
#include <QPointer>

#include <coroutine>
#include <memory>

namespace {

/**
 * Resumes the awaiting coroutine once, on a later turn of the event loop,
 * after the dialog finished or was destroyed. The answer is taken at once
 * from `finished`, so a dialog deleted right after it answered still
 * counts as answered.
 */
class Answer
{
public:
    explicit Answer(QDialog *dialog)
        : m_dialog(dialog)
    {
    }

    bool await_ready() const noexcept { return m_dialog.isNull(); }

    void await_suspend(std::coroutine_handle<> awaiting)
    {
        m_awaiting = awaiting;
        m_finished = QObject::connect(m_dialog.data(), &QDialog::finished, m_context.get(), [this](int result) {
            m_result = result;
            resumeLater();
        });
        m_destroyed = QObject::connect(m_dialog.data(), &QObject::destroyed, m_context.get(), [this] { resumeLater(); });
    }

    std::optional<int> await_resume() const noexcept { return m_result; }

private:
    void resumeLater()
    {
        // Disconnecting both keeps a deletion that follows the answer from resuming twice.
        QObject::disconnect(m_finished);
        QObject::disconnect(m_destroyed);
        QMetaObject::invokeMethod(
            m_context.get(), [awaiting = m_awaiting] { awaiting.resume(); }, Qt::QueuedConnection);
    }

    QPointer<QDialog> m_dialog;
    // Receives the signals and the queued resumption; it lives as long as the wait, however long the dialog lives.
    std::unique_ptr<QObject> m_context = std::make_unique<QObject>();
    QMetaObject::Connection m_finished;
    QMetaObject::Connection m_destroyed;
    std::coroutine_handle<> m_awaiting;
    std::optional<int> m_result;
};

} // namespace

QCoro::Task<std::optional<int>> DialogAnswer::open(QDialog *dialog)
{
    if (!dialog)
        co_return std::nullopt;
    dialog->open();
    co_return co_await Answer(dialog);
}
