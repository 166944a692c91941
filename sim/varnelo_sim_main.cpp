// varnelo-sim: writes a simulated iCloud Drive (a fake home folder with its server database)
// and the world's own truth, for the demo, the end-to-end tests and the benchmarks.
#include "WorldBuilder.hpp"
#include "WorldWriter.hpp"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

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

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"Simulovaný iCloud Drive pro Varnelo"};
    app.require_subcommand(1);
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
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : 2;
    }
    try {
        const fs::path target = fs::absolute(out).lexically_normal();
        prepare(target, replace);
        sim::World w = sim::WorldBuilder(seed, items).build();
        sim::WorldWriter::write(w, target.string());
        std::printf("Svět: %zu položek serveru v %s\n", w.items.size(), target.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "varnelo-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
