#pragma once
// What iCloud Drive's own sync would have done between two dumps: the server learns what
// happened to the local copies of its items.

#include "ServerDb.hpp"

#include <cstdint>
#include <string>

namespace sim {

struct DiskSync {
    DiskSync() = delete;

    struct Changes {
        std::int64_t deleted = 0; // items whose local entry went, now dead
        std::int64_t added = 0;   // local files and folders the server did not know
        std::int64_t updated = 0; // downloaded files whose size or time changed
        [[nodiscard]] bool any() const { return deleted + added + updated > 0; }
    };

    // Brings `db` in line with the home folder `home`:
    //  - a live item whose local entry is gone becomes a dead item (recently deleted, still
    //    charged), and so does everything below it;
    //  - a downloaded file with another size or modification time takes them over (and is
    //    charged its new size);
    //  - a file or folder in a listed folder that no item stands for becomes a new item;
    //  - a placeholder (cloud-only) stays as it is, and so does anything the disk cannot tell
    //    (a folder that cannot be read, a never-opened folder, a package's insides).
    // Hidden names and names the database cannot hold (a tab or a line break) are left out.
    // An untouched world is left exactly as it was.
    static Changes reconcile(ServerDb& db, const std::string& home);
};

} // namespace sim
