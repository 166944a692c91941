// The controller's background runner (one way to run an operation on a thread of its own, post
// its progress and hand its value back) and the scan lifecycle: starting a scan, stopping,
// taking the result over, and the transient message line.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/AppSettings.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/NamedThread.hpp"
#include "TessaryApp/ThreadHandoff.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <array>
#include <future>

namespace tessary {

namespace {

struct PhaseName {
    ScanController::Phase phase;
    const char* text;
    const char* label;
};

constexpr std::array<PhaseName, 12> phaseNames{{
    {ScanController::Phase::idle, "idle", QT_TRANSLATE_NOOP("ScanController", "Připraveno")},
    {ScanController::Phase::start, "start", QT_TRANSLATE_NOOP("ScanController", "Spouštím")},
    {ScanController::Phase::dump, "dump",
     QT_TRANSLATE_NOOP("ScanController", "Načítám databázi iCloud Drive")},
    {ScanController::Phase::parse, "parse", QT_TRANSLATE_NOOP("ScanController", "Čtu databázi")},
    {ScanController::Phase::resolve, "resolve",
     QT_TRANSLATE_NOOP("ScanController", "Porovnávám s diskem")},
    {ScanController::Phase::aggregate, "aggregate", QT_TRANSLATE_NOOP("ScanController", "Sčítám")},
    {ScanController::Phase::fs, "fs", QT_TRANSLATE_NOOP("ScanController", "Procházím disk")},
    {ScanController::Phase::hydrate, "hydrate",
     QT_TRANSLATE_NOOP("ScanController", "Načítám složku z iCloudu")},
    {ScanController::Phase::trash, "trash",
     QT_TRANSLATE_NOOP("ScanController", "Přesouvám do Koše")},
    {ScanController::Phase::evict, "evict",
     QT_TRANSLATE_NOOP("ScanController", "Uvolňuji z tohoto Macu")},
    {ScanController::Phase::done, "done", QT_TRANSLATE_NOOP("ScanController", "Hotovo")},
    {ScanController::Phase::error, "error", QT_TRANSLATE_NOOP("ScanController", "Chyba")},
}};

} // namespace

ScanController::ScanController(DesktopServices* desktop, QObject* parent)
    : QObject(parent), m_desktop(desktop) {
    m_deleteIDs = m_deleteList.ids();
    followShownRows();
    m_toastTimer = new QTimer(this);
    m_toastTimer->setSingleShot(true);
    connect(m_toastTimer, &QTimer::timeout, this, [this] { m_toast = std::nullopt; });
}

ScanController::~ScanController() = default;

QString ScanController::phaseText(Phase phase) {
    return QString::fromLatin1(phaseNames[static_cast<std::size_t>(phase)].text);
}

QString ScanController::phaseLabel(Phase phase) {
    return tr(phaseNames[static_cast<std::size_t>(phase)].label);
}

ScanController::Phase ScanController::phaseFromText(std::string_view text) {
    for (const PhaseName& name : phaseNames)
        if (text == name.text)
            return name.phase;
    return Phase::start;
}

// What a scan hands to the main thread.
struct ScanController::ScanOutcome {
    ScanSource source;
    // The user chose the source (not the scan the window starts with).
    bool chosen = false;
    ResultPtr result;
    SearchIndex index;
    // The summary's figures, made on the scan thread as well.
    std::optional<ScanReport> report;
    std::optional<ScanError> error;
    // The scan's record kept in the history and its comparison with the previous one; none for
    // a dump from another Mac, which is not this computer's to follow.
    std::optional<ScanHistory::Recorded> history;
};

void ScanController::startScan(bool refresh) {
    scanSource(m_source, refresh, false);
}

void ScanController::openSource(const ScanSource& source) {
    scanSource(source, false, true);
}

void ScanController::scanSource(const ScanSource& source, bool refresh, bool chosen) {
    if (m_busy)
        return;
    Scanner::Options options;
    options.mode = m_mode;
    options.refresh = refresh;
    options.maxAgeHours = m_maxAgeHours;
    options.refreshHint = tr("Nový výpis vytvoří tlačítko „Obnovit databázi“.").toStdString();
    if (source.kind == ScanSource::Kind::folders) {
        options.mode = ScanMode::fs;
        options.fsRoots.emplace();
        for (const std::string& path : source.paths)
            options.fsRoots->push_back(ScanSource::rootOf(path));
    }
    setProgress("start", 0, 0, tr("Spouštím sken…"));
    run(
        Operation::scan,
        [options, source, chosen, env = m_env](const Progress& progress, const Cancel& cancel) {
            ScanOutcome outcome;
            outcome.source = source;
            outcome.chosen = chosen;
            try {
                outcome.result =
                    source.kind == ScanSource::Kind::dumpFile
                        ? Scanner::analyseDump(source.paths.front(), progress, cancel)
                        : Scanner::scan(options, progress, cancel, env, TimeoutPool::shared());
                const ScanResult& result = *outcome.result;
                // The report is made on a thread of its own while this one makes the search
                // index and keeps the record: all three only read the result.
                std::future<ScanReport> report =
                    std::async(std::launch::async, [&result] { return ScanReport::build(result); });
                outcome.index = buildSearchIndex(result);
                if (source.kind != ScanSource::Kind::dumpFile)
                    outcome.history =
                        ScanHistory::record(result, ScanHistory::folderIn(env.cacheDir),
                                            QDateTime::currentSecsSinceEpoch());
                outcome.report = report.get();
            } catch (const ScanError& e) {
                outcome.error = e;
                outcome.result.reset();
            } catch (const std::exception& e) {
                outcome.error = ScanError::message(e.what());
                outcome.result.reset();
            }
            return outcome;
        },
        [this](ScanOutcome outcome) { return finishScan(std::move(outcome)); });
}

namespace {

const char* threadName(ScanController::Operation operation) {
    switch (operation) {
    case ScanController::Operation::scan:
        return "tessary";
    case ScanController::Operation::hydrate:
        return "icloud-hydrate";
    case ScanController::Operation::trash:
        return "icloud-trash";
    case ScanController::Operation::evict:
        return "icloud-evict";
    }
    return "tessary";
}

} // namespace

void ScanController::launch(Operation operation, std::function<void()> inThread,
                            std::function<Outcome()> onMain) {
    if (m_busy)
        return;
    beginOperation();
    QPointer<ScanController> self(this);
    const std::size_t stack = operation == Operation::trash || operation == Operation::evict
                                  ? NamedThread::defaultStack
                                  : NamedThread::largeStack;
    const bool started =
        NamedThread::start(threadName(operation), stack, [self, operation, inThread, onMain] {
            inThread();
            ThreadHandoff::post(QCoreApplication::instance(), [self, operation, onMain] {
                if (self)
                    self->endOperation(operation, onMain);
            });
        });
    if (started)
        return;
    endOperation(operation, [this] {
        showError(tr("Nepodařilo se spustit vlákno pro práci s diskem."));
        return Outcome::failed;
    });
}

void ScanController::endOperation(Operation operation, const std::function<Outcome()>& onMain) {
    m_busy = false;
    m_finished = QDateTime::currentDateTime();
    m_runID = m_runID + 1;
    // What listings showed before belongs to the old state of the result.
    forgetFacts();
    const Outcome outcome = onMain();
    m_hydrateTarget = std::nullopt;
    emit operationFinished(operation, outcome);
}

void ScanController::beginOperation() {
    // While the operation runs nothing reads the result: every row shown now is judged first.
    judgeListedRows();
    m_cancelBox->set(false);
    m_errorMessage = std::nullopt;
    m_started = QDateTime::currentDateTime();
    m_finished = std::nullopt;
    m_busy = true;
}

void ScanController::showError(const QString& text) {
    m_errorMessage = text;
    setProgress("error", 0, 0, text);
}

void ScanController::stop() {
    m_cancelBox->set(true);
    m_message = tr("Ruším…");
}

ScanController::Progress ScanController::progressSink() {
    QPointer<ScanController> self(this);
    return [self](std::string_view phase, std::int64_t done, std::int64_t total,
                  std::string_view message) {
        ThreadHandoff::post(QCoreApplication::instance(), [self, phase = std::string(phase), done,
                                                           total, text = Fmt::text(message)] {
            if (self)
                self->setProgress(phase, done, total, text);
        });
    };
}

ScanController::Cancel ScanController::cancelCallback() {
    return [box = m_cancelBox] { return box->flag(); };
}

void ScanController::setProgress(std::string_view phase, std::int64_t done, std::int64_t total,
                                 const QString& message) {
    m_phase = phaseFromText(phase);
    m_done = done;
    m_total = total;
    m_message = message;
}

ScanController::Outcome ScanController::finishScan(ScanOutcome outcome) {
    if (outcome.error) {
        showError(Fmt::text(outcome.error->description()));
        return outcome.error->isCancelled() ? Outcome::stopped : Outcome::failed;
    }
    if (!outcome.result)
        return Outcome::stopped;
    const OptID keep = carryOver(*outcome.result, outcome.source);
    m_result = std::move(outcome.result);
    m_searchIndex = std::move(outcome.index);
    m_source = outcome.source;
    takeHistory(std::move(outcome.history));
    if (outcome.chosen || outcome.source.kind != ScanSource::Kind::iCloudDrive)
        AppSettings::rememberSource(outcome.source);
    setProgress("done", 1, 1, tr("Hotovo"));
    afterResultChange(keep, std::move(outcome.report));
    showStalenessToast();
    if (AppSettings::showSummaryAfterScan())
        m_showSummary = true;
    return Outcome::done;
}

void ScanController::showStalenessToast() {
    const ScanResult& result = *m_result.value();
    // Only this computer's own database can be made anew.
    if (!result.dumpTime || result.mode != ScanMode::dump ||
        m_source.value().kind != ScanSource::Kind::iCloudDrive)
        return;
    const double age = static_cast<double>(QDateTime::currentSecsSinceEpoch()) - *result.dumpTime;
    if (age > m_staleAfterHours * 3600.0)
        showToast(tr("Databáze iCloud Drive je z %1. Pro aktuální čísla klikněte na „Obnovit "
                     "databázi“ (trvá několik minut).")
                      .arg(Fmt::time(result.dumpTime)),
                  8);
}

void ScanController::showToast(const QString& text, double seconds) {
    m_toast = text;
    m_toastTimer->stop();
    m_toastTimer->start(static_cast<int>(seconds * 1000.0));
}

} // namespace tessary
