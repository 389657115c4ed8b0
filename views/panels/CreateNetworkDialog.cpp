// SPDX-License-Identifier: MIT
#include "CreateNetworkDialog.h"

#include "BlankName.h"
#include "IPv4Subnet.h"
#include "NetworkTopologyTexts.h"
#include "SheetLayout.h"
#include "TextStyle.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CreateNetworkDialog::CreateNetworkDialog(QWidget *parent)
    : QDialog(parent)
    , m_name(new QLineEdit(QStringLiteral("Private Network")))
    , m_subnet(new QLineEdit(QStringLiteral("192.168.100.0/24")))
{
    QVBoxLayout *column = SheetLayout::begin(*this, QStringLiteral("network.createSheet"), QStringLiteral("Create Private Network"), 420);
    m_name->setObjectName(QStringLiteral("networkSheet.name"));
    m_name->setPlaceholderText(QStringLiteral("Network name"));
    SheetLayout::addGroup(*column, QStringLiteral("Network Name"))->addWidget(m_name);

    QVBoxLayout *subnet = SheetLayout::addGroup(*column, QStringLiteral("Subnet"));
    m_subnet->setObjectName(QStringLiteral("networkSheet.subnet"));
    m_subnet->setPlaceholderText(QStringLiteral("192.168.100.0/24"));
    subnet->addWidget(m_subnet);
    m_subnetProblem = TextStyle::line(QString(), TextRole::caption, TextTone::secondary);
    m_subnetProblem->setObjectName(QStringLiteral("networkSheet.subnetProblem"));
    m_subnetProblem->setWordWrap(true);
    subnet->addWidget(m_subnetProblem);
    QLabel *explanation = TextStyle::line(NetworkTopologyTexts::subnetExplanation(), TextRole::caption, TextTone::secondary);
    explanation->setObjectName(QStringLiteral("networkSheet.explanation"));
    explanation->setWordWrap(true);
    subnet->addWidget(explanation);
    m_create = SheetLayout::addButtons(*this, *column, QStringLiteral("networkSheet"), QStringLiteral("Create"), QStringLiteral("create"));

    connect(m_create, &QPushButton::clicked, this, &CreateNetworkDialog::commit);
    connect(m_name, &QLineEdit::textChanged, this, &CreateNetworkDialog::updateButtons);
    connect(m_subnet, &QLineEdit::textChanged, this, &CreateNetworkDialog::updateButtons);
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
    const std::optional<QString> subnetProblem = IPv4Subnet::refusal(m_subnet->text());
    if (m_subnetProblem->text() != subnetProblem.value_or(QString()) || m_subnetProblem->isVisibleTo(this) != subnetProblem.has_value()) {
        m_subnetProblem->setText(subnetProblem.value_or(QString()));
        m_subnetProblem->setVisible(subnetProblem.has_value());
        SheetLayout::fitHeight(*this);
    }
    m_create->setEnabled(!BlankName::isBlank(m_name->text()) && !subnetProblem);
}
