#include "TessaryCore/ContainerMapper.hpp"

#include "TessaryCore/FS.hpp"
#include "TessaryCore/FSError.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/Masking.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <charconv>
#include <map>
#include <optional>
#include <string_view>

namespace tessary {

namespace {

// The names of the entries of `path` in listing order; none when it cannot be listed.
std::optional<std::vector<std::string>> listFolder(const std::string& path) {
    try {
        return FS::listNames(path);
    } catch (const FSError&) {
        return std::nullopt;
    }
}

// Split at every "~", keeping empty parts, so that joining them again loses nothing.
std::vector<std::string> components(std::string_view name) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t tilde = name.find('~', from);
        parts.emplace_back(name.substr(from, tilde - from));
        if (tilde == std::string_view::npos)
            return parts;
        from = tilde + 1;
    }
}

bool isTeamID(const std::string& part) {
    return std::regex_match(part, ContainerMapper::teamIDPattern());
}

bool hasTeamPrefix(const std::vector<std::string>& parts) {
    return parts.size() >= 2 && isTeamID(parts.front());
}

void appendMaskedComponent(std::string_view component, std::string& into) {
    const std::u32string s = Masking::scalars(component);
    const auto [stem, ext] = Masking::splitExt(s);
    if (stem.size() > 2) {
        const auto [first, last] = Masking::clusterEdges(stem);
        if (first.size() + last.size() < stem.size()) {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits,
                                           stem.size() - first.size() - last.size())
                                 .ptr;
            Masking::appendUTF8(first, into);
            into += '{';
            into.append(digits, end);
            into += '}';
            Masking::appendUTF8(last, into);
            Masking::appendUTF8(ext, into);
            return;
        }
    }
    Masking::appendUTF8(s, into);
}

using FoldersByMask = std::map<std::string, std::vector<std::string>, std::less<>>;

// The folders filed under `mask`; null when there are none.
const std::vector<std::string>* foldersFor(const FoldersByMask& map, const std::string& mask) {
    const auto it = map.find(mask);
    return it == map.end() || it->second.empty() ? nullptr : &it->second;
}

} // namespace

const std::regex& ContainerMapper::teamIDPattern() {
    static const std::regex pattern("^[A-Z0-9]{10}$");
    return pattern;
}

std::string ContainerMapper::masked(const std::vector<std::string>& parts) {
    std::string out;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0)
            out += '.';
        appendMaskedComponent(parts[i], out);
    }
    return out;
}

void ContainerMapper::mapContainers(ScanResult& result, const ScanEnvironment& env) {
    FoldersByMask byMasked;
    FoldersByMask byMaskedTail;
    // An unreadable folder leaves every container unmapped, which is what no names gives.
    const std::vector<std::string> names =
        listFolder(env.mobileDocs).value_or(std::vector<std::string>{});
    for (const std::string& name : names) {
        if (name.empty() || name.front() == '.')
            continue;
        std::vector<std::string> parts = components(name);
        byMasked[masked(parts)].push_back(name);
        if (hasTeamPrefix(parts)) {
            parts.erase(parts.begin());
            byMaskedTail[masked(parts)].push_back(name);
        }
    }

    for (auto& entry : result.containers) {
        Container& container = entry.second;
        // The tail map answers only when no folder has this mask as a whole: an ambiguous
        // whole mask is not resolved through the tails.
        const std::vector<std::string>* candidates = foldersFor(byMasked, container.masked);
        if (candidates == nullptr)
            candidates = foldersFor(byMaskedTail, container.masked);
        const std::string* folder =
            candidates != nullptr && candidates->size() == 1 ? &candidates->front() : nullptr;

        if (folder == nullptr) {
            container.display = container.masked;
            if (container.root != nullptr)
                container.root->setName(container.masked);
            continue;
        }

        container.localPath = FS::join(env.mobileDocs, *folder);
        std::vector<std::string> parts = components(*folder);
        if (hasTeamPrefix(parts))
            parts.erase(parts.begin());
        std::string identifier;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            if (i > 0)
                identifier += '.';
            identifier += parts[i];
        }
        container.display = identifier == "com.apple.CloudDocs" ? "iCloud Drive" : parts.back();
        container.name = std::move(identifier);
        if (container.root != nullptr) {
            container.root->setName(container.display);
            container.root->setPath(*container.localPath);
            container.root->resolved = true;
        }
    }
}

} // namespace tessary
