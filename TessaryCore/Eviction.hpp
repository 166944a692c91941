#pragma once

#include "TessaryCore/LocalIdentity.hpp"
#include "TessaryCore/Progress.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary {

class Item;
class ScanResult;
struct ScanEnvironment;

// Frees downloaded documents of the iCloud Drive on this computer: the service keeps them and
// leaves a placeholder (same name and size, no blocks) that is downloaded again when opened.
// Nothing is deleted anywhere. The service is asked through its tool (`brctl evict PATH…`; on
// Linux the simulated one), which itself refuses a file whose bytes the server does not have.
//
// Before the tool sees a path, the entry is checked the way the Trash run checks it: reached
// from the home folder without following a link, and still the entry the scan paired with the
// item (device, inode, kind, birth time, size, modification time). A file whose size or time
// differs from the database's has local changes the server may not have yet and is refused.
struct Eviction {
    Eviction() = delete;

    // How many paths one run of the tool gets: one process per file would make freeing ten
    // thousand files take minutes. The real tool takes one path at a time.
#ifdef __APPLE__
    static constexpr std::size_t batchSize = 1;
#else
    static constexpr std::size_t batchSize = 256;
#endif
    // The time limit of one run of the tool.
    static constexpr double toolTimeout = 120.0;

    struct Job {
        std::string id;
        // The raw bytes of the path, as the scan found it.
        std::string path;
        // What the scan saw at the path.
        std::optional<LocalIdentity> expected;
        // The database's size and modification time (seconds) of the document.
        std::int64_t size = 0;
        std::int64_t mtime = 0;
    };
    struct Failure {
        std::string id;
        std::string name; // last path component
        std::string reason;
    };
    struct Outcome {
        std::vector<std::string> done; // ids freed
        std::vector<Failure> failed;
        // Jobs not attempted because the run was cancelled.
        std::int64_t skipped = 0;
    };

    // What freeing a choice of items means: the documents to free (each once, even when a
    // chosen folder holds another chosen item) and their local bytes, and the downloaded
    // documents that must stay, each with its reason.
    struct Refusal {
        const Item* item = nullptr;
        std::string reason;
    };
    struct Selection {
        std::vector<const Item*> documents;
        std::int64_t bytes = 0;
        std::vector<Refusal> refused;
    };

    // Why the document or folder cannot be freed, or none when it (or something below it) can;
    // from what the scan saw, without reading the disk.
    [[nodiscard]] static std::optional<std::string>
    reason(const Item& item, const ScanResult& result, const ScanEnvironment& env);
    // The documents below the chosen items (a chosen document stands for itself). Placeholders,
    // links and items the scan did not pair with the disk are left out without a word; a
    // downloaded document that must stay is in `refused`.
    [[nodiscard]] static Selection select(const std::vector<const Item*>& chosen,
                                          const ScanResult& result, const ScanEnvironment& env);
    [[nodiscard]] static Job jobFor(const Item& document);

    // Frees the jobs' files in order, reporting ("evict", i, n, "Uvolňuji z tohoto Macu… NAME")
    // before each batch and asking `cancel` between batches. Runs on the caller's thread; never
    // touches a scan result. A file counts as freed only when the disk shows its placeholder
    // afterwards.
    [[nodiscard]] static Outcome run(const std::string& home, const std::vector<Job>& jobs,
                                     const ProgressCallback& progress,
                                     const CancelCallback& cancel);

    // The reasons, so callers and tests can tell them apart.
    static constexpr const char* localChanges = "Soubor má změny, které ještě nejsou v iCloudu.";
    static constexpr const char* onlyInCloud = "Soubor už je jen v iCloudu.";
    static constexpr const char* notOnICloudDrive = "Uvolnit lze jen soubory z iCloud Drive.";
    static constexpr const char* notPaired = "Soubor se nepodařilo najít na disku.";
    static constexpr const char* deleted = "Položka je v iCloudu smazaná.";
    static constexpr const char* link = "Odkaz nezabírá místo, není co uvolnit.";
    static constexpr const char* package = "Balíček nelze uvolnit.";
    static constexpr const char* insidePackage = "Soubor uvnitř balíčku nelze uvolnit samostatně.";
    static constexpr const char* nothingDownloaded = "Ve složce není nic staženého.";
    static constexpr const char* notFreed = "Soubor se nepodařilo uvolnit.";
    static constexpr const char* toolFailed =
        "Nástroj brctl se nepodařilo spustit nebo nedoběhl včas.";
};

} // namespace tessary
