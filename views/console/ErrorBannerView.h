// SPDX-License-Identifier: MIT
#pragma once

#include <QFrame>

class QLabel;
class QPushButton;

/**
 * The application's message banner: a warning icon, the message as plain
 * text (wrapped; the banner grows for a long one) and a "Dismiss" button on
 * a red-to-orange rounded strip. It only shows and reports the click: its
 * user decides what dismissing does and hides it when its message goes.
 * Children: "banner.message", "banner.dismiss".
 */
class ErrorBannerView final : public QFrame
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
    QLabel *m_message;
    QPushButton *m_dismiss;
};
