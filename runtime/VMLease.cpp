// SPDX-License-Identifier: MIT
#include "VMLease.h"

#include <utility>

VMLease::VMLease(QObject &owner, std::function<void()> giveBack)
    : m_owner(&owner)
    , m_giveBack(std::move(giveBack))
{
}

VMLease::VMLease(VMLease &&other) noexcept
    : m_owner(std::exchange(other.m_owner, nullptr))
    , m_giveBack(std::exchange(other.m_giveBack, {}))
{
}

VMLease &VMLease::operator=(VMLease &&other) noexcept
{
    if (this != &other) {
        release();
        m_owner = std::exchange(other.m_owner, nullptr);
        m_giveBack = std::exchange(other.m_giveBack, {});
    }
    return *this;
}

VMLease::~VMLease() { release(); }

void VMLease::release()
{
    const std::function<void()> giveBack = std::exchange(m_giveBack, {});
    if (std::exchange(m_owner, nullptr) && giveBack)
        giveBack();
}
