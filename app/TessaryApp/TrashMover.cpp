#include "TessaryApp/TrashMover.hpp"

#include "TessaryCore/FS.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <stdexcept>

namespace tessary {

namespace {

std::string lastComponent(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string translated(const char* text) {
    return QCoreApplication::translate("TrashMover", text).toStdString();
}

} // namespace

TrashMover::Job TrashMover::jobFor(const Item& item) {
    Job job{std::string(item.id()), std::string(item.path().value_or("")), std::nullopt};
    if (const std::optional<LocalIdentity> seen = item.localIdentity()) {
        Identity identity{seen->dev, seen->ino, std::nullopt, std::nullopt};
        if (item.kind() == ItemKind::doc) {
            identity.size = seen->size;
            identity.mtime = seen->mtime;
        }
        job.expected = identity;
    }
    return job;
}

std::optional<std::string> TrashMover::changedReason(const Job& job) {
    const std::optional<StatInfo> now = FS::lstat(job.path);
    if (!now)
        return translated(QT_TRANSLATE_NOOP("TrashMover", "Položka už na disku není."));
    if (!job.expected)
        return std::nullopt;
    const Identity& seen = *job.expected;
    // Size and time tell a replaced file; a package (a folder) changes them whenever its
    // contents change, so there only the identity counts.
    const bool file = now->isReg();
    const bool same = now->dev == seen.dev && now->ino == seen.ino &&
                      (!file || !seen.size || *seen.size == now->size) &&
                      (!file || !seen.mtime || *seen.mtime == now->mtime);
    if (same)
        return std::nullopt;
    return translated(QT_TRANSLATE_NOOP(
        "TrashMover", "Položka se od skenu změnila – klikněte na „Znovu porovnat“."));
}

TrashMover::Outcome TrashMover::run(const std::vector<Job>& jobs,
                                    const ProgressCallback& progress) {
#ifndef __APPLE__
    // Qt puts the home Trash into the data folder (~/.local/share) but will not create that
    // folder; a fresh account may not have it yet.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
#endif
    Outcome outcome;
    const auto total = static_cast<std::int64_t>(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        const std::string name = lastComponent(job.path);
        if (progress)
            progress("trash", static_cast<std::int64_t>(i), total,
                     translated(QT_TRANSLATE_NOOP("TrashMover", "Přesouvám do Koše…")) + " " +
                         name);
        if (const std::optional<std::string> changed = changedReason(job)) {
            outcome.failed.push_back({name, *changed});
            continue;
        }
        try {
            TimeoutPool::shared().run(moveTimeout, {}, {}, false, [path = job.path] {
                QFile file(QString::fromStdString(path));
                if (!file.moveToTrash())
                    throw std::runtime_error(file.errorString().toStdString());
            });
            outcome.done.push_back(job.id);
        } catch (const ScanError& e) {
            outcome.failed.push_back({name, e.description()});
        } catch (const std::exception& e) {
            outcome.failed.push_back({name, e.what()});
        }
    }
    return outcome;
}

} // namespace tessary
