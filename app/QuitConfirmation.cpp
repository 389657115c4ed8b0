// SPDX-License-Identifier: MIT
#include "QuitConfirmation.h"

#include "QuitViewModel.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoroTask>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QStringList>

namespace {

/// A window that keeps the application running while it is open (what Qt counts for "last window closed").
bool keepsApplicationRunning(const QWidget &window)
{
    return window.isWindow() && !window.parentWidget() && window.testAttribute(Qt::WA_QuitOnClose) && window.windowType() != Qt::Popup
        && window.windowType() != Qt::ToolTip && window.windowType() != Qt::Desktop;
}

bool isLibraryWindow(const QWidget &window)
{
    return qobject_cast<const QMainWindow *>(&window) != nullptr;
}

QString question(const QList<VMBundle> &running)
{
    if (running.size() == 1)
        return QuitConfirmation::tr("%1 is running. Quitting Zovozu VM Lab stops it.").arg(running.first().metadata.name);
    QStringList names;
    for (const VMBundle &vm : running)
        names << vm.metadata.name;
    names.sort(Qt::CaseInsensitive);
    return QuitConfirmation::tr("These virtual machines are running:\n%1\n\nQuitting Zovozu VM Lab stops them.")
        .arg(names.join(QLatin1Char('\n')));
}

} // namespace

QuitConfirmation::QuitConfirmation(QuitViewModel &viewModel, QObject *parent)
    : QObject(parent)
    , m_viewModel(viewModel)
{
    QCoreApplication::instance()->installEventFilter(this);
}

bool QuitConfirmation::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Close || m_quitting || !watched->isWidgetType())
        return false;
    auto *window = static_cast<QWidget *>(watched);
    if (!endsApplication(*window))
        return false;
    if (m_viewModel.isStopping()) {
        event->ignore();
        return true;
    }
    if (m_viewModel.runningVMs().isEmpty())
        return false;
    event->ignore();
    if (!m_question)
        ask(*window);
    return true;
}

void QuitConfirmation::quit(QWidget &window)
{
    if (m_viewModel.isStopping())
        return;
    if (!m_viewModel.runningVMs().isEmpty()) {
        if (!m_question)
            ask(window);
        return;
    }
    QApplication::closeAllWindows();
}

bool QuitConfirmation::endsApplication(const QWidget &window)
{
    if (!keepsApplicationRunning(window))
        return false;
    // With no library window left the application has no menu to go on with, so the last one closing is quitting too.
    bool otherWindow = false;
    bool otherLibrary = false;
    for (const QWidget *other : QApplication::topLevelWidgets()) {
        if (other == &window || !other->isVisible() || !keepsApplicationRunning(*other))
            continue;
        otherWindow = true;
        otherLibrary = otherLibrary || isLibraryWindow(*other);
    }
    return !otherWindow || (isLibraryWindow(window) && !otherLibrary);
}

void QuitConfirmation::ask(QWidget &window)
{
    auto *box = new QMessageBox(
        QMessageBox::Warning, tr("Quit Zovozu VM Lab?"), question(m_viewModel.runningVMs()), QMessageBox::NoButton, &window);
    box->setObjectName(QStringLiteral("quit.confirmation"));
    box->setTextFormat(Qt::PlainText); // VM names come from bundles
    box->setWindowModality(Qt::WindowModal);
    QPushButton *stop = box->addButton(tr("Stop VMs and Quit"), QMessageBox::DestructiveRole);
    stop->setObjectName(QStringLiteral("quit.confirmation.stopAndQuit"));
    QPushButton *cancel = box->addButton(QMessageBox::Cancel);
    cancel->setObjectName(QStringLiteral("quit.confirmation.cancel"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    const QPointer<QWidget> asker(&window);
    connect(box, &QMessageBox::finished, this, [this, box, stop, asker] {
        const bool confirmed = box->clickedButton() == stop;
        box->deleteLater();
        if (confirmed)
            stopThenQuit(asker);
    });
    m_question = box;
    box->open();
}

void QuitConfirmation::stopThenQuit(QWidget *window)
{
    // No cancel button: a stop already asked of a machine cannot be taken back.
    auto *progress = new QProgressDialog(tr("Stopping virtual machines…"), QString(), 0, 0, window);
    progress->setObjectName(QStringLiteral("quit.stopping"));
    progress->setWindowTitle(tr("Quitting"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->open();
    const QPointer<QProgressDialog> shown(progress);
    QCoro::connect(m_viewModel.stopRunningVMs(), this, [this, shown] {
        if (shown) {
            shown->close();
            shown->deleteLater();
        }
        // The application ends as its last window closes. A window that refuses to close keeps it open, and
        // with it the question for VMs started later.
        m_quitting = true;
        QApplication::closeAllWindows();
        m_quitting = false;
    });
}
