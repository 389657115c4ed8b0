// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <variant>

/*
 * The directory-sharing part of a machine configuration: host folders a
 * guest sees through one virtio file-system device. Plain values; the
 * virtualization layer turns them into the engine's arguments.
 *
 *     MultipleDirectoryShare share;
 *     share.insert(QStringLiteral("Projects"), SharedDirectory{QStringLiteral("/home/me/Projects"), false});
 *     const VirtioFileSystemDeviceConfiguration device{QStringLiteral("my-tag"), share};
 */

/// One host folder offered to a guest.
struct SharedDirectory {
    /// The folder on the host, an absolute path.
    QString path;
    bool readOnly = false;

    bool operator==(const SharedDirectory &) const = default;
};

/// A share of exactly one folder, seen by the guest as the root of the mount.
struct SingleDirectoryShare {
    SharedDirectory directory;

    bool operator==(const SingleDirectoryShare &) const = default;
};

/**
 * A share of several folders, each under its own name, which the guest sees
 * as a folder of that name in the mount. Names are unique; the folders keep
 * the order in which they were first inserted, so the same table always
 * yields the same configuration.
 */
class MultipleDirectoryShare
{
public:
    struct Entry {
        QString name;
        SharedDirectory directory;

        bool operator==(const Entry &) const = default;
    };

    /// The longest name, in UTF-8 bytes, that a guest can hold as one folder name.
    static constexpr qsizetype maximumNameBytes = 255;

    /**
     * The form of `name` that can serve as a share name: surrounding white
     * space is trimmed, "/" and control characters become "-", and the text
     * is cut to maximumNameBytes without splitting a character. None
     * when nothing usable is left (empty, "." or "..").
     */
    static std::optional<QString> canonicalName(QStringView name);

    /// Adds `directory` under `name`, or replaces the folder already under that name in its place.
    void insert(const QString &name, const SharedDirectory &directory);

    bool contains(const QString &name) const;
    std::optional<SharedDirectory> directory(const QString &name) const;
    QStringList names() const;
    const QList<Entry> &entries() const { return m_entries; }
    bool isEmpty() const { return m_entries.isEmpty(); }

    bool operator==(const MultipleDirectoryShare &) const = default;

private:
    QList<Entry> m_entries;
};

using DirectoryShare = std::variant<SingleDirectoryShare, MultipleDirectoryShare>;

/// A virtio file-system device: the guest mounts `share` by `tag`.
struct VirtioFileSystemDeviceConfiguration {
    /// The tag a macOS guest mounts by itself, without being told to.
    static constexpr QStringView macOSGuestAutomountTag = u"com.apple.virtio-fs.automount";

    QString tag;
    DirectoryShare share;
    /**
     * A host folder that lasts as long as the machine does, in which the
     * folders of a multiple-directory share are put together, so that the
     * guest finds the same top folder after its saved state is restored.
     * Empty: a fresh one at every start, which a restored guest cannot
     * check its files against.
     */
    QString treeFolder = {};

    bool operator==(const VirtioFileSystemDeviceConfiguration &) const = default;
};
