// SPDX-License-Identifier: MIT
#pragma once

#include "TextStyle.h"

#include <QWidget>

/**
 * The centred empty state of a panel: a symbol in the secondary tone, an
 * optional headline and a wrapped, centred text, 12 px apart with a margin
 * above and below. The symbol follows the palette.
 *
 * @code
 * body->addWidget(new PanelEmptyState({QStringLiteral("snapshots.empty"), QStringLiteral("clock.arrow.circlepath"), 32, 24,
 *                                      QStringLiteral("No Snapshots Yet"), text, TextRole::caption, TextTone::tertiary}));
 * @endcode
 */
class PanelEmptyState final : public QWidget
{
    Q_OBJECT

public:
    struct Content {
        QString objectName;
        QString symbol;
        int symbolSize = 28;
        int margin = 20;
        QString headline;
        QString text;
        TextRole textRole = TextRole::caption;
        TextTone textTone = TextTone::tertiary;
    };

    explicit PanelEmptyState(const Content &content, QWidget *parent = nullptr);
};
