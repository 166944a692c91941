#include "DumpWriter.hpp"

#include "TessaryCore/Masking.hpp"

#include <chrono>
#include <thread>

namespace sim {

using tessary::Masking;

namespace {

const std::string rule(16, '-');
const char* const bold = "\x1b[1m";
const char* const cyan = "\x1b[36m";
const char* const dim = "\x1b[2;37m";
const char* const reset = "\x1b[0m";

std::string maskPart(const std::string& part) {
    const std::u32string s = Masking::scalars(part);
    const Masking::ExtSplit split = Masking::splitExt(s);
    if (split.stem.size() <= 2)
        return part;
    const Masking::Edges edges = Masking::clusterEdges(split.stem);
    if (edges.first.size() + edges.last.size() >= split.stem.size())
        return part;
    const std::size_t hidden = split.stem.size() - edges.first.size() - edges.last.size();
    return Masking::utf8(edges.first) + "{" + std::to_string(hidden) + "}" +
           Masking::utf8(edges.last) + Masking::utf8(split.ext);
}

// The size field: exact for small sizes and every other item, else rounded with the exact
// count in parentheses.
std::string sizeField(std::int64_t size, std::size_t n) {
    if (size < 1'000'000 || n % 2 == 0)
        return " sz:" + std::to_string(size) + " bytes";
    static const char* const units[] = {"K", "M", "G", "T"};
    std::int64_t scale = 1000;
    int unit = 0;
    while (unit < 3 && size >= scale * 1000) {
        scale *= 1000;
        ++unit;
    }
    const std::int64_t tenths = size * 10 / scale;
    return " sz:" + std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " +
           units[unit] + "B (" + std::to_string(size) + ")";
}

} // namespace

std::string DumpWriter::maskedIdentifier(const std::string& identifier) {
    std::string out;
    std::size_t from = 0;
    for (;;) {
        const std::size_t dot = identifier.find('.', from);
        out += maskPart(identifier.substr(from, dot == std::string::npos ? dot : dot - from));
        if (dot == std::string::npos)
            return out;
        out += '.';
        from = dot + 1;
    }
}

std::string DumpWriter::itemLine(const ServerItem& it, std::size_t n) {
    std::string s = "  ";
    s += n % 5 == 0 ? std::string(cyan) + "i:<" + it.id + ">" + reset : "i:<" + it.id + ">";
    s += " st{p:<" + it.parent + "> n:\"" + Masking::primaryMask(it.name) + "\"";
    if (!it.secondName.empty())
        s += " (o:\"" + Masking::primaryMask(it.secondName) + "\")";
    s += std::string(" ") + kindText(it.kind);
    s += it.dead ? " dead}" : " ct:1}";
    if (it.kind != Kind::dir)
        s += sizeField(it.size, n);
    s += " sm{qta:" + std::to_string(it.qta) + " rcc:1 sbm:0 stm:" + std::to_string(n % 3) +
         " cc:" + std::to_string(it.cc) + "}";
    if (it.mt != 0)
        s += " mt:" + std::to_string(it.mt);
    return s;
}

bool DumpWriter::line(std::FILE* out, const std::string& text) {
    if (m_stop.load())
        return false;
    std::fputs(text.c_str(), out);
    std::fputc('\n', out);
    if (++m_lines % 200 == 0) {
        std::fflush(out);
        if (m_knobs.slowMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(m_knobs.slowMs));
    }
    return !m_stop.load();
}

int DumpWriter::write(std::FILE* out) {
    const auto stopped = [&] {
        std::fflush(out);
        return 143;
    };
    if (!line(out, std::string(bold) + "brctl dump" + reset + " (simulated iCloud Drive)") ||
        !line(out, "account: simulated, containers: " + std::to_string(m_db.containers.size())) ||
        !line(out, "    server items"))
        return stopped();
    const std::size_t failAt = m_knobs.failStatus != 0 ? m_db.items.size() / 2 : SIZE_MAX;
    std::size_t written = 0;
    for (const ServerContainer& c : m_db.containers) {
        if (!line(out, "    " + rule + maskedIdentifier(c.identifier) + "[" +
                           std::to_string(c.index) + "]" + rule))
            return stopped();
        for (const auto& [id, container] : m_db.aliases)
            if (container == c.index && !line(out, "  i:<" + id + "> alias t:<" + id + ">"))
                return stopped();
        for (std::size_t n = 0; n < m_db.items.size(); ++n) {
            if (m_db.items[n].container != c.index)
                continue;
            if (written++ == failAt) {
                std::fflush(out);
                std::fputs("brctl: chyba: spojení s databází přerušeno\n", stderr);
                return m_knobs.failStatus;
            }
            if (!line(out, itemLine(m_db.items[n], n)))
                return stopped();
            if (n % 97 == 0 && !line(out, std::string(dim) + "    zone sync: idle" + reset))
                return stopped();
        }
    }
    std::fflush(out);
    if (m_knobs.neverEnds) {
        while (!m_stop.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return stopped();
    }
    if (!m_knobs.noClient) {
        if (!line(out, "    client items") || !line(out, "  (client state omitted)"))
            return stopped();
    }
    std::fflush(out);
    return 0;
}

} // namespace sim
