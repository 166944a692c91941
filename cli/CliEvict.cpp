#include "cli/CliEvict.hpp"

#include "cli/TerminalText.hpp"

#include "TessaryCore/Eviction.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Serialization.hpp"

#include <fmt/format.h>

#include <string>
#include <vector>

namespace tessary::cli {

namespace {

std::string where(const ScanResult& result, const Item& item) {
    return terminalText(item.path().value_or(result.displayPath(item)));
}

std::string files(std::size_t n) {
    const char* word = n == 1 ? "soubor" : n >= 2 && n <= 4 ? "soubory" : "souborů";
    return fmt::format("{} {}", n, word);
}

void print(std::FILE* out, const std::string& text) {
    std::fputs(text.c_str(), out);
}

} // namespace

int CliEvict::run(const ScanResult& result, const CliOptions& options, const ScanEnvironment& env,
                  const ProgressCallback& progress, const CancelCallback& cancel, std::FILE* out) {
    std::vector<const Item*> chosen;
    bool unknown = false;
    for (const std::string& id : options.evictIds) {
        if (const Item* item = result.get(id)) {
            chosen.push_back(item);
        } else {
            print(out, fmt::format("Položka {} v databázi není.\n", terminalText(id)));
            unknown = true;
        }
    }
    const Eviction::Selection selection = Eviction::select(chosen, result, env);
    for (const Eviction::Refusal& refusal : selection.refused)
        print(out, fmt::format("Zůstane: {} – {}\n", where(result, *refusal.item), refusal.reason));
    const bool allChosen = !unknown && selection.refused.empty();

    if (options.dryRun) {
        for (const Item* doc : selection.documents)
            print(out,
                  fmt::format("Uvolnit: {:>10}  {}\n", Serialization::formatSize(doc->localAlloc),
                              where(result, *doc)));
        print(out, fmt::format("Uvolnilo by se na tomto Macu {} ({}); v iCloudu zůstane vše.\n",
                               Serialization::formatSize(selection.bytes),
                               files(selection.documents.size())));
        return allChosen ? 0 : 1;
    }

    std::vector<Eviction::Job> jobs;
    jobs.reserve(selection.documents.size());
    for (const Item* doc : selection.documents)
        jobs.push_back(Eviction::jobFor(*doc));
    const Eviction::Outcome outcome = Eviction::run(env.home, jobs, progress, cancel);
    if (outcome.skipped > 0)
        throw ScanError::cancelled();
    for (const Eviction::Failure& failure : outcome.failed)
        print(out, fmt::format("Neuvolněno: {} – {}\n", terminalText(failure.name),
                               terminalText(failure.reason)));
    std::int64_t freed = 0;
    for (const std::string& id : outcome.done)
        if (const Item* doc = result.get(id))
            freed += doc->localAlloc;
    print(out, fmt::format("Uvolněno z tohoto Macu: {} ({}); v iCloudu zůstalo vše.\n",
                           Serialization::formatSize(freed), files(outcome.done.size())));
    return allChosen && outcome.failed.empty() ? 0 : 1;
}

} // namespace tessary::cli
