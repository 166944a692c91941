#pragma once

#include "TessaryCore/Container.hpp"
#include "TessaryCore/Progress.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessary {

// Turns a `brctl dump` text file into a ScanResult: one container per container header, one
// item per item line of the server section, then the tree (synthetic roots, orphan buckets,
// dead items taken out) and a check of folder child counts against the database.
struct DumpParser {
    DumpParser() = delete;

    // The per-file state of the line loop.
    struct ParseState {
        ScanResult res;
        std::int64_t total = 0; // size of the dump in bytes, 0 if unknown
        ProgressCallback progress = noopProgress;
        std::int64_t read = 0; // bytes consumed so far, line feeds included
        bool inServer = false;
        Container* curContainer = nullptr; // points into res.containers
        std::int64_t nLines = 0;
        std::int64_t nItems = 0;
        std::int64_t nBad = 0;
        std::int64_t nAlias = 0;
        std::int64_t nDup = 0;
        double lastReport = 0; // seconds since 1970
        std::string stripped;

        ParseState() { stripped.reserve(4096); }

        // One line as read, without its line feed; `rawLength` counts the line feed if there
        // was one. Returns true when reading is to stop (the client section begins).
        bool line(std::string_view bytes, std::int64_t rawLength);
        // One cleaned line of the server section.
        void handle(std::string_view line);
    };

    // Reads the whole file synchronously on the caller's thread in 8 MiB blocks, reports
    // progress as ("parse", bytes read, file size, message) and builds the tree. Throws
    // ScanError when the file cannot be opened or read, or has no server section.
    [[nodiscard]] static ScanResult parse(const std::string& path,
                                          const ProgressCallback& progress = noopProgress);
    // The tree stage, run by `parse` as its last step. Does not fail.
    static void buildTree(ScanResult& res);
    // The file's modification time in seconds since 1970 with fractions; nothing if it cannot
    // be read.
    [[nodiscard]] static std::optional<double> fileModificationTime(const std::string& path);
};

} // namespace tessary
