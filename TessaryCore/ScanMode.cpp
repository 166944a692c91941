#include "TessaryCore/ScanMode.hpp"

namespace tessary {

std::string_view toText(ScanMode mode) {
    return mode == ScanMode::fs ? "fs" : "dump";
}

std::optional<ScanMode> scanModeFromText(std::string_view text) {
    if (text == "dump")
        return ScanMode::dump;
    if (text == "fs")
        return ScanMode::fs;
    return std::nullopt;
}

} // namespace tessary
