#pragma once

#include "TessaryCore/LocalIdentity.hpp"

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace tessary {

struct StatInfo;

// Moves one file or folder into the user's Trash in the freedesktop.org layout (the item in
// files/, a .trashinfo record in info/), so that any file manager (or trash-cli) can list and
// restore it. On macOS the system's own Trash call moves the item, after the same checks
// (verifyEntry).
//
// Nothing that happens to the path text after the checks can redirect the move: the item's
// folder is reached from the home folder one component at a time through open descriptors that
// never follow a link, the entry is examined and renamed relative to that same folder, and the
// path stays the bytes it was given (any bytes but "/" and NUL) down to the system calls.
//
// The record in Trash/info is written, read back and synced before the item moves: on a full
// disk nothing moves, rather than an item that no file manager can put back.
struct Trash {
    Trash() = delete;

    // Moves the entry at `path`, which must lie below `home`, into the Trash of its own device:
    // the home Trash ($XDG_DATA_HOME/Trash, else home/.local/share/Trash) when it is on the same
    // device, else the Trash at the top of the entry's file system ($topdir/.Trash/$uid or
    // $topdir/.Trash-$uid). When `expected` is given, the entry must still be the one it
    // describes (LocalIdentity::isSameEntry), checked right before the move. Runs on the
    // caller's thread and may block on a slow disk. Throws ScanError with the Czech reason
    // when nothing was moved; nothing is left behind in the Trash then.
#ifndef __APPLE__
    static void moveItem(const std::string& home, const std::string& path,
                         const std::optional<LocalIdentity>& expected);
#endif
    // The checks of moveItem without the move: `path` lies below `home` without a link on the
    // way, and its entry is still the one `expected` describes. Throws ScanError with the reason.
    static void verifyEntry(const std::string& home, const std::string& path,
                            const std::optional<LocalIdentity>& expected);

    // The home Trash folder for `home`, as moveItem uses it (it need not exist yet).
    [[nodiscard]] static std::string homeTrash(const std::string& home);

    // Where only the kernel decides, tests step in here: `examine` may change what the check
    // before the move sees of the entry (a reused inode with another birth time or kind),
    // `writeInfo` stands for the write of the info record (returns what write(2) would, with
    // errno set). Empty in normal use. Set them only while no move runs.
    struct Seams {
        std::function<void(StatInfo&)> examine;
        std::function<long(int fd, const char* data, std::size_t size)> writeInfo;
    };
    static void setSeams(Seams seams);

    // The reasons given when a move is refused, so callers and tests can tell them apart.
    static constexpr const char* outsideHome = "Položka leží mimo vaši domovskou složku.";
    static constexpr const char* gone = "Položka už na disku není.";
    static constexpr const char* changed =
        "Položka se od skenu změnila – klikněte na „Znovu porovnat“.";
    static constexpr const char* noSpace = "Na disku není místo pro záznam v Koši.";
};

} // namespace tessary
