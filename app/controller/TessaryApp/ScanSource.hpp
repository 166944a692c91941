#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <string>
#include <vector>

namespace tessary {

// Where a scan looks: the iCloud Drive of this computer (the default), folders on the disk (the
// disk-only scan), or a database dump copied from another Mac, shown read-only because nothing in
// it is on this disk. Paths are raw bytes, as the system gives them.
struct ScanSource {
    enum class Kind { iCloudDrive, folders, dumpFile };

    Kind kind = Kind::iCloudDrive;
    std::vector<std::string> paths;

    [[nodiscard]] static ScanSource iCloudDrive() { return {}; }
    [[nodiscard]] static ScanSource folders(std::vector<std::string> paths);
    [[nodiscard]] static ScanSource dumpFile(std::string path);

    // Nothing of a dump from another Mac may be changed or opened on this disk.
    [[nodiscard]] bool readOnly() const { return kind == Kind::dumpFile; }
    // The name the window shows: "iCloud Drive", the folder's name ("Projekty", or "Projekty a
    // 2 další" for several), the dump file's name.
    [[nodiscard]] QString title() const;
    // Whether every path still exists (the iCloud Drive always does).
    [[nodiscard]] bool isAvailable() const;
    // The scan's root of a folder: its name and its path.
    [[nodiscard]] static std::pair<std::string, std::string> rootOf(const std::string& path);

    // One value for the user defaults; `fromStored` reads it back and refuses anything else.
    [[nodiscard]] QByteArray stored() const;
    [[nodiscard]] static std::optional<ScanSource> fromStored(const QByteArray& value);

    friend bool operator==(const ScanSource&, const ScanSource&) = default;
};

} // namespace tessary
