#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// Reproduces the way the iCloud Drive database masks names in its dump: the first and the last
// character of the stem stay, the scalars between them become their count in braces, and a
// duplicate counter (" 2") and the extension stay readable ("Report 2.pdf" -> "R{4}t 2.pdf").
// The dump cannot be unmasked, but every local name can be masked the same way and compared.
//
// All lengths and positions count Unicode scalars. Text arguments are UTF-8; malformed UTF-8
// (including encoded surrogates) is read with each maximal ill-formed subsequence replaced by
// U+FFFD, so every input has a defined mask and every mask returned is well-formed UTF-8. For
// well-formed input, "unchanged" below means byte for byte the input.
//
// Pure functions, safe to call from any thread.
struct Masking {
    Masking() = delete;

    struct ExtSplit {
        std::u32string_view stem;
        std::u32string_view ext; // with its dot; empty when there is no extension
    };
    struct Edges {
        std::u32string_view first; // the first scalar and the combining marks that follow it
        std::u32string_view last;  // the last base scalar and the combining marks after it
    };
    struct DupSplit {
        std::u32string_view base;
        std::u32string_view suffix; // a space and 1 to 4 decimal digits worth more than 1
    };

    // The extensions after which the previous extension belongs to one compound extension
    // (".tar.gz"), in lower case.
    static constexpr std::array<std::u32string_view, 8> compoundTails = {
        U".gz", U".bz2", U".xz", U".z", U".lz", U".zst", U".lzma", U".br"};

    // The stem and the extension from the last "." on. No extension when there is no dot, when
    // the dot is the first scalar (a hidden name) or when only dots precede it. The views point
    // into `s`.
    [[nodiscard]] static ExtSplit splitExt(std::u32string_view s);
    // The first and the last cluster of `stem`, decided by canonical combining classes alone.
    // The views point into `stem` and may overlap; both are empty for an empty stem.
    [[nodiscard]] static Edges clusterEdges(std::u32string_view stem);
    // A trailing duplicate counter: the last space (not the first scalar) followed by 1 to 4
    // decimal digits of any script whose value is greater than 1. None otherwise.
    [[nodiscard]] static std::optional<DupSplit> splitDupSuffix(std::u32string_view stem);
    // Whether `ext` lower-cased is one of the compound tails.
    [[nodiscard]] static bool isCompoundTail(std::u32string_view ext);

    // The mask of `name`: `first` "{" hidden count "}" `last`, then the duplicate counter (with
    // `splitDup`) and the extension (compound with `compound`). Without `clusters` the first and
    // last scalar stand for the clusters. A stem of 2 scalars or fewer, or one whose edge
    // clusters cover it, leaves the name unchanged. No normalisation is applied.
    [[nodiscard]] static std::string maskName(std::string_view name, bool splitDup, bool clusters,
                                              bool compound);
    // maskName(name, splitDup: true, clusters: true, compound: false): what the dump prints.
    [[nodiscard]] static std::string primaryMask(std::string_view name);
    // Every mask the dump might print for the local name `name`: the name as given, its NFC and
    // its NFD form (identical forms once), each masked with and without the duplicate counter
    // rule and the cluster rule, plus the compound-extension mask where the extension is one of
    // the compound tails. Distinct strings in the order found, so the first is primaryMask(name);
    // at most 18, at most 4 for an ASCII name without a compound extension.
    [[nodiscard]] static std::vector<std::string> maskVariants(std::string_view name);

    // `utf8` as Unicode scalars, malformed sequences read as U+FFFD.
    [[nodiscard]] static std::u32string scalars(std::string_view utf8);
    // `s` as UTF-8; values that are not Unicode scalars (surrogates, beyond U+10FFFF) become
    // U+FFFD.
    [[nodiscard]] static std::string utf8(std::u32string_view s);
    static void appendUTF8(std::u32string_view s, std::string& into);
};

} // namespace tessary
