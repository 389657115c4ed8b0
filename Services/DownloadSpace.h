// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <functional>

/**
 * Whether a download may write more into the volume that holds a folder.
 * A download stops while `reserve` bytes are still free rather than take the
 * last of them: the system, the logs and the writes that finish a download
 * still need room. The volume is measured again at every question, so space
 * that other programs take meanwhile counts too, and a body of no announced
 * length cannot fill the disk.
 *
 * @code
 * const DownloadSpace space(folder);
 * if (!space.allows(chunk.size()))
 *     refuse();
 * @endcode
 */
class DownloadSpace
{
public:
    /// Free bytes on the volume of a folder; throws PlatformError when it cannot be measured.
    using Measure = std::function<quint64(const QString &folder)>;

    static constexpr quint64 reserve = 64 * 1024 * 1024;

    /// Measures with FileMeasurements::availableSpace when `measure` is empty.
    explicit DownloadSpace(QString folder, Measure measure = {});

    /// False when writing `bytes` more would leave less than the reserve free. A volume that cannot be measured allows it: the writes will tell.
    bool allows(quint64 bytes) const;

    /// What a refusal of `bytes` tells the user: "65.8 MB are needed, including a reserve of 64 MB kept free".
    static QString neededText(quint64 bytes);

private:
    QString m_folder;
    Measure m_measure;
};
