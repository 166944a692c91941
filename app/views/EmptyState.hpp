#pragma once

#include <QWidget>

class QLabel;

namespace tessary {

// The placeholder of an empty listing: an icon, a title and a description, centred.
class EmptyState : public QWidget {
    Q_OBJECT

public:
    static constexpr int descriptionWidth = 480;

    explicit EmptyState(QWidget* parent = nullptr);

    // `symbol` may be empty (no icon); so may `description`.
    void set(const QString& title, const QString& symbol, const QString& description);
    [[nodiscard]] QString title() const { return m_titleText; }
    [[nodiscard]] QString symbol() const { return m_symbol; }
    [[nodiscard]] QString description() const { return m_descriptionText; }

protected:
    void changeEvent(QEvent* event) override;

private:
    void updateIcon();

    QLabel* m_icon;
    QLabel* m_title;
    QLabel* m_description;
    QString m_titleText;
    QString m_symbol;
    QString m_descriptionText;
};

} // namespace tessary
