// SPDX-License-Identifier: MIT
#include "QEMUConsoleViewModel.h"

#include "LoggingService.h"
#include "QEMUEngine.h"
#include "VirtualMachineCoordinator.h"

#include <QPointer>

QEMUConsoleViewModel::QEMUConsoleViewModel(VMBundle bundle, VirtualMachineCoordinator &coordinator, const QEMUEngine &engine,
    const LoggingService &logging, std::function<void()> closeHandler, QObject *parent)
    : QObject(parent)
    , m_bundle(std::move(bundle))
    , m_coordinator(coordinator)
    , m_engine(engine)
    , m_logging(logging)
    , m_closeHandler(std::move(closeHandler))
    , m_lastState(runtimeState())
{
    m_inFlight.setChangeHandler([this] { Q_EMIT busyChanged(); });
    // The coordinator announces that some VM may have changed; pass on only changes of this one.
    connect(&m_coordinator, &VirtualMachineCoordinator::runtimeStatesChanged, this, [this] {
        const VMRuntimeState state = runtimeState();
        if (state == m_lastState)
            return;
        m_lastState = state;
        Q_EMIT runtimeStateChanged();
    });
}

QEMUConsoleViewModel::~QEMUConsoleViewModel() = default;

VMRuntimeState QEMUConsoleViewModel::runtimeState() const
{
    return m_coordinator.effectiveRuntimeState(m_bundle.id());
}

VMDetailsActions::Inputs QEMUConsoleViewModel::actionInputs() const
{
    VMBundle shown = m_bundle;
    shown.metadata.runtimeState = runtimeState();
    return {std::move(shown), isBusy(), {}, {}, {}};
}

QString QEMUConsoleViewModel::displaySocketPath() const
{
    if (displayLink() != ConsoleDisplayLink::attach)
        return {};
    return m_engine.runtimeFolder(m_bundle) + QLatin1Char('/') + QEMUEngine::displaySocketName.toString();
}

void QEMUConsoleViewModel::setErrorMessage(const std::optional<QString> &message)
{
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

QCoro::Task<> QEMUConsoleViewModel::stop()
{
    const QUuid id = m_bundle.id();
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(id, u"stop");
    if (!ticket)
        co_return;
    const QPointer<QEMUConsoleViewModel> self(this);
    try {
        co_await m_coordinator.stop(id);
    } catch (const std::exception &error) {
        if (self) {
            const QString text = QString::fromUtf8(error.what());
            setErrorMessage(text);
            m_logging.log(text, QStringLiteral("Console"));
        }
    }
}

void QEMUConsoleViewModel::close() const
{
    if (m_closeHandler)
        m_closeHandler();
}
