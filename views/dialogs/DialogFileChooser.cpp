// SPDX-License-Identifier: MIT
#include "DialogFileChooser.h"

#include <QApplication>
#include <QCoroSignal>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>

QCoro::Task<std::optional<QString>> DialogFileChooser::choose(FileChoiceRequest request)
{
    QPointer<QFileDialog> dialog = new QFileDialog(QApplication::activeWindow(), request.title, request.startFolder);
    dialog->setObjectName(QStringLiteral("fileChooser"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowModality(Qt::WindowModal);
    if (request.canChooseDirectories) {
        dialog->setFileMode(QFileDialog::Directory);
        if (!request.canChooseFiles)
            dialog->setOption(QFileDialog::ShowDirsOnly);
    } else {
        dialog->setFileMode(QFileDialog::ExistingFile);
        if (!request.allowedExtensions.isEmpty()) {
            QStringList patterns;
            for (const QString &extension : request.allowedExtensions)
                patterns << QStringLiteral("*.") + extension;
            dialog->setNameFilter(patterns.join(QLatin1Char(' ')));
        }
    }
    if (!request.message.isEmpty()) {
        if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout())) {
            auto *message = new QLabel(request.message);
            message->setTextFormat(Qt::PlainText);
            message->setWordWrap(true);
            grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    dialog->open();
    const int result = co_await qCoro(dialog.data(), &QDialog::finished);
    if (!dialog)
        co_return std::nullopt;
    std::optional<QString> chosen;
    if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty())
        chosen = dialog->selectedFiles().constFirst();
    dialog->deleteLater();
    co_return chosen;
}
