// The controller's scan lifecycle: starting a scan on its own thread, forwarding progress,
// stopping, taking the result over, and the transient message line.
#include "TessaryApp/ScanController.hpp"

#include "TessaryApp/AppSettings.hpp"
#include "TessaryApp/Fmt.hpp"
#include "TessaryApp/NamedThread.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Scanner.hpp"
#include "TessaryCore/TimeoutPool.hpp"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <array>
#include <cstdlib>

namespace tessary {

namespace {

struct PhaseName {
    ScanController::Phase phase;
    const char* text;
    const char* label;
};

constexpr std::array<PhaseName, 11> phaseNames{{
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
    {ScanController::Phase::done, "done", QT_TRANSLATE_NOOP("ScanController", "Hotovo")},
    {ScanController::Phase::error, "error", QT_TRANSLATE_NOOP("ScanController", "Chyba")},
}};

} // namespace

ScanController::ScanController(DesktopServices* desktop, QObject* parent)
    : QObject(parent), m_desktop(desktop) {
    m_deleteIDs = AppSettings::deleteList();
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

void ScanController::startScan(bool refresh) {
    if (m_busy)
        return;
    beginOperation();
    setProgress("start", 0, 0, tr("Spouštím sken…"));

    Scanner::Options options;
    options.mode = m_mode;
    options.refresh = refresh;
    options.maxAgeHours = m_maxAgeHours;
    options.refreshHint = tr("Nový výpis vytvoří tlačítko „Obnovit databázi“.").toStdString();

    QPointer<ScanController> self(this);
    auto progress = progressSink();
    auto cancel = cancelCallback();
    const bool started = NamedThread::start(
        "tessary", NamedThread::largeStack, [self, options, progress, cancel, env = m_env] {
            std::shared_ptr<ScanResult> result;
            SearchIndex index;
            std::optional<ScanError> error;
            try {
                result = Scanner::scan(options, progress, cancel, env, TimeoutPool::shared());
                index = buildSearchIndex(*result);
            } catch (const ScanError& e) {
                error = e;
                result.reset();
            } catch (const std::exception& e) {
                error = ScanError::message(e.what());
                result.reset();
            }
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self, result, index = std::move(index), error]() mutable {
                    if (self)
                        self->finishScan(std::move(result), std::move(index), std::move(error));
                },
                Qt::QueuedConnection);
        });
    if (!started)
        finishScan(nullptr, {},
                   ScanError::message(
                       tr("Nepodařilo se spustit vlákno pro práci s diskem.").toStdString()));
}

void ScanController::beginOperation() {
    m_cancelBox->set(false);
    m_errorMessage = std::nullopt;
    m_started = QDateTime::currentDateTime();
    m_finished = std::nullopt;
    m_busy = true;
}

void ScanController::stop() {
    m_cancelBox->set(true);
    m_message = tr("Ruším…");
}

std::function<void(std::string_view, std::int64_t, std::int64_t, std::string_view)>
ScanController::progressSink() {
    QPointer<ScanController> self(this);
    return [self](std::string_view phase, std::int64_t done, std::int64_t total,
                  std::string_view message) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, phase = std::string(phase), done, total, text = Fmt::text(message)] {
                if (self)
                    self->setProgress(phase, done, total, text);
            },
            Qt::QueuedConnection);
    };
}

std::function<bool()> ScanController::cancelCallback() {
    return [box = m_cancelBox] { return box->flag(); };
}

void ScanController::setProgress(std::string_view phase, std::int64_t done, std::int64_t total,
                                 const QString& message) {
    m_phase = phaseFromText(phase);
    m_done = done;
    m_total = total;
    m_message = message;
}

void ScanController::finishScan(ResultPtr result, SearchIndex index,
                                std::optional<ScanError> error) {
    m_busy = false;
    m_finished = QDateTime::currentDateTime();
    m_runID = m_runID + 1;
    m_hydrateTarget = std::nullopt;
    if (error) {
        const QString text = Fmt::text(error->description());
        m_errorMessage = text;
        setProgress("error", 0, 0, text);
        return;
    }
    if (!result)
        return;
    m_result = std::move(result);
    m_breakdownCache.clear();
    m_searchIndex = std::move(index);
    setProgress("done", 1, 1, tr("Hotovo"));
    refreshSnapshots(currentID());
    showStalenessToast();
    m_report = ScanReport::build(*m_result.value());
    if (std::getenv("TESSARY_SELFTEST") != nullptr && selfTestHook) {
        selfTestHook();
        return;
    }
    if (AppSettings::showSummaryAfterScan())
        m_showSummary = true;
}

void ScanController::showStalenessToast() {
    const ScanResult& result = *m_result.value();
    if (!result.dumpTime || result.mode != ScanMode::dump)
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
