// The brctl stand-in: answers `brctl dump -v -o FILE`, `brctl quota`, `brctl evict PATH…` and
// `brctl download PATH…` from the simulated server database in the home folder it runs under.
#include "DiskSync.hpp"
#include "DumpWriter.hpp"
#include "Evictor.hpp"
#include "ServerDb.hpp"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

std::atomic<bool> stopRequested{false};

void onSignal(int) {
    stopRequested.store(true);
}

const char* const help =
    "Použití: brctl dump -v -o SOUBOR | brctl quota | brctl evict CESTA… | brctl download CESTA…\n"
    "       | brctl --help\n"
    "Simulovaný nástroj brctl: čte databázi simulovaného serveru v $HOME/.varnelo-sim/server.db.\n"
    "Proměnné prostředí:\n"
    "  VARNELO_SIM_SLOW_MS=N     po každých 200 řádcích výpisu počká N ms\n"
    "  VARNELO_SIM_FAIL=N        uprostřed výpisu skončí s kódem N\n"
    "  VARNELO_SIM_NO_CLIENT=1   vynechá sekci „client items“ (neúplný výpis)\n"
    "  VARNELO_SIM_NEVER_ENDS=1  po sekci serveru čeká, dokud není ukončen (SIGTERM)\n"
    "  VARNELO_SIM_NO_SYNC=1     nesynchronizuje: výpis ukáže databázi tak, jak je\n"
    "Před každým výpisem se databáze synchronizuje s domovskou složkou, jako by to udělal\n"
    "iCloud Drive: položka smazaná z disku (i přesunutá do Koše) je smazaná i na serveru,\n"
    "nový soubor či složka na disku přibude, změněný stažený soubor dostane novou velikost\n"
    "a čas; soubor jen v cloudu zůstává, jak je.\n"
    "evict uvolní stažený dokument z disku: obsah zůstane na serveru, na disku zbude zástupný\n"
    "soubor (stejné jméno a velikost, bez bloků); soubor se změnami, které server nemá, odmítne.\n"
    "download obsah zástupného souboru stáhne zpět ze serveru.\n"
    "Obojí přijme víc cest najednou; každé odmítnutí vypíše řádek „brctl: CESTA: důvod“ na\n"
    "chybový výstup a kód je pak 1, ostatní cesty se provedou.\n";

int envInt(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::atoi(v) : 0;
}

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    return home ? home : "";
}

// What the service would have synced since the last dump, kept in the server's database.
sim::ServerDb syncedDb() {
    const std::string path = sim::ServerDb::pathIn(homeFolder());
    sim::ServerDb db = sim::ServerDb::load(path);
    if (envInt("VARNELO_SIM_NO_SYNC") == 0 && sim::DiskSync::reconcile(db, homeFolder()).any())
        db.save(path);
    return db;
}

// Frees or fetches back the documents at `paths`, each on its own: a refusal is one line
// "brctl: PATH: reason" on standard error and makes the status 1, the others are still done. The
// database is taken as the last dump left it: what changed on the disk since then has not
// reached the server yet.
int evictOrDownload(const std::string& command, const std::vector<std::string>& given) {
    const std::string home = homeFolder();
    std::vector<std::string> paths;
    std::unordered_set<std::string> relative;
    for (const std::string& text : given) {
        paths.push_back(std::filesystem::absolute(text).lexically_normal().string());
        if (paths.back().starts_with(home + "/"))
            relative.insert(paths.back().substr(home.size() + 1));
    }
    const sim::ServerDb db = sim::ServerDb::loadItemsAt(sim::ServerDb::pathIn(home), relative);
    int status = 0;
    for (const std::string& path : paths) {
        const sim::Evictor::Outcome outcome = command == "evict"
                                                  ? sim::Evictor::evict(db, home, path)
                                                  : sim::Evictor::download(db, home, path);
        if (!outcome.message.empty())
            std::fprintf(stderr, "%s\n", outcome.message.c_str());
        status = std::max(status, outcome.status);
    }
    return status;
}

int dump(const std::string& file) {
    const sim::ServerDb db = syncedDb();
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "brctl: soubor %s nelze otevřít: %s\n", file.c_str(),
                     std::strerror(errno));
        return 1;
    }
    sim::DumpWriter::Knobs knobs;
    knobs.slowMs = envInt("VARNELO_SIM_SLOW_MS");
    knobs.failStatus = envInt("VARNELO_SIM_FAIL");
    knobs.noClient = envInt("VARNELO_SIM_NO_CLIENT") != 0;
    knobs.neverEnds = envInt("VARNELO_SIM_NEVER_ENDS") != 0;
    const int status = sim::DumpWriter(db, knobs, stopRequested).write(out);
    if (std::fclose(out) != 0 && status == 0) {
        std::fprintf(stderr, "brctl: zápis do %s selhal\n", file.c_str());
        return 1;
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    const std::string cmd = argc > 1 ? argv[1] : "";
    try {
        if (cmd == "--help" || cmd == "-h") {
            std::fputs(help, stdout);
            return 0;
        }
        if (cmd == "quota" && argc == 2) {
            std::printf("%lld bytes of quota remaining\n",
                        static_cast<long long>(
                            sim::ServerDb::loadQuota(sim::ServerDb::pathIn(homeFolder()))));
            return 0;
        }
        if ((cmd == "evict" || cmd == "download") && argc >= 3)
            return evictOrDownload(cmd, std::vector<std::string>(argv + 2, argv + argc));
        if (cmd == "dump" && argc == 5 && std::string(argv[2]) == "-v" &&
            std::string(argv[3]) == "-o")
            return dump(argv[4]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "brctl: %s\n", e.what());
        return 1;
    }
    std::fputs(help, stderr);
    return 64;
}
