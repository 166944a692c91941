// Writes arbitrary bytes to a temporary file, parses it as a dump and aggregates the result.
// A ScanError (no server section) is a valid outcome; anything else that escapes, or a crash,
// is a finding.
#include "TessaryCore/Aggregator.hpp"
#include "TessaryCore/DumpParser.hpp"
#include "TessaryCore/ScanError.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

using namespace tessary;

namespace {

const std::string& dumpPath() {
    static const std::string path = [] {
        std::string tmpl = "/tmp/fuzz_parser-XXXXXX";
        const int fd = ::mkstemp(tmpl.data());
        if (fd < 0)
            std::abort();
        ::close(fd);
        std::atexit([] { ::unlink(dumpPath().c_str()); });
        return tmpl;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = dumpPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    if (size > 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
    try {
        ScanResult res = DumpParser::parse(path);
        Aggregator::aggregate(res);
        // Every item of the tree is reached once: the subtree counts of the roots cannot
        // exceed the items stored.
        std::int64_t reached = 0;
        for (const Item* root : res.roots)
            reached += root->aggDocs + root->aggDirs;
        if (reached > static_cast<std::int64_t>(res.itemCount()))
            std::abort();
    } catch (const ScanError&) {
    }
    return 0;
}
