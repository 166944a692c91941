#include "TessaryApp/SummaryContent.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryCore/Saturating.hpp"

#include <QCoreApplication>

#include <algorithm>

namespace tessary {

namespace {

// Segments of the categories bar narrower than this are not drawn.
constexpr double minPiece = 1.0;

QString tr(const char* text) {
    return QCoreApplication::translate("SummaryContent", text);
}

std::vector<SummaryContent::Figure> figuresOf(const ScanReport& r) {
    return {
        {tr("Celkem v iCloud Drive"), Fmt::size(r.total)},
        {tr("Staženo na Macu"), Fmt::size(r.local)},
        {tr("Volné místo v kvótě"), Fmt::size(r.quotaRemaining)},
        {tr("Souborů celkem"), Fmt::integer(r.docs)},
    };
}

SummaryContent::CategoryRow categoryRow(const CategoryStat& stat, std::int64_t total) {
    return {
        .category = stat.category,
        .title = Fmt::text(title(stat.category)),
        .size = Fmt::size(stat.qta),
        .percent = Fmt::percent(stat.qta, total),
        .files = Fmt::plural(stat.count, "files"),
        // Only nothing in the cloud is "all downloaded"; a negative figure (a damaged database)
        // is shown as it is.
        .cloud = stat.cloud != 0 ? tr("jen v cloudu ") + Fmt::size(stat.cloud) : tr("vše staženo"),
    };
}

QString pathOf(const NodeDTO& node) {
    if (node.dpath)
        return QString::fromStdString(*node.dpath);
    return node.path ? QString::fromStdString(*node.path) : QString();
}

QString nameLine(const NodeDTO& node) {
    return QString::fromStdString(node.name) + QStringLiteral(" · ") + Fmt::size(node.qta);
}

std::vector<SummaryContent::Highlight> highlightsOf(const ScanReport& r) {
    std::vector<SummaryContent::Highlight> list;
    if (const auto& file = r.biggestFile)
        list.push_back({.title = tr("Největší soubor"),
                        .symbol = std::string(SummaryContent::symbol(fileCategoryOf(file->name))),
                        .name = nameLine(*file),
                        .detail = file->isCloudOnly() ? tr("jen v cloudu") : tr("staženo na Macu"),
                        .path = pathOf(*file),
                        .id = file->id,
                        .isFolder = false});
    if (const auto& dir = r.biggestDir)
        list.push_back({.title = tr("Složka s nejvíc daty"),
                        .symbol = "folder",
                        .name = nameLine(*dir),
                        .detail = Fmt::plural(dir->docs, "files") + tr(" přímo uvnitř"),
                        .path = pathOf(*dir),
                        .id = dir->id,
                        .isFolder = true});
    return list;
}

} // namespace

SummaryContent SummaryContent::of(const ScanReport& r, const QString& web) {
    SummaryContent content;
    content.dumpLine = tr("Databáze iCloud Drive z ") + Fmt::time(r.dumpTime);
    content.heroSize = Fmt::size(r.cloud);
    content.heroPercent = Fmt::percent(r.cloud, r.total) + tr(" z iCloud Drive");
    content.heroSentence = Fmt::plural(r.cloudDocs, "files") +
                           tr(", které nejsou uložené na tomto Macu – zabírají jen místo ve vašem "
                              "iCloudu. Smazáním toho, co už nepotřebujete, uvolníte kvótu.");
    content.figures = figuresOf(r);
    content.categoryTotal = categoryTotalOf(r.categories);
    for (const CategoryStat& stat : r.categories)
        content.categories.push_back(categoryRow(stat, content.categoryTotal));
    content.highlights = highlightsOf(r);
    if (r.deadCount > 0)
        content.deadLine = tr("Server ještě eviduje ") + deadItems(r.deadCount) +
                           QStringLiteral(" (") + Fmt::size(r.deadQta) +
                           tr(") – zkontrolujte „Nedávno smazané“ na ") + web + QLatin1Char('.');
    return content;
}

std::int64_t SummaryContent::categoryTotalOf(const std::vector<CategoryStat>& categories) {
    std::int64_t total = 0;
    for (const CategoryStat& stat : categories)
        total = Saturating::add(total, std::max<std::int64_t>(stat.qta, 0));
    return std::max<std::int64_t>(total, 1);
}

std::vector<SummaryContent::BarPiece>
SummaryContent::barPieces(const std::vector<CategoryStat>& categories, double width) {
    const std::int64_t total = categoryTotalOf(categories);
    std::vector<BarPiece> pieces;
    double x = 0;
    for (const CategoryStat& stat : categories) {
        const double w =
            width * static_cast<double>(std::max<std::int64_t>(stat.qta, 0)) / double(total);
        if (w >= minPiece)
            pieces.push_back({.category = stat.category,
                              .x = x,
                              .width = w,
                              .toolTip = Fmt::text(title(stat.category)) + QStringLiteral(": ") +
                                         Fmt::size(stat.qta) + QStringLiteral(" (") +
                                         Fmt::percent(stat.qta, total) + QStringLiteral(")")});
        // A left-out sliver still takes its place, so the others keep their positions.
        x += w;
    }
    return pieces;
}

QString SummaryContent::deadItems(std::int64_t count) {
    const QString n = Fmt::integer(count);
    if (count == 1)
        return n + tr(" smazanou položku");
    if (count >= 2 && count <= 4)
        return n + tr(" smazané položky");
    return n + tr(" smazaných položek");
}

std::string_view SummaryContent::symbol(FileCategory category) {
    switch (category) {
    case FileCategory::video:
        return "film";
    case FileCategory::photo:
        return "photo";
    case FileCategory::design:
        return "paintbrush.pointed";
    case FileCategory::audio:
        return "music.note";
    case FileCategory::document:
        return "doc.text";
    case FileCategory::archive:
        return "archivebox";
    case FileCategory::other:
        break;
    }
    return "questionmark.folder";
}

} // namespace tessary
