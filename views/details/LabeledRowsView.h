// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QWidget>

class QGridLayout;
class QLabel;

/**
 * Rows of a label and a value, as the details pane lists facts: the label
 * in medium weight, 140 px wide, the value selectable plain text in the
 * secondary colour, wrapping in the rest of the row. Each value label is
 * named `<prefix>.<label>` for tests.
 */
class LabeledRowsView final : public QWidget
{
    Q_OBJECT

public:
    using Row = QPair<QString, QString>;

    explicit LabeledRowsView(const QString &objectNamePrefix, QWidget *parent = nullptr);

    /// Replaces the rows; rows whose labels stay keep their widgets.
    void setRows(const QList<Row> &rows);
    /// The value shown for `label`, or none when there is no such row.
    std::optional<QString> value(const QString &label) const;

private:
    QString m_prefix;
    QGridLayout *m_grid;
    QList<QPair<QLabel *, QLabel *>> m_labels;
};
