#include "TessaryCore/ContainerMapper.hpp"
#include "TessaryCore/Item.hpp"
#include "TessaryCore/ScanEnvironment.hpp"
#include "TessaryCore/ScanResult.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

// A home folder in a fresh temporary directory, removed with everything in it at the end.
class TempHome {
public:
    TempHome() {
        std::string pattern = (fs::temp_directory_path() / "varnelo-mapper-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        m_path = pattern;
    }
    ~TempHome() {
        std::error_code ec;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto it = fs::recursive_directory_iterator(m_path, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(m_path, ec);
    }
    TempHome(const TempHome&) = delete;
    TempHome& operator=(const TempHome&) = delete;

    [[nodiscard]] const std::string& path() const { return m_path; }
    [[nodiscard]] ScanEnvironment env() const { return ScanEnvironment(m_path); }

    // Creates folders (or, with `file`, plain files) under Library/Mobile Documents.
    void addFolders(const std::vector<std::string>& names) const {
        for (const std::string& name : names)
            fs::create_directories(fs::path(env().mobileDocs) / name);
    }
    void addFile(const std::string& name) const {
        fs::create_directories(env().mobileDocs);
        std::ofstream(fs::path(env().mobileDocs) / name) << "x";
    }

private:
    std::string m_path;
};

// Adds container `index` printed as `masked`, with a root item unless `withRoot` is false.
Container& addContainer(ScanResult& result, std::int64_t index, const std::string& masked,
                        bool withRoot = true) {
    Container& c = result.containers.emplace(index, Container(index, masked)).first->second;
    if (withRoot) {
        Item& root = result.put(
            Item("root[" + std::to_string(index) + "]", "", masked, ItemKind::dir, index));
        c.root = &root;
        result.roots.push_back(&root);
    }
    return c;
}

void expectUnmapped(const Container& c) {
    SCOPED_TRACE(c.masked);
    EXPECT_FALSE(c.name.has_value());
    EXPECT_FALSE(c.localPath.has_value());
    EXPECT_EQ(c.display, c.masked);
    if (c.root != nullptr) {
        EXPECT_EQ(c.root->name(), c.masked);
        EXPECT_FALSE(c.root->hasPath());
        EXPECT_FALSE(c.root->resolved);
    }
}

void expectMapped(const Container& c, const std::string& folder, const std::string& name,
                  const std::string& display, const ScanEnvironment& env) {
    SCOPED_TRACE(c.masked);
    EXPECT_EQ(c.name, name);
    EXPECT_EQ(c.localPath, env.mobileDocs + "/" + folder);
    EXPECT_EQ(c.display, display);
    ASSERT_NE(c.root, nullptr);
    EXPECT_EQ(c.root->name(), display);
    EXPECT_EQ(c.root->path(), env.mobileDocs + "/" + folder);
    EXPECT_TRUE(c.root->resolved);
}

} // namespace

TEST(ContainerMapperTest, MaskedWorkedExamples) {
    EXPECT_EQ(ContainerMapper::masked({"com", "apple", "CloudDocs"}), "c{1}m.a{3}e.C{7}s");
    EXPECT_EQ(ContainerMapper::masked({"iCloud", "com", "example", "Notes"}),
              "i{4}d.c{1}m.e{5}e.N{3}s");
    EXPECT_EQ(ContainerMapper::masked({"ABCDE12345", "com", "example", "app"}),
              "A{8}5.c{1}m.e{5}e.a{1}p");
    EXPECT_EQ(ContainerMapper::masked({"com", "example", "app"}), "c{1}m.e{5}e.a{1}p");
    EXPECT_EQ(ContainerMapper::masked({"io", "ab"}), "io.ab");
    // No duplicate-counter or compound rule, no normalisation; extensions and clusters apply.
    EXPECT_EQ(ContainerMapper::masked({"Copy 2"}), "C{4}2");
    EXPECT_EQ(ContainerMapper::masked({"app.tar.gz"}), "a{5}r.gz");
    EXPECT_EQ(ContainerMapper::masked({"Caf\u00e9"}), "C{2}\u00e9");
    EXPECT_EQ(ContainerMapper::masked({"Cafe\u0301"}), "C{2}e\u0301");
    EXPECT_EQ(ContainerMapper::masked({"a\u0301b"}), "a\u0301b");
    EXPECT_EQ(ContainerMapper::masked({"", "x", ""}), ".x.");
    EXPECT_EQ(ContainerMapper::masked({}), "");
}

TEST(ContainerMapperTest, TeamIDPattern) {
    const std::regex& team = ContainerMapper::teamIDPattern();
    EXPECT_EQ(&team, &ContainerMapper::teamIDPattern());
    EXPECT_TRUE(std::regex_match("ABCDE12345", team));
    EXPECT_TRUE(std::regex_match("0123456789", team));
    for (const char* no : {"abcde12345", "ABCDE1234", "ABCDE123456", "ABCDE-2345", "", "com",
                           "ABCDE12345 ", "\u00c1BCDE1234"})
        EXPECT_FALSE(std::regex_match(no, team)) << no;
}

TEST(ContainerMapperTest, MapsRealFoldersInATemporaryHome) {
    const TempHome home;
    home.addFolders({"com~apple~CloudDocs", "iCloud~com~example~Notes",
                     "ABCDE12345~com~example~app", "com~acme~Beta", "com~acme~Bota", "io~ab",
                     "ABCDE12345", ".hidden~folder"});
    home.addFile(".DS_Store");
    const ScanEnvironment env = home.env();

    ScanResult result;
    Container& drive = addContainer(result, 1, "c{1}m.a{3}e.C{7}s");
    Container& notes = addContainer(result, 2, "i{4}d.c{1}m.e{5}e.N{3}s");
    Container& app = addContainer(result, 3, "c{1}m.e{5}e.a{1}p");
    Container& acme = addContainer(result, 4, "c{1}m.a{2}e.B{2}a");
    Container& io = addContainer(result, 5, "io.ab");
    Container& missing = addContainer(result, 6, "c{1}m.n{4}e.x{3}y");
    Container& teamOnly = addContainer(result, 7, "A{8}5", false);
    Container& hidden = addContainer(result, 8, ".{4}n.f{4}r");
    Container& store = addContainer(result, 9, ".{6}e");

    ContainerMapper::mapContainers(result, env);

    expectMapped(drive, "com~apple~CloudDocs", "com.apple.CloudDocs", "iCloud Drive", env);
    expectMapped(notes, "iCloud~com~example~Notes", "iCloud.com.example.Notes", "Notes", env);
    // Through the tail of a team-prefixed folder; the real identifier drops the team.
    expectMapped(app, "ABCDE12345~com~example~app", "com.example.app", "app", env);
    expectMapped(io, "io~ab", "io.ab", "ab", env);
    // A lone team id has no tail, but still maps by its whole mask.
    EXPECT_EQ(teamOnly.name, "ABCDE12345");
    EXPECT_EQ(teamOnly.display, "ABCDE12345");
    EXPECT_EQ(teamOnly.localPath, env.mobileDocs + "/ABCDE12345");
    // Two folders with one mask, no folder at all, hidden entries: unmapped.
    expectUnmapped(acme);
    expectUnmapped(missing);
    expectUnmapped(hidden);
    expectUnmapped(store);
}

TEST(ContainerMapperTest, WholeMaskIsConsultedBeforeTheTails) {
    const TempHome home;
    // c{1}m.e{5}e.a{1}p is the whole mask of com~example~app and the tail of the other two.
    home.addFolders({"com~example~app", "ABCDE12345~com~example~app"});
    ScanResult result;
    Container& direct = addContainer(result, 1, "c{1}m.e{5}e.a{1}p");
    Container& whole = addContainer(result, 2, "A{8}5.c{1}m.e{5}e.a{1}p");
    ContainerMapper::mapContainers(result, home.env());
    expectMapped(direct, "com~example~app", "com.example.app", "app", home.env());
    expectMapped(whole, "ABCDE12345~com~example~app", "com.example.app", "app", home.env());

    // An ambiguous whole mask is not rescued by a single tail.
    const TempHome second;
    second.addFolders({"com~example~app", "com~examble~aap", "ABCDE12345~com~example~app"});
    ScanResult ambiguous;
    Container& both = addContainer(ambiguous, 1, "c{1}m.e{5}e.a{1}p");
    ContainerMapper::mapContainers(ambiguous, second.env());
    expectUnmapped(both);

    // Two team-prefixed folders with the same tail: ambiguous as well.
    const TempHome third;
    third.addFolders({"ABCDE12345~com~example~app", "ZZZZZ99999~com~example~app"});
    ScanResult tails;
    Container& twoTails = addContainer(tails, 1, "c{1}m.e{5}e.a{1}p");
    ContainerMapper::mapContainers(tails, third.env());
    expectUnmapped(twoTails);
}

TEST(ContainerMapperTest, MissingFolderLeavesEverythingUnmapped) {
    const TempHome home; // no Library/Mobile Documents at all
    ScanResult result;
    Container& drive = addContainer(result, 1, "c{1}m.a{3}e.C{7}s");
    Container& bare = addContainer(result, 2, "i{4}d.c{1}m.e{5}e.N{3}s", false);
    ContainerMapper::mapContainers(result, home.env());
    expectUnmapped(drive);
    expectUnmapped(bare);
}

TEST(ContainerMapperTest, UnreadableFolderLeavesEverythingUnmapped) {
    const TempHome home;
    home.addFolders({"com~apple~CloudDocs"});
    const ScanEnvironment env = home.env();
    fs::permissions(home.path(),
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(fs::path(home.path()) / "Library",
                    fs::perms::owner_all | fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(env.mobileDocs, fs::perms::none);

    // Root reads any folder, so the listing runs in a child that is user nobody.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        ScanResult result;
        Container& drive = addContainer(result, 1, "c{1}m.a{3}e.C{7}s");
        ContainerMapper::mapContainers(result, env);
        const bool unmapped = !drive.name && !drive.localPath && drive.display == drive.masked &&
                              drive.root->name() == drive.masked && !drive.root->resolved;
        ::_exit(unmapped ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "cannot drop to user nobody";
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The same folder readable again maps iCloud Drive: the refusal was what kept it unmapped.
    fs::permissions(env.mobileDocs, fs::perms::owner_all);
    ScanResult result;
    Container& drive = addContainer(result, 1, "c{1}m.a{3}e.C{7}s");
    ContainerMapper::mapContainers(result, env);
    expectMapped(drive, "com~apple~CloudDocs", "com.apple.CloudDocs", "iCloud Drive", env);
}
