// SPDX-License-Identifier: MIT
#pragma once

#include <QSet>
#include <QString>
#include <QUuid>

#include <optional>
#include <utility>

/**
 * The actions a view model is running, by VM and action name. A press of an
 * action that is already running on the same VM is ignored rather than sent
 * a second time, where it would only fail against the first ("cannot stop
 * while it is stopping"). GUI thread only; the owner outlives its tickets.
 *
 * @code
 * const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(id, u"stop");
 * if (!ticket)
 *     co_return; // already stopping
 * @endcode
 */
class ActionsInFlight
{
public:
    /// Marks one running action until destroyed. Move-only.
    class Ticket
    {
    public:
        Ticket(Ticket &&other) noexcept
            : m_owner(std::exchange(other.m_owner, nullptr))
            , m_key(std::move(other.m_key))
        {
        }
        Ticket &operator=(Ticket &&) = delete;
        Ticket(const Ticket &) = delete;
        Ticket &operator=(const Ticket &) = delete;
        ~Ticket()
        {
            if (m_owner)
                m_owner->m_running.remove(m_key);
        }

    private:
        friend class ActionsInFlight;
        Ticket(ActionsInFlight *owner, QString key)
            : m_owner(owner)
            , m_key(std::move(key))
        {
        }

        ActionsInFlight *m_owner;
        QString m_key;
    };

    /// A ticket for the action, or none when the same action runs on the VM already.
    std::optional<Ticket> begin(const QUuid &id, QStringView action)
    {
        QString key = id.toString() + QLatin1Char('/') + action.toString();
        if (m_running.contains(key))
            return std::nullopt;
        m_running.insert(key);
        return Ticket(this, std::move(key));
    }

    qsizetype count() const { return m_running.size(); }

private:
    QSet<QString> m_running;
};
