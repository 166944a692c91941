#pragma once

#include "TessaryApp/ScanController.hpp"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QMainWindow;
class QStackedWidget;
class QTimer;
class QVBoxLayout;

namespace tessary {

class AppActions;
class ItemActions;
class BreadcrumbBar;
class DeleteListHeader;
class FileListView;
class FolderTableView;
class MainToolBar;
class StatusBar;
class SummaryCardsView;
class SummaryOverlay;
class ToastOverlay;

// The content of the main window, top to bottom: summary cards, breadcrumb bar, the listing the
// controller's `view` names, the usage bar's place and the status line; the toolbar on the
// window; the toast and the scan-summary layer over it all. It reads the controller and calls
// its operations; its only state is the pending search (`searchTask`, or a search waiting for
// the running operation to end).
class ContentView : public QWidget {
    Q_OBJECT

public:
    // How long typing must pause before a search runs.
    static constexpr int searchDelayMs = 250;

    ContentView(ScanController& c, AppActions& actions, QMainWindow* window);

    // Puts the usage bar between the listing and the status line (the view takes it over).
    void setUsageBar(QWidget* bar);
    // Puts the scan summary's card on the summary layer (the layer takes it over).
    void setSummaryView(QWidget* view);

    [[nodiscard]] MainToolBar& toolBar() { return *m_toolBar; }
    [[nodiscard]] SummaryCardsView& cards() { return *m_cards; }
    [[nodiscard]] BreadcrumbBar& breadcrumbs() { return *m_breadcrumbs; }
    [[nodiscard]] FolderTableView& folderTable() { return *m_folder; }
    // The listing of a view other than `tree`.
    [[nodiscard]] FileListView& fileList(ScanController::View view);
    [[nodiscard]] DeleteListHeader& deleteListHeader() { return *m_deleteHeader; }
    // The choice of the earlier scan the changes are counted from.
    [[nodiscard]] QComboBox& comparedScanChoice() { return *m_comparedScan; }
    [[nodiscard]] StatusBar& statusBar() { return *m_status; }
    [[nodiscard]] ToastOverlay& toast() { return *m_toast; }
    [[nodiscard]] SummaryOverlay& summaryOverlay() { return *m_summary; }
    // The widget the main pane shows now.
    [[nodiscard]] QWidget* shownListing() const;
    [[nodiscard]] bool isSearchPending() const;
    // The header texts of the listings (for the top files: the label before the checkbox).
    [[nodiscard]] QString headerText(ScanController::View view) const;
    [[nodiscard]] QCheckBox* cloudOnlyBox() const { return m_cloudOnly; }

private:
    void buildListings();
    // Every listing's row menu uses the shared item actions.
    void useItemActions(const ItemActions* actions);
    void queryEdited(const QString& text);
    void submitQuery();
    // Runs the search for the query now, or once the running operation has ended.
    void search();
    void updateView();
    void updateHeaders();
    void updateSearch();
    void updateChanges();
    void buildChanges();
    [[nodiscard]] QString currentName() const;

    ScanController& m_c;
    MainToolBar* m_toolBar;
    SummaryCardsView* m_cards;
    BreadcrumbBar* m_breadcrumbs;
    QStackedWidget* m_pane;
    FolderTableView* m_folder;
    FileListView* m_top = nullptr;
    FileListView* m_bigDirs = nullptr;
    FileListView* m_search = nullptr;
    FileListView* m_deleteList = nullptr;
    FileListView* m_changes = nullptr;
    QLabel* m_changesHeader = nullptr;
    QComboBox* m_comparedScan = nullptr;
    QLabel* m_topHeader = nullptr;
    QCheckBox* m_cloudOnly = nullptr;
    QLabel* m_bigDirsHeader = nullptr;
    QLabel* m_searchHeader = nullptr;
    DeleteListHeader* m_deleteHeader = nullptr;
    QWidget* m_usageSlot;
    QVBoxLayout* m_usageLayout;
    StatusBar* m_status;
    ToastOverlay* m_toast;
    SummaryOverlay* m_summary;
    QTimer* m_searchTask;
    bool m_searchAfterRun = false;
    QString m_queryAfterRun;
};

} // namespace tessary
