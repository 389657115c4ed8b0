// SPDX-License-Identifier: MIT
#include "UnfinishedBundle.h"

#include "FileOperations.h"
#include "LoggingService.h"
#include "ProtectionMirror.h"
#include "VMStore.h"

#include <QDir>

#include <algorithm>

UnfinishedBundle::UnfinishedBundle(VMStore &store, const LoggingService &logging, QString bundleURL, QUuid id)
    : m_store(store)
    , m_logging(logging)
    , m_bundleURL(std::move(bundleURL))
    , m_id(id)
{
    const QString mirrorRoot = ProtectionMirror::mirrorRootURL(m_bundleURL);
    if (!FileOperations::itemExists(mirrorRoot))
        m_newMirrorRoot = mirrorRoot;
}

UnfinishedBundle::~UnfinishedBundle()
{
    if (m_kept)
        return;
    try {
        discard();
        // Only once empty: the mirror of a bundle made meanwhile beside ours keeps it.
        if (m_newMirrorRoot && FileOperations::isFolder(*m_newMirrorRoot))
            QDir().rmdir(*m_newMirrorRoot);
    } catch (const std::exception &error) {
        m_logging.log(
            QStringLiteral("Could not remove the unfinished VM at ") + m_bundleURL + QStringLiteral(": ") + QString::fromUtf8(error.what()),
            QStringLiteral("Wizard"));
    } catch (...) {
        // A destructor must not throw; the VM can still be deleted from the library.
    }
}

void UnfinishedBundle::discard() const
{
    if (m_store.bundle(m_id)) {
        m_store.deleteBundle(m_id);
        return;
    }
    // Never registered, or deleted meanwhile: only the folder this creation made can be left.
    const QString folder = QDir::cleanPath(m_bundleURL);
    const QList<VMBundle> &listed = m_store.bundles();
    const bool taken
        = std::any_of(listed.cbegin(), listed.cend(), [&](const VMBundle &bundle) { return QDir::cleanPath(bundle.bundleURL) == folder; });
    if (taken || !FileOperations::itemExists(m_bundleURL))
        return;
    m_store.removeBundleFromDisk(m_bundleURL);
    m_store.untrackBundle(m_bundleURL);
}
