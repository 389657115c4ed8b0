// SPDX-License-Identifier: MIT
#pragma once

#include "LinuxDistribution.h"

#include <QString>
#include <QUrl>

#include <optional>
#include <variant>

/**
 * What a Linux guest is installed from: a row of the distribution catalog,
 * an ISO file on the user's disks, or a kernel file with an optional initial
 * ramdisk. Held in memory while a guest is created; it is never stored.
 *
 * @code
 * const auto source = LinuxInstallSource::localISO(QUrl::fromLocalFile(path));
 * label->setText(source.summary()); // "Local Linux ISO (debian-13.4.0-arm64-netinst.iso)"
 * @endcode
 */
class LinuxInstallSource
{
public:
    /// The cases in declaration order; comparisons take the case first.
    enum class Kind {
        catalogDistribution,
        localISO,
        localKernel,
    };

    /// A kernel file and, optionally, its initial ramdisk.
    struct LocalKernel {
        QUrl kernelURL;
        std::optional<QUrl> initrdURL;

        bool operator==(const LocalKernel &) const = default;
    };

    static LinuxInstallSource catalogDistribution(LinuxDistribution distribution);
    static LinuxInstallSource localISO(QUrl isoURL);
    static LinuxInstallSource localKernel(QUrl kernelURL, std::optional<QUrl> initrdURL = std::nullopt);

    Kind kind() const { return Kind(m_payload.index()); }
    /// Present only for catalogDistribution.
    std::optional<LinuxDistribution> distribution() const;
    /// Present only for localISO.
    std::optional<QUrl> isoURL() const;
    /// Present only for localKernel.
    std::optional<LocalKernel> kernel() const;

    /// One line for a person, e.g. "Local Linux Kernel (Image + initrd.img)".
    QString summary() const;

    bool operator==(const LinuxInstallSource &) const = default;

private:
    // Alternatives in Kind order, so that the index is the kind.
    using Payload = std::variant<LinuxDistribution, QUrl, LocalKernel>;

    explicit LinuxInstallSource(Payload payload);

    Payload m_payload;
};
