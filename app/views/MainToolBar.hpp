#pragma once

#include "TessaryApp/ScanController.hpp"

#include <QToolBar>

class QComboBox;
class QLineEdit;
class QToolButton;

namespace tessary {

class AppActions;

// The window's toolbar, in order: parent folder, home, container picker, view picker, export
// menu, then the stop button while something runs or the compare and refresh buttons while
// nothing does, and the search field at the trailing end. The buttons show the application's
// actions, so their enabled states are the menus' ones. Where the window is too narrow for the
// buttons' labels, the buttons show their icons only (their tooltips name them), so that the
// search field always stays on the bar.
class MainToolBar : public QToolBar {
    Q_OBJECT

public:
    MainToolBar(ScanController& c, AppActions& actions, QWidget* parent = nullptr);

    // The text of a container picker row.
    // The text of a container picker row; `mainRoot` is the summary's main root.
    [[nodiscard]] static QString containerText(const ContainerDTO& container,
                                               const std::optional<std::string>& mainRoot);
    // The view shown by a view picker row, in row order.
    [[nodiscard]] static std::vector<ScanController::View> pickerViews();

    [[nodiscard]] QToolButton* parentButton() const { return m_parent; }
    [[nodiscard]] QToolButton* homeButton() const { return m_home; }
    [[nodiscard]] QComboBox* containerPicker() const { return m_containers; }
    [[nodiscard]] QComboBox* viewPicker() const { return m_views; }
    [[nodiscard]] QToolButton* exportButton() const { return m_export; }
    [[nodiscard]] QToolButton* stopButton() const { return m_stop; }
    [[nodiscard]] QToolButton* compareButton() const { return m_compare; }
    [[nodiscard]] QToolButton* refreshButton() const { return m_refresh; }
    [[nodiscard]] QLineEdit* searchField() const { return m_search; }
    // Whether a button is on the bar now (the stop, compare and refresh buttons come and go).
    [[nodiscard]] bool isShown(const QToolButton* button) const;
    // The buttons show icons only.
    [[nodiscard]] bool isCompact() const { return m_compact; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // Chooses labelled or icon-only buttons for the bar's width.
    void fitToWidth();
    // A button showing `action` with the toolbar's label and tooltip; `item` receives the bar's
    // entry of the button (to show or hide it).
    QToolButton* addButton(QAction* action, std::string_view symbol, const QString& label,
                           const QString& tip, QAction** item = nullptr);
    void updateBusy();
    void updateContainers();
    void updateViews();

    ScanController& m_c;
    QToolButton* m_parent;
    QToolButton* m_home;
    QComboBox* m_containers;
    QComboBox* m_views;
    QToolButton* m_export;
    QToolButton* m_stop;
    QToolButton* m_compare;
    QToolButton* m_refresh;
    QLineEdit* m_search;
    QAction* m_stopItem = nullptr;
    QAction* m_compareItem = nullptr;
    QAction* m_refreshItem = nullptr;
    bool m_compact = false;
};

} // namespace tessary
