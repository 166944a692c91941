#pragma once

#include "TessaryCore/ItemKind.hpp"
#include "TessaryCore/LocalIdentity.hpp"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary {

// One node of the scan tree: a database item, a synthetic container root ("root[<index>]"),
// an orphan bucket ("orphans[<index>]") or, in the disk-only scan, a local entry.
//
// Items live inside a ScanResult at stable addresses; everyone else holds `Item*` and identity
// is the address. Numbers and flags are plain public fields (the database's own vocabulary);
// the texts sit behind accessors because they share one compact block: the id, the printed name
// `pat` and the parent id as read are stored back to back (inside the result's text arena once
// the item is stored there), and a resolved `name`, a `path` or a rewritten parent id take
// memory only when present. The id text never moves while the item lives.
class Item {
public:
    Item(std::string_view id, std::string_view parent, std::string_view pat, ItemKind kind,
         std::int64_t container);
    Item(Item&& other) noexcept;
    Item& operator=(Item&& other) noexcept;
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;
    ~Item();

    [[nodiscard]] std::string_view id() const { return {m_text, m_patAt}; }
    // Id of the parent item; empty for container roots.
    [[nodiscard]] std::string_view parent() const {
        if (m_extra && m_extra->has(Extra::parentText))
            return m_extra->piece(Extra::parentText);
        return {m_text + m_parentAt, m_end - m_parentAt};
    }
    // Never moves the id text, which the result's id map refers to.
    void setParent(std::string_view parent);
    // The name as the database prints it (possibly masked); never changes.
    [[nodiscard]] std::string_view pat() const { return {m_text + m_patAt, m_parentAt - m_patAt}; }
    // The name shown to the user: `pat` until the resolver or the parser replaces it.
    [[nodiscard]] std::string_view name() const {
        if (m_extra && m_extra->has(Extra::nameText))
            return m_extra->piece(Extra::nameText);
        return pat();
    }
    void setName(std::string_view name);
    // Absolute local path, once known.
    [[nodiscard]] bool hasPath() const;
    // Built on each call: most paths are kept as their folder's path and the item's name.
    [[nodiscard]] std::optional<std::string> path() const;
    void setPath(std::string_view path);
    // What the scan saw at `path` when it paired the item with its local entry; none until then.
    [[nodiscard]] std::optional<LocalIdentity> localIdentity() const {
        if (!m_extra)
            return std::nullopt;
        if (!m_extra->hasIdentity())
            return std::nullopt;
        return m_extra->identity();
    }
    void setLocalIdentity(const LocalIdentity& identity) { extra().setIdentity(identity); }
    // The pairing with the local entry `name` at `path` (setName, setPath and setLocalIdentity in
    // one go). When `path` is `folder`'s own path joined with `name`, the item keeps no path text
    // of its own but follows `folder` (an item of the same result, whose address is stable).
    void setLocal(std::string_view name, std::string_view path, const LocalIdentity& identity,
                  const Item* folder = nullptr);
    void clearPath();

    [[nodiscard]] ItemKind kind() const { return m_kind; }
    [[nodiscard]] std::int64_t container() const { return m_container; }

    [[nodiscard]] bool isDir() const { return m_kind == ItemKind::dir; }
    // The synthetic folders of the parser: container roots and orphan buckets.
    [[nodiscard]] bool isVirtual() const { return isVirtualID(id()); }
    // Whether `id` names one of those ("root[<index>]", "orphans[<index>]").
    [[nodiscard]] static bool isVirtualID(std::string_view id) {
        return id.starts_with("root[") || id.starts_with("orphans[");
    }
    // A document that is not known to be downloaded: unresolved, or a dataless placeholder.
    [[nodiscard]] bool isCloudOnlyDoc() const {
        return m_kind == ItemKind::doc && (!resolved || dataless);
    }

    std::int64_t sz = 0;
    std::int64_t qta = 0;
    std::int64_t cc = 0;
    std::int64_t rcc = 0;
    std::int64_t mt = 0;
    std::int64_t localAlloc = 0;

    std::int64_t aggSz = 0;
    std::int64_t aggCloud = 0;
    std::int64_t aggLocal = 0;
    std::int64_t aggDocs = 0;
    std::int64_t aggDirs = 0;
    std::int64_t aggUnenum = 0;
    std::int64_t aggQta = 0;
    std::int64_t aggDatalessDocs = 0;

    // Child items in insertion order (non-owning; the ScanResult owns them).
    std::vector<Item*> children;

    bool dead = false;
    bool resolved = false;
    bool ambiguous = false;
    bool enumerated = false;
    bool timeout = false;
    bool denied = false;
    bool dataless = false;

private:
    friend class ScanResult;
    friend struct DumpParser;
    friend struct Aggregator;

    // What is usually absent: a resolved name, a local path and a rewritten parent id, back to
    // back right after the record in the same allocation, and what the scan saw at the path. An
    // item paired inside a listed folder keeps no path text: its path follows the folder's.
    struct Extra {
        enum Text : std::uint8_t { nameText, pathText, parentText };

        // The bit of `present` that says `identity` is set; the texts use the bits below it.
        static constexpr std::uint8_t identityBit = 1U << 3;

        [[nodiscard]] bool has(Text t) const { return (present & (1U << t)) != 0; }
        [[nodiscard]] bool hasIdentity() const { return (present & identityBit) != 0; }
        void setIdentity(const LocalIdentity& seen) {
            seenDev = seen.dev;
            seenIno = seen.ino;
            seenSize = seen.size;
            seenMtime = seen.mtime;
            seenBirth = seen.birth;
            seenType = static_cast<std::uint8_t>(seen.type >> typeShift);
            present |= identityBit;
        }
        [[nodiscard]] LocalIdentity identity() const {
            return {seenDev,   seenIno,   seenSize,
                    seenMtime, seenBirth, static_cast<std::uint32_t>(seenType) << typeShift};
        }
        void copyIdentity(const Extra& from) {
            if (from.hasIdentity())
                setIdentity(from.identity());
        }
        [[nodiscard]] std::string_view piece(Text t) const {
            std::size_t at = 0;
            for (int i = 0; i < t; ++i)
                at += sizes[i];
            return {reinterpret_cast<const char*>(this + 1) + at, sizes[t]};
        }

        // The S_IFMT bits of a mode are its top four bits, so the kind fits in one byte.
        static constexpr unsigned typeShift = 12;

        // The LocalIdentity, field by field: kept as one struct it would take eight bytes more
        // of padding in every paired item.
        std::uint64_t seenDev = 0;
        std::uint64_t seenIno = 0;
        std::int64_t seenSize = 0;
        std::int64_t seenMtime = 0;
        std::int64_t seenBirth = 0;
        // Without a path text: the path is this folder's path joined with the item's name.
        const Item* pathFrom = nullptr;
        std::uint32_t sizes[3] = {0, 0, 0};
        std::uint8_t present = 0;
        std::uint8_t seenType = 0;
    };
    struct ExtraDelete {
        void operator()(Extra* e) const;
    };
    // Sets (or with none, removes) one of the texts; views of the others become invalid.
    void putText(Extra::Text t, std::optional<std::string_view> value);
    // Sets all three texts (none removes one), keeping the rest of the record.
    void putTexts(const std::optional<std::string_view> (&values)[3]);
    [[nodiscard]] std::optional<std::string_view> textOf(Extra::Text t) const {
        if (!m_extra || !m_extra->has(t))
            return std::nullopt;
        return m_extra->piece(t);
    }
    // The item whose path text this item's path starts from (itself when it has one), or null.
    [[nodiscard]] const Item* pathBase() const;
    Extra& extra();
    // Builds the item with its texts written to `storage` (textSize(id, parent, pat) bytes,
    // owned by the result).
    Item(char* storage, std::string_view id, std::string_view parent, std::string_view pat,
         ItemKind kind, std::int64_t container);
    void writeText(char* storage, std::string_view id, std::string_view parent,
                   std::string_view pat);
    // Moves the fixed texts into `storage` (which must outlive the item) and frees the item's
    // own copy. Used by the result to keep all texts in one arena.
    void adoptText(char* storage);
    [[nodiscard]] std::size_t textSize() const { return m_end; }

    // id, pat and the parent id as read, back to back without separators. Owned by the item
    // unless m_ownsText is false, then it lives in the result's arena.
    char* m_text = nullptr;
    std::unique_ptr<Extra, ExtraDelete> m_extra;
    std::int64_t m_container;
    std::uint32_t m_patAt = 0;
    std::uint32_t m_parentAt = 0;
    std::uint32_t m_end = 0;
    ItemKind m_kind;
    bool m_ownsText = false;
    // Whether the result's id map points at this object (false once replaced or removed).
    bool m_inMap = false;
    // Scratch mark of the tree builder's and the aggregation's walks; meaningless outside them.
    std::uint8_t m_mark = 0;
};

} // namespace tessary
