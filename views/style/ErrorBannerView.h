// SPDX-License-Identifier: MIT
#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

/**
 * The application's one message banner: a warning symbol, the message
 * (plain text, wrapped) and a "Dismiss" button, on a red-to-orange rounded
 * bar. It shows success and failure alike. Dismiss only emits dismissed();
 * the owner clears its message, which hides the banner. Children:
 * "banner.message", "banner.dismiss".
 */
class ErrorBannerView : public QFrame
{
    Q_OBJECT

public:
    explicit ErrorBannerView(QWidget *parent = nullptr);

    void setMessage(const QString &message);
    QString message() const;

Q_SIGNALS:
    void dismissed();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLabel *m_icon;
    QLabel *m_message;
    QPushButton *m_dismiss;
};
