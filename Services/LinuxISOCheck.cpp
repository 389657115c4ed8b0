// SPDX-License-Identifier: MIT
#include "LinuxISOCheck.h"

#include <QFileInfo>

namespace LinuxISOCheck {

std::optional<QString> refusal(const QString &path)
{
    return judge(QFileInfo(path).fileName(), ISOBootProbe::probe(path, probeBudget));
}

std::optional<QString> judge(const QString &fileName, ISOBootProbe::Answer answer)
{
    switch (answer) {
    case ISOBootProbe::Answer::arm64:
    case ISOBootProbe::Answer::unknown:
        return std::nullopt;
    case ISOBootProbe::Answer::notISO9660:
        return QStringLiteral("“%1” is not an ISO disc image, so the VM could not start from it. Choose a Linux installer ISO built "
                              "for arm64 (aarch64).")
            .arg(fileName);
    case ISOBootProbe::Answer::x86_64:
        return QStringLiteral("“%1” starts only on x86 (Intel/AMD) computers, and this VM is arm64. Choose the arm64 (aarch64) edition of "
                              "the Linux installer.")
            .arg(fileName);
    case ISOBootProbe::Answer::noLoaderFound:
        break;
    }
    return QStringLiteral("“%1” has no arm64 UEFI boot loader, so the VM would stop at the firmware shell. Choose a Linux installer ISO "
                          "built for arm64 (aarch64).")
        .arg(fileName);
}

} // namespace LinuxISOCheck
