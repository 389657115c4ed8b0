// SPDX-License-Identifier: MIT
#pragma once

#include <QStringList>
#include <QWidget>

class QLabel;

/**
 * The dashed area that takes files dragged from the host's file manager.
 * While it accepts files, a drag that carries only local files is taken as
 * a copy, whatever action the file manager proposed (a move would have it
 * delete the originals while we copy them), and the area lights up while it
 * hovers; a drop emits filesDropped() with the local paths. Anything else,
 * or any drag while it does not accept files, is refused. Children:
 * "drop.zone.symbol", "drop.zone.prompt", "drop.zone.hint".
 */
class DropZoneArea : public QWidget
{
    Q_OBJECT

public:
    explicit DropZoneArea(QWidget *parent = nullptr);

    void setAcceptingFiles(bool accepting);
    /// The prompt beside the symbol (plain text), for when a drag hovers and when not.
    void setPrompts(const QString &idle, const QString &targeted);
    /// Shown below the prompt; hidden when empty.
    void setHint(const QString &hint);
    bool isTargeted() const { return m_targeted; }

Q_SIGNALS:
    void filesDropped(const QStringList &paths);

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setTargeted(bool targeted);
    void showState();

    QLabel *m_symbol;
    QLabel *m_prompt;
    QLabel *m_hint;
    QString m_idlePrompt;
    QString m_targetedPrompt;
    bool m_accepting = false;
    bool m_targeted = false;
};
