#pragma once

#include "TessaryCore/ItemKind.hpp"
#include "TessaryCore/LocalIdentity.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>

namespace tessary {

class TimeoutPool;

// One entry of a listed local folder, filed under every key it may stand for. The matching marks
// it `used` once a dump item took it. A folder entry can list its own contents (`listing`) so
// that folders sharing one mask can be told apart by what they hold.
class LocalEntry {
public:
    // `folder` is the path of the listed folder, shared by all its entries: the entry's own path
    // is built only when it is asked for, which is once it is paired.
    LocalEntry(std::string name, std::shared_ptr<const std::string> folder, ItemKind kind,
               TimeoutPool& pool);
    // The same with the primary mask of `name` already known.
    LocalEntry(std::string name, std::shared_ptr<const std::string> folder, ItemKind kind,
               TimeoutPool& pool, std::string primary);

    std::string name;
    ItemKind kind;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    // What lstat said of the entry itself (a link's own device and inode, not its target's).
    LocalIdentity seen;
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

    // The entry's path; for a link, the link's own path.
    [[nodiscard]] std::string path() const;

    // The masks of this folder's entries: none for a non-folder, a dataless folder, or one whose
    // listing fails or takes longer than 5 s (then a later call tries again).
    const std::optional<std::unordered_set<std::string>>& listing();

private:
    std::shared_ptr<const std::string> m_folder;
    TimeoutPool* m_pool;
};

} // namespace tessary
