#pragma once

#include <string>
#include <string_view>

namespace tessary {

// Writing a whole file so that readers see either the old contents or the new ones, never a
// truncated mix: the bytes go to a new temporary file in the target's folder, are flushed to
// the disk and then renamed over the target.
struct AtomicFile {
    AtomicFile() = delete;

    // Replaces (or creates) the file at `path` with `bytes`. An existing file's permission bits
    // are kept. On failure the target is untouched, the temporary file is removed and a
    // ScanError with a Czech text naming `path` is thrown.
    static void write(const std::string& path, std::string_view bytes);
};

} // namespace tessary
