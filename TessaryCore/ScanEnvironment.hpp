#pragma once

#include <string>
#include <string_view>

namespace tessary {

// The absolute paths every stage works on, derived from one home folder so that the whole
// pipeline can be pointed at another home (tests, the simulated iCloud Drive). Fields are
// mutable so single paths can be pointed elsewhere after construction. Creates nothing on disk.
struct ScanEnvironment {
    explicit ScanEnvironment(std::string_view home);

    // The process-wide environment, computed once on first use from HOME (even if empty) or,
    // when HOME is unset, the account's home directory. Later changes of HOME are not seen.
    [[nodiscard]] static const ScanEnvironment& defaultEnvironment();

    // iCloud Drive's own folder inside Library/Mobile Documents.
    static constexpr std::string_view cloudDocsDirName = "com~apple~CloudDocs";

    std::string home;
    std::string mobileDocs;
    std::string cloudDocsDir;
    std::string cacheDir;
    std::string dumpFile;
    std::string metaFile;
    std::string lockFile;
};

} // namespace tessary
