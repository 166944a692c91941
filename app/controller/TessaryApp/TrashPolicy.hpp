#pragma once

#include "TessaryApp/TrashVerdict.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/StatInfo.hpp"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

class Item;
class ScanResult;

// The rules that decide whether an item may be moved to the Trash, over one scan result and the
// folders of the environment. The protected folders are looked up once, when the policy is made:
// make a new policy to see the disk as it is now.
//
// Reads the result's items and the disk: use it only where the result does not change (on the
// main thread while no operation runs, or inside the operation that owns the result).
class TrashPolicy {
public:
    // `result` may be null (then no app container is known and none is protected). A
    // `readOnly` result (a dump from another Mac) lets nothing go to the Trash.
    TrashPolicy(const ScanEnvironment& env, const ScanResult* result, bool readOnly = false);

    // Why the item must not be moved to the Trash, or none when it may.
    [[nodiscard]] std::optional<QString> reason(const Item& item) const;
    // Whether `path` names one of the folders that must never be deleted: the home folder, the
    // iCloud Drive folders, Desktop, Documents and Downloads, and every app container with its
    // Documents folder. Another spelling of the same folder (a trailing "/", a path through a
    // link, another letter case where the file system ignores it) is the same folder.
    [[nodiscard]] bool isProtectedFolder(const std::string& path) const;
    // The display name of the app whose internal data holds the item, or none.
    [[nodiscard]] std::optional<QString> appDataApp(const Item& item) const;
    // Why nothing of a dump from another Mac may be changed or opened on this disk.
    [[nodiscard]] static QString readOnlyReason();
    // The reason and the app together; `listed` is left false.
    [[nodiscard]] TrashVerdict verdict(const Item& item) const;

private:
    struct Folder {
        std::string text;
        bool exists = false;
        std::uint64_t dev = 0;
        std::uint64_t ino = 0;
    };

    // `info` is the lstat of `path`, none when nothing is there.
    [[nodiscard]] bool isProtected(const std::string& path,
                                   const std::optional<StatInfo>& info) const;

    ScanEnvironment m_env;
    const ScanResult* m_result;
    bool m_readOnly;
    std::vector<Folder> m_protected;
};

} // namespace tessary
