#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tessary {

// Writing a whole file so that readers see either the old contents or the new ones, never a
// truncated mix: the bytes go to a new temporary file in the target's folder, are flushed to
// the disk and then renamed over the target.
//
// What stands at the path is respected the way a tool that writes a file is expected to: a
// symbolic link is written through (the file it leads to is replaced, the link stays), and a
// target that exists but is not a regular file (a device such as /dev/null, a FIFO, a socket)
// is written directly, without a temporary file and a rename, so it is never replaced by a
// plain file. Only a regular file or a new path takes the temporary file and the rename.
struct AtomicFile {
    AtomicFile() = delete;

    // Hands out the content piece by piece; each piece is written before the next is asked for.
    using Put = std::function<void(std::string_view)>;
    // Produces the whole content through `put`. An exception it throws aborts the write like a
    // write failure: the target is left as it was (a device or FIFO may have got a part).
    using Writer = std::function<void(const Put& put)>;

    // Replaces (or creates) the file at `path` with `bytes`. An existing file's permission bits
    // are kept. On failure the target is untouched, the temporary file is removed and a
    // ScanError with a Czech text naming `path` is thrown.
    static void write(const std::string& path, std::string_view bytes);
    // The same with the content produced by `writer`.
    static void write(const std::string& path, const Writer& writer);
};

} // namespace tessary
