#include "cli/CliChanges.hpp"

#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanResult.hpp"
#include "TessaryCore/Serialization.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <ctime>

namespace tessary::cli {

namespace {

// Where the changed item is: its path in the scan's tree, else (a deleted item the database
// no longer knows) its key.
std::string where(const ScanResult& result, const std::string& key) {
    if (result.mode == ScanMode::fs)
        return key;
    if (const Item* item = result.get(key))
        return result.displayPath(*item);
    return key;
}

std::string signedSize(std::int64_t delta) {
    if (delta == 0)
        return "0 B";
    return (delta > 0 ? "+" : "−") + Serialization::formatSize(delta > 0 ? delta : -delta);
}

const char* czechKind(ScanComparison::Kind kind) {
    switch (kind) {
    case ScanComparison::Kind::grown:
        return "narostlo";
    case ScanComparison::Kind::shrunk:
        return "zmenšilo se";
    case ScanComparison::Kind::added:
        return "nové";
    case ScanComparison::Kind::removed:
        return "smazané";
    case ScanComparison::Kind::moved:
        return "přesunuto";
    case ScanComparison::Kind::other:
        return "změněno";
    }
    return "změněno";
}

std::string localTime(std::int64_t seconds) {
    const auto t = static_cast<std::time_t>(seconds);
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &parts);
    return text;
}

nlohmann::ordered_json valuesJSON(const ScanRecord::Values& v) {
    return {{"qta", v.qta}, {"cloud", v.cloud}, {"local", v.local}};
}

} // namespace

std::optional<std::int64_t> CliChanges::parseSince(std::string_view text) {
    std::tm parts{};
    int year = 0, month = 0, day = 0, hour = 23, minute = 59;
    char tail = 0;
    const std::string s(text);
    const int dateOnly = std::sscanf(s.c_str(), "%4d-%2d-%2d%c", &year, &month, &day, &tail);
    const int withTime =
        std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d%c", &year, &month, &day, &hour, &minute, &tail);
    if (!(dateOnly == 3 || withTime == 5))
        return std::nullopt;
    if (dateOnly == 3) {
        hour = 23;
        minute = 59;
    }
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59)
        return std::nullopt;
    parts.tm_year = year - 1900;
    parts.tm_mon = month - 1;
    parts.tm_mday = day;
    parts.tm_hour = hour;
    parts.tm_min = minute;
    parts.tm_sec = dateOnly == 3 ? 59 : 0;
    parts.tm_isdst = -1;
    const std::time_t t = std::mktime(&parts);
    if (t == static_cast<std::time_t>(-1) || parts.tm_mday != day)
        return std::nullopt;
    return static_cast<std::int64_t>(t);
}

std::string CliChanges::text(const ScanComparison* comparison, const ScanResult& result,
                             std::int64_t count) {
    if (!comparison)
        return "Změny: není s čím porovnat – toto je první sken tohoto zdroje.\n";
    const ScanRecord::Values& before = comparison->totalsBefore();
    const ScanRecord::Values& now = comparison->totalsNow();
    std::string out = fmt::format("Změny od skenu {}: {} v iCloudu, {} na tomto Macu\n",
                                  localTime(comparison->since()), signedSize(now.qta - before.qta),
                                  signedSize(now.local - before.local));
    for (const ScanComparison::Change& c : comparison->largest(static_cast<std::size_t>(count)))
        out += fmt::format("  {:>11}  {:<12}  {}\n", signedSize(c.delta()), czechKind(c.kind),
                           where(result, c.key));
    return out;
}

nlohmann::ordered_json CliChanges::json(const ScanComparison* comparison, const ScanResult& result,
                                        std::int64_t count) {
    if (!comparison)
        return nullptr;
    nlohmann::ordered_json doc;
    doc["since"] = comparison->since();
    doc["totals_before"] = valuesJSON(comparison->totalsBefore());
    doc["totals_now"] = valuesJSON(comparison->totalsNow());
    auto items = nlohmann::ordered_json::array();
    for (const ScanComparison::Change& c : comparison->largest(static_cast<std::size_t>(count))) {
        nlohmann::ordered_json j;
        j[result.mode == ScanMode::fs ? "path" : "id"] = c.key;
        j["where"] = where(result, c.key);
        j["kind"] = c.dir ? "dir" : "doc";
        j["change"] = ScanComparison::kindText(c.kind);
        j["delta"] = c.delta();
        j["before"] = valuesJSON(c.before);
        j["after"] = valuesJSON(c.after);
        if (c.kind == ScanComparison::Kind::moved) {
            j["parent_before"] = c.parentBefore;
            j["parent_after"] = c.parentAfter;
        }
        items.push_back(std::move(j));
    }
    doc["items"] = std::move(items);
    return doc;
}

} // namespace tessary::cli
