// SPDX-License-Identifier: MIT
#include "FileChooser.h"

QCoro::Task<QStringList> FileChooser::chooseSeveral(FileChoiceRequest request)
{
    const std::optional<QString> chosen = co_await choose(std::move(request));
    co_return chosen ? QStringList {*chosen} : QStringList();
}
