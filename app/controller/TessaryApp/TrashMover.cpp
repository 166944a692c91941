#include "TessaryApp/TrashMover.hpp"

#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/TimeoutPool.hpp"
#include "TessaryCore/Trash.hpp"

#include <QCoreApplication>
#ifdef __APPLE__
#include <QFile>
#endif

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

// One move, on a pool worker. The path stays bytes all the way to the system call.
void moveOne(const std::string& home, const TrashMover::Job& job) {
#ifdef __APPLE__
    // The system's own Trash, after the same checks; the names of a Mac's disk are UTF-8.
    Trash::verifyEntry(home, job.path, job.expected);
    QFile file(QString::fromStdString(job.path));
    if (!file.moveToTrash())
        throw std::runtime_error(file.errorString().toStdString());
#else
    Trash::moveItem(home, job.path, job.expected);
#endif
}

} // namespace

TrashMover::Job TrashMover::jobFor(const Item& item) {
    return Job{std::string(item.id()), item.path().value_or(std::string()), item.localIdentity()};
}

TrashMover::Outcome TrashMover::run(const std::string& home, const std::vector<Job>& jobs,
                                    const ProgressCallback& progress) {
    Outcome outcome;
    const auto total = static_cast<std::int64_t>(jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        const std::string name = lastComponent(job.path);
        if (progress)
            progress("trash", static_cast<std::int64_t>(i), total,
                     translated(QT_TRANSLATE_NOOP("TrashMover", "Přesouvám do Koše…")) + " " +
                         name);
        try {
            TimeoutPool::shared().run(moveTimeout, {}, {}, false,
                                      [home, job] { moveOne(home, job); });
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
