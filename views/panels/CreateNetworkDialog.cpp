// SPDX-License-Identifier: MIT
#include "CreateNetworkDialog.h"

#include "BlankName.h"
#include "NetworkTopologyTexts.h"
#include "PanelStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CreateNetworkDialog::CreateNetworkDialog(QWidget *parent)
    : QDialog(parent)
    , m_name(new QLineEdit(QStringLiteral("Private Network")))
    , m_subnet(new QLineEdit(QStringLiteral("192.168.100.0/24")))
    , m_create(new QPushButton(QStringLiteral("Create")))
{
    setObjectName(QStringLiteral("network.createSheet"));
    setWindowTitle(QStringLiteral("Create Private Network"));
    setWindowModality(Qt::WindowModal);
    setFixedWidth(420);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(20);
    layout->addWidget(PanelStyle::label(QStringLiteral("Create Private Network"), PanelStyle::Text::title2, PanelStyle::Tone::primary, true), 0, Qt::AlignHCenter);

    auto *nameGroup = new QVBoxLayout;
    nameGroup->setSpacing(8);
    nameGroup->addWidget(PanelStyle::label(QStringLiteral("Network Name"), PanelStyle::Text::headline));
    m_name->setObjectName(QStringLiteral("networkSheet.name"));
    m_name->setPlaceholderText(QStringLiteral("Network name"));
    nameGroup->addWidget(m_name);
    layout->addLayout(nameGroup);

    auto *subnetGroup = new QVBoxLayout;
    subnetGroup->setSpacing(8);
    subnetGroup->addWidget(PanelStyle::label(QStringLiteral("Subnet"), PanelStyle::Text::headline));
    m_subnet->setObjectName(QStringLiteral("networkSheet.subnet"));
    m_subnet->setPlaceholderText(QStringLiteral("192.168.100.0/24"));
    subnetGroup->addWidget(m_subnet);
    QLabel *explanation = PanelStyle::label(NetworkTopologyTexts::subnetExplanation(), PanelStyle::Text::caption, PanelStyle::Tone::secondary);
    explanation->setObjectName(QStringLiteral("networkSheet.explanation"));
    explanation->setWordWrap(true);
    subnetGroup->addWidget(explanation);
    layout->addLayout(subnetGroup);

    auto *buttons = new QHBoxLayout;
    auto *cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(QStringLiteral("networkSheet.cancel"));
    cancel->setAutoDefault(false);
    m_create->setObjectName(QStringLiteral("networkSheet.create"));
    m_create->setDefault(true);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    buttons->addWidget(m_create);
    layout->addLayout(buttons);

    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_create, &QPushButton::clicked, this, &CreateNetworkDialog::commit);
    connect(m_name, &QLineEdit::textChanged, this, &CreateNetworkDialog::updateButtons);
    updateButtons();
}

void CreateNetworkDialog::commit()
{
    if (!m_create->isEnabled())
        return;
    accept();
    Q_EMIT createRequested(m_name->text(), m_subnet->text());
}

void CreateNetworkDialog::updateButtons()
{
    m_create->setEnabled(!BlankName::isBlank(m_name->text()));
}
