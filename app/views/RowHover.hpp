#pragma once

#include <QObject>

#include <optional>
#include <string>

class QAbstractItemView;
class QModelIndex;
class QPainter;
class QStyleOptionViewItem;

namespace tessary {

class ScanController;

// Tracks the pointer over a table of listed rows: entering a row sets the controller's
// `hoveredID`, leaving it clears the id when it still holds that row's. The delegates tint the
// hovered row (hovered here or in the usage bar) with its rank colour.
class RowHover : public QObject {
    Q_OBJECT

public:
    // Watches `view`'s viewport for the life of the view.
    RowHover(ScanController& c, QAbstractItemView* view);

    // Paints the row's background: the selection as the style draws it, and the tint of the
    // hovered row when the row has a colour rank.
    static void paintBackground(QPainter& painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void enter(const std::optional<std::string>& id);
    void leave();

    ScanController& m_c;
    QAbstractItemView* m_view;
    std::optional<std::string> m_id;
};

} // namespace tessary
