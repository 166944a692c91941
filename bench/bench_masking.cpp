// Mask variants per second over a realistic mix of local names. The name resolver masks every
// local entry it lists, so this figure bounds how fast it can pair names.
#include "TessaryCore/Masking.hpp"

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

using tessary::Masking;

namespace {

// Stems in ASCII, in Czech with precomposed letters (NFC, as typed on most systems) and the same
// Czech stems decomposed (NFD, as older macOS file systems store them).
const std::array<const char*, 8> asciiStems = {
    "IMG_", "Report", "Meeting notes", "invoice-", "Screenshot 2024-05-0", "backup", "DSC0", "a"};
const std::array<const char*, 6> czechNFC = {
    "P\u0159\u00edli\u0161 \u017elu\u0165ou\u010dk\u00fd k\u016f\u0148",
    "Faktura \u010d. ",
    "\u00da\u010dtenky ",
    "Dovolen\u00e1 \u0160umava ",
    "P\u0159ihl\u00e1\u0161ka",
    "\u017d\u00e1dost o \u00fav\u011br",
};
const std::array<const char*, 6> czechNFD = {
    "Pr\u030ci\u0301lis\u030c z\u030cluti\u030couc\u030cky\u0301 ku\u030an\u030c",
    "Faktura c\u030c. ",
    "U\u0301c\u030ctenky ",
    "Dovolena\u0301 S\u030cumava ",
    "Pr\u030cihla\u0301s\u030cka",
    "Z\u030ca\u0301dost o u\u0301ve\u030cr",
};
const std::array<const char*, 10> extensions = {".jpg",    ".pdf",  ".docx", ".JPG",   ".txt",
                                                ".tar.gz", ".xlsx", "",      ".pages", ".tar.bz2"};

// 70 % ASCII, 15 % Czech NFC, 15 % Czech NFD; every seventh name carries a duplicate counter.
std::vector<std::string> realisticMix(std::size_t count) {
    std::vector<std::string> names;
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t kind = i % 20;
        std::string name;
        if (kind < 14)
            name = asciiStems[i % asciiStems.size()] + std::to_string(i % 997);
        else if (kind < 17)
            name = std::string(czechNFC[i % czechNFC.size()]) + std::to_string(i % 31);
        else
            name = std::string(czechNFD[i % czechNFD.size()]) + std::to_string(i % 31);
        if (i % 7 == 3)
            name += " " + std::to_string(2 + i % 9);
        name += extensions[i % extensions.size()];
        names.push_back(std::move(name));
    }
    return names;
}

std::vector<std::string> onlyOf(const std::vector<std::string>& all, std::size_t from,
                                std::size_t to) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (i % 20 >= from && i % 20 < to)
            out.push_back(all[i]);
    return out;
}

void run(benchmark::State& state, const std::vector<std::string>& names, bool variants) {
    std::size_t masks = 0;
    std::size_t done = 0;
    for (auto _ : state) {
        for (const std::string& name : names) {
            if (variants) {
                const auto set = Masking::maskVariants(name);
                masks += set.size();
                benchmark::DoNotOptimize(set.data());
            } else {
                const auto mask = Masking::primaryMask(name);
                masks += 1;
                benchmark::DoNotOptimize(mask.data());
            }
        }
        done += names.size();
    }
    state.counters["names/s"] =
        benchmark::Counter(static_cast<double>(done), benchmark::Counter::kIsRate);
    state.counters["masks/name"] =
        done == 0 ? 0.0 : static_cast<double>(masks) / static_cast<double>(done);
}

const std::vector<std::string>& mix() {
    static const std::vector<std::string> names = realisticMix(20000);
    return names;
}

void BM_maskVariants_mix(benchmark::State& state) {
    run(state, mix(), true);
}
void BM_maskVariants_ascii(benchmark::State& state) {
    static const auto names = onlyOf(mix(), 0, 14);
    run(state, names, true);
}
void BM_maskVariants_czechNFC(benchmark::State& state) {
    static const auto names = onlyOf(mix(), 14, 17);
    run(state, names, true);
}
void BM_maskVariants_czechNFD(benchmark::State& state) {
    static const auto names = onlyOf(mix(), 17, 20);
    run(state, names, true);
}
void BM_primaryMask_mix(benchmark::State& state) {
    run(state, mix(), false);
}

} // namespace

BENCHMARK(BM_maskVariants_mix);
BENCHMARK(BM_maskVariants_ascii);
BENCHMARK(BM_maskVariants_czechNFC);
BENCHMARK(BM_maskVariants_czechNFD);
BENCHMARK(BM_primaryMask_mix);

BENCHMARK_MAIN();
