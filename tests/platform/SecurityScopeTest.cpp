// SPDX-License-Identifier: MIT
#include "SecurityScope.h"
#include "HostSecurityScopedAccess.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

class RecordingAccess final : public SecurityScopedAccess
{
public:
    explicit RecordingAccess(bool grants)
        : m_grants(grants)
    {
    }
    bool startAccessing(const QString &path) override
    {
        calls.append(QStringLiteral("start ") + path);
        return m_grants;
    }
    void stopAccessing(const QString &path) override { calls.append(QStringLiteral("stop ") + path); }

    QStringList calls;

private:
    bool m_grants;
};

TEST(SecurityScopeTest, AGrantedAccessIsStoppedOnceEvenWhenTheWorkFails)
{
    RecordingAccess access(true);
    EXPECT_THROW(
        {
            const SecurityScope scope(access, QStringLiteral("/vm"));
            EXPECT_TRUE(scope.isGranted());
            EXPECT_EQ(access.calls, QStringList { QStringLiteral("start /vm") });
            throw std::runtime_error("work failed");
        },
        std::runtime_error);
    EXPECT_EQ(access.calls, (QStringList { QStringLiteral("start /vm"), QStringLiteral("stop /vm") }));
}

TEST(SecurityScopeTest, AnAccessThatWasNotGrantedIsNeverStopped)
{
    RecordingAccess access(false);
    {
        const SecurityScope scope(access, QStringLiteral("/vm"));
        EXPECT_FALSE(scope.isGranted());
    }
    EXPECT_EQ(access.calls, QStringList { QStringLiteral("start /vm") });

    HostSecurityScopedAccess host;
    EXPECT_FALSE(SecurityScope(host, QStringLiteral("/vm")).isGranted());
}

} // namespace
