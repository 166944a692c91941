#include "TessaryCore/LocalEntry.hpp"

#include "TessaryCore/FS.hpp"
#include "TessaryCore/Masking.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <utility>

namespace tessary {

namespace {
constexpr double listingTimeout = 5.0;
constexpr std::int64_t listingLimit = 20000;
} // namespace

LocalEntry::LocalEntry(std::string name_, std::shared_ptr<const std::string> folder, ItemKind kind_,
                       TimeoutPool& pool, std::string primary_)
    : name(std::move(name_)), kind(kind_), primary(std::move(primary_)),
      m_folder(std::move(folder)), m_pool(&pool) {}

LocalEntry::LocalEntry(std::string name_, std::shared_ptr<const std::string> folder, ItemKind kind_,
                       TimeoutPool& pool)
    : LocalEntry(name_, std::move(folder), kind_, pool, Masking::primaryMask(name_)) {}

std::string LocalEntry::path() const {
    return FS::join(*m_folder, name);
}

const std::optional<std::unordered_set<std::string>>& LocalEntry::listing() {
    static const std::optional<std::unordered_set<std::string>> none;
    if (kind != ItemKind::dir)
        return none;
    if (masks)
        return masks;
    if (dataless)
        return none;
    // A fresh look: the folder may have become a placeholder since it was listed.
    const std::string ownPath = path();
    const auto own = FS::lstat(ownPath);
    if (!own || own->isDataless())
        return none;
    std::vector<std::string> names;
    try {
        names = m_pool->run(listingTimeout, {}, {}, false,
                            [p = ownPath] { return FS::listNames(p, listingLimit); });
    } catch (...) {
        return none;
    }
    std::int64_t visible = 0;
    std::unordered_set<std::string> all;
    for (const std::string& n : names) {
        if (n.empty() || n[0] != '.')
            ++visible;
        for (std::string& m : Masking::maskVariants(n))
            all.insert(std::move(m));
    }
    count = visible;
    masks = std::move(all);
    return masks;
}

} // namespace tessary
