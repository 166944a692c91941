#include "cli/CliOptions.hpp"

#include <CLI/CLI.hpp>
#include <cstdio>

namespace tessary::cli {

namespace {

// "NAME=PATH" of --fs; the name may not be empty, the path may contain "=".
std::optional<std::pair<std::string, std::string>> splitRoot(const std::string& rootText) {
    const auto eq = rootText.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == rootText.size())
        return std::nullopt;
    return std::pair{rootText.substr(0, eq), rootText.substr(eq + 1)};
}

// How many outputs want standard output for themselves: an export to "-" and the top lists
// (text or JSON) would otherwise be mixed into one unreadable stream.
int standardOutputUsers(const CliOptions& o) {
    int users = 0;
    users += o.jsonFile && *o.jsonFile == "-";
    users += o.csv && o.csv->second == "-";
    users += o.topFiles || o.topDirs;
    return users;
}

} // namespace

CliParse parseCommandLine(int argc, char** argv) {
    CliOptions o;
    CLI::App app{"varnelo-cli – co zabírá místo na iCloud Drive (bez grafického rozhraní)",
                 "varnelo-cli"};
    app.set_help_flag("-h,--help", "Vypíše tuto nápovědu");

    std::vector<std::string> fsRootTexts;
    std::vector<std::string> csvArgs;
    std::string format = "text";

    app.add_flag("--refresh", o.refresh, "Vždy vytvoří nový výpis databáze (brctl dump)");
    app.add_option("--max-age", o.maxAgeHours,
                   "Použije uložený výpis mladší než tolik hodin (výchozí 8760)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--fs", fsRootTexts, "Prochází jen disk: NÁZEV=CESTA (lze opakovat)");
    app.add_option("--dump", o.dumpFile,
                   "Rozebere daný výpis brctl dump bez spuštění brctl a bez porovnání s diskem");
    app.add_option("--home", o.home, "Domovská složka místo proměnné HOME");
    app.add_option("--top-files", o.topFiles, "Vypíše N největších souborů");
    app.add_flag("--cloud-only", o.cloudOnly, "U --top-files jen soubory pouze v cloudu");
    app.add_option("--top-dirs", o.topDirs, "Vypíše N složek s nejvíce daty přímo v nich");
    app.add_option("--json", o.jsonFile, "Export stromu do JSON (SOUBOR nebo - pro výstup)");
    app.add_option("--json-depth", o.jsonDepth, "Hloubka JSON exportu (výchozí 6)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--json-files", o.jsonFiles, "Souborů na složku v JSON exportu (výchozí 10)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--csv", csvArgs, "Export obsahu složky do CSV: ID-POLOŽKY SOUBOR")->expected(2);
    app.add_option("--format", format, "Formát seznamů: text nebo json")
        ->check(CLI::IsMember({"text", "json"}));
    app.add_option("--hydrate", o.hydrateId, "Po skenu načte obsah složky jen v cloudu");
    app.add_option("--depth", o.hydrateDepth, "Kolik úrovní složek načíst u --hydrate (1–3)");
    app.add_flag("-q,--quiet", o.quiet, "Nevypisuje průběh");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end the run successfully; every other parse error is a usage
        // error, whatever code CLI11 gives it.
        return {std::nullopt, app.exit(e) == 0 ? 0 : 2};
    }

    for (const std::string& rootText : fsRootTexts) {
        auto root = splitRoot(rootText);
        if (!root) {
            std::fprintf(stderr, "Chybný kořen --fs „%s“: čekám NÁZEV=CESTA.\n", rootText.c_str());
            return {std::nullopt, 2};
        }
        o.fsRoots.push_back(std::move(*root));
    }
    if (!o.fsRoots.empty() && o.dumpFile) {
        std::fprintf(stderr, "Volby --fs a --dump nelze kombinovat.\n");
        return {std::nullopt, 2};
    }
    if (o.hydrateId && (o.dumpFile || !o.fsRoots.empty())) {
        std::fprintf(stderr, "Volba --hydrate patří jen ke skenu databáze s porovnáním disku.\n");
        return {std::nullopt, 2};
    }
    if (csvArgs.size() == 2)
        o.csv = std::pair{csvArgs[0], csvArgs[1]};
    o.formatJson = format == "json";
    if (standardOutputUsers(o) > 1) {
        std::fprintf(stderr, "Na standardní výstup („-“) smí jít jen jeden výstup: JSON export, "
                             "CSV export nebo seznamy.\n");
        return {std::nullopt, 2};
    }
    return {std::move(o), 0};
}

} // namespace tessary::cli
