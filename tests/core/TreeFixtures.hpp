#pragma once

// Small helpers for tests that need a scan tree built by hand, temporary folders and python3.

#include "TessaryCore/ScanResult.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace fixtures {

inline tessary::Item& addRoot(tessary::ScanResult& res, const std::string& id,
                              std::int64_t container = 1) {
    tessary::Item& root = res.put(tessary::Item(id, "", id, tessary::ItemKind::dir, container));
    root.enumerated = true;
    res.roots.push_back(&root);
    return root;
}

// A child named like its id unless `name` is given.
inline tessary::Item& addChild(tessary::ScanResult& res, tessary::Item& parent,
                               const std::string& id, tessary::ItemKind kind, std::int64_t sz = 0,
                               const std::string& name = {}) {
    tessary::Item& child =
        res.add(tessary::Item(id, parent.id(), name.empty() ? id : name, kind, parent.container()));
    child.sz = sz;
    child.enumerated = kind == tessary::ItemKind::dir;
    child.resolved = true;
    parent.children.push_back(&child);
    return child;
}

// A fresh folder under the system's temporary folder, removed with its contents.
struct TempDir {
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tessary-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path = pattern;
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::filesystem::path path;
};

inline void writeFile(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

inline std::string readFile(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

struct CommandResult {
    int status = -1; // exit status, or -1 when the command did not end normally
    std::string out;
};

// Runs `command` through the shell and collects its standard output.
inline CommandResult run(const std::string& command) {
    CommandResult r;
    FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

inline bool havePython() {
    return run("python3 -c 'import csv, json' 2>/dev/null").status == 0;
}

} // namespace fixtures
