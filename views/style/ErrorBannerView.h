// SPDX-License-Identifier: MIT
#pragma once

#include "MessageKind.h"

#include <QFrame>

class QLabel;
class QPushButton;

/**
 * The application's one message banner: a symbol, the message (plain text,
 * wrapped) and a "Dismiss" button on a rounded bar, red-to-orange under a
 * warning symbol for a failure, slate under an information symbol for news
 * of something done. Dismiss only emits dismissed(); the owner clears its
 * message, which hides the banner. Children: "banner.message",
 * "banner.dismiss".
 */
class ErrorBannerView : public QFrame
{
    Q_OBJECT

public:
    explicit ErrorBannerView(QWidget *parent = nullptr);

    void setMessage(const QString &message, MessageKind kind = MessageKind::failure);
    QString message() const;
    MessageKind kind() const { return m_kind; }

Q_SIGNALS:
    void dismissed();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_icon;
    QLabel *m_message;
    QPushButton *m_dismiss;
    MessageKind m_kind = MessageKind::failure;
};
