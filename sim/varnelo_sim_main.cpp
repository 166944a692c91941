// varnelo-sim: writes a simulated iCloud Drive (a fake home folder with its server database)
// and the world's own truth, for the demo, the end-to-end tests and the benchmarks; ages such a
// world, so that two scans find what changed in between.
#include "Ager.hpp"
#include "WorldBuilder.hpp"
#include "WorldReader.hpp"
#include "WorldWriter.hpp"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

const char* const ageHelp =
    "Změní svět ve složce tak, jak by ho změnily uplynulé dny: přibudou dokumenty (stažené\n"
    "i jen v cloudu) a nová složka se soubory, některé dokumenty narostou a jiné se zmenší,\n"
    "některé se smažou (i jedna celá složka), jedna složka se přesune jinam, některé soubory\n"
    "se stáhnou a jiné uvolní z disku. Čas světa se posune o zadané dny a změny dostanou časy\n"
    "z nich. Databáze serveru, disk i truth/world.json pak popisují zestárlý svět; co se\n"
    "změnilo, zapíše do truth/changes.json. Stejné semínko změní stejný svět stejně; svět lze\n"
    "nechat zestárnout i opakovaně.";

// A folder holds a world when the generator's own marks are in it.
bool looksLikeWorld(const fs::path& dir) {
    std::error_code ec;
    return fs::exists(dir / "truth" / "world.json", ec) ||
           fs::exists(dir / "home" / ".varnelo-sim", ec);
}

// Refuses a non-empty folder unless told to replace it, and replaces only a former world, so
// a wrong path never deletes somebody's files.
void prepare(const fs::path& out, bool replace) {
    std::error_code ec;
    if (!fs::exists(out, ec) || fs::is_empty(out, ec))
        return;
    if (!replace)
        throw std::runtime_error("Složka „" + out.string() +
                                 "“ není prázdná; přepsat ji lze volbou --replace.");
    if (!looksLikeWorld(out))
        throw std::runtime_error("Složka „" + out.string() +
                                 "“ neobsahuje simulovaný svět, proto ji nenahradím.");
    sim::WorldWriter::remove(out.string());
}

void makeWorld(const fs::path& out, std::uint64_t seed, std::int64_t items, bool replace) {
    prepare(out, replace);
    sim::World w = sim::WorldBuilder(seed, items).build();
    sim::WorldWriter::write(w, out.string());
    std::printf("Svět: %zu položek serveru v %s\n", w.items.size(), out.c_str());
}

void ageWorld(const fs::path& out, std::uint64_t seed, std::int64_t days) {
    if (!looksLikeWorld(out))
        throw std::runtime_error("Složka „" + out.string() + "“ neobsahuje simulovaný svět.");
    sim::World w = sim::WorldReader::read(out.string());
    const sim::AgeLog log = sim::Ager(w, (out / "home").string(), seed, days).age();
    sim::WorldWriter::record(w, out.string());
    log.write((out / "truth" / "changes.json").string());
    std::printf("Svět v %s zestárl (dní: %lld, změn: %zu), změny jsou v truth/changes.json\n",
                out.c_str(), static_cast<long long>(days), log.changes.size());
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Simulovaný iCloud Drive pro Varnelo"};
    app.require_subcommand(1);
    app.footer("world vytvoří nový svět, age nechá vytvořený svět zestárnout, aby dvě kontroly\n"
               "(před a po) našly skutečné změny. Podrobnosti: varnelo-sim world --help,\n"
               "varnelo-sim age --help.");
    CLI::App* world = app.add_subcommand("world", "Vytvoří simulovaný svět");
    std::string out;
    std::uint64_t seed = 1;
    std::int64_t items = 3000;
    bool replace = false;
    world->add_option("--out", out, "Cílová složka (vznikne v ní home/ a truth/)")->required();
    world->add_option("--seed", seed, "Semínko náhody (stejné semínko, stejný svět)");
    world->add_option("--items", items, "Kolik položek má svět mít nejméně (výchozí 3000)")
        ->check(CLI::Range(std::int64_t{0}, std::int64_t{100'000'000}));
    world->add_flag("--replace", replace, "Nahradí dřívější svět v cílové složce");
    CLI::App* age = app.add_subcommand("age", "Nechá vytvořený svět zestárnout o několik dní");
    std::int64_t days = 30;
    age->add_option("--out", out, "Složka se světem (z příkazu world)")->required();
    age->add_option("--seed", seed, "Semínko náhody (stejné semínko, stejné změny)");
    age->add_option("--days", days, "O kolik dní svět zestárne (výchozí 30)")
        ->check(CLI::Range(std::int64_t{1}, std::int64_t{3650}));
    age->footer(ageHelp);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    try {
        const fs::path target = fs::absolute(out).lexically_normal();
        if (age->parsed())
            ageWorld(target, seed, days);
        else
            makeWorld(target, seed, items, replace);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnelo-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
