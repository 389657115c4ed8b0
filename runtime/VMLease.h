// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

/**
 * One hold on something its owner keeps for a VM (an operation's exclusive
 * lease, a screen's share in the watching of a VM), given back exactly once
 * when the hold is destroyed or assigned over. Move-only; a default-made or
 * moved-from lease holds nothing. When the owner goes first there is nothing
 * to give back, and the lease no longer counts as held. GUI thread.
 *
 * @code
 * VMLease Owner::take(const QUuid &id)
 * {
 *     ++m_holds[id];
 *     return VMLease(*this, [this, id] { giveBack(id); });
 * }
 * @endcode
 */
class VMLease
{
public:
    VMLease() = default;
    /// `giveBack` runs once, and only while `owner` lives.
    VMLease(QObject &owner, std::function<void()> giveBack);
    VMLease(VMLease &&other) noexcept;
    VMLease &operator=(VMLease &&other) noexcept;
    VMLease(const VMLease &) = delete;
    VMLease &operator=(const VMLease &) = delete;
    ~VMLease();

    bool isHeld() const { return m_owner != nullptr; }

private:
    void release();

    QPointer<QObject> m_owner;
    std::function<void()> m_giveBack;
};
