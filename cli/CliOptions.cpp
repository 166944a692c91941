#include "cli/CliOptions.hpp"

#include "cli/CliChanges.hpp"

#include "cli/TerminalText.hpp"

#include "TessaryCore/Serialization.hpp"

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <sys/stat.h>

namespace tessary::cli {

namespace {

// "NAME=PATH" of --fs; the name may not be empty, the path may contain "=".
std::optional<std::pair<std::string, std::string>> splitRoot(const std::string& rootText) {
    const auto eq = rootText.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == rootText.size())
        return std::nullopt;
    return std::pair{rootText.substr(0, eq), rootText.substr(eq + 1)};
}

// The names of standard output itself: an export there is an export to "-", so the summary
// stays off it and a full or closed output is reported as such.
bool namesStandardOutput(const std::string& path) {
    return path == "/dev/stdout" || path == "/dev/fd/1" || path == "/proc/self/fd/1";
}

// How many outputs want standard output for themselves: an export to "-" and the top lists
// (text or JSON) would otherwise be mixed into one unreadable stream.
int standardOutputUsers(const CliOptions& o) {
    int users = 0;
    users += o.jsonFile && *o.jsonFile == "-";
    users += o.csv && o.csv->second == "-";
    users += o.topFiles || o.topDirs || o.changes;
    return users;
}

// A count of at most nine digits; none for anything else.
std::optional<std::int64_t> parseCount(const std::string& text) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoll(text);
}

// A usage error: the Czech text on standard error, exit code 2.
CliParse usageError(const std::string& text) {
    std::fprintf(stderr, "%s\nNápověda: varnelo-cli --help\n", terminalText(text).c_str());
    return {std::nullopt, 2};
}

// CLI11's own texts are English; the user gets a Czech one, the offending argument named.
std::string czechParseError(const CLI::ParseError& e) {
    const std::string detail = e.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&e))
        return "Neznámý argument: " +
               detail.substr(detail.find_first_not_of(' ', detail.find(':') + 1));
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e))
        return "Volba dostala špatný počet hodnot (" + detail + ").";
    if (dynamic_cast<const CLI::ConversionError*>(&e) ||
        dynamic_cast<const CLI::ValidationError*>(&e))
        return "Neplatná hodnota volby (" + detail + ").";
    return "Chybné použití (" + detail + ").";
}

// "Složka neexistuje" or "Není to složka" for a --fs root that cannot be walked; nothing for a
// folder (a link to a folder included).
std::optional<std::string> rootProblem(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return (errno == ENOENT || errno == ENOTDIR ? "Složka neexistuje: "
                                                    : "Složku nelze otevřít: ") +
               path;
    if (!S_ISDIR(st.st_mode))
        return "Není to složka: " + path;
    return std::nullopt;
}

} // namespace

CliParse parseCommandLine(int argc, char** argv) {
    CliOptions o;
    CLI::App app{"varnelo-cli – co zabírá místo na iCloud Drive (bez grafického rozhraní)",
                 "varnelo-cli"};
    app.set_help_flag("-h,--help", "Vypíše tuto nápovědu");
    app.set_version_flag("--version", "varnelo-cli " VARNELO_VERSION, "Vypíše verzi programu");

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
    auto* depth =
        app.add_option("--depth", o.hydrateDepth, "Kolik úrovní složek načíst u --hydrate (1–3)");
    app.add_option("--evict", o.evictIds,
                   "Uvolní stažené soubory položek z tohoto Macu; v iCloudu zůstanou (ID…)");
    auto* dryRun =
        app.add_flag("--dry-run", o.dryRun, "U --evict jen vypíše, co by se uvolnilo a proč ne");
    std::vector<std::string> changesArg;
    auto* changes = app.add_option("--changes", changesArg,
                                   "Vypíše N největších změn od minulého skenu (výchozí 20)")
                        ->expected(0, 1);
    std::string sinceText;
    auto* since = app.add_option("--since", sinceText,
                                 "U --changes porovná se skenem z DATA (RRRR-MM-DD [HH:MM])");
    app.add_flag("-q,--quiet", o.quiet, "Nevypisuje průběh");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // --help and --version end the run successfully; every other parse error is a usage
        // error, whatever code CLI11 gives it.
        if (e.get_exit_code() == 0)
            return {std::nullopt, app.exit(e)};
        return usageError(czechParseError(e));
    }

    for (const std::string& rootText : fsRootTexts) {
        auto root = splitRoot(rootText);
        if (!root)
            return usageError("Chybný kořen --fs „" + rootText + "“: čekám NÁZEV=CESTA.");
        o.fsRoots.push_back(std::move(*root));
    }
    if (!o.fsRoots.empty() && o.dumpFile)
        return usageError("Volby --fs a --dump nelze kombinovat.");
    if (o.hydrateId && (o.dumpFile || !o.fsRoots.empty()))
        return usageError("Volba --hydrate patří jen ke skenu databáze s porovnáním disku.");
    if (changes->count() > 0 || since->count() > 0) {
        // Without a number the option still carries one empty value.
        const std::string count = changesArg.empty() ? std::string() : changesArg.front();
        o.changes = CliChanges::defaultCount;
        if (!count.empty() && !(o.changes = parseCount(count)))
            return usageError("Volba --changes čeká počet změn (celé číslo od 0).");
    }
    if (since->count() > 0 && !(o.since = CliChanges::parseSince(sinceText)))
        return usageError("Chybné datum --since „" + sinceText +
                          "“: čekám RRRR-MM-DD nebo "
                          "RRRR-MM-DD HH:MM.");
    if (o.changes && o.dumpFile)
        return usageError("Změny se počítají jen u skenu iCloud Drive nebo složek, ne u --dump.");
    if (!o.evictIds.empty() && (o.dumpFile || !o.fsRoots.empty()))
        return usageError("Volba --evict patří jen ke skenu databáze s porovnáním disku.");
    if (dryRun->count() > 0 && o.evictIds.empty())
        return usageError("Volba --dry-run patří jen k volbě --evict.");
    if (depth->count() > 0 && !o.hydrateId)
        return usageError("Volba --depth patří jen k volbě --hydrate.");
    if (o.hydrateDepth < 1 || o.hydrateDepth > 3)
        return usageError("Volba --depth čeká počet úrovní 1 až 3.");
    if (o.jsonDepth > Serialization::maxExportDepth)
        return usageError("Hloubka --json-depth smí být nejvýše " +
                          std::to_string(Serialization::maxExportDepth) + ".");
    if (csvArgs.size() == 2)
        o.csv = std::pair{csvArgs[0], csvArgs[1]};
    if (o.jsonFile && namesStandardOutput(*o.jsonFile))
        o.jsonFile = "-";
    if (o.csv && namesStandardOutput(o.csv->second))
        o.csv->second = "-";
    o.formatJson = format == "json";
    if (standardOutputUsers(o) > 1)
        return usageError("Na standardní výstup („-“) smí jít jen jeden výstup: JSON export, "
                          "CSV export nebo seznamy.");
    // The roots are checked last, so that a usage error is never hidden behind a disk lookup.
    for (const auto& [name, path] : o.fsRoots)
        if (auto problem = rootProblem(path))
            return usageError(*problem);
    return {std::move(o), 0};
}

} // namespace tessary::cli
