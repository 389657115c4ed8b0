// SPDX-License-Identifier: MIT
#include "VMConsoleWindowManager.h"

#include "ConsoleWindow.h"
#include "VMHardwareProfile.h"
#include "VirtualMachineSession.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

VMConsoleWindowManager::VMConsoleWindowManager(QObject *parent)
    : QObject(parent)
{
}

VMConsoleWindowManager::~VMConsoleWindowManager()
{
    for (const QPointer<ConsoleWindow> &window : std::as_const(m_windows)) {
        if (window) {
            window->onClose = nullptr;
            window->onBecomeKey = nullptr;
            window->onSessionReplaced = nullptr;
            delete window.data();
        }
    }
}

void VMConsoleWindowManager::openConsole(VirtualMachineSession &session, QWidget *content)
{
    ConsoleWindow *window = this->window(session.id());
    if (window)
        window->setSession(session, content);
    else
        window = keep(new ConsoleWindow(session, content), session.bundle().metadata.hardwareProfile);
    present(*window);
    report(&session);
}

void VMConsoleWindowManager::openSessionlessConsole(const VMBundle &bundle, QWidget *content)
{
    ConsoleWindow *window = this->window(bundle.id());
    if (window)
        window->setSessionlessContent(bundle, content);
    else
        window = keep(new ConsoleWindow(bundle, content), bundle.metadata.hardwareProfile);
    present(*window);
    report(nullptr);
}

ConsoleWindow *VMConsoleWindowManager::keep(ConsoleWindow *window, const VMHardwareProfile &profile)
{
    if (!window->restoreSavedGeometry()) {
        const QScreen *screen = QGuiApplication::primaryScreen();
        const QRectF rect = initialContentRect(profile, screen ? std::optional(QRectF(screen->availableGeometry())) : std::nullopt);
        window->setGeometry(rect.toRect());
    }
    // The window calls back only while this manager exists.
    const QPointer<VMConsoleWindowManager> self(this);
    window->onClose = [self](const QUuid &closed) {
        if (self)
            self->windowClosed(closed);
    };
    window->onBecomeKey = [self](VirtualMachineSession *active) {
        if (self)
            self->report(active);
    };
    window->onSessionReplaced = [self, id = window->sessionID()](VirtualMachineSession *replacement) {
        if (self)
            self->sessionReplaced(id, replacement);
    };
    m_windows.insert(window->sessionID(), window);
    return window;
}

void VMConsoleWindowManager::present(ConsoleWindow &window)
{
    window.show();
    window.raise();
    window.activateWindow();
}

void VMConsoleWindowManager::closeWindow(const QUuid &bundleID)
{
    if (ConsoleWindow *window = this->window(bundleID))
        window->close();
}

ConsoleWindow *VMConsoleWindowManager::window(const QUuid &bundleID) const
{
    return m_windows.value(bundleID).data();
}

void VMConsoleWindowManager::windowClosed(const QUuid &bundleID)
{
    const QPointer<ConsoleWindow> closed = m_windows.take(bundleID);
    if (closed)
        closed->deleteLater(); // not inside its own close event
    VirtualMachineSession *active = nullptr;
    for (const QPointer<ConsoleWindow> &window : std::as_const(m_windows)) {
        if (window && window->isActiveWindow()) {
            active = window->session();
            break;
        }
    }
    report(active);
}

void VMConsoleWindowManager::sessionReplaced(const QUuid &bundleID, VirtualMachineSession *session)
{
    if (bundleID == m_reportedID)
        report(session);
}

void VMConsoleWindowManager::report(VirtualMachineSession *session)
{
    m_reportedID = session ? session->id() : QUuid();
    if (m_onActiveSessionChange)
        m_onActiveSessionChange(session);
}

QRectF VMConsoleWindowManager::initialContentRect(const VMHardwareProfile &profile, const std::optional<QRectF> &availableArea)
{
    const QRectF area = availableArea.value_or(QRectF(0, 0, 1440, 900));
    const double width = std::min(std::max(double(profile.displayWidth) * 0.82, 980.0), area.width() * 0.92);
    const double height = std::min(std::max(double(profile.displayHeight) * 0.82 + 92.0, 760.0), area.height() * 0.92);
    return QRectF(area.center().x() - width / 2, area.center().y() - height / 2, width, height);
}
