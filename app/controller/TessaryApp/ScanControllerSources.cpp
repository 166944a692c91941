// What a new scan result keeps of the one shown before it. The iCloud Drive's ids stay the same
// from one database dump to the next, so the folder shown and the delete list are kept by id. A
// disk-only scan numbers its items anew each time: a rescan of the same folders keeps them by
// path. A result of another source keeps nothing: its ids name other items.
#include "TessaryApp/ScanController.hpp"

#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <unordered_map>

namespace tessary {

namespace {

using PathIDs = std::unordered_map<std::string, std::string>;

PathIDs idsByPath(const ScanResult& result) {
    PathIDs ids;
    result.forEachItem([&ids](Item& item) {
        if (const auto path = item.path())
            ids.emplace(std::string(*path), std::string(item.id()));
    });
    return ids;
}

// The id in the next result of the item `id` names in `before`, found by its path.
std::optional<std::string> samePath(const ScanResult& before, const PathIDs& next,
                                    const std::string& id) {
    const Item* item = before.get(id);
    const auto path = item ? item->path() : std::nullopt;
    if (!path)
        return std::nullopt;
    const auto found = next.find(std::string(*path));
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
    const PathIDs ids = idsByPath(next);
    IDList listed;
    for (const std::string& id : m_deleteList.ids())
        if (const std::optional<std::string> now = samePath(*before, ids, id))
            listed.push_back(*now);
    m_deleteList.replace(std::move(listed));
    syncDeleteIDs();
    const OptID current = currentID();
    return current ? samePath(*before, ids, *current) : std::nullopt;
}

} // namespace tessary
