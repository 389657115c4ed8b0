// SPDX-License-Identifier: MIT
#include "GuestDisplayConnection.h"

GuestDisplayConnection::GuestDisplayConnection(QObject *parent)
    : QObject(parent)
{
}

GuestDisplayConnection::~GuestDisplayConnection() = default;
