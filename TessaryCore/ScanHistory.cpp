#include "TessaryCore/ScanHistory.hpp"

#include "TessaryCore/AtomicFile.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tessary {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view suffix = ".scan";
// The header (magic, version, time, mode, source, totals, count) fits well within this.
constexpr std::size_t headerBytes = 64 * 1024;

std::optional<std::string> readFile(const std::string& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::string bytes;
    if (limit == 0) {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
        bytes.resize(limit);
        in.read(bytes.data(), static_cast<std::streamsize>(limit));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad())
        return std::nullopt;
    return bytes;
}

std::string damaged(const std::string& file) {
    return "Záznam o dřívějším skenu „" + fs::path(file).filename().string() +
           "“ je poškozený, z jiné verze programu nebo cizí – přeskočen.";
}

// Every record file of the folder with its header, newest first; unreadable ones in `bad`.
std::vector<ScanHistory::Stored> storedIn(const std::string& folder,
                                          std::vector<std::string>& bad) {
    std::vector<ScanHistory::Stored> all;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string path = entry.path().string();
        if (!path.ends_with(suffix) || !entry.is_regular_file(ec))
            continue;
        const std::optional<std::string> head = readFile(path, headerBytes);
        const std::optional<ScanRecord> record =
            head ? ScanRecord::decode(*head, true) : std::nullopt;
        if (!record) {
            bad.push_back(path);
            continue;
        }
        all.push_back({path, record->time, record->source, record->totals, entry.file_size(ec)});
    }
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) {
        return a.time != b.time ? a.time > b.time : a.file > b.file;
    });
    return all;
}

// Drops the oldest records beyond the number and the bytes allowed; the newest always stays.
void prune(const std::string& folder, const ScanHistory::Limits& limits) {
    std::vector<std::string> bad;
    const std::vector<ScanHistory::Stored> all = storedIn(folder, bad);
    std::uintmax_t bytes = 0;
    for (std::size_t i = 0; i < all.size(); ++i) {
        bytes += all[i].bytes;
        if (i > 0 && (i >= limits.scans || bytes > limits.bytes)) {
            std::error_code ec;
            fs::remove(all[i].file, ec);
        }
    }
}

// "scan-TIME-N.scan", numbers zero-padded so that the names of the records of one second sort
// in the order they were made.
std::string newFileName(const std::string& folder, std::int64_t time) {
    for (int n = 0;; ++n) {
        std::string path = FS::join(folder, fmt::format("scan-{:020}-{:04}{}", time, n, suffix));
        if (!FS::lstat(path))
            return path;
    }
}

// The record to compare with: the newest one, or the newest made at or before `since` (the
// oldest when all are later).
const ScanHistory::Stored* chosen(const std::vector<ScanHistory::Stored>& earlier,
                                  std::optional<std::int64_t> since) {
    if (earlier.empty())
        return nullptr;
    if (!since)
        return &earlier.front();
    for (const ScanHistory::Stored& s : earlier)
        if (s.time <= *since)
            return &s;
    return &earlier.back();
}

} // namespace

std::string ScanHistory::folderIn(const std::string& cacheDir) {
    return FS::join(cacheDir, "history");
}

std::string ScanHistory::sourceOf(const ScanResult& result) {
    if (result.mode != ScanMode::fs)
        return "icloud";
    std::string source = "folders";
    for (const Item* root : result.roots)
        source += "\n" + root->path().value_or(std::string(root->name()));
    return source;
}

std::vector<ScanHistory::Stored> ScanHistory::list(const std::string& folder,
                                                   const std::string& source,
                                                   std::vector<std::string>& warnings) {
    std::vector<std::string> bad;
    std::vector<Stored> all = storedIn(folder, bad);
    for (const std::string& file : bad)
        warnings.push_back(damaged(file));
    if (!source.empty())
        std::erase_if(all, [&](const Stored& s) { return s.source != source; });
    return all;
}

std::optional<ScanRecord> ScanHistory::load(const std::string& file,
                                            std::vector<std::string>& warnings) {
    const std::optional<std::string> bytes = readFile(file, 0);
    std::optional<ScanRecord> record = bytes ? ScanRecord::decode(*bytes) : std::nullopt;
    if (!record)
        warnings.push_back(damaged(file));
    return record;
}

void ScanHistory::save(const std::string& folder, const ScanRecord& record) {
    save(folder, record, Limits{});
}

void ScanHistory::save(const std::string& folder, const ScanRecord& record, const Limits& limits) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        throw ScanError::message("Složku pro záznamy skenů nelze vytvořit: " + folder);
    AtomicFile::write(newFileName(folder, record.time), record.encode());
    prune(folder, limits);
}

ScanHistory::Recorded ScanHistory::record(const ScanResult& result, const std::string& folder,
                                          std::int64_t now, std::optional<std::int64_t> since) {
    Recorded out;
    const std::string source = sourceOf(result);
    out.earlier = list(folder, source, out.warnings);
    // The earlier ones may be damaged: the next older one stands in for a bad one.
    std::optional<ScanRecord> old;
    for (const Stored* pick = chosen(out.earlier, since); pick && !old;) {
        old = load(pick->file, out.warnings);
        const auto at = static_cast<std::size_t>(pick - out.earlier.data());
        pick = at + 1 < out.earlier.size() ? &out.earlier[at + 1] : nullptr;
    }
    out.current = ScanRecord::of(result, source, now);
    const ScanRecord& fresh = out.current;
    if (old) {
        out.comparison.emplace(*old, fresh);
        out.comparison->recheckRemoved(result);
    }
    try {
        save(folder, fresh);
    } catch (const std::exception& e) {
        out.warnings.push_back(std::string("Záznam o skenu se nepodařilo uložit: ") + e.what());
    }
    return out;
}

} // namespace tessary
