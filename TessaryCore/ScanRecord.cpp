#include "TessaryCore/ScanRecord.hpp"

#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <algorithm>
#include <array>
#include <cstring>

namespace tessary {

namespace {

constexpr std::string_view magic = "VARNELO-SCAN-RECORD\n";
constexpr char rawKey = 0;
constexpr char uuidKey = 1;
// How an entry's cloud-only bytes are written: most items are all in the cloud or all on the
// disk, and then the number is not written at all.
constexpr std::uint64_t cloudNone = 0;
constexpr std::uint64_t cloudAll = 1;
constexpr std::uint64_t cloudOwn = 2;

std::uint64_t fnv1a(std::string_view bytes) {
    std::uint64_t h = 1469598103934665603ULL;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    return h;
}

void putVarint(std::string& out, std::uint64_t v) {
    while (v >= 0x80) {
        out.push_back(static_cast<char>((v & 0x7F) | 0x80));
        v >>= 7;
    }
    out.push_back(static_cast<char>(v));
}

void putSigned(std::string& out, std::int64_t v) {
    putVarint(out, (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63));
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The 16 bytes of an id in the form 8-4-4-4-12 of upper-case hex digits; none for any other id,
// so that decoding gives back exactly the same text.
std::optional<std::array<unsigned char, 16>> packedUUID(std::string_view key) {
    if (key.size() != 36)
        return std::nullopt;
    std::array<unsigned char, 16> out{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (i == 8 || i == 13 || i == 18 || i == 23) {
            if (key[i] != '-')
                return std::nullopt;
            continue;
        }
        const int hi = hexValue(key[i]);
        const int lo = i + 1 < key.size() ? hexValue(key[i + 1]) : -1;
        if (hi < 0 || lo < 0)
            return std::nullopt;
        out[n++] = static_cast<unsigned char>(hi << 4 | lo);
        ++i;
    }
    return out;
}

std::string unpackedUUID(const unsigned char* bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(36);
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out.push_back('-');
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0xF]);
    }
    return out;
}

void putKey(std::string& out, std::string_view key) {
    if (const auto packed = packedUUID(key)) {
        out.push_back(uuidKey);
        out.append(reinterpret_cast<const char*>(packed->data()), packed->size());
        return;
    }
    out.push_back(rawKey);
    putVarint(out, key.size());
    out.append(key);
}

// Reads what encode wrote; every read fails (and stays failed) past the end.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    [[nodiscard]] bool ok() const { return m_ok; }
    [[nodiscard]] bool atEnd() const { return m_at == m_bytes.size(); }

    std::uint64_t varint() {
        std::uint64_t v = 0;
        for (int shift = 0; shift < 64 && m_ok; shift += 7) {
            const unsigned char c = byte();
            v |= static_cast<std::uint64_t>(c & 0x7F) << shift;
            if ((c & 0x80) == 0)
                return v;
        }
        m_ok = false;
        return 0;
    }
    std::int64_t signedVarint() {
        const std::uint64_t v = varint();
        return static_cast<std::int64_t>((v >> 1) ^ (~(v & 1) + 1));
    }
    unsigned char byte() {
        if (m_at >= m_bytes.size()) {
            m_ok = false;
            return 0;
        }
        return static_cast<unsigned char>(m_bytes[m_at++]);
    }
    std::string_view take(std::uint64_t n) {
        if (n > m_bytes.size() - m_at) {
            m_ok = false;
            return {};
        }
        const std::string_view piece = m_bytes.substr(m_at, n);
        m_at += n;
        return piece;
    }
    std::string key() {
        const unsigned char tag = byte();
        if (tag == uuidKey) {
            const std::string_view packed = take(16);
            return m_ok ? unpackedUUID(reinterpret_cast<const unsigned char*>(packed.data()))
                        : std::string();
        }
        if (tag != rawKey)
            m_ok = false;
        return std::string(take(varint()));
    }

private:
    std::string_view m_bytes;
    std::size_t m_at = 0;
    bool m_ok = true;
};

ScanRecord::Values valuesOf(const Item& item) {
    return {item.aggQta, item.aggCloud, item.aggLocal};
}

} // namespace

ScanRecord ScanRecord::of(const ScanResult& result, std::string source, std::int64_t time) {
    ScanRecord record;
    record.time = time;
    record.mode = result.mode;
    record.source = std::move(source);
    const bool byPath = result.mode == ScanMode::fs;
    // Depth first from the roots, so a folder's entry comes before everything it holds.
    std::vector<std::pair<const Item*, std::uint32_t>> stack;
    for (auto it = result.roots.rbegin(); it != result.roots.rend(); ++it) {
        stack.emplace_back(*it, 0);
        record.totals.qta += (*it)->aggQta;
        record.totals.cloud += (*it)->aggCloud;
        record.totals.local += (*it)->aggLocal;
    }
    while (!stack.empty()) {
        const auto [item, parent] = stack.back();
        stack.pop_back();
        if (item->dead || (!item->isDir() && item->aggQta < documentThreshold))
            continue;
        record.entries.push_back({std::string(byPath ? item->name() : item->id()), parent,
                                  item->isDir(), valuesOf(*item)});
        const auto self = static_cast<std::uint32_t>(record.entries.size());
        for (auto child = item->children.rbegin(); child != item->children.rend(); ++child)
            stack.emplace_back(*child, self);
    }
    return record;
}

std::vector<std::string_view> ScanRecord::fullKeys(std::vector<std::string>& storage) const {
    std::vector<std::string_view> keys;
    keys.reserve(entries.size());
    if (mode != ScanMode::fs) {
        for (const Entry& e : entries)
            keys.emplace_back(e.key);
        return keys;
    }
    storage.clear();
    storage.reserve(entries.size());
    for (const Entry& e : entries) {
        std::string path = e.parent == 0 ? std::string() : storage[e.parent - 1] + "/";
        storage.push_back(path += e.key);
    }
    for (const std::string& path : storage)
        keys.emplace_back(path);
    return keys;
}

std::string ScanRecord::fullKey(std::size_t index) const {
    if (mode != ScanMode::fs)
        return entries[index].key;
    std::vector<const std::string*> names;
    for (std::size_t at = index + 1; at != 0 && at <= entries.size(); at = entries[at - 1].parent)
        names.push_back(&entries[at - 1].key);
    std::string path;
    for (auto it = names.rbegin(); it != names.rend(); ++it) {
        if (!path.empty())
            path.push_back('/');
        path += **it;
    }
    return path;
}

std::string ScanRecord::keyOf(const ScanResult& result, const Item& item) {
    if (result.mode != ScanMode::fs)
        return std::string(item.id());
    std::string path;
    for (const Item* above : result.ancestors(item)) {
        path += above->name();
        path.push_back('/');
    }
    return path += item.name();
}

Item* ScanRecord::itemFor(const ScanResult& result, std::string_view key) {
    if (result.mode != ScanMode::fs)
        return result.get(key);
    // Name by name from the roots; a name may itself hold no "/" (a file name cannot).
    const std::vector<Item*>* level = &result.roots;
    Item* found = nullptr;
    while (!key.empty()) {
        const std::size_t slash = key.find('/');
        const std::string_view name = key.substr(0, slash);
        const auto match = std::find_if(level->begin(), level->end(),
                                        [&](const Item* i) { return i->name() == name; });
        if (match == level->end())
            return nullptr;
        found = *match;
        level = &found->children;
        key = slash == std::string_view::npos ? std::string_view() : key.substr(slash + 1);
    }
    return found;
}

std::string ScanRecord::encode() const {
    std::string out(magic);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((formatVersion >> (8 * i)) & 0xFF));
    putSigned(out, time);
    out.push_back(mode == ScanMode::fs ? 1 : 0);
    putVarint(out, source.size());
    out += source;
    for (const std::int64_t v : {totals.qta, totals.cloud, totals.local})
        putSigned(out, v);
    putVarint(out, entries.size());
    for (const Entry& e : entries) {
        putKey(out, e.key);
        const std::uint64_t cloud = e.values.cloud == 0              ? cloudNone
                                    : e.values.cloud == e.values.qta ? cloudAll
                                                                     : cloudOwn;
        putVarint(out, static_cast<std::uint64_t>(e.parent) << 3 | cloud << 1 | (e.dir ? 1 : 0));
        putSigned(out, e.values.qta);
        if (cloud == cloudOwn)
            putSigned(out, e.values.cloud);
        putSigned(out, e.values.local);
    }
    const std::uint64_t sum = fnv1a(out);
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((sum >> (8 * i)) & 0xFF));
    return out;
}

std::optional<ScanRecord> ScanRecord::decode(std::string_view bytes, bool headerOnly) {
    if (bytes.size() < magic.size() + 4 + 8 || !bytes.starts_with(magic))
        return std::nullopt;
    const std::string_view body = bytes.substr(0, bytes.size() - 8);
    const std::string_view tail = bytes.substr(bytes.size() - 8);
    std::uint64_t stored = 0;
    for (int i = 0; i < 8; ++i)
        stored |= static_cast<std::uint64_t>(static_cast<unsigned char>(tail[i])) << (8 * i);
    if (!headerOnly && fnv1a(body) != stored)
        return std::nullopt;
    Reader in(body.substr(magic.size()));
    std::uint32_t version = 0;
    for (int i = 0; i < 4; ++i)
        version |= static_cast<std::uint32_t>(in.byte()) << (8 * i);
    if (version != formatVersion)
        return std::nullopt;
    ScanRecord record;
    record.time = in.signedVarint();
    record.mode = in.byte() == 1 ? ScanMode::fs : ScanMode::dump;
    record.source = std::string(in.take(in.varint()));
    record.totals.qta = in.signedVarint();
    record.totals.cloud = in.signedVarint();
    record.totals.local = in.signedVarint();
    const std::uint64_t count = in.varint();
    if (!in.ok())
        return std::nullopt;
    if (headerOnly)
        return record;
    // Each entry takes at least six bytes: a count beyond that is damage, not a reason to
    // reserve memory.
    if (count > body.size() / 6)
        return std::nullopt;
    record.entries.reserve(count);
    for (std::uint64_t i = 0; i < count && in.ok(); ++i) {
        Entry e;
        e.key = in.key();
        const std::uint64_t flags = in.varint();
        e.parent = static_cast<std::uint32_t>(flags >> 3);
        e.dir = (flags & 1) != 0;
        const std::uint64_t cloud = (flags >> 1) & 3;
        e.values.qta = in.signedVarint();
        e.values.cloud = cloud == cloudOwn   ? in.signedVarint()
                         : cloud == cloudAll ? e.values.qta
                                             : 0;
        e.values.local = in.signedVarint();
        if (cloud > cloudOwn)
            return std::nullopt;
        // A folder is always written before what it holds.
        if (e.parent > record.entries.size())
            return std::nullopt;
        record.entries.push_back(std::move(e));
    }
    if (!in.ok() || !in.atEnd())
        return std::nullopt;
    return record;
}

} // namespace tessary
