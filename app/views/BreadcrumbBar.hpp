#pragma once

#include "TessaryCore/NodeDTO.hpp"

#include <QWidget>

class QHBoxLayout;
class QLabel;
class QToolButton;

namespace tessary {

class BadgeWidget;
class ScanController;

// The line about the folder being browsed: a way back from the other listings, the path with a
// button per folder, the masked-name badge, the Finder and load-from-iCloud buttons and the
// folder's counts.
class BreadcrumbBar : public QWidget {
    Q_OBJECT

public:
    explicit BreadcrumbBar(ScanController& c, QWidget* parent = nullptr);

    // "12 souborů · 3 složky" and the folders never opened below it.
    [[nodiscard]] static QString folderSummary(const NodeDTO& folder);

    // The line shown without a current folder; empty when a folder is shown.
    [[nodiscard]] QString waitingText() const;
    // The texts of the path's buttons, outermost first.
    [[nodiscard]] QStringList pathTexts() const;
    [[nodiscard]] QString summaryText() const;
    [[nodiscard]] const QToolButton* backButton() const { return m_back; }
    [[nodiscard]] const QToolButton* hydrateButton() const { return m_hydrate; }
    [[nodiscard]] const QToolButton* finderButton() const { return m_finder; }
    // The masked-name badge after the folder's name, or null.
    [[nodiscard]] BadgeWidget* maskedBadge() const { return m_masked; }

private:
    void update();
    void rebuildPath();
    [[nodiscard]] QString nameOf(const NodeDTO& node) const;

    ScanController& m_c;
    QLabel* m_waiting;
    QToolButton* m_back;
    QWidget* m_path;
    QHBoxLayout* m_pathLayout;
    BadgeWidget* m_masked = nullptr;
    QToolButton* m_finder;
    QToolButton* m_hydrate;
    QLabel* m_summary;
    std::vector<NodeDTO> m_shownPath;
};

} // namespace tessary
