#include "CategoryColor.hpp"

#include "Tints.hpp"

namespace tessary {

QColor CategoryColor::of(FileCategory category) {
    switch (category) {
    case FileCategory::video:
        return Tints::purple();
    case FileCategory::photo:
        return Tints::orange();
    case FileCategory::design:
        return Tints::pink();
    case FileCategory::audio:
        return Tints::green();
    case FileCategory::document:
        return Tints::blue();
    case FileCategory::archive:
        return Tints::brown();
    case FileCategory::other:
        break;
    }
    return Tints::grey();
}

} // namespace tessary
