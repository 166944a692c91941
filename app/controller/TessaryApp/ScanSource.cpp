#include "TessaryApp/ScanSource.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryCore/FS.hpp"

#include <QCoreApplication>
#include <QList>

namespace tessary {

namespace {

// The stored form: the kind, then each path, separated by NUL bytes (which no path holds).
constexpr char separator = '\0';
constexpr const char* foldersTag = "folders";
constexpr const char* dumpTag = "dump";
constexpr const char* iCloudTag = "icloud";

std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::string lastComponent(const std::string& path) {
    const std::string trimmed = withoutTrailingSlash(path);
    const std::size_t slash = trimmed.find_last_of('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

} // namespace

ScanSource ScanSource::folders(std::vector<std::string> paths) {
    ScanSource source;
    source.kind = Kind::folders;
    for (std::string& path : paths)
        source.paths.push_back(withoutTrailingSlash(std::move(path)));
    return source;
}

ScanSource ScanSource::dumpFile(std::string path) {
    ScanSource source;
    source.kind = Kind::dumpFile;
    source.paths.push_back(std::move(path));
    return source;
}

QString ScanSource::title() const {
    if (kind == Kind::iCloudDrive || paths.empty())
        return QStringLiteral("iCloud Drive");
    const QString first = Fmt::text(lastComponent(paths.front()));
    if (paths.size() == 1)
        return first.isEmpty() ? QStringLiteral("/") : first;
    return QCoreApplication::translate("ScanSource", "%1 a %2 další")
        .arg(first)
        .arg(paths.size() - 1);
}

bool ScanSource::isAvailable() const {
    for (const std::string& path : paths)
        if (!FS::exists(path))
            return false;
    return true;
}

std::pair<std::string, std::string> ScanSource::rootOf(const std::string& path) {
    std::string name = lastComponent(path);
    return {name.empty() ? std::string("/") : name, path};
}

QByteArray ScanSource::stored() const {
    QByteArray value(kind == Kind::folders    ? foldersTag
                     : kind == Kind::dumpFile ? dumpTag
                                              : iCloudTag);
    for (const std::string& path : paths) {
        value.append(separator);
        value.append(path.data(), static_cast<qsizetype>(path.size()));
    }
    return value;
}

std::optional<ScanSource> ScanSource::fromStored(const QByteArray& value) {
    const QList<QByteArray> parts = value.split(separator);
    if (parts.isEmpty())
        return std::nullopt;
    std::vector<std::string> paths;
    for (qsizetype i = 1; i < parts.size(); ++i) {
        if (parts[i].isEmpty() || !parts[i].startsWith('/'))
            return std::nullopt;
        paths.push_back(parts[i].toStdString());
    }
    if (parts.front() == iCloudTag && paths.empty())
        return iCloudDrive();
    if (parts.front() == foldersTag && !paths.empty())
        return folders(std::move(paths));
    if (parts.front() == dumpTag && paths.size() == 1)
        return dumpFile(std::move(paths.front()));
    return std::nullopt;
}

} // namespace tessary
