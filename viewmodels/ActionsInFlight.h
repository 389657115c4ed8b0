// SPDX-License-Identifier: MIT
#pragma once

#include <QSet>
#include <QString>
#include <QUuid>

#include <algorithm>
#include <functional>
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
    struct Running {
        QSet<QString> keys;
        std::function<void()> changed;

        void notify() const
        {
            if (changed)
                changed();
        }
    };

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
            if (const std::shared_ptr<Running> running = m_running.lock()) {
                running->keys.remove(m_key);
                running->notify();
            }
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
        if (m_running->keys.contains(key))
            return std::nullopt;
        m_running->keys.insert(key);
        Ticket ticket(m_running, std::move(key));
        m_running->notify();
        return ticket;
    }

    qsizetype count() const { return m_running->keys.size(); }

    /// Calls `changed` each time an action begins or ends (for a busy flag that follows the running actions).
    void setChangeHandler(std::function<void()> changed) { m_running->changed = std::move(changed); }

    /// Whether any action runs on the VM now.
    bool runsOn(const QUuid &id) const
    {
        const QString prefix = id.toString() + QLatin1Char('/');
        return std::any_of(
            m_running->keys.cbegin(), m_running->keys.cend(), [&prefix](const QString &key) { return key.startsWith(prefix); });
    }

private:
    std::shared_ptr<Running> m_running = std::make_shared<Running>();
};
