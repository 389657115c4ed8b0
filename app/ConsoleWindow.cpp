// SPDX-License-Identifier: MIT
#include "ConsoleWindow.h"

#include "VMConsoleView.h"
#include "VMConsoleViewModel.h"
#include "VirtualMachineSession.h"

#include <QCloseEvent>
#include <QSettings>
#include <QVBoxLayout>

ConsoleWindow::ConsoleWindow(VirtualMachineSession &session, QWidget *content)
    : ConsoleWindow(session.id())
{
    setSession(session, content);
}

ConsoleWindow::ConsoleWindow(const VMBundle &bundle, QWidget *content)
    : ConsoleWindow(bundle.id())
{
    setSessionlessContent(bundle, content);
}

ConsoleWindow::ConsoleWindow(const QUuid &id)
    : QWidget(nullptr, Qt::Window)
    , m_sessionID(id)
{
    setObjectName(QStringLiteral("consoleWindow"));
    setMinimumSize(820, 620);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void ConsoleWindow::setSessionlessContent(const VMBundle &bundle, QWidget *content)
{
    m_session = nullptr;
    disconnect(m_titleConnection);
    disconnect(m_contentSessionConnection);
    replaceContent(content);
    setWindowTitle(bundle.metadata.name + QStringLiteral(" Console"));
}

void ConsoleWindow::replaceContent(QWidget *content)
{
    if (content == m_content)
        return;
    if (m_content)
        m_content->deleteLater(); // a replaced console view must not keep its connection to the guest's display
    m_content = content;
    if (m_content)
        layout()->addWidget(m_content);
}

void ConsoleWindow::setSession(VirtualMachineSession &session, QWidget *content)
{
    replaceContent(content);
    showSession(session);
    followContentSession(content);
}

void ConsoleWindow::showSession(VirtualMachineSession &session)
{
    m_session = &session;
    disconnect(m_titleConnection);
    m_titleConnection = connect(&session, &VirtualMachineSession::bundleChanged, this, &ConsoleWindow::updateTitle);
    updateTitle();
}

void ConsoleWindow::followContentSession(QWidget *content)
{
    // After an error, a settings change or a disk growth the coordinator drops the VM's session, and a start
    // from this console runs a new one. The console view moves to it; the window's title and clipboard sync
    // must too, or they hold on to a session that no longer runs anything.
    disconnect(m_contentSessionConnection);
    const auto *console = qobject_cast<const VMConsoleView *>(content);
    if (!console)
        return;
    const VMConsoleViewModel *model = &console->viewModel();
    m_contentSessionConnection = connect(model, &VMConsoleViewModel::sessionChanged, this, [this, model] {
        VirtualMachineSession *session = model->session().get();
        if (!session || session == m_session)
            return;
        showSession(*session);
        if (onSessionReplaced)
            onSessionReplaced(session);
    });
}

QString ConsoleWindow::autosaveName() const
{
    return QStringLiteral("VMConsole-") + m_sessionID.toString(QUuid::WithoutBraces).toUpper();
}

bool ConsoleWindow::restoreSavedGeometry()
{
    const QByteArray saved = QSettings().value(autosaveName()).toByteArray();
    return !saved.isEmpty() && restoreGeometry(saved);
}

void ConsoleWindow::closeEvent(QCloseEvent *event)
{
    QSettings().setValue(autosaveName(), saveGeometry());
    event->accept();
    if (onClose)
        onClose(m_sessionID);
}

void ConsoleWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && onBecomeKey)
        onBecomeKey(m_session);
}

void ConsoleWindow::updateTitle()
{
    if (m_session)
        setWindowTitle(m_session->bundle().metadata.name + QStringLiteral(" Console"));
}
