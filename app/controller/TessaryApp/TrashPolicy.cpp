#include "TessaryApp/TrashPolicy.hpp"

#include "TessaryApp/Fmt.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <QCoreApplication>

#include <sys/stat.h>

namespace tessary {

namespace {

constexpr const char* webHost = "icloud.com";

QString tr(const char* text) {
    return QCoreApplication::translate("TrashPolicy", text);
}

// The path without trailing "/" (but "/" itself stays).
std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::optional<QString> unknownName(const Item& item) {
#ifdef __APPLE__
    if (!item.resolved || !item.hasPath())
        return tr("Jméno je maskované – soubor se na disku nepodařilo najít. Smažte ho ve Finderu "
                  "nebo na %1.")
            .arg(QString::fromLatin1(webHost));
    if (item.ambiguous)
        return tr("Přiřazení jména je jen odhad – kvůli bezpečnosti ho smažte ve Finderu.");
#else
    if (!item.resolved || !item.hasPath())
        return tr("Jméno je maskované – soubor se na disku nepodařilo najít. Smažte ho ve správci "
                  "souborů nebo na %1.")
            .arg(QString::fromLatin1(webHost));
    if (item.ambiguous)
        return tr("Přiřazení jména je jen odhad – kvůli bezpečnosti ho smažte ve správci souborů.");
#endif
    return std::nullopt;
}

} // namespace

TrashPolicy::TrashPolicy(const ScanEnvironment& env, const ScanResult* result, bool readOnly)
    : m_env(env), m_result(result), m_readOnly(readOnly) {
    std::vector<std::string> folders = {
        env.home,
        env.mobileDocs,
        env.cloudDocsDir,
        FS::join(env.home, "Desktop"),
        FS::join(env.home, "Documents"),
        FS::join(env.home, "Downloads"),
        // Where the system keeps the synced Desktop and Documents folders.
        FS::join(env.cloudDocsDir, "Desktop"),
        FS::join(env.cloudDocsDir, "Documents"),
    };
    // The roots of a disk-only scan are plain folders, not app containers.
    if (result && result->mode == ScanMode::dump)
        for (const auto& [index, container] : result->containers)
            if (container.localPath) {
                folders.push_back(*container.localPath);
                folders.push_back(FS::join(*container.localPath, "Documents"));
            }
    for (const std::string& folder : folders) {
        Folder entry{withoutTrailingSlash(folder)};
        struct stat info {};
        if (::stat(folder.c_str(), &info) == 0) {
            entry.exists = true;
            entry.dev = static_cast<std::uint64_t>(info.st_dev);
            entry.ino = static_cast<std::uint64_t>(info.st_ino);
        }
        m_protected.push_back(std::move(entry));
    }
}

std::optional<QString> TrashPolicy::reason(const Item& item) const {
    if (m_readOnly)
        return readOnlyReason();
    if (item.isVirtual())
        return tr("Kořen kontejneru nelze smazat.");
    if (std::optional<QString> unknown = unknownName(item))
        return unknown;
    const std::string path(*item.path());
    // One look at the disk answers both whether it is a protected folder and whether it is there.
    const std::optional<StatInfo> info = FS::lstat(path);
    if (isProtected(path, info))
        return tr("Systémovou složku nelze smazat.");
    if (!(path + "/").starts_with(m_env.home + "/"))
        return tr("Položka leží mimo vaši domovskou složku.");
    if (!info)
        return tr("Položka už na disku není (možná byla smazaná jinde). Klikněte na „Znovu "
                  "porovnat“.");
    return std::nullopt;
}

// The protected folders are compared by identity (device and inode), so another spelling of the
// same folder is refused as well. A protected folder that does not exist is compared by its
// text, without trailing "/".
bool TrashPolicy::isProtectedFolder(const std::string& path) const {
    return isProtected(path, FS::lstat(path));
}

bool TrashPolicy::isProtected(const std::string& path, const std::optional<StatInfo>& info) const {
    const std::string text = withoutTrailingSlash(path);
    for (const Folder& folder : m_protected) {
        if (folder.text == text)
            return true;
        if (info && folder.exists && folder.dev == info->dev && folder.ino == info->ino)
            return true;
    }
    return false;
}

std::optional<QString> TrashPolicy::appDataApp(const Item& item) const {
    // Only the database knows app containers; the roots of a disk-only scan are plain folders.
    if (!m_result || m_result->mode != ScanMode::dump)
        return std::nullopt;
    const auto found = m_result->containers.find(item.container());
    if (found == m_result->containers.end())
        return std::nullopt;
    const Container& container = found->second;
    if (container.name == std::optional<std::string>("com.apple.CloudDocs"))
        return std::nullopt;
    if (!container.localPath || !item.hasPath())
        return std::nullopt;
    const std::string documents = FS::join(*container.localPath, "Documents") + "/";
    if ((std::string(*item.path()) + "/").starts_with(documents))
        return std::nullopt;
    return Fmt::text(container.display);
}

QString TrashPolicy::readOnlyReason() {
    return tr("Výpis z jiného Macu – jen pro čtení.");
}

TrashVerdict TrashPolicy::verdict(const Item& item) const {
    TrashVerdict verdict;
    verdict.reason = reason(item);
    verdict.allowed = !verdict.reason;
    verdict.app = appDataApp(item);
    return verdict;
}

} // namespace tessary
