#pragma once
// The benchmark trees on the disk that more than one benchmark uses: the shape of a home folder
// (30,000 folders, 300,000 files) and the names their entries take.

#include "BenchSupport.hpp"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace bench {

inline const char* const words[] = {"Report", "IMG",    "Faktura", "notes", "Projekt",  "scan",
                                    "Video",  "backup", "Smlouva", "draft", "Rozpočet", "data"};
inline const char* const exts[] = {".pdf",  ".jpg", ".mov",  ".txt",
                                   ".docx", ".zip", ".heic", ".m4a"};

// A file of a home folder: real bytes (a few hundred to a few thousand), one in twenty empty.
inline void makeHomeFile(const std::string& path, Rng& rng) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    if (rng.below(20) != 0) {
        const std::string bytes(1 + rng.below(4000), 'h');
        if (::write(fd, bytes.data(), bytes.size()) < 0)
            std::perror(path.c_str());
    }
    ::close(fd);
}

// The shape of a home folder: 30,000 folders, each made below a folder picked at random among
// those made before (so some chains run deep and most folders sit a few levels down), and
// 300,000 files spread over them, about ten entries a folder.
inline std::int64_t makeHomeTree(const std::string& root, std::int64_t) {
    constexpr int folders = 30'000;
    constexpr int files = 300'000;
    Rng rng{0x9E3779B97F4A7C15ULL};
    std::vector<std::string> dirs{root};
    std::filesystem::create_directories(root);
    for (int i = 0; i < folders; ++i) {
        // Recent folders are picked more often, which makes some chains of nested folders.
        const std::size_t parent = dirs.size() - 1 - rng.below(1 + rng.below(dirs.size()));
        const std::string dir = dirs[parent] + "/" + words[rng.below(12)] + " " + std::to_string(i);
        if (::mkdir(dir.c_str(), 0755) != 0) {
            std::perror(dir.c_str());
            std::exit(1);
        }
        dirs.push_back(dir);
    }
    for (int i = 0; i < files; ++i) {
        const std::string& dir = dirs[rng.below(dirs.size())];
        makeHomeFile(
            dir + "/" + words[rng.below(12)] + " " + std::to_string(i) + exts[rng.below(8)], rng);
    }
    return folders + files;
}

// The tree at `root`, made by `make` unless a tree of this layout with at least `wanted`
// entries is there already.
inline std::int64_t treeEntries(const std::string& root, std::int64_t wanted,
                                std::int64_t (*make)(const std::string&, std::int64_t)) {
    // The marker names the layout version, so a tree of an older layout is written anew.
    const std::string marker = root + ".v2.entries";
    std::int64_t count = 0;
    if (std::ifstream(marker) >> count && count >= wanted && std::filesystem::is_directory(root))
        return count;
    std::filesystem::remove_all(root);
    const double t = bench::seconds();
    count = make(root, wanted);
    std::ofstream(marker) << count;
    std::printf("tree: %lld entries written in %.1f s\n", static_cast<long long>(count),
                bench::seconds() - t);
    return count;
}

} // namespace bench
