#include "TessaryCore/Item.hpp"

#include "TessaryCore/FS.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace tessary {

namespace {

// Texts longer than this are cut: the offsets are 32-bit, and no real id or name comes near it.
constexpr std::size_t maxText = std::numeric_limits<std::uint32_t>::max() / 4;

std::string_view clamp(std::string_view s) {
    return s.size() > maxText ? s.substr(0, maxText) : s;
}

// Whether FS::join(folder, name) is `path`, without building it in the usual case.
bool joinsTo(std::string_view folder, std::string_view name, std::string_view path) {
    if (folder.size() > 1 && folder.back() != '/' && !name.empty() && name.front() != '/' &&
        name.back() != '/')
        return path.size() == folder.size() + 1 + name.size() && path.starts_with(folder) &&
               path[folder.size()] == '/' && path.ends_with(name);
    return FS::join(folder, name) == path;
}

void copyText(char* to, std::string_view s) {
    if (!s.empty())
        std::memcpy(to, s.data(), s.size());
}

} // namespace

Item::Item(std::string_view id, std::string_view parent, std::string_view pat, ItemKind kind,
           std::int64_t container)
    : m_container(container), m_kind(kind) {
    const std::size_t total = clamp(id).size() + clamp(parent).size() + clamp(pat).size();
    writeText(new char[total == 0 ? 1 : total], id, parent, pat);
    m_ownsText = true;
}

Item::Item(char* storage, std::string_view id, std::string_view parent, std::string_view pat,
           ItemKind kind, std::int64_t container)
    : m_container(container), m_kind(kind) {
    writeText(storage, id, parent, pat);
}

void Item::writeText(char* storage, std::string_view id, std::string_view parent,
                     std::string_view pat) {
    id = clamp(id);
    parent = clamp(parent);
    pat = clamp(pat);
    const std::size_t total = id.size() + parent.size() + pat.size();
    m_text = storage;
    copyText(m_text, id);
    copyText(m_text + id.size(), pat);
    copyText(m_text + id.size() + pat.size(), parent);
    m_patAt = static_cast<std::uint32_t>(id.size());
    m_parentAt = static_cast<std::uint32_t>(id.size() + pat.size());
    m_end = static_cast<std::uint32_t>(total);
}

Item::Item(Item&& other) noexcept
    : sz(other.sz), qta(other.qta), cc(other.cc), rcc(other.rcc), mt(other.mt),
      localAlloc(other.localAlloc), aggSz(other.aggSz), aggCloud(other.aggCloud),
      aggLocal(other.aggLocal), aggDocs(other.aggDocs), aggDirs(other.aggDirs),
      aggUnenum(other.aggUnenum), aggQta(other.aggQta), aggDatalessDocs(other.aggDatalessDocs),
      children(std::move(other.children)), dead(other.dead), resolved(other.resolved),
      ambiguous(other.ambiguous), enumerated(other.enumerated), timeout(other.timeout),
      denied(other.denied), dataless(other.dataless), m_text(std::exchange(other.m_text, nullptr)),
      m_extra(std::move(other.m_extra)), m_container(other.m_container), m_patAt(other.m_patAt),
      m_parentAt(other.m_parentAt), m_end(other.m_end), m_kind(other.m_kind),
      m_ownsText(std::exchange(other.m_ownsText, false)), m_inMap(other.m_inMap),
      m_mark(other.m_mark) {
    other.m_patAt = other.m_parentAt = other.m_end = 0;
}

Item& Item::operator=(Item&& other) noexcept {
    if (this != &other) {
        this->~Item();
        new (this) Item(std::move(other));
    }
    return *this;
}

Item::~Item() {
    if (m_ownsText)
        delete[] m_text;
}

void Item::adoptText(char* storage) {
    if (m_end != 0)
        std::memcpy(storage, m_text, m_end);
    if (m_ownsText)
        delete[] m_text;
    m_text = storage;
    m_ownsText = false;
}

void Item::ExtraDelete::operator()(Extra* e) const {
    e->~Extra();
    ::operator delete(static_cast<void*>(e));
}

void Item::putText(Extra::Text t, std::optional<std::string_view> value) {
    std::optional<std::string_view> values[3];
    for (int i = 0; i < 3; ++i)
        values[i] = textOf(static_cast<Extra::Text>(i));
    values[t] = value;
    putTexts(values);
}

void Item::putTexts(const std::optional<std::string_view> (&values)[3]) {
    std::size_t total = 0;
    for (const auto& v : values)
        total += v ? v->size() : 0;
    // A new record, filled before the old one goes: the values may be views of its texts.
    void* block = ::operator new(sizeof(Extra) + total);
    auto* fresh = new (block) Extra();
    if (m_extra) {
        fresh->copyIdentity(*m_extra);
        fresh->pathFrom = m_extra->pathFrom;
    }
    char* to = reinterpret_cast<char*>(fresh + 1);
    for (int i = 0; i < 3; ++i) {
        if (!values[i])
            continue;
        copyText(to, *values[i]);
        to += values[i]->size();
        fresh->sizes[i] = static_cast<std::uint32_t>(values[i]->size());
        fresh->present |= static_cast<std::uint8_t>(1U << i);
    }
    m_extra.reset(fresh);
}

Item::Extra& Item::extra() {
    if (!m_extra)
        putTexts({std::nullopt, std::nullopt, std::nullopt});
    return *m_extra;
}

void Item::setParent(std::string_view parent) {
    if (parent == std::string_view(m_text + m_parentAt, m_end - m_parentAt)) {
        if (m_extra)
            putText(Extra::parentText, std::nullopt);
        return;
    }
    putText(Extra::parentText, clamp(parent));
}

void Item::setName(std::string_view name) {
    if (name == pat()) {
        if (m_extra)
            putText(Extra::nameText, std::nullopt);
        return;
    }
    putText(Extra::nameText, clamp(name));
}

void Item::setPath(std::string_view path) {
    putText(Extra::pathText, clamp(path));
    m_extra->pathFrom = nullptr;
}

void Item::clearPath() {
    if (!m_extra)
        return;
    putText(Extra::pathText, std::nullopt);
    m_extra->pathFrom = nullptr;
}

void Item::setLocal(std::string_view name, std::string_view path, const LocalIdentity& identity,
                    const Item* folder) {
    const std::optional<std::string_view> ownName =
        name == pat() ? std::nullopt : std::optional(clamp(name));
    // Only a folder with a path text of its own is followed, so that building a path never
    // climbs more than a step or two.
    const bool follows = folder != nullptr && folder != this && folder->m_extra &&
                         folder->m_extra->has(Extra::pathText) &&
                         joinsTo(folder->m_extra->piece(Extra::pathText), name, path);
    putTexts(
        {ownName, follows ? std::nullopt : std::optional(clamp(path)), textOf(Extra::parentText)});
    m_extra->pathFrom = follows ? folder : nullptr;
    m_extra->setIdentity(identity);
}

const Item* Item::pathBase() const {
    const Item* at = this;
    // Each step goes to a folder listed before; the bound only guards against a broken chain.
    for (int steps = 0; steps < 4096 && at->m_extra; ++steps) {
        if (at->m_extra->has(Extra::pathText))
            return at;
        at = at->m_extra->pathFrom;
        if (at == nullptr)
            return nullptr;
    }
    return nullptr;
}

bool Item::hasPath() const {
    return pathBase() != nullptr;
}

std::optional<std::string> Item::path() const {
    const Item* base = pathBase();
    if (base == nullptr)
        return std::nullopt;
    if (base == this)
        return std::string(m_extra->piece(Extra::pathText));
    // The names from this item up to (not including) the base, joined below the base's path.
    std::vector<std::string_view> names;
    for (const Item* at = this; at != base; at = at->m_extra->pathFrom)
        names.push_back(at->name());
    std::string out(base->m_extra->piece(Extra::pathText));
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        out = FS::join(out, *it);
    return out;
}

} // namespace tessary
