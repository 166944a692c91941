#pragma once

#include "TessaryCore/ItemKind.hpp"
#include "TessaryCore/LocalKey.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessary {

class TimeoutPool;

// One entry of a listed local folder, shared by every key it is filed under. The matching marks
// it `used` once a dump item took it. A folder entry can list its own contents (`listing`) so
// that folders sharing one mask can be told apart by what they hold.
class LocalEntry {
public:
    LocalEntry(std::string name, std::string path, ItemKind kind, TimeoutPool& pool);

    std::string name;
    // For a link, the link's own path.
    std::string path;
    ItemKind kind;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    bool dataless = false;
    // Blocks x 512, whether dataless or not.
    std::int64_t alloc = 0;
    bool used = false;
    bool isLink = false;
    std::string primary;
    // Visible entries (not beginning with ".") of this folder, -1 until `listing` succeeded.
    std::int64_t count = -1;
    // Every mask variant of every entry of this folder, once `listing` succeeded.
    std::optional<std::unordered_set<std::string>> masks;

    // The masks of this folder's entries: none for a non-folder, a dataless folder, or one whose
    // listing fails or takes longer than 5 s (then a later call tries again).
    const std::optional<std::unordered_set<std::string>>& listing();

private:
    TimeoutPool* m_pool;
};

// A listed folder: each key's entries in listing order.
using LocalListing =
    std::unordered_map<LocalKey, std::vector<std::shared_ptr<LocalEntry>>, LocalKey::Hash>;

} // namespace tessary
