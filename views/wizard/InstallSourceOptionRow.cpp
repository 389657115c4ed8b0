// SPDX-License-Identifier: MIT
#include "InstallSourceOptionRow.h"

#include "LabPalette.h"
#include "TextStyle.h"
#include "WizardWidgets.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

InstallSourceOptionRow::InstallSourceOptionRow(const RestoreImageInfo &option, bool recommended, QWidget *parent)
    : SelectableCard(12, parent)
    , m_option(option)
    , m_mark(WizardWidgets::selectionMark())
{
    m_mark->setObjectName(QStringLiteral("option.mark"));
    contentLayout()->setAlignment(Qt::AlignTop);
    contentLayout()->addWidget(m_mark, 0, Qt::AlignTop);

    auto *lines = new QVBoxLayout;
    lines->setSpacing(4);
    auto *titleLine = new QHBoxLayout;
    titleLine->setSpacing(8);
    QLabel *name = TextStyle::label(option.displayName, TextRole::headline);
    name->setObjectName(QStringLiteral("option.name"));
    name->setWordWrap(false);
    titleLine->addWidget(name);
    if (recommended) {
        QLabel *badge = TextStyle::label(tr("Recommended"), TextRole::caption);
        badge->setObjectName(QStringLiteral("option.recommended"));
        badge->setWordWrap(false);
        QFont medium = badge->font();
        medium.setWeight(QFont::Medium);
        badge->setFont(medium);
        const QColor fill = LabPalette::highlight().resolved(palette());
        badge->setStyleSheet(
            QStringLiteral("QLabel { background: %1; border-radius: 8px; padding: 1px 8px; }").arg(fill.name(QColor::HexArgb)));
        titleLine->addWidget(badge);
    }
    titleLine->addStretch(1);
    lines->addLayout(titleLine);
    QLabel *build = TextStyle::label(tr("Build ") + option.build, TextRole::body, true);
    build->setObjectName(QStringLiteral("option.build"));
    lines->addWidget(build);
    QLabel *source = TextStyle::label(sourceText(option), TextRole::caption, true);
    source->setObjectName(QStringLiteral("option.source"));
    source->setWordWrap(false);
    source->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long address must not widen the sheet past its window: it is cut at the row's edge and shown whole as the tooltip.
    source->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    source->setToolTip(source->text());
    lines->addWidget(source);
    contentLayout()->addLayout(lines, 1);
}

void InstallSourceOptionRow::setOptionSelected(bool selected)
{
    setSelected(selected);
    WizardWidgets::setSelectionMark(*m_mark, selected);
}

QString InstallSourceOptionRow::sourceText(const RestoreImageInfo &option)
{
    if (!option.sourceURL)
        return tr("Remote source unavailable");
    return option.sourceURL->toString();
}
