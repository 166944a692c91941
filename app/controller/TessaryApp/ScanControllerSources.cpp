// What a new scan result keeps of the one shown before it. The iCloud Drive's ids stay the same
// from one database dump to the next, so the folder shown and the delete list are kept by id. A
// disk-only scan numbers its items anew each time: a rescan of the same folders keeps them by
// path. A result of another source keeps nothing: its ids name other items.
#include "TessaryApp/ScanController.hpp"

#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessary {

namespace {

using PathIDs = std::unordered_map<std::string, std::string>;

// The ids in `next` of the items at `paths`, for those that are there. Only the items whose name
// is the last part of one of the paths (and the roots, named by the user) have their paths built:
// a result holds hundreds of thousands of items, the lists a handful of paths.
PathIDs idsAt(const ScanResult& next, const std::vector<std::string>& paths) {
    std::unordered_set<std::string_view> wanted;
    std::unordered_set<std::string_view> names;
    for (const std::string& path : paths) {
        wanted.insert(path);
        const std::size_t slash = path.find_last_of('/');
        names.insert(std::string_view(path).substr(slash == std::string::npos ? 0 : slash + 1));
    }
    PathIDs ids;
    const auto take = [&](const Item& item) {
        if (const auto path = item.path(); path && wanted.count(*path) != 0)
            ids.emplace(*path, std::string(item.id()));
    };
    for (const Item* root : next.roots)
        take(*root);
    next.forEachItem([&](Item& item) {
        if (names.count(item.name()) != 0)
            take(item);
    });
    return ids;
}

// The path in `before` of the item `id`, if it has one.
std::optional<std::string> pathOf(const ScanResult& before, const std::string& id) {
    const Item* item = before.get(id);
    return item ? item->path() : std::nullopt;
}

// The id in the next result of the item at `path`.
std::optional<std::string> idAt(const PathIDs& next, const std::optional<std::string>& path) {
    if (!path)
        return std::nullopt;
    const auto found = next.find(*path);
    return found == next.end() ? std::nullopt : std::optional<std::string>(found->second);
}

} // namespace

ScanController::OptID ScanController::carryOver(const ScanResult& next, const ScanSource& source) {
    const ResultPtr before = m_result;
    if (source != m_source.value() || !before) {
        m_deleteList = DeleteList(source.kind == ScanSource::Kind::iCloudDrive);
        syncDeleteIDs();
        return std::nullopt;
    }
    if (source.kind != ScanSource::Kind::folders)
        return currentID();
    std::vector<std::optional<std::string>> listedPaths;
    std::vector<std::string> paths;
    for (const std::string& id : m_deleteList.ids()) {
        listedPaths.push_back(pathOf(*before, id));
        if (listedPaths.back())
            paths.push_back(*listedPaths.back());
    }
    const OptID current = currentID();
    const std::optional<std::string> currentPath =
        current ? pathOf(*before, *current) : std::nullopt;
    if (currentPath)
        paths.push_back(*currentPath);
    const PathIDs ids = idsAt(next, paths);
    IDList listed;
    for (const std::optional<std::string>& path : listedPaths)
        if (const OptID now = idAt(ids, path))
            listed.push_back(*now);
    m_deleteList.replace(std::move(listed));
    syncDeleteIDs();
    return idAt(ids, currentPath);
}

} // namespace tessary
