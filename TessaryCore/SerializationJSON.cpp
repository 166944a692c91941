#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/Serialization.hpp"

#include "TessaryCore/AtomicFile.hpp"

#include <fmt/format.h>

namespace tessary {

std::string Serialization::JSONEncoder::encode(const ExportDTO& data) const {
    const nlohmann::ordered_json doc = data;
    // nlohmann never escapes "/"; control characters become \u escapes, and `replace` turns
    // bytes that are not UTF-8 (a local path on Linux may hold any bytes) into U+FFFD instead of
    // failing the whole export.
    return doc.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

namespace {

void checkArguments(std::int64_t maxDepth, std::int64_t topFilesPerDir) {
    if (topFilesPerDir < 0)
        throw ScanError::message(
            fmt::format("Počet souborů na složku nesmí být záporný ({}).", topFilesPerDir));
    if (maxDepth > Serialization::maxExportDepth)
        throw ScanError::message(fmt::format("Hloubka exportu může být nejvýše {} úrovní ({}).",
                                             Serialization::maxExportDepth, maxDepth));
}

} // namespace

std::string Serialization::exportJSON(const ScanResult& result, std::int64_t maxDepth,
                                      std::int64_t topFilesPerDir) {
    checkArguments(maxDepth, topFilesPerDir);
    return jsonEncoder().encode(exportData(result, maxDepth, topFilesPerDir));
}

void Serialization::exportTree(const ScanResult& result, const std::string& path,
                               std::int64_t maxDepth, std::int64_t topFilesPerDir) {
    AtomicFile::write(path, exportJSON(result, maxDepth, topFilesPerDir));
}

} // namespace tessary
