// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

class QMessageBox;
class QWidget;
class QuitViewModel;

/**
 * Asks before the application quits while virtual machines run, rather than
 * letting them die with it. It watches the close of every window: closing
 * the last library window, or the last window of all, ends the application
 * (the Quit command closes every window), so while a VM runs such a close
 * is held back and a window-modal question on that window names the
 * running VMs, with "Stop VMs and Quit" and Cancel (the default). Stop VMs
 * and Quit stops them through the view model, shows that it does so in the
 * window, and then closes every window, which ends the application; a
 * close asked for meanwhile is held back without a second question.
 * Installs itself on the application; GUI thread.
 *
 * Objects: "quit.confirmation" with "quit.confirmation.stopAndQuit" and
 * "quit.confirmation.cancel", then "quit.stopping".
 *
 * @code
 * QuitConfirmation confirmation(quitViewModel);
 * @endcode
 */
class QuitConfirmation final : public QObject
{
    Q_OBJECT

public:
    explicit QuitConfirmation(QuitViewModel &viewModel, QObject *parent = nullptr);

    /**
     * The Quit command of `window`: while VMs run, asks on `window` before
     * any window closes, so that Cancel leaves every window open (a console
     * would otherwise close before the library window could ask); else
     * closes every window, which ends the application.
     */
    void quit(QWidget &window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    /// Whether closing `window` ends the application.
    static bool endsApplication(const QWidget &window);
    void ask(QWidget &window);
    void stopThenQuit(QWidget *window);

    QuitViewModel &m_viewModel;
    QPointer<QMessageBox> m_question;
    /// The VMs are stopped and the application is ending: every close goes through.
    bool m_quitting = false;
};
