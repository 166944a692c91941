#pragma once

#include <QLabel>

namespace tessary {

// A one-line label that shortens its text with "…" when it does not fit; `fullText` keeps the
// whole text. It asks for the width of the whole text and can shrink to a few characters.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    void setFullText(const QString& text);
    [[nodiscard]] QString fullText() const { return m_text; }
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void elide();

    QString m_text;
};

} // namespace tessary
