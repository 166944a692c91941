#include "TessaryCore/Item.hpp"

#include <cstring>
#include <limits>

namespace tessary {

namespace {

// Texts longer than this are cut: the offsets are 32-bit, and no real id or name comes near it.
constexpr std::size_t maxText = std::numeric_limits<std::uint32_t>::max() / 4;

std::string_view clamp(std::string_view s) {
    return s.size() > maxText ? s.substr(0, maxText) : s;
}

} // namespace

Item::Item(std::string_view id, std::string_view parent, std::string_view pat, ItemKind kind,
           std::int64_t container)
    : m_container(container), m_kind(kind) {
    assignText(id, parent, pat);
}

void Item::assignText(std::string_view id, std::string_view parent, std::string_view pat) {
    id = clamp(id);
    parent = clamp(parent);
    pat = clamp(pat);
    const std::size_t total = id.size() + parent.size() + pat.size();
    auto text = std::make_unique_for_overwrite<char[]>(total == 0 ? 1 : total);
    char* out = text.get();
    std::memcpy(out, id.data(), id.size());
    std::memcpy(out + id.size(), parent.data(), parent.size());
    std::memcpy(out + id.size() + parent.size(), pat.data(), pat.size());
    m_parentAt = static_cast<std::uint32_t>(id.size());
    m_patAt = static_cast<std::uint32_t>(id.size() + parent.size());
    m_end = static_cast<std::uint32_t>(total);
    m_text = std::move(text);
}

void Item::setParent(std::string_view parent) {
    const std::string id(this->id());
    const std::string pat(this->pat());
    assignText(id, parent, pat);
}

void Item::setName(std::string_view name) {
    if (name == pat()) {
        m_name.reset();
        return;
    }
    if (m_name)
        m_name->assign(name);
    else
        m_name = std::make_unique<std::string>(name);
}

void Item::setPath(std::string_view path) {
    if (m_path)
        m_path->assign(path);
    else
        m_path = std::make_unique<std::string>(path);
}

bool Item::isVirtual() const {
    const std::string_view i = id();
    return i.starts_with("root[") || i.starts_with("orphans[");
}

} // namespace tessary
