#include "TessaryApp/NodeRows.hpp"

#include "TessaryApp/NestedItems.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

namespace tessary {

NodeDTO NodeRows::listed(const ScanResult& result, const Item& item) {
    NodeDTO row(item);
    row.dpath = result.displayPath(item);
    row.parent = std::string(item.parent());
    return row;
}

ColorRanks NodeRows::ranks(const Rows& rows) {
    ColorRanks map;
    for (std::size_t i = 0; i < rows.size(); ++i)
        map[rows[i].id] = static_cast<int>(i);
    return map;
}

std::vector<bool> NodeRows::insideAnother(const ScanResult& result, const Rows& rows) {
    std::vector<const Item*> items;
    items.reserve(rows.size());
    for (const NodeDTO& row : rows)
        items.push_back(result.get(row.id));
    return NestedItems::insideAnother(result, items);
}

NodeRows::Rows NodeRows::outermost(const ScanResult* result, const Rows& rows) {
    if (!result)
        return rows;
    const std::vector<bool> inside = insideAnother(*result, rows);
    Rows outer;
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (!inside[i])
            outer.push_back(rows[i]);
    return outer;
}

} // namespace tessary
