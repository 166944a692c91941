#pragma once
// A simulated world compared with its truth: what the brctl stand-in dumps and what the disk
// holds. Shared by the tests of a generated world and of an aged one.
#include "DumpWriter.hpp"
#include "TessaryCore/Brctl.hpp"
#include "TessaryCore/DumpParser.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/Masking.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>
#include <string>

namespace simtest {

inline bool isVariant(const std::string& printed, const std::string& name) {
    const auto v = tessary::Masking::maskVariants(name);
    return std::find(v.begin(), v.end(), printed) != v.end();
}

// The dump parses into exactly the containers and items the truth lists, with their names,
// kinds, sizes, charges, times and dead marks, and one folder whose count the database got
// wrong.
inline void expectDumpMatchesTruth(const std::string& dump, const nlohmann::json& truth) {
    using namespace tessary;
    ASSERT_TRUE(Brctl::dumpComplete(dump));
    ScanResult res = DumpParser::parse(dump, noopProgress);
    const auto& counts = truth["counts"];
    EXPECT_EQ(res.containers.size(), counts["containers"].get<std::size_t>());
    EXPECT_EQ(res.stats["items_parsed"], counts["items"].get<std::int64_t>());
    EXPECT_EQ(res.dead.size(), counts["dead"].get<std::size_t>());
    EXPECT_EQ(res.stats["orphans"], counts["orphans"].get<std::int64_t>());
    EXPECT_EQ(res.stats["aliases"], counts["aliases"].get<std::int64_t>());
    EXPECT_EQ(res.stats["bad_lines"], 0);
    EXPECT_EQ(res.stats["duplicate_ids"], 0);
    for (const auto& c : truth["containers"]) {
        const auto found = res.containers.find(c["index"].get<std::int64_t>());
        ASSERT_NE(found, res.containers.end());
        EXPECT_EQ(found->second.masked, sim::DumpWriter::maskedIdentifier(c["id"]));
    }
    std::int64_t seen = 0;
    for (const auto& t : truth["items"]) {
        const Item* it = res.get(t["id"].get<std::string>());
        ASSERT_NE(it, nullptr) << t["id"];
        ++seen;
        const std::string name = t["name"];
        EXPECT_TRUE(isVariant(std::string(it->pat()), name)) << it->pat() << " / " << name;
        if (!t["secondName"].is_null()) {
            EXPECT_TRUE(isVariant(std::string(it->name()), t["secondName"])) << it->name();
        }
        EXPECT_EQ(std::string(toText(it->kind())), t["kind"].get<std::string>());
        EXPECT_EQ(it->sz, t["size"].get<std::int64_t>()) << name;
        EXPECT_EQ(it->qta, t["quota"].get<std::int64_t>()) << name;
        EXPECT_EQ(it->mt, t["mt"].get<std::int64_t>()) << name;
        EXPECT_EQ(it->dead, t["dead"].get<bool>()) << name;
    }
    EXPECT_EQ(seen, counts["items"].get<std::int64_t>());
    // The one folder whose count the database got wrong, and nothing else.
    EXPECT_EQ(res.stats["dirs_child_mismatch"], 1);
}

// Every local entry the truth lists is on the disk below `home` as the truth says: folders,
// links, placeholders with the mark and without blocks, downloads with their size and blocks,
// each with its time. Returns the expectations of the entries seen.
inline std::set<std::string> expectDiskMatchesTruth(const std::string& home,
                                                    const nlohmann::json& truth) {
    std::set<std::string> seenStates;
    for (const auto& t : truth["items"]) {
        if (t["local"].is_null())
            continue;
        const auto& local = t["local"];
        const std::string path = home + "/" + local["path"].get<std::string>();
        const auto st = tessary::FS::lstat(path);
        EXPECT_TRUE(st) << path;
        if (!st)
            continue;
        EXPECT_EQ(st->isDataless(), local["dataless"].get<bool>()) << path;
        if (t["kind"] == "symlink") {
            EXPECT_TRUE(st->isLink()) << path;
        } else if (t["kind"] == "dir" || local["isPackage"].get<bool>()) {
            EXPECT_TRUE(st->isDir()) << path;
            if (local["denied"].get<bool>()) {
                EXPECT_EQ(st->mode & 0777, 0) << path;
            }
        } else {
            EXPECT_EQ(st->size, t["size"].get<std::int64_t>()) << path;
            EXPECT_EQ(st->alloc(), local["alloc"].get<std::int64_t>()) << path;
            if (local["dataless"].get<bool>()) {
                EXPECT_EQ(st->blocks, 0) << path;
            }
        }
        EXPECT_EQ(st->mtime, t["mt"].get<std::int64_t>()) << path;
        seenStates.insert(t["expect"].get<std::string>());
    }
    return seenStates;
}

} // namespace simtest
