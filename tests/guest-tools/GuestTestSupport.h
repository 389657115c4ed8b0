// SPDX-License-Identifier: MIT
#pragma once

#include "core/DozizidOdezuConstants.h"
#include "core/ISO8601.h"
#include "core/MountTable.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

/**
 * Helpers of the guest-tools tests: a temporary folder that goes with the
 * test, whole-file reads and writes, executable fake scripts, and a fixed
 * point in time.
 */
namespace GuestTestSupport {

namespace fs = std::filesystem;

class TemporaryDirectory
{
public:
    TemporaryDirectory()
    {
        std::string pattern = (fs::temp_directory_path() / "guest-tools-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TemporaryDirectory()
    {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    TemporaryDirectory(const TemporaryDirectory &) = delete;
    TemporaryDirectory &operator=(const TemporaryDirectory &) = delete;

    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

inline void writeFile(const fs::path &path, const std::string &content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

inline std::string readFile(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

/// A /bin/sh script at `path`, made executable.
inline void writeScript(const fs::path &path, const std::string &body)
{
    writeFile(path, "#!/bin/sh\n" + body);
    ::chmod(path.c_str(), 0755);
}

/// The file names in a folder, sorted; none when it does not exist.
inline std::vector<std::string> fileNames(const fs::path &folder)
{
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator entry(folder, error); !error && entry != fs::directory_iterator(); entry.increment(error))
        names.push_back(entry->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

inline std::vector<std::string> lines(const std::string &text)
{
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
        result.push_back(line);
    return result;
}

/**
 * A mount table for a tree that stands for the guest's volumes: the folders
 * mounted here are file systems of their own, everything else lies on the
 * startup disk. Locators made from lookup() see later mounts too.
 */
class FakeMounts
{
public:
    void mount(const fs::path &mountPoint, std::string type, std::string source)
    {
        (*m_table)[mountPoint] = GuestTools::MountedFileSystem{std::move(type), std::move(source), mountPoint};
    }
    /// The host's automation share device, mounted as a macOS guest mounts it.
    void mountHostShare(const fs::path &mountPoint)
    {
        mount(mountPoint, std::string(GuestTools::DozizidOdezuConstants::virtioFileSystemType),
              std::string(GuestTools::DozizidOdezuConstants::macOSGuestShareTag));
    }

    GuestTools::MountLookup lookup() const
    {
        return [table = m_table](const fs::path &path) {
            GuestTools::MountedFileSystem holding{"apfs", "/dev/disk3s1s1", "/"};
            for (const auto &[mountPoint, mounted] : *table) {
                const fs::path relative = path.lexically_relative(mountPoint);
                const bool inside = !relative.empty() && *relative.begin() != "..";
                if (inside && mountPoint.string().size() >= holding.mountPoint.string().size())
                    holding = mounted;
            }
            return std::optional(holding);
        };
    }

private:
    using Table = std::map<fs::path, GuestTools::MountedFileSystem>;
    std::shared_ptr<Table> m_table = std::make_shared<Table>();
};

/// 2024-05-06T07:08:09Z.
inline GuestTools::Timestamp fixedTime()
{
    using namespace std::chrono;
    return sys_days(year(2024) / May / 6) + hours(7) + minutes(8) + seconds(9);
}

} // namespace GuestTestSupport
