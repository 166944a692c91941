#include "TessaryApp/SelfTest.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/ScanController.hpp"
#include "TessaryCore/FileCategory.hpp"

#include <QStringList>

namespace tessary {

namespace {

// ["a", "b"]
QString quotedList(const QStringList& items) {
    QStringList quoted;
    for (const QString& item : items)
        quoted.push_back(QLatin1Char('"') + item + QLatin1Char('"'));
    return QLatin1Char('[') + quoted.join(QStringLiteral(", ")) + QLatin1Char(']');
}

QString names(const std::vector<NodeDTO>& rows) {
    QStringList list;
    for (const NodeDTO& row : rows)
        list.push_back(Fmt::text(row.name));
    return quotedList(list);
}

QString flag(bool value) {
    return value ? QStringLiteral("true") : QStringLiteral("false");
}

void reportLines(const ScanReport& r, QStringList& out) {
    out << QStringLiteral("report: total=%1 cloud=%2 (%3) cloudDocs=%4 local=%5")
               .arg(Fmt::size(r.total), Fmt::size(r.cloud), Fmt::percent(r.cloud, r.total))
               .arg(r.cloudDocs)
               .arg(Fmt::size(r.local));
    for (const CategoryStat& cat : r.categories)
        out << QStringLiteral("  cat %1: %2 · %3 · cloud %4")
                   .arg(Fmt::text(title(cat.category)), Fmt::size(cat.qta))
                   .arg(cat.count)
                   .arg(Fmt::size(cat.cloud));
    const auto biggest = [](const char* what, const std::optional<NodeDTO>& node) {
        return QStringLiteral("  biggest %1: %2 %3")
            .arg(QLatin1String(what), node ? Fmt::text(node->name) : QStringLiteral("-"),
                 Fmt::size(node ? std::optional<std::int64_t>(node->qta) : std::nullopt));
    };
    out << biggest("file", r.biggestFile) << biggest("dir", r.biggestDir);
}

void cardLines(const SummaryDTO& s, QStringList& out) {
    for (const ContainerDTO& container : s.containers) {
        if (!s.mainRoot || container.root != *s.mainRoot)
            continue;
        out << QStringLiteral("cards: total=%1 cloud=%2 local=%3 free=%4 dead=%5 unenum=%6")
                   .arg(Fmt::size(container.qta), Fmt::size(container.cloud),
                        Fmt::size(container.local), Fmt::size(s.quotaRemaining))
                   .arg(s.deadCount)
                   .arg(container.unenum);
        out << QStringLiteral("containers=%1 warnings=%2")
                   .arg(s.containers.size())
                   .arg(s.warnings.size());
        return;
    }
}

QString enumeratedText(const NodeDTO& row) {
    return row.enumerated ? flag(*row.enumerated) : QStringLiteral("-");
}

} // namespace

QString SelfTest::report(ScanController& c) {
    QStringList out;
    out << QStringLiteral("SELFTEST");
    if (const auto r = c.report())
        reportLines(*r, out);
    if (const auto s = c.summary())
        cardLines(*s, out);
    const auto current = c.current();
    const auto children = c.children();
    out << QStringLiteral("breadcrumbs=%1 current=%2 rows=%3 more=%4")
               .arg(names(c.breadcrumbs()),
                    current ? Fmt::text(current->name) : QStringLiteral("-"))
               .arg(children.size())
               .arg(c.more());
    for (std::size_t i = 0; i < std::min<std::size_t>(5, children.size()); ++i) {
        const NodeDTO& row = children[i];
        out << QStringLiteral("row: %1 | %2 | ☁ %3 | disk %4 | files %5 | resolved=%6 "
                              "enumerated=%7")
                   .arg(Fmt::text(row.name), Fmt::size(row.qta), Fmt::size(row.cloud),
                        Fmt::size(row.local))
                   .arg(row.docs)
                   .arg(flag(row.resolved), enumeratedText(row));
    }

    const ScanController::View viewBefore = c.view();
    c.setQuery(QStringLiteral("koleda"));
    c.runSearch(ScanController::listingRowLimit);
    const auto hits = c.searchResults();
    out << QStringLiteral("search 'koleda': total=%1 first=%2")
               .arg(c.searchTotal())
               .arg(!hits.empty() && hits.front().dpath ? Fmt::text(*hits.front().dpath)
                                                        : QStringLiteral("-"));
    c.setQuery(QString());
    c.setView(viewBefore);

    c.loadTopFiles(3);
    QStringList top;
    for (const NodeDTO& row : c.topFiles())
        top << Fmt::text(row.name) + QLatin1Char(' ') + Fmt::size(row.qta);
    out << QStringLiteral("top files: ") + quotedList(top);

    const auto summary = c.summary();
    c.navigate(summary ? summary->mainRoot : std::nullopt, true);
    for (const NodeDTO& row : c.children()) {
        if (!row.isDir() || row.enumerated != std::optional<bool>(true))
            continue;
        c.navigate(row.id, true);
        out << QStringLiteral("drill-down '%1': rows=%2 breadcrumbs=%3")
                   .arg(Fmt::text(row.name))
                   .arg(c.children().size())
                   .arg(names(c.breadcrumbs()));
        break;
    }
    return out.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace tessary
