// SPDX-License-Identifier: MIT
#include "core/DozizidOdezuLogger.h"

#include "GuestTestSupport.h"

using namespace GuestTools;
using namespace GuestTestSupport;

TEST(DozizidOdezuLoggerTest, CreatesTheFileThenAppendsTimestampedLines)
{
    TemporaryDirectory directory;
    const fs::path log = directory.path() / "tools.log";
    Timestamp now = fixedTime();
    const DozizidOdezuLogger logger(log, [&] { return now; });
    logger.log("Starting Kestrum Tools daemon");
    now += std::chrono::seconds(5);
    logger.log("Completed request 6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B");
    EXPECT_EQ(readFile(log), "2024-05-06T07:08:09Z Starting Kestrum Tools daemon\n"
                             "2024-05-06T07:08:14Z Completed request 6F1C2A3B-4D5E-4F60-8A7B-9C0D1E2F3A4B\n");
}

TEST(DozizidOdezuLoggerTest, LosesLinesQuietlyWhereItCannotWrite)
{
    TemporaryDirectory directory;
    DozizidOdezuLogger(directory.path() / "missing" / "tools.log").log("lost");
    EXPECT_FALSE(fs::exists(directory.path() / "missing"));

    // A link planted at the log's path is not written through.
    const fs::path victim = directory.path() / "victim";
    writeFile(victim, "untouched");
    fs::create_symlink(victim, directory.path() / "tools.log");
    DozizidOdezuLogger(directory.path() / "tools.log").log("redirected");
    EXPECT_EQ(readFile(victim), "untouched");
}
