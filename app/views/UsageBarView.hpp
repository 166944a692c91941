#pragma once

#include "TessaryApp/ScanController.hpp"
#include "TessaryApp/UsageBarLayout.hpp"
#include "TessaryApp/UsageBarStyle.hpp"

#include <QColor>
#include <QElapsedTimer>
#include <QFont>
#include <QWidget>

#include <optional>
#include <string>
#include <vector>

class QPainter;
class QToolButton;

namespace tessary {

// The rows of the current listing as one bar of segments sized by their quota bytes, with a
// preview strip of each folder's contents under it and, for every folder of the controller's
// bar path, a further row joined to its segment by a funnel. Above the bar a header line names
// the listing and describes the segment under the pointer. Pointer movement sets the
// controller's hovered id, a click selects and opens or closes a folder's row, a double click
// opens the folder in the table.
class UsageBarView : public QWidget {
    Q_OBJECT

public:
    // What a paint needs beside the layout: the highlight state and the colours in use.
    struct PaintState {
        UsageBarStyle::Appearance appearance = UsageBarStyle::Appearance::light;
        std::optional<std::string> hoverSeg;
        std::optional<std::string> hoveredID;
        std::optional<std::string> selectedID;
        std::vector<std::string> expanded;
        QColor primary;
        QColor secondary;
        QColor grey;
        QFont font;
    };

    // Margins around the bar and the header line's height.
    static constexpr int sideMargin = 12;
    static constexpr int headerHeight = 26;
    static constexpr int bottomMargin = 8;
    // Height of the line shown in place of the bar when there is nothing to draw.
    static constexpr int emptyHeight = 44;

    // The name of the listing the bar shows (the parent of its main segments).
    [[nodiscard]] static QString listingName(const ScanController& c);
    // The header's description of a hovered segment.
    [[nodiscard]] static QString hoverText(const UsageBarLayout::Segment& segment);
    // The header's description when nothing is hovered.
    [[nodiscard]] static QString hintText(std::int64_t total);
    // The line in place of the bar when it has no rows.
    [[nodiscard]] static QString emptyText(bool busy);
    // Paints `layout` with its top left corner at the painter's origin.
    static void paintBar(QPainter& painter, const UsageBarLayout& layout, const PaintState& state);

    explicit UsageBarView(ScanController& c, QWidget* parent = nullptr);

    // The layout in use (laid out again first when its inputs changed).
    [[nodiscard]] const UsageBarLayout& barLayout();
    // Where the layout's origin lies in the widget.
    [[nodiscard]] QPoint barOrigin() const { return {sideMargin, headerHeight}; }
    // The centre of the segment `id` in widget coordinates; none when it is not drawn.
    [[nodiscard]] std::optional<QPoint> segmentCenter(const std::string& id);
    [[nodiscard]] QString headerText();
    [[nodiscard]] const QToolButton* collapseButton() const { return m_collapse; }
    [[nodiscard]] std::optional<std::string> hoverSegment() const { return m_hoverSeg; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void invalidate();
    void relayout();
    void setHover(const UsageBarLayout::Segment* segment);
    [[nodiscard]] const UsageBarLayout::Segment* segmentAt(QPointF point);
    [[nodiscard]] const UsageBarLayout::Segment* hoveredSegment();
    // The header's second part: the hovered segment, else the hint (none without rows).
    [[nodiscard]] QString infoText();
    [[nodiscard]] PaintState paintState() const;
    void paintHeader(QPainter& painter);

    ScanController& m_c;
    QToolButton* m_collapse;
    UsageBarLayout m_layout;
    std::int64_t m_total = 0;
    // The width the layout was made for.
    int m_width = -1;
    // The folder segment the last press landed on, for the double click that may follow.
    std::optional<std::string> m_pressedFolder;
    QElapsedTimer m_lastPress;
    QPointF m_lastPressAt;
    bool m_hasRows = false;
    bool m_dirty = true;
    bool m_relayoutPosted = false;
    QString m_listingName;
    std::optional<std::string> m_hoverSeg;
};

} // namespace tessary
