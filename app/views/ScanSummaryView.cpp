#include "ScanSummaryView.hpp"

#include "CategoryColor.hpp"
#include "Icons.hpp"
#include "Links.hpp"
#include "NameCell.hpp"
#include "Tints.hpp"

#include "TessaryApp/AppSettings.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/ScanController.hpp"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QToolTip>
#include <QVBoxLayout>

namespace tessary {

namespace {

constexpr int cardMargin = 22;
constexpr int iconSize = 16;

QLabel* label(const QString& text, QWidget* parent, double scale = 1.0, bool bold = false) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    QFont font = l->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    font.setBold(bold);
    l->setFont(font);
    return l;
}

QLabel* tinted(QLabel* l, const QColor& color) {
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, color);
    l->setPalette(p);
    return l;
}

QLabel* secondary(const QString& text, QWidget* parent, double scale = 1.0) {
    return tinted(label(text, parent, scale), Tints::secondary());
}

QLabel* wrapped(QLabel* l) {
    l->setWordWrap(true);
    return l;
}

QLabel* icon(std::string_view symbol, const QColor& color, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setPixmap(Icons::tinted(symbol, color, iconSize, parent->devicePixelRatioF()));
    l->setFixedSize(iconSize, iconSize);
    return l;
}

// A small secondary title over its value.
QWidget* stat(const SummaryContent::Figure& figure, QWidget* parent) {
    auto* box = new QWidget(parent);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(secondary(figure.title, box, 0.85));
    layout->addWidget(label(figure.value, box, 1.15, true));
    return box;
}

// The categories as one stacked bar; each segment names its category in a tooltip.
class CategoryBar : public QWidget {
public:
    CategoryBar(std::vector<CategoryStat> categories, QWidget* parent)
        : QWidget(parent), m_categories(std::move(categories)) {
        setFixedHeight(ScanSummaryView::categoryBarHeight);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        QPainterPath clip;
        clip.addRoundedRect(QRectF(rect()), 5, 5);
        painter.setClipPath(clip);
        painter.fillRect(rect(), Tints::withAlpha(Tints::primary(), 0.06));
        for (const SummaryContent::BarPiece& piece : pieces())
            painter.fillRect(QRectF(piece.x, 0, piece.width, height()),
                             CategoryColor::of(piece.category));
    }

    bool event(QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return QWidget::event(event);
        const auto* help = static_cast<QHelpEvent*>(event);
        for (const SummaryContent::BarPiece& piece : pieces())
            if (help->pos().x() >= piece.x && help->pos().x() < piece.x + piece.width) {
                QToolTip::showText(help->globalPos(), piece.toolTip, this);
                return true;
            }
        QToolTip::hideText();
        event->ignore();
        return true;
    }

private:
    [[nodiscard]] std::vector<SummaryContent::BarPiece> pieces() const {
        return SummaryContent::barPieces(m_categories, width());
    }

    std::vector<CategoryStat> m_categories;
};

QWidget* categoryRows(const std::vector<SummaryContent::CategoryRow>& rows, QWidget* parent) {
    auto* grid = new QWidget(parent);
    auto* layout = new QGridLayout(grid);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setHorizontalSpacing(12);
    layout->setVerticalSpacing(5);
    int r = 0;
    for (const SummaryContent::CategoryRow& row : rows) {
        layout->addWidget(
            icon(SummaryContent::symbol(row.category), CategoryColor::of(row.category), grid), r,
            0);
        layout->addWidget(label(row.title, grid), r, 1);
        layout->addWidget(label(row.size, grid, 1.0, true), r, 2, Qt::AlignRight);
        layout->addWidget(secondary(row.percent, grid), r, 3, Qt::AlignRight);
        layout->addWidget(secondary(row.files, grid), r, 4, Qt::AlignRight);
        QLabel* cloud = secondary(row.cloud, grid);
        cloud->setObjectName(QStringLiteral("categoryCloud"));
        layout->addWidget(cloud, r, 5);
        ++r;
    }
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(5, 1);
    return grid;
}

// A faint rounded tile, the background of the highlights.
class Tile : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Tints::withAlpha(Tints::primary(), 0.06));
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    }
};

QWidget* section(const QString& title, QWidget* parent) {
    return label(title, parent, 1.1, true);
}

} // namespace

ScanSummaryView::ScanSummaryView(ScanController& c, QWidget* parent)
    : QWidget(parent), m_c(c), m_scroll(new QScrollArea(this)) {
    setObjectName(QStringLiteral("scanSummary"));
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, cardMargin - 6, 0, cardMargin - 6);
    layout->setSpacing(10);
    layout->addWidget(m_scroll, 1);
    layout->addWidget(footer());
    connect(&c, &ScanController::reportChanged, this, &ScanSummaryView::rebuild);
    connect(&c, &ScanController::grownFoldersChanged, this, &ScanSummaryView::rebuild);
    rebuild();
}

QWidget* ScanSummaryView::grownSection(QWidget* parent) {
    const ScanController::Rows grown = m_c.grownFolders();
    const auto change = m_c.changeSummary();
    if (grown.empty() || !change)
        return nullptr;
    auto* box = new QWidget(parent);
    box->setObjectName(QStringLiteral("grown"));
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 6, 0, 0);
    column->setSpacing(6);
    column->addWidget(
        section(tr("Nejvíc narostlo od %1").arg(Fmt::date(double(change->since))), box));
    for (const NodeDTO& row : grown) {
        auto* line = new QHBoxLayout;
        line->setSpacing(10);
        const auto rowChange = m_c.rowChange(row.id);
        auto* amount = label(Fmt::signedSize(rowChange ? rowChange->delta : 0), box, 1.0, true);
        amount->setMinimumWidth(90);
        line->addWidget(amount);
        line->addWidget(wrapped(label(NameCell::displayName(row, m_c.summary()), box)), 1);
        auto* showButton = new QPushButton(tr("Ukázat"), box);
        const std::string id = row.id;
        connect(showButton, &QPushButton::clicked, this, [this, id] {
            dismiss();
            m_c.navigate(id, true);
        });
        line->addWidget(showButton, 0, Qt::AlignVCenter);
        column->addLayout(line);
    }
    return box;
}

QWidget* ScanSummaryView::footer() {
    auto* bar = new QWidget(this);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(cardMargin, 0, cardMargin, 0);
    m_showAfterScan = new QCheckBox(tr("Zobrazovat po každém skenu"), bar);
    m_showAfterScan->setChecked(AppSettings::showSummaryAfterScan());
    connect(m_showAfterScan, &QCheckBox::toggled, this,
            [](bool on) { AppSettings::setShowSummaryAfterScan(on); });
    row->addWidget(m_showAfterScan);
    row->addStretch(1);
    auto* top = new QPushButton(tr("Největší soubory"), bar);
    auto* dirs = new QPushButton(tr("Největší složky"), bar);
    auto* close = new QPushButton(tr("Zavřít"), bar);
    close->setDefault(true);
    connect(top, &QPushButton::clicked, this, [this] {
        dismiss();
        m_c.goHome();
        m_c.loadTopFiles(ScanController::listingRowLimit);
    });
    connect(dirs, &QPushButton::clicked, this, [this] {
        dismiss();
        m_c.goHome();
        m_c.loadBigDirs(ScanController::listingRowLimit);
    });
    connect(close, &QPushButton::clicked, this, &ScanSummaryView::dismiss);
    for (QPushButton* button : {top, dirs, close})
        row->addWidget(button);
    return bar;
}

QPushButton* ScanSummaryView::button(const QString& text) const {
    for (QPushButton* button : findChildren<QPushButton*>())
        if (button->text() == text)
            return button;
    return nullptr;
}

int ScanSummaryView::contentHeight() const {
    const QWidget* content = m_scroll->widget();
    if (!content || !content->layout())
        return 0;
    QLayout* layout = content->layout();
    return layout->hasHeightForWidth() ? layout->totalHeightForWidth(preferredWidth)
                                       : layout->totalSizeHint().height();
}

QSize ScanSummaryView::sizeHint() const {
    const QMargins margins = this->layout()->contentsMargins();
    const int footerHeight = this->layout()->itemAt(1)->sizeHint().height();
    return {preferredWidth, contentHeight() + footerHeight + this->layout()->spacing() +
                                margins.top() + margins.bottom()};
}

void ScanSummaryView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Tints::withAlpha(Tints::primary(), 0.15), 1));
    painter.setBrush(palette().color(QPalette::Window));
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
}

void ScanSummaryView::dismiss() {
    // The summary layer fades out when the controller stops showing the summary.
    m_c.setShowSummary(false);
}

void ScanSummaryView::show(const SummaryContent::Highlight& highlight) {
    dismiss();
    if (highlight.isFolder)
        m_c.navigate(highlight.id, true);
    else
        m_c.showInParent(highlight.id);
}

void ScanSummaryView::rebuild() {
    const std::optional<ScanReport> report = m_c.report();
    m_shown =
        report ? std::optional(SummaryContent::of(*report, Links::icloudWeb())) : std::nullopt;
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(cardMargin, 6, cardMargin, 6);
    layout->setSpacing(10);
    if (!m_shown) {
        layout->addWidget(secondary(tr("Výsledek skenu zatím není k dispozici."), content));
    } else {
        const SummaryContent& s = *m_shown;
        layout->addWidget(label(tr("Výsledek skenu"), content, 1.45, true));
        layout->addWidget(secondary(s.dumpLine, content, 0.9));
        layout->addSpacing(4);

        layout->addWidget(secondary(tr("V iCloudu máte odloženo"), content));
        auto* heroLine = new QHBoxLayout;
        heroLine->addWidget(tinted(label(s.heroSize, content, 2.8, true), Tints::blue()), 0,
                            Qt::AlignBaseline);
        heroLine->addWidget(secondary(s.heroPercent, content, 1.1), 0, Qt::AlignBaseline);
        heroLine->addStretch(1);
        layout->addLayout(heroLine);
        layout->addWidget(wrapped(label(s.heroSentence, content)));
        layout->addSpacing(4);

        auto* figures = new QHBoxLayout;
        figures->setSpacing(16);
        for (const SummaryContent::Figure& figure : s.figures)
            figures->addWidget(stat(figure, content), 1);
        layout->addLayout(figures);

        if (!s.categories.empty()) {
            auto* categories = new QWidget(content);
            categories->setObjectName(QStringLiteral("categories"));
            auto* column = new QVBoxLayout(categories);
            column->setContentsMargins(0, 6, 0, 0);
            column->setSpacing(8);
            column->addWidget(section(tr("Co zabírá místo"), categories));
            column->addWidget(new CategoryBar(report->categories, categories));
            column->addWidget(categoryRows(s.categories, categories));
            layout->addWidget(categories);
        }

        for (const SummaryContent::Highlight& h : s.highlights) {
            auto* tile = new Tile(content);
            tile->setObjectName(QStringLiteral("highlight"));
            auto* row = new QHBoxLayout(tile);
            row->setContentsMargins(12, 8, 12, 8);
            row->setSpacing(10);
            row->addWidget(icon(h.symbol, h.isFolder ? Tints::cyan() : Tints::blue(), tile), 0,
                           Qt::AlignTop);
            auto* text = new QVBoxLayout;
            text->setSpacing(1);
            text->addWidget(secondary(h.title + QStringLiteral(" · ") + h.detail, tile, 0.85));
            text->addWidget(wrapped(label(h.name, tile, 1.0, true)));
            QLabel* path = wrapped(secondary(h.path, tile, 0.85));
            path->setHidden(h.path.isEmpty());
            text->addWidget(path);
            row->addLayout(text, 1);
            auto* showButton = new QPushButton(tr("Ukázat"), tile);
            connect(showButton, &QPushButton::clicked, this, [this, h] { show(h); });
            row->addWidget(showButton, 0, Qt::AlignVCenter);
            layout->addWidget(tile);
        }

        if (QWidget* grown = grownSection(content))
            layout->addWidget(grown);

        if (s.deadLine) {
            auto* dead = new QWidget(content);
            dead->setObjectName(QStringLiteral("dead"));
            auto* row = new QHBoxLayout(dead);
            row->setContentsMargins(0, 0, 0, 0);
            row->addWidget(icon("trash.circle", Tints::orange(), dead), 0, Qt::AlignTop);
            row->addWidget(wrapped(label(*s.deadLine, dead)), 1);
            layout->addWidget(dead);
        }
    }
    layout->addStretch(1);
    delete m_scroll->takeWidget();
    m_scroll->setWidget(content);
    updateGeometry();
}

} // namespace tessary
