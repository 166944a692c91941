#pragma once

#include "TessaryCore/ItemKind.hpp"

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
// the texts sit behind accessors because they share one compact allocation: the fixed id and
// the printed name `pat` (and the parent id) are stored once, and `name` and `path` take memory
// only when they differ from their defaults.
class Item {
public:
    Item(std::string_view id, std::string_view parent, std::string_view pat, ItemKind kind,
         std::int64_t container);
    Item(Item&&) noexcept = default;
    Item& operator=(Item&&) noexcept = default;
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    [[nodiscard]] std::string_view id() const { return {m_text.get(), m_parentAt}; }
    // Id of the parent item; empty for container roots.
    [[nodiscard]] std::string_view parent() const {
        return {m_text.get() + m_parentAt, m_patAt - m_parentAt};
    }
    void setParent(std::string_view parent);
    // The name as the database prints it (possibly masked); never changes.
    [[nodiscard]] std::string_view pat() const { return {m_text.get() + m_patAt, m_end - m_patAt}; }
    // The name shown to the user: `pat` until the resolver or the parser replaces it.
    [[nodiscard]] std::string_view name() const { return m_name ? *m_name : pat(); }
    void setName(std::string_view name);
    // Absolute local path, once known.
    [[nodiscard]] bool hasPath() const { return m_path != nullptr; }
    [[nodiscard]] std::optional<std::string_view> path() const {
        if (!m_path)
            return std::nullopt;
        return std::string_view(*m_path);
    }
    void setPath(std::string_view path);
    void clearPath() { m_path.reset(); }

    [[nodiscard]] ItemKind kind() const { return m_kind; }
    [[nodiscard]] std::int64_t container() const { return m_container; }

    [[nodiscard]] bool isDir() const { return m_kind == ItemKind::dir; }
    // The synthetic folders of the parser: container roots and orphan buckets.
    [[nodiscard]] bool isVirtual() const;
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

    void assignText(std::string_view id, std::string_view parent, std::string_view pat);

    // id, parent and pat back to back, without separators.
    std::unique_ptr<char[]> m_text;
    std::unique_ptr<std::string> m_name;
    std::unique_ptr<std::string> m_path;
    std::int64_t m_container;
    std::uint32_t m_parentAt = 0;
    std::uint32_t m_patAt = 0;
    std::uint32_t m_end = 0;
    ItemKind m_kind;
    // Whether the result's id map points at this object (false once replaced or removed).
    bool m_inMap = false;
};

} // namespace tessary
