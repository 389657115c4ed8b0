// SPDX-License-Identifier: MIT
#pragma once

#include "VMTemplate.h"

#include <QDialog>
#include <QList>

#include <memory>

class ErrorBannerView;
class QButtonGroup;
class QGridLayout;
class QLineEdit;
class QScrollArea;
class QStackedWidget;
class TemplateCard;
class TemplateLibraryViewModel;

/**
 * The template library as a window-modal sheet of 700 × 580: the templates
 * as a grid of cards, narrowed by category chips and a search field. Picking
 * a card emits templateChosen() and closes the sheet (accepted); the
 * receiver starts a new VM from it. A user template's trash button asks
 * for confirmation before the view model deletes it; a failure shows in the
 * sheet's banner. Close, Escape and the window's close button reject it.
 * The grid follows the template service's list while the sheet is open.
 *
 * Children: "templates.search", "templates.category.all",
 * "templates.category.<category>", "templates.banner", "templates.empty",
 * "templates.grid", cards "templates.card", "templates.close", and the
 * confirmation "templates.confirmDelete".
 */
class TemplateLibraryDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit TemplateLibraryDialog(std::unique_ptr<TemplateLibraryViewModel> viewModel, QWidget *parent = nullptr);
    ~TemplateLibraryDialog() override;

    TemplateLibraryViewModel &viewModel() const { return *m_viewModel; }
    /// The cards shown now, in grid order.
    QList<TemplateCard *> cards() const { return m_cards; }

Q_SIGNALS:
    void templateChosen(const VMTemplate &chosen);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *makeCategoryBar();
    void rebuildCards();
    void layOutCards();
    void confirmDeletion(const VMTemplate &doomed);
    void refreshBanner();
    void refreshChipColours();

    std::unique_ptr<TemplateLibraryViewModel> m_viewModel;
    QLineEdit *m_search = nullptr;
    QButtonGroup *m_chips = nullptr;
    QScrollArea *m_categories = nullptr;
    ErrorBannerView *m_banner = nullptr;
    QStackedWidget *m_content = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_grid = nullptr;
    QGridLayout *m_gridLayout = nullptr;
    QList<TemplateCard *> m_cards;
    int m_columns = 0;
};
