#include "TessaryCore/ScanEnvironment.hpp"

#include "TessaryCore/FS.hpp"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace tessary {

namespace {

std::string stripTrailingSlashes(std::string_view home) {
    while (home.size() >= 2 && home.back() == '/')
        home.remove_suffix(1);
    return std::string(home);
}

std::string accountHome() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_dir != nullptr)
        return pw->pw_dir;
    return "/";
}

} // namespace

ScanEnvironment::ScanEnvironment(std::string_view h)
    : home(stripTrailingSlashes(h)), mobileDocs(FS::join(home, "Library/Mobile Documents")),
      cloudDocsDir(FS::join(mobileDocs, cloudDocsDirName)),
      cacheDir(FS::join(home, "Library/Caches/tessary")),
      dumpFile(FS::join(cacheDir, "dump-v.txt")), metaFile(FS::join(cacheDir, "meta.json")),
      lockFile(FS::join(cacheDir, "dump.lock")) {}

const ScanEnvironment& ScanEnvironment::defaultEnvironment() {
    static const ScanEnvironment env = [] {
        const char* h = std::getenv("HOME");
        return ScanEnvironment(h != nullptr ? std::string(h) : accountHome());
    }();
    return env;
}

} // namespace tessary
