// Drives arbitrary bytes through every dump-line recogniser. The input is split at its first
// NUL byte into a line and a text argument (for starts, find, hasToken and sectionHeader), so
// the fuzzer can steer both.
#include "TessaryCore/Bytes.hpp"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

using namespace tessary;

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

void checkRange(Bytes::Range r, std::size_t n) {
    check(r.begin <= r.end && r.end <= n);
}

void recognise(std::string_view line, std::string_view text) {
    const std::size_t n = line.size();
    (void)Bytes::sectionHeader(line, "server items");
    (void)Bytes::sectionHeader(line, text);
    if (auto h = Bytes::containerHeader(line)) {
        check(h->index >= 0);
        check(Bytes::isValidUTF8(h->identifier));
    }
    for (std::int64_t at : {std::int64_t(-1), std::int64_t(0), std::int64_t(n / 2), std::int64_t(n),
                            std::int64_t(n + 1)}) {
        (void)Bytes::starts(line, at, text);
        if (auto p = Bytes::find(line, text, at))
            check(*p + text.size() <= n && line.substr(*p, text.size()) == text);
    }
    (void)Bytes::hasToken(line, text, true);
    (void)Bytes::hasToken(line, "dead", false);
    (void)Bytes::hasToken(line, "alias", true);
    if (auto d = Bytes::digits(line, 0))
        check(d->end <= n);
    (void)Bytes::digits(line, n);
    (void)Bytes::size(line);
    (void)Bytes::serverMeta(line);
    (void)Bytes::mtime(line);
    check(Bytes::isValidUTF8(Bytes::decodeUTF8(line)));

    std::string_view rest = line;
    if (auto il = Bytes::itemLine(line)) {
        checkRange(il->id, n);
        check(il->rest <= n);
        rest = line.substr(il->rest);
    }
    if (auto b = Bytes::stateBlock(rest)) {
        const std::size_t m = rest.size();
        checkRange(b->parent, m);
        checkRange(b->name, m);
        checkRange(b->kind, m);
        checkRange(b->flags, m);
        if (b->secondName)
            checkRange(*b->secondName, m);
        check(!b->parent.empty());
        check(b->flags.end < m && rest[b->flags.end] == '}');
        (void)Bytes::hasToken(b->flags.of(rest), "dead", false);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view line = input.substr(0, nul);
    const std::string_view text =
        nul == std::string_view::npos ? std::string_view("dead") : input.substr(nul + 1);

    recognise(line, text);
    std::string stripped;
    Bytes::stripANSI(line, stripped);
    check(stripped.size() <= line.size());
    recognise(stripped, text);
    return 0;
}
