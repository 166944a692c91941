#pragma once

#include "TessaryApp/ScanController.hpp"

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

namespace tessary {

// The header of the delete list: what moving the listed items to the Trash frees, in the iCloud
// quota and on this Mac, and the buttons to empty the list or move it to the Trash. The list has
// a second, gentler action: freeing its downloaded documents from this Mac only, which deletes
// nothing; its own line says what that frees.
class DeleteListHeader : public QWidget {
    Q_OBJECT

public:
    struct Lines {
        QString amount;
        QString count;
        QString detail;
        // Only when the quota is known.
        std::optional<QString> quota;
        // Only when some listed items lie inside another listed folder.
        std::optional<QString> nested;
        // Only when some listed documents could be freed from this Mac instead.
        std::optional<QString> evict;
        friend bool operator==(const Lines&, const Lines&) = default;
    };

    [[nodiscard]] static Lines lines(const ScanController::Savings& savings,
                                     const std::optional<SummaryDTO>& summary);

    explicit DeleteListHeader(ScanController& c, QWidget* parent = nullptr);

    [[nodiscard]] QString title() const;
    [[nodiscard]] const Lines& shownLines() const { return m_lines; }
    [[nodiscard]] QPushButton* clearButton() const { return m_clear; }
    [[nodiscard]] QPushButton* trashButton() const { return m_trash; }
    [[nodiscard]] QPushButton* evictButton() const { return m_evict; }

private:
    void update();

    ScanController& m_c;
    QLabel* m_title;
    QLabel* m_amount;
    QLabel* m_count;
    QLabel* m_detail;
    QLabel* m_quota;
    QLabel* m_nested;
    QLabel* m_evictLine;
    QPushButton* m_clear;
    QPushButton* m_evict;
    QPushButton* m_trash;
    Lines m_lines;
};

} // namespace tessary
