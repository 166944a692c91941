#pragma once

#include "TessaryApp/ScanReport.hpp"
#include "TessaryCore/FileCategory.hpp"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// Every text of the scan summary, built from a report alone, so each variant of the sheet
// (no categories, no dead items, an unknown quota, …) is checked without a scan or a widget.
struct SummaryContent {
    struct Figure {
        QString title;
        QString value;
        friend bool operator==(const Figure&, const Figure&) = default;
    };
    // One category's line under the categories bar.
    struct CategoryRow {
        FileCategory category = FileCategory::other;
        QString title;
        QString size;
        // Share of the categories' own sum.
        QString percent;
        QString files;
        // "jen v cloudu …" or "vše staženo".
        QString cloud;
    };
    // One segment of the categories bar, in points from the bar's left edge.
    struct BarPiece {
        FileCategory category = FileCategory::other;
        double x = 0;
        double width = 0;
        QString toolTip;
    };
    // The biggest file or folder with what its button does.
    struct Highlight {
        QString title;
        std::string symbol;
        QString name;
        QString detail;
        QString path;
        std::string id;
        bool isFolder = false;
    };

    QString dumpLine;
    QString heroSize;
    QString heroPercent;
    QString heroSentence;
    std::vector<Figure> figures;
    // Sum of the categories' quota bytes, at least 1.
    std::int64_t categoryTotal = 1;
    std::vector<CategoryRow> categories;
    std::vector<Highlight> highlights;
    // Absent without dead items.
    std::optional<QString> deadLine;

    // `web` is the address of the iCloud web site the dead-items line points to.
    [[nodiscard]] static SummaryContent of(const ScanReport& report, const QString& web);
    // The bar's segments for a bar `width` points wide; segments under 1 point are left out.
    [[nodiscard]] static std::vector<BarPiece>
    barPieces(const std::vector<CategoryStat>& categories, double width);
    [[nodiscard]] static std::int64_t categoryTotalOf(const std::vector<CategoryStat>& categories);
    // The count with "smazanou položku", "smazané položky" or "smazaných položek" as Czech
    // declines it.
    [[nodiscard]] static QString deadItems(std::int64_t count);
    // The symbol name of a category's icon.
    [[nodiscard]] static std::string_view symbol(FileCategory category);
};

} // namespace tessary
