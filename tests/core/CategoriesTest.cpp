#include "TessaryCore/Categories.hpp"
#include "TessaryCore/Aggregator.hpp"

#include "TreeFixtures.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace tessary;
using fixtures::addChild;
using fixtures::addRoot;

TEST(FileCategoryTest, ExtensionRulesAndTheTable) {
    EXPECT_EQ(fileCategoryOf("Holiday.MOV"), FileCategory::video);
    EXPECT_EQ(fileCategoryOf("backup.tar.gz"), FileCategory::archive);
    EXPECT_EQ(fileCategoryOf("README"), FileCategory::other);
    EXPECT_EQ(fileCategoryOf("photo.jpg.part"), FileCategory::other);
    EXPECT_EQ(fileCategoryOf("Photos Library.photoslibrary"), FileCategory::photo);
    EXPECT_EQ(fileCategoryOf("Catalog.lrcat-data"), FileCategory::photo);
    EXPECT_EQ(fileCategoryOf("trailing."), FileCategory::other);
    EXPECT_EQ(fileCategoryOf("dir.zip/inner"), FileCategory::other);
    EXPECT_EQ(fileCategoryOf("a/b.Pdf"), FileCategory::document);
    EXPECT_EQ(fileCategoryOf(""), FileCategory::other);
    EXPECT_EQ(fileCategoryOf("film.m\xE2\x84\xAA"
                             "v"),
              FileCategory::video); // the Kelvin sign lower-cases to "k"
    EXPECT_EQ(fileCategoryOf("x.\xC3\x84"), FileCategory::other);

    const auto& map = fileCategoryMap();
    EXPECT_EQ(map.size(), 125u);
    std::set<FileCategory> used;
    for (const auto& [ext, cat] : map) {
        EXPECT_FALSE(ext.empty());
        EXPECT_EQ(ext.find(' '), std::string::npos);
        used.insert(cat);
    }
    EXPECT_EQ(used.size(), 6u);
    EXPECT_FALSE(used.contains(FileCategory::other));
    EXPECT_EQ(map.at("sparseimage"), FileCategory::archive);
    EXPECT_EQ(map.at("mov"), FileCategory::video);
    EXPECT_EQ(map.at("aae"), FileCategory::photo);
    EXPECT_EQ(map.at("m4r"), FileCategory::audio);

    std::vector<std::string> titles;
    for (FileCategory c : allFileCategories) {
        titles.emplace_back(title(c));
        EXPECT_EQ(fileCategoryFromText(toText(c)), c);
    }
    EXPECT_EQ(titles,
              (std::vector<std::string>{"Videa", "Fotky", "Grafika a návrhy", "Hudba a zvuk",
                                        "Dokumenty", "Archivy a instalačky", "Ostatní"}));
    EXPECT_EQ(fileCategoryFromText("Video"), std::nullopt);
}

TEST(CategoriesTest, BreakdownSumsDocumentsAndOrdersFully) {
    ScanResult res;
    Item& root = addRoot(res, "root[1]");
    Item& music = addChild(res, root, "m", ItemKind::dir, 0, "Music");
    Item& song = addChild(res, music, "s", ItemKind::doc, 300, "song.mp3");
    song.dataless = true;
    addChild(res, root, "v", ItemKind::doc, 300, "clip.mov");
    addChild(res, root, "z1", ItemKind::doc, 0, "empty.zip");
    addChild(res, root, "z2", ItemKind::doc, 0, "other.rar");
    addChild(res, root, "l", ItemKind::symlink, 5000, "big.mov"); // links count nowhere
    addChild(res, root, "pkg", ItemKind::dir, 0, "Thing.app");    // folders neither
    Item& root2 = addRoot(res, "root[2]", 2);
    addChild(res, root2, "n", ItemKind::doc, 7, "notes");
    Item& gone = res.add(Item("dead", "root[1]", "gone.pdf", ItemKind::doc, 1));
    gone.sz = 100;
    res.dead.push_back(&gone);
    Aggregator::aggregate(res);

    const auto all = Categories::breakdown(res);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].category, FileCategory::audio); // ties on 300: "audio" before "video"
    EXPECT_EQ(all[0].cloud, 300);
    EXPECT_EQ(all[0].count, 1);
    EXPECT_EQ(all[1].category, FileCategory::video);
    EXPECT_EQ(all[1].count, 1);
    EXPECT_EQ(all[1].cloud, 0);
    EXPECT_EQ(all[2].category, FileCategory::other);
    EXPECT_EQ(all[2].qta, 7);
    EXPECT_EQ(all[3].category, FileCategory::archive); // quota 0, still listed
    EXPECT_EQ(all[3].count, 2);
    EXPECT_EQ(all[3].qta, 0);

    const auto onlyMusic = Categories::breakdown(res, &music);
    ASSERT_EQ(onlyMusic.size(), 1u);
    EXPECT_EQ(onlyMusic[0], [] {
        CategoryStat s(FileCategory::audio);
        s.qta = 300;
        s.cloud = 300;
        s.count = 1;
        return s;
    }());
    EXPECT_TRUE(Categories::breakdown(res, &song).empty()); // the start is never categorised

    const auto second = Categories::breakdown(res, &root2);
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].category, FileCategory::other);

    music.children.push_back(&root); // a cycle must not keep the walk going
    EXPECT_EQ(Categories::breakdown(res).size(), 4u);
}
