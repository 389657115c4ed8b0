// SPDX-License-Identifier: MIT
#pragma once

#include <QSet>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>
#include <utility>

/**
 * The actions a view model is running, by VM and action name. A press of an
 * action that is already running on the same VM is ignored rather than sent
 * a second time, where it would only fail against the first ("cannot stop
 * while it is stopping"). A ticket may outlive its owner (a view model
 * destroyed while its action awaits): it then releases nothing. GUI thread
 * only.
 *
 * @code
 * const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(id, u"stop");
 * if (!ticket)
 *     co_return; // already stopping
 * @endcode
 */
class ActionsInFlight
{
    using Running = QSet<QString>;

public:
    /// Marks one running action until destroyed. Move-only.
    class Ticket
    {
    public:
        Ticket(Ticket &&other) noexcept = default;
        Ticket &operator=(Ticket &&) = delete;
        Ticket(const Ticket &) = delete;
        Ticket &operator=(const Ticket &) = delete;
        ~Ticket()
        {
            if (const std::shared_ptr<Running> running = m_running.lock())
                running->remove(m_key);
        }

    private:
        friend class ActionsInFlight;
        Ticket(std::weak_ptr<Running> running, QString key)
            : m_running(std::move(running))
            , m_key(std::move(key))
        {
        }

        std::weak_ptr<Running> m_running;
        QString m_key;
    };

    /// A ticket for the action, or none when the same action runs on the VM already.
    std::optional<Ticket> begin(const QUuid &id, QStringView action)
    {
        QString key = id.toString() + QLatin1Char('/') + action.toString();
        if (m_running->contains(key))
            return std::nullopt;
        m_running->insert(key);
        return Ticket(m_running, std::move(key));
    }

    qsizetype count() const { return m_running->size(); }

private:
    std::shared_ptr<Running> m_running = std::make_shared<Running>();
};
