#pragma once

#include "TessaryCore/FileCategory.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>

namespace tessary {

// The totals of one file category below a folder. Identity is `category`.
struct CategoryStat {
    explicit CategoryStat(FileCategory category) : category(category) {}

    FileCategory category;
    std::int64_t qta = 0;   // sum of the documents' aggQta
    std::int64_t cloud = 0; // sum of the documents' aggCloud
    std::int64_t count = 0; // number of documents

    [[nodiscard]] FileCategory id() const { return category; }
    friend bool operator==(const CategoryStat&, const CategoryStat&) = default;
};

std::ostream& operator<<(std::ostream& os, const CategoryStat& s);

} // namespace tessary

template <> struct std::hash<tessary::CategoryStat> {
    std::size_t operator()(const tessary::CategoryStat& s) const noexcept;
};
