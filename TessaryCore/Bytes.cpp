#include "TessaryCore/Bytes.hpp"

#include <cstring>
#include <limits>

namespace tessary {

namespace {

constexpr char esc = 27;

bool isDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

bool isIdentifierByte(unsigned char c) {
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// The white space allowed after a container header's trailing rule.
bool isTailSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool startsAt(std::string_view line, std::size_t at, std::string_view text) {
    return at <= line.size() && line.size() - at >= text.size() &&
           std::memcmp(line.data() + at, text.data(), text.size()) == 0;
}

// Position of the first `c` at or after `from`, or npos.
std::size_t findByte(std::string_view line, char c, std::size_t from) {
    if (from >= line.size())
        return std::string_view::npos;
    const void* hit = std::memchr(line.data() + from, c, line.size() - from);
    return hit == nullptr ? std::string_view::npos
                          : static_cast<std::size_t>(static_cast<const char*>(hit) - line.data());
}

// Answers "first position q >= x where `lead` stands and ok(q) holds"; when the queries x never
// decrease, each byte is scanned at most once over all of them. The state-block search asks the
// same kind of question many times with growing starting points; answering each afresh would make
// crafted lines full of quotes quadratic or worse.
template <class Ok> class NextMatch {
public:
    NextMatch(std::string_view line, char lead, Ok ok) : m_line(line), m_lead(lead), m_ok(ok) {}

    std::size_t from(std::size_t x) {
        if (m_valid && x >= m_from && (m_found == std::string_view::npos || x <= m_found))
            return m_found;
        std::size_t q = x;
        while (true) {
            q = findByte(m_line, m_lead, q);
            if (q == std::string_view::npos || m_ok(q))
                break;
            ++q;
        }
        m_valid = true;
        m_from = x;
        m_found = q;
        return q;
    }

private:
    std::string_view m_line;
    char m_lead;
    Ok m_ok;
    bool m_valid = false;
    std::size_t m_from = 0;
    std::size_t m_found = std::string_view::npos;
};

// Length of the well-formed UTF-8 sequence at `p`, or 0; `bad` receives the length of the
// maximal subpart that must become one U+FFFD when the sequence is not well-formed.
std::size_t utf8Sequence(const unsigned char* p, std::size_t n, std::size_t& bad) {
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    std::size_t need = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        need = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        need = 2;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        need = 3;
        if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
    } else {
        bad = 1;
        return 0;
    }
    std::size_t i = 1;
    for (; i <= need; ++i) {
        if (i >= n) {
            bad = i;
            return 0;
        }
        const unsigned char b = p[i];
        const unsigned char l = i == 1 ? lo : 0x80;
        const unsigned char h = i == 1 ? hi : 0xBF;
        if (b < l || b > h) {
            bad = i;
            return 0;
        }
    }
    return need + 1;
}

} // namespace

bool Bytes::sectionHeader(std::string_view line, std::string_view name) {
    if (!startsAt(line, 0, "    ") || !startsAt(line, 4, name))
        return false;
    const std::size_t after = 4 + name.size();
    return after >= line.size() || !isIdentifierByte(static_cast<unsigned char>(line[after]));
}

void Bytes::stripANSI(std::string_view line, std::string& into) {
    std::size_t pos = 0;
    while (pos < line.size()) {
        const std::size_t e = findByte(line, esc, pos);
        if (e == std::string_view::npos) {
            into.append(line.data() + pos, line.size() - pos);
            return;
        }
        into.append(line.data() + pos, e - pos);
        // ESC "[" then digits and ";" then "m"; anything else keeps the escape byte as text.
        std::size_t j = e + 1;
        if (j < line.size() && line[j] == '[') {
            ++j;
            while (j < line.size() &&
                   (isDigit(static_cast<unsigned char>(line[j])) || line[j] == ';'))
                ++j;
            if (j < line.size() && line[j] == 'm') {
                pos = j + 1;
                continue;
            }
        }
        into.push_back(esc);
        pos = e + 1;
    }
}

std::optional<Bytes::ContainerHeader> Bytes::containerHeader(std::string_view line) {
    if (!startsAt(line, 0, "    "))
        return std::nullopt;
    std::size_t start = 4;
    while (start < line.size() && line[start] == '-')
        ++start;
    if (start - 4 < 10)
        return std::nullopt;

    // The index is the bracket pair directly before the trailing rule, so an identifier may
    // contain brackets of its own: read the tail, the rule and the index from the end.
    std::size_t end = line.size();
    while (end > start && isTailSpace(static_cast<unsigned char>(line[end - 1])))
        --end;
    std::size_t ruleStart = end;
    while (ruleStart > start && line[ruleStart - 1] == '-')
        --ruleStart;
    if (end - ruleStart < 10 || ruleStart <= start || line[ruleStart - 1] != ']')
        return std::nullopt;
    const std::size_t close = ruleStart - 1;
    std::size_t open = close;
    while (open > start && isDigit(static_cast<unsigned char>(line[open - 1])))
        --open;
    if (open == close || open <= start || line[open - 1] != '[')
        return std::nullopt;
    const std::size_t bracket = open - 1;
    // At least one identifier byte, and none of white space directly before the "[": such a
    // line is not a header.
    if (bracket <= start || isTailSpace(static_cast<unsigned char>(line[bracket - 1])))
        return std::nullopt;

    std::int64_t index = 0;
    constexpr std::int64_t maxIndex = std::numeric_limits<std::int64_t>::max();
    for (std::size_t i = open; i < close; ++i) {
        const int d = line[i] - '0';
        if (index > (maxIndex - d) / 10)
            return std::nullopt;
        index = index * 10 + d;
    }
    return ContainerHeader{decodeUTF8(line.substr(start, bracket - start)), index};
}

bool Bytes::starts(std::string_view line, std::int64_t at, std::string_view text) {
    if (at < 0)
        return false;
    return startsAt(line, static_cast<std::size_t>(at), text);
}

std::optional<std::size_t> Bytes::find(std::string_view line, std::string_view text,
                                       std::int64_t from) {
    const std::size_t start = from < 0 ? 0 : static_cast<std::size_t>(from);
    if (start > line.size())
        return std::nullopt;
    const std::size_t p = line.find(text, start);
    if (p == std::string_view::npos)
        return std::nullopt;
    return p;
}

std::optional<Bytes::ItemLine> Bytes::itemLine(std::string_view line) {
    std::size_t p = 0;
    while (p < line.size() && line[p] == ' ')
        ++p;
    if (!startsAt(line, p, "i:<"))
        return std::nullopt;
    const std::size_t idStart = p + 3;
    const std::size_t close = findByte(line, '>', idStart);
    if (close == std::string_view::npos || close == idStart)
        return std::nullopt;
    if (close + 1 >= line.size() || line[close + 1] != ' ')
        return std::nullopt;
    return ItemLine{{idStart, close}, close + 2};
}

std::optional<Bytes::StateBlock> Bytes::stateBlock(std::string_view rest) {
    constexpr std::string_view opening = "st{p:<";
    const std::size_t n = rest.size();
    // The flags region needs a "}" at or after the end of the kind; the last "}" of the line
    // tells whether one exists. The actual end of the region is looked up once at the end.
    const void* lastHit = n == 0 ? nullptr : ::memrchr(rest.data(), '}', n);
    if (lastHit == nullptr)
        return std::nullopt;
    const std::size_t lastBrace =
        static_cast<std::size_t>(static_cast<const char*>(lastHit) - rest.data());

    // End of the kind word at `p`, or npos.
    auto kindAt = [&](std::size_t p) -> std::size_t {
        for (std::string_view kind :
             {std::string_view("dir"), std::string_view("doc"), std::string_view("symlink")}) {
            if (!startsAt(rest, p, kind))
                continue;
            const std::size_t e = p + kind.size();
            if (e < n && !isIdentifierByte(static_cast<unsigned char>(rest[e])) && e <= lastBrace)
                return e;
            return std::string_view::npos;
        }
        return std::string_view::npos;
    };
    // A quote that can close the second name: followed by ") " and a kind.
    NextMatch secondClose(rest, '"', [&](std::size_t q) {
        return startsAt(rest, q + 1, ") ") && kindAt(q + 3) != std::string_view::npos;
    });
    // A quote that can close the name: followed by " (o:\"" and a closable second name, or by
    // a space and a kind.
    auto plainClose = [&](std::size_t q) {
        return startsAt(rest, q + 1, " ") && kindAt(q + 2) != std::string_view::npos;
    };
    auto secondOpen = [&](std::size_t q) {
        return startsAt(rest, q, "\" (o:\"") && secondClose.from(q + 6) != std::string_view::npos;
    };
    NextMatch nameClose(rest, '"', [&](std::size_t q) { return secondOpen(q) || plainClose(q); });
    NextMatch parentClose(rest, '>', [](std::size_t) { return true; });

    std::size_t from = 0;
    while (true) {
        const std::size_t at = rest.find(opening, from);
        if (at == std::string_view::npos)
            return std::nullopt;
        from = at + 1;
        const std::size_t parentStart = at + opening.size();
        const std::size_t parentEnd = parentClose.from(parentStart);
        if (parentEnd == std::string_view::npos)
            return std::nullopt;
        if (parentEnd == parentStart || !startsAt(rest, parentEnd, "> n:\""))
            continue;
        const std::size_t nameStart = parentEnd + 5;
        // Whether a quote can close a name does not depend on where the block starts, and later
        // blocks start later: when no quote fits here, none fits for them either.
        const std::size_t q = nameClose.from(nameStart);
        if (q == std::string_view::npos)
            return std::nullopt;
        StateBlock block;
        block.parent = {parentStart, parentEnd};
        block.name = {nameStart, q};
        std::size_t kindStart = 0;
        if (secondOpen(q)) {
            const std::size_t secondEnd = secondClose.from(q + 6);
            block.secondName = Range{q + 6, secondEnd};
            kindStart = secondEnd + 3;
        } else {
            kindStart = q + 2;
        }
        const std::size_t kindEnd = kindAt(kindStart);
        block.kind = {kindStart, kindEnd};
        block.flags = {kindEnd, findByte(rest, '}', kindEnd)};
        return block;
    }
}

bool Bytes::hasToken(std::string_view line, std::string_view token, bool allowBrace) {
    std::size_t from = 0;
    while (from <= line.size()) {
        const std::size_t p = line.find(token, from);
        if (p == std::string_view::npos)
            return false;
        const std::size_t e = p + token.size();
        const bool before = p == 0 || line[p - 1] == ' ';
        const bool after = e == line.size() || line[e] == ' ' || (allowBrace && line[e] == '}');
        if (before && after)
            return true;
        from = p + 1;
    }
    return false;
}

std::optional<Bytes::Digits> Bytes::digits(std::string_view line, std::size_t from) {
    std::size_t p = from;
    std::uint64_t value = 0;
    while (p < line.size() && isDigit(static_cast<unsigned char>(line[p]))) {
        value = value * 10 + static_cast<std::uint64_t>(line[p] - '0');
        ++p;
    }
    if (p == from)
        return std::nullopt;
    return Digits{value, p};
}

std::optional<std::int64_t> Bytes::size(std::string_view rest) {
    constexpr std::string_view lead = " sz:";
    std::size_t from = 0;
    while (true) {
        const std::size_t at = rest.find(lead, from);
        if (at == std::string_view::npos)
            return std::nullopt;
        from = at + 1;
        const std::size_t d = at + lead.size();
        // Exact form: "123 bytes".
        if (auto v = digits(rest, d); v && startsAt(rest, v->end, " bytes"))
            return static_cast<std::int64_t>(v->value);
        // Rounded form: "1.2 MB (1234567)", the exact count in parentheses.
        std::size_t p = d;
        while (p < rest.size() && (isDigit(static_cast<unsigned char>(rest[p])) || rest[p] == '.'))
            ++p;
        if (p == d || !startsAt(rest, p, " "))
            continue;
        ++p;
        if (p < rest.size() && std::string_view("KMGTPE").find(rest[p]) != std::string_view::npos)
            ++p;
        if (!startsAt(rest, p, "B ("))
            continue;
        if (auto v = digits(rest, p + 3); v && startsAt(rest, v->end, ")"))
            return static_cast<std::int64_t>(v->value);
    }
}

std::optional<Bytes::ServerMeta> Bytes::serverMeta(std::string_view rest) {
    constexpr std::string_view lead = "sm{qta:";
    std::size_t from = 0;
    while (true) {
        const std::size_t at = rest.find(lead, from);
        if (at == std::string_view::npos)
            return std::nullopt;
        from = at + 1;
        std::uint64_t values[5] = {};
        std::size_t p = at + lead.size();
        bool ok = true;
        constexpr std::string_view next[5] = {" rcc:", " sbm:", " stm:", " cc:", ""};
        for (int i = 0; i < 5 && ok; ++i) {
            const auto v = digits(rest, p);
            if (!v) {
                ok = false;
                break;
            }
            values[i] = v->value;
            p = v->end;
            if (!next[i].empty()) {
                if (!startsAt(rest, p, next[i]))
                    ok = false;
                p += next[i].size();
            }
        }
        if (ok)
            return ServerMeta{static_cast<std::int64_t>(values[0]),
                              static_cast<std::int64_t>(values[1]),
                              static_cast<std::int64_t>(values[4])};
    }
}

std::optional<std::int64_t> Bytes::mtime(std::string_view rest) {
    constexpr std::string_view lead = " mt:";
    std::size_t from = 0;
    while (true) {
        const std::size_t at = rest.find(lead, from);
        if (at == std::string_view::npos)
            return std::nullopt;
        from = at + 1;
        if (auto v = digits(rest, at + lead.size()))
            return static_cast<std::int64_t>(v->value);
    }
}

bool Bytes::isValidUTF8(std::string_view bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        // ASCII runs are the common case: check eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            if ((w & 0x8080808080808080ULL) != 0)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        std::size_t bad = 0;
        const std::size_t len = utf8Sequence(p + i, n - i, bad);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

std::string Bytes::decodeUTF8(std::string_view bytes) {
    if (isValidUTF8(bytes))
        return std::string(bytes);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::string out;
    out.reserve(n + 8);
    std::size_t i = 0;
    while (i < n) {
        std::size_t bad = 0;
        const std::size_t len = utf8Sequence(p + i, n - i, bad);
        if (len == 0) {
            out += "\xEF\xBF\xBD";
            i += bad;
        } else {
            out.append(bytes.data() + i, len);
            i += len;
        }
    }
    return out;
}

} // namespace tessary
