#pragma once

#include "TessaryCore/FileCategory.hpp"

#include <QColor>

namespace tessary {

// The system colour each file category is shown in, in the light or dark shade of the palette.
struct CategoryColor {
    CategoryColor() = delete;

    [[nodiscard]] static QColor of(FileCategory category);
};

} // namespace tessary
