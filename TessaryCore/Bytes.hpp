#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tessary {

// The recognisers of the `brctl dump` line grammar. They work on one line as raw bytes (without
// its line feed), never copy it, and return positions and numbers; only `containerHeader`
// decodes text, and `stripANSI` appends to a buffer of the caller. No input may make them read
// outside the line.
struct Bytes {
    Bytes() = delete;

    // Byte positions [begin, end) into the line a recogniser was given.
    struct Range {
        std::size_t begin = 0;
        std::size_t end = 0;
        [[nodiscard]] std::string_view of(std::string_view line) const {
            return line.substr(begin, end - begin);
        }
        [[nodiscard]] bool empty() const { return begin == end; }
        friend bool operator==(const Range&, const Range&) = default;
    };

    struct ContainerHeader {
        std::string identifier; // the masked identifier, decoded as UTF-8
        std::int64_t index = 0;
        friend bool operator==(const ContainerHeader&, const ContainerHeader&) = default;
    };

    struct ItemLine {
        Range id;
        std::size_t rest = 0; // start of everything after "> "
        friend bool operator==(const ItemLine&, const ItemLine&) = default;
    };

    // Positions are relative to the `rest` given to `stateBlock`.
    struct StateBlock {
        Range parent;
        Range name;
        std::optional<Range> secondName;
        Range kind;
        Range flags; // from the end of the kind to the "}"
        friend bool operator==(const StateBlock&, const StateBlock&) = default;
    };

    struct Digits {
        std::uint64_t value = 0; // wraps around, no overflow check
        std::size_t end = 0;
        friend bool operator==(const Digits&, const Digits&) = default;
    };

    struct ServerMeta {
        std::int64_t qta = 0;
        std::int64_t rcc = 0;
        std::int64_t cc = 0;
        friend bool operator==(const ServerMeta&, const ServerMeta&) = default;
    };

    // Four spaces, then `name`, then the end of the line or a byte that is not an identifier
    // byte (ASCII letter, digit or "_").
    [[nodiscard]] static bool sectionHeader(std::string_view line, std::string_view name);
    // Appends `line` to `into` without its ANSI colour sequences (ESC "[" digits/";" "m").
    static void stripANSI(std::string_view line, std::string& into);
    // "    ----------<identifier>[<index>]----------" with optional trailing white space.
    [[nodiscard]] static std::optional<ContainerHeader> containerHeader(std::string_view line);
    // The bytes at `at` equal `text`; false past the end or for a negative `at`.
    [[nodiscard]] static bool starts(std::string_view line, std::int64_t at, std::string_view text);
    // First position p >= max(from, 0) where `text` lies wholly inside the line.
    [[nodiscard]] static std::optional<std::size_t> find(std::string_view line,
                                                         std::string_view text, std::int64_t from);
    // Spaces, "i:<", the id up to the first ">", then exactly one space and at least that.
    [[nodiscard]] static std::optional<ItemLine> itemLine(std::string_view line);
    // The first state block `st{p:<PARENT> n:"NAME" KIND ...}` (optionally with a second name,
    // `n:"NAME" (o:"SECOND") KIND`) of an item line's rest. Linear in the length of `rest`.
    [[nodiscard]] static std::optional<StateBlock> stateBlock(std::string_view rest);
    // `token` preceded by a space or the line start and followed by a space, the line end or,
    // with `allowBrace`, "}".
    [[nodiscard]] static bool hasToken(std::string_view line, std::string_view token,
                                       bool allowBrace);
    // The run of ASCII digits starting at `from`; nothing if there is none.
    [[nodiscard]] static std::optional<Digits> digits(std::string_view line, std::size_t from);
    // " sz:" with an exact ("123 bytes") or rounded ("1.2 MB (1234567)") size.
    [[nodiscard]] static std::optional<std::int64_t> size(std::string_view rest);
    // "sm{qta:N rcc:N sbm:N stm:N cc:N".
    [[nodiscard]] static std::optional<ServerMeta> serverMeta(std::string_view rest);
    // " mt:" followed by digits.
    [[nodiscard]] static std::optional<std::int64_t> mtime(std::string_view rest);

    // Whether `bytes` is well-formed UTF-8.
    [[nodiscard]] static bool isValidUTF8(std::string_view bytes);
    // `bytes` as UTF-8 text, each maximal invalid subsequence replaced by one U+FFFD.
    [[nodiscard]] static std::string decodeUTF8(std::string_view bytes);
};

} // namespace tessary
