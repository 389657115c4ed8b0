// SPDX-License-Identifier: MIT
#include "DialogFileChooser.h"

#include "DialogAnswer.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QScreen>
#include <QTreeView>

#include <algorithm>

namespace {

constexpr QSize preferredDialogSize(900, 580);

/**
 * A file dialog that also accepts a selection of folders, or of files and
 * folders together. Qt's own dialog takes several items only when they are
 * all files; its folder mode takes the first and only when it is a folder.
 */
class SeveralItemsFileDialog final : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList items = selectedFiles();
        const bool allExist = std::all_of(items.begin(), items.end(), [](const QString &item) { return QFileInfo::exists(item); });
        if (!items.isEmpty() && allExist)
            QDialog::accept();
    }
};

/**
 * A file dialog that picks one folder: the one named in its name field,
 * absolute or within the folder shown, or the folder shown when the field is
 * empty. Qt's own dialog answers with what the views have selected instead,
 * and selects each folder along a typed path, so a typed folder can come back
 * as one above it. A name that is no folder is refused and the dialog stays.
 */
class OneFolderFileDialog final : public QFileDialog
{
public:
    OneFolderFileDialog(QWidget *parent, const QString &caption, const QString &directory)
        : QFileDialog(parent, caption, directory)
    {
        setOption(DontUseNativeDialog);
        // Selecting while typing also rewrites the field, when it lacks the focus, into a list of those selections.
        if (auto *name = nameField())
            disconnect(name, SIGNAL(textChanged(QString)), this, SLOT(_q_autoCompleteFileName(QString)));
    }

    const QString &chosenFolder() const { return m_chosenFolder; }

    void accept() override
    {
        const QLineEdit *name = nameField();
        const QString typed = name ? name->text().trimmed() : QString();
        const QString folder = QDir::cleanPath(directory().absoluteFilePath(typed));
        if (!QFileInfo(folder).isDir()) {
            auto *refusal = new QMessageBox(
                QMessageBox::Warning, windowTitle(), tr("There is no folder at \u201c%1\u201d.").arg(folder), QMessageBox::Ok, this);
            refusal->setObjectName(QStringLiteral("noSuchFolder"));
            refusal->setTextFormat(Qt::PlainText);
            refusal->setAttribute(Qt::WA_DeleteOnClose);
            refusal->open();
            return;
        }
        m_chosenFolder = folder;
        QDialog::accept();
    }

private:
    QLineEdit *nameField() const { return findChild<QLineEdit *>(QStringLiteral("fileNameEdit")); }

    QString m_chosenFolder;
};

void allowSeveralItems(QFileDialog &dialog)
{
    for (const char *name : {"listView", "treeView"}) {
        if (auto *view = dialog.findChild<QAbstractItemView *>(QLatin1String(name)))
            view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    }
}

QFileDialog *makeDialog(QWidget *parent, const FileChoiceRequest &request, bool several)
{
    // Without a folder of its own a choice starts at home, not in whatever folder the application was started from.
    const QString start = request.startFolder.isEmpty() ? QDir::homePath() : request.startFolder;
    QFileDialog *dialog = nullptr;
    if (request.canChooseDirectories)
        dialog = several ? static_cast<QFileDialog *>(new SeveralItemsFileDialog(parent, request.title, start))
                         : new OneFolderFileDialog(parent, request.title, start);
    else
        dialog = new QFileDialog(parent, request.title, start);
    dialog->setObjectName(QStringLiteral("fileChooser"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setWindowModality(Qt::WindowModal);
    if (request.canChooseDirectories) {
        dialog->setFileMode(QFileDialog::Directory);
        if (!request.canChooseFiles)
            dialog->setOption(QFileDialog::ShowDirsOnly);
        if (several)
            allowSeveralItems(*dialog);
    } else {
        dialog->setFileMode(several ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        if (!request.allowedExtensions.isEmpty()) {
            QStringList patterns;
            for (const QString &extension : request.allowedExtensions)
                patterns << QStringLiteral("*.") + extension;
            dialog->setNameFilter(patterns.join(QLatin1Char(' ')));
        }
    }
    // Qt's own size cuts the detail view's columns; take a size that shows them, within the screen's free area.
    const QScreen *screen = parent ? parent->screen() : QApplication::primaryScreen();
    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    dialog->resize(std::min(preferredDialogSize.width(), available.width() * 9 / 10),
        std::min(preferredDialogSize.height(), available.height() * 8 / 10));
    // The detail view's name and date columns get room for whole names and dates.
    if (auto *details = dialog->findChild<QTreeView *>(QStringLiteral("treeView"))) {
        details->header()->resizeSection(0, dialog->width() * 2 / 5);
        details->header()->resizeSection(3, std::max(details->header()->sectionSize(3), 170));
    }
    if (!request.message.isEmpty()) {
        if (auto *grid = qobject_cast<QGridLayout *>(dialog->layout())) {
            auto *message = new QLabel(request.message);
            message->setTextFormat(Qt::PlainText);
            message->setWordWrap(true);
            grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    return dialog;
}

/// Opens the dialog and waits for it; what it chose, empty when cancelled or gone with its parent.
QCoro::Task<QStringList> run(QFileDialog *opened)
{
    QPointer<QFileDialog> dialog(opened);
    const std::optional<int> result = co_await DialogAnswer::open(dialog.data());
    if (!dialog)
        co_return QStringList();
    QStringList chosen;
    if (result == QDialog::Accepted) {
        const auto *oneFolder = dynamic_cast<const OneFolderFileDialog *>(dialog.data());
        chosen = oneFolder ? QStringList {oneFolder->chosenFolder()} : dialog->selectedFiles();
    }
    dialog->deleteLater();
    co_return chosen;
}

} // namespace

DialogFileChooser::DialogFileChooser(QWidget *window)
    : m_window(window)
{
}

QWidget *DialogFileChooser::parentWindow() const
{
    QWidget *active = QApplication::activeWindow();
    return active && active->isVisible() ? active : m_window.data();
}

QCoro::Task<std::optional<QString>> DialogFileChooser::choose(FileChoiceRequest request)
{
    const QStringList chosen = co_await run(makeDialog(parentWindow(), request, false));
    co_return chosen.isEmpty() ? std::nullopt : std::optional<QString>(chosen.constFirst());
}

QCoro::Task<QStringList> DialogFileChooser::chooseSeveral(FileChoiceRequest request)
{
    co_return co_await run(makeDialog(parentWindow(), request, true));
}
