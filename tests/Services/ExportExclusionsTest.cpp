// SPDX-License-Identifier: MIT
#include "ExportExclusions.h"

#include <gtest/gtest.h>

namespace {

struct stat statusOf(mode_t type)
{
    struct stat status {
    };
    status.st_mode = type | 0755;
    return status;
}

} // namespace

TEST(ExportExclusionsTest, RestoreImagesAreMatchedByTheirExactExtension)
{
    const struct {
        const char *name;
        bool isRestoreImage;
    } table[] = {
        {"image.ipsw", true}, {"UniversalMac_15.0.ipsw", true}, {"image.IPSW", false}, {"image.ipsw.part", false},
        {"RestoreImage.json", false}, {".ipsw", false}, {"ipsw", false}, {"image.", false},
    };
    for (const auto &row : table)
        EXPECT_EQ(ExportExclusions::isRestoreImageFileName(QString::fromUtf8(row.name)), row.isRestoreImage) << row.name;
}

TEST(ExportExclusionsTest, WhatTravelsInAnArchive)
{
    const struct {
        const char *path;
        mode_t type;
        bool withNothing;
        bool withEverything;
    } table[] = {
        {"Snapshots", S_IFDIR, false, true},
        {"Snapshots", S_IFLNK, true, true},
        {"Logs", S_IFDIR, false, true},
        {"SavedState", S_IFDIR, false, true},
        {"SavedState", S_IFREG, true, true},
        {"RestoreImages", S_IFDIR, true, true},
        {"RestoreImages/image.ipsw", S_IFREG, false, true},
        {"RestoreImages/folder.ipsw", S_IFDIR, false, true},
        {"RestoreImages/image.IPSW", S_IFREG, true, true},
        {"RestoreImages/RestoreImage.json", S_IFREG, true, true},
        {"RestoreImages/deeper/image.ipsw", S_IFREG, true, true},
        {"image.ipsw", S_IFREG, true, true},
        {"Bootstrap/Logs", S_IFDIR, true, true},
        {"Disk.img", S_IFREG, true, true},
    };
    VMExportConfiguration everything;
    everything.includeSnapshots = everything.includeRestoreImages = everything.includeLogs = everything.includeSavedState = true;
    VMExportConfiguration nothing;
    nothing.includeSavedState = false;
    for (const auto &row : table) {
        const QString path = QString::fromUtf8(row.path);
        EXPECT_EQ(ExportExclusions(nothing).travelsInArchive(path, statusOf(row.type)), row.withNothing) << row.path;
        EXPECT_EQ(ExportExclusions(everything).travelsInArchive(path, statusOf(row.type)), row.withEverything) << row.path;
    }
}
