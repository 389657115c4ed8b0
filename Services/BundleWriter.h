// SPDX-License-Identifier: MIT
#pragma once

class ProtectionMirror;
class TrackedBundles;
struct VMBundle;

/**
 * Puts one bundle on disk in full: the folder skeleton and its backup flag,
 * Metadata.json, SharedFolders.json, the first-boot manifest and the
 * restore-image record (each written whole and atomically), then strips the
 * quarantine mark from the host's own items (BundleQuarantine: never from
 * what the guest wrote, and never failing the write), refreshes the
 * protection mirror and records a bundle outside the library root as tracked.
 *
 * The metadata is written as given: the library store has already refreshed
 * and normalised it and holds access to the folder. The first failing step
 * ends the write and is thrown; files written before it stay.
 */
class BundleWriter
{
public:
    BundleWriter(const ProtectionMirror &mirror, const TrackedBundles &tracked);

    void writeBundle(const VMBundle &bundle) const;

private:
    const ProtectionMirror &m_mirror;
    const TrackedBundles &m_tracked;
};
