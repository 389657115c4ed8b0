// SPDX-License-Identifier: MIT
#include "VMDiskExpansionAutomationOutcome.h"

#include "VMDiskExpansionResult.h"

#include <gtest/gtest.h>

using Outcome = VMDiskExpansionAutomationOutcome;

TEST(VMDiskExpansionAutomationOutcomeTest, EachCaseCarriesOnlyItsOwnPayload)
{
    const auto queued = Outcome::queued(true);
    EXPECT_EQ(queued.kind(), Outcome::Kind::queued);
    EXPECT_EQ(queued.agentDetected(), true);
    EXPECT_EQ(queued.warningMessage(), std::nullopt);

    const auto warning = Outcome::warning(QStringLiteral("The VM disk was expanded, but the automatic in-guest resize request could not be queued."));
    EXPECT_EQ(warning.kind(), Outcome::Kind::warning);
    EXPECT_EQ(warning.agentDetected(), std::nullopt);
    EXPECT_EQ(warning.warningMessage(),
              QStringLiteral("The VM disk was expanded, but the automatic in-guest resize request could not be queued."));

    const VMDiskExpansionResult result{VMBundle{}, warning};
    EXPECT_EQ(result.automationOutcome, warning);
}

TEST(VMDiskExpansionAutomationOutcomeTest, EqualOnlyForTheSameCaseAndPayload)
{
    const struct {
        Outcome left;
        Outcome right;
        bool equal;
    } cases[] = {
        {Outcome::queued(true), Outcome::queued(true), true},
        {Outcome::queued(true), Outcome::queued(false), false},
        {Outcome::warning(QStringLiteral("a")), Outcome::warning(QStringLiteral("a")), true},
        {Outcome::warning(QStringLiteral("a")), Outcome::warning(QStringLiteral("b")), false},
        {Outcome::queued(false), Outcome::warning(QString()), false},
    };
    for (const auto &pair : cases)
        EXPECT_EQ(pair.left == pair.right, pair.equal);
}
