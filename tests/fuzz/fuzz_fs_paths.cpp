// Paths of any bytes through the file layer: the textual rules keep their promises, and the
// file calls answer with a value or an FSError, never a crash or another exception. The calls
// stay inside a small tree of our own (no ".." allowed), so nothing else on the machine is read.
#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessary;

namespace {

const std::string& tree() {
    // One fixed folder, rebuilt at every start: the fuzzer may end without running exit
    // handlers, so a fresh folder per run would be left behind each time.
    static const std::string root = [] {
        const std::string r = "/tmp/varnelo-fuzz-fs-" + std::to_string(::getuid());
        std::error_code ec;
        std::filesystem::remove_all(r, ec);
        ::mkdir(r.c_str(), 0700);
        ::mkdir((r + "/a").c_str(), 0755);
        ::mkdir((r + "/a/b").c_str(), 0755);
        ::close(::open((r + "/a/f").c_str(), O_CREAT | O_WRONLY, 0644));
        (void)::symlink("b", (r + "/a/lb").c_str());
        (void)::symlink("f", (r + "/a/lf").c_str());
        (void)::symlink("loop", (r + "/a/loop").c_str());
        ::mkdir((r + "/a/cloud").c_str(), 0755);
        FS::markDataless(r + "/a/cloud");
        return r;
    }();
    return root;
}

void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('|');
    const std::string home(input.substr(0, cut));
    const std::string part(cut == std::string_view::npos ? std::string_view()
                                                         : input.substr(cut + 1));

    // Textual rules.
    const std::string joined = FS::join(home, part);
    if (!home.empty())
        check(FS::isInsideHome(home, home));
    std::string_view trimmed = part;
    while (!trimmed.empty() && trimmed.front() == '/')
        trimmed.remove_prefix(1);
    if (!home.empty() && !trimmed.empty())
        check(FS::isInsideHome(joined, home));
    if (!home.empty() && home.back() != '/')
        check(!FS::isInsideHome(home + "x", home));

    // File calls, confined to the tree.
    if (part.find("..") != std::string::npos)
        return 0;
    const std::string path = FS::join(tree(), part);
    try {
        (void)FS::lstat(path);
        (void)FS::exists(path);
        (void)FS::realpath(path);
        (void)FS::isDirectory(path);
        const auto [st, where] = FS::lstatDir(path, tree() + "/a");
        check(st.has_value() || where == path);
        (void)FS::packageAlloc(path, 50);
        const auto names = FS::listNames(path, 1);
        check(names.size() <= 2);
        (void)FS::lstatThrowing(path);
    } catch (const FSError& e) {
        check(e.path() == path && !e.description().empty());
    }
    return 0;
}
