// SPDX-License-Identifier: MIT
#include "LinuxInstallSource.h"

LinuxInstallSource::LinuxInstallSource(Payload payload)
    : m_payload(std::move(payload))
{
}

LinuxInstallSource LinuxInstallSource::catalogDistribution(LinuxDistribution distribution)
{
    return LinuxInstallSource(Payload(std::in_place_type<LinuxDistribution>, std::move(distribution)));
}

LinuxInstallSource LinuxInstallSource::localISO(QUrl isoURL)
{
    return LinuxInstallSource(Payload(std::in_place_type<QUrl>, std::move(isoURL)));
}

LinuxInstallSource LinuxInstallSource::localKernel(QUrl kernelURL, std::optional<QUrl> initrdURL)
{
    return LinuxInstallSource(Payload(std::in_place_type<LocalKernel>, LocalKernel{std::move(kernelURL), std::move(initrdURL)}));
}

std::optional<LinuxDistribution> LinuxInstallSource::distribution() const
{
    if (const auto *distribution = std::get_if<LinuxDistribution>(&m_payload))
        return *distribution;
    return std::nullopt;
}

std::optional<QUrl> LinuxInstallSource::isoURL() const
{
    if (const auto *url = std::get_if<QUrl>(&m_payload))
        return *url;
    return std::nullopt;
}

std::optional<LinuxInstallSource::LocalKernel> LinuxInstallSource::kernel() const
{
    if (const auto *kernel = std::get_if<LocalKernel>(&m_payload))
        return *kernel;
    return std::nullopt;
}

QString LinuxInstallSource::summary() const
{
    switch (kind()) {
    case Kind::catalogDistribution: {
        const auto &distribution = std::get<LinuxDistribution>(m_payload);
        return QStringLiteral("Catalog Linux ISO (") + distribution.name + QLatin1Char(' ') + distribution.version + QStringLiteral(" (")
            + distribution.architecture + QStringLiteral("))");
    }
    case Kind::localISO:
        return QStringLiteral("Local Linux ISO (") + std::get<QUrl>(m_payload).fileName() + QLatin1Char(')');
    case Kind::localKernel: {
        const auto &kernel = std::get<LocalKernel>(m_payload);
        QString files = kernel.kernelURL.fileName();
        if (kernel.initrdURL)
            files += QStringLiteral(" + ") + kernel.initrdURL->fileName();
        return QStringLiteral("Local Linux Kernel (") + files + QLatin1Char(')');
    }
    }
    Q_UNREACHABLE();
}
