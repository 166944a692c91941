// The move to the freedesktop.org Trash, on real files in a temporary home: what it writes is
// read back by trash-cli's `trash-list` and by Python's own parsers, and the disk is changed
// under it (replaced entries, reused inodes, links swapped in, a full disk, a second device).
#include "TessaryCore/Trash.hpp"
#include "TessaryCore/FS.hpp"
#include "TessaryCore/ScanError.hpp"
#include "TessaryCore/StatInfo.hpp"

#include "../support/TempDir.hpp"
#include "TreeFixtures.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <sys/mount.h>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

// The reason a move was refused, or "" when it went through.
std::string moveOutcome(const std::string& home, const std::string& path,
                        const std::optional<LocalIdentity>& expected = std::nullopt) {
    try {
        Trash::moveItem(home, path, expected);
        return "";
    } catch (const ScanError& e) {
        return e.description();
    }
}

LocalIdentity identityOf(const std::string& path) {
    return LocalIdentity::of(FS::lstatThrowing(path));
}

std::set<std::string> namesIn(const fs::path& folder) {
    std::set<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.insert(entry.path().filename().string());
    return names;
}

bool haveTrashList() {
    return std::system("command -v trash-list >/dev/null 2>&1") == 0;
}

// Every original path that `trash-list` reports for the home's Trash and the mounted volumes.
std::set<std::string> trashList(const std::string& home) {
    const fixtures::CommandResult r = fixtures::run("HOME='" + home + "' XDG_DATA_HOME='" + home +
                                                    "/.local/share' trash-list 2>/dev/null");
    std::set<std::string> paths;
    std::size_t at = 0;
    while (at < r.out.size()) {
        std::size_t end = r.out.find('\n', at);
        if (end == std::string::npos)
            end = r.out.size();
        const std::string line = r.out.substr(at, end - at);
        // "YYYY-MM-DD HH:MM:SS /original/path"; other tests' volumes may be listed too.
        if (line.size() > 20 && line.compare(20, home.size() + 1, home + "/") == 0)
            paths.insert(line.substr(20));
        at = end + 1;
    }
    return paths;
}

// An info record as Python's own parsers read it: the original path's bytes in hex (so any bytes
// compare exactly), then the deletion date; "invalid: …" when it does not parse.
std::string parsedInfo(const fs::path& info) {
    static const testsupport::TempDir scripts("varnelo-trashinfo");
    const fs::path script = scripts / "parse.py";
    if (!fs::exists(script))
        fixtures::writeFile(script,
                            "import configparser, sys, urllib.parse, datetime\n"
                            "p = configparser.ConfigParser(interpolation=None)\n"
                            "p.optionxform = str\n"
                            "p.read_string(open(sys.argv[1], encoding='utf-8').read())\n"
                            "s = p['Trash Info']\n"
                            "assert set(s.keys()) == {'Path', 'DeletionDate'}, s.keys()\n"
                            "datetime.datetime.strptime(s['DeletionDate'], '%Y-%m-%dT%H:%M:%S')\n"
                            "print(urllib.parse.unquote_to_bytes(s['Path']).hex())\n");
    const fixtures::CommandResult r =
        fixtures::run("python3 '" + script.string() + "' '" + info.string() + "' 2>&1");
    return r.status == 0 ? r.out : "invalid: " + r.out;
}

std::string hexOf(const std::string& bytes) {
    static constexpr char digits[] = "0123456789abcdef";
    std::string out;
    for (const char ch : bytes) {
        out += digits[static_cast<unsigned char>(ch) >> 4];
        out += digits[static_cast<unsigned char>(ch) & 0xF];
    }
    return out + "\n";
}

// A small tmpfs mounted at `where` for one test (only root may mount), removed again at the end.
class Mount {
public:
    Mount(const fs::path& where, const std::string& options) : m_where(where) {
        fs::create_directories(where);
        m_mounted = ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
        m_error = errno;
    }
    Mount(const Mount&) = delete;
    Mount& operator=(const Mount&) = delete;
    ~Mount() {
        if (m_mounted)
            ::umount2(m_where.c_str(), MNT_DETACH);
    }
    [[nodiscard]] bool mounted() const { return m_mounted; }
    [[nodiscard]] std::string why() const {
        return "cannot mount a tmpfs here (" + FSError::systemText(m_error) + ")";
    }

private:
    fs::path m_where;
    bool m_mounted = false;
    int m_error = 0;
};

void onExamine(std::function<void(StatInfo&)> examine) {
    Trash::Seams seams;
    seams.examine = std::move(examine);
    Trash::setSeams(std::move(seams));
}

void onWriteInfo(std::function<long(int, const char*, std::size_t)> write) {
    Trash::Seams seams;
    seams.writeInfo = std::move(write);
    Trash::setSeams(std::move(seams));
}

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(home);
        ::setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    }
    void TearDown() override { Trash::setSeams({}); }

    [[nodiscard]] fs::path trash() const { return home / ".local/share/Trash"; }
    // A file with `bytes` at `path` below the home folder (folders made as needed).
    fs::path file(const std::string& relative, const std::string& bytes = "content") const {
        const fs::path p = home / relative;
        fs::create_directories(p.parent_path());
        fixtures::writeFile(p, bytes);
        return p;
    }
    // Nothing was moved and no record was left behind.
    void expectTrashEmpty() const {
        EXPECT_TRUE(namesIn(trash() / "files").empty());
        EXPECT_TRUE(namesIn(trash() / "info").empty());
    }

    testsupport::TempDir tmp{"varnelo-trash"};
    fs::path home = tmp / "home";
};

TEST_F(TrashTest, FilesFoldersAndLinksGoToTheHomeTrashRestorably) {
    const fs::path report = file("Drive/Report.pdf", "report bytes");
    const fs::path folder = file("Drive/Photos/a.jpg", "jpeg").parent_path();
    const fs::path twin = file("Other/Report.pdf", "other report");
    fs::create_directory_symlink(folder, home / "Drive/Link");

    EXPECT_EQ(moveOutcome(home, report, identityOf(report)), "");
    EXPECT_EQ(moveOutcome(home, folder, identityOf(folder)), "");
    EXPECT_EQ(moveOutcome(home, twin, identityOf(twin)), "");
    // The link itself goes, not the folder it leads to (which is in the Trash already).
    EXPECT_EQ(moveOutcome(home, (home / "Drive/Link").string()), "");
    // A name as long as a name may be leaves room for the record's ending in the Trash.
    const std::string longName = std::string(253, 'n') + "\xC3\xA9";
    const fs::path longFile = file("Drive/" + longName, "long");
    EXPECT_EQ(moveOutcome(home, longFile, identityOf(longFile)), "");
    const std::string cut = std::string(245, 'n');
    EXPECT_EQ(fixtures::readFile(trash() / "files" / cut), "long");
    EXPECT_TRUE(fs::exists(trash() / "info" / (cut + ".trashinfo")));

    EXPECT_FALSE(fs::exists(report));
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_EQ(fixtures::readFile(trash() / "files/Report.pdf"), "report bytes");
    EXPECT_EQ(fixtures::readFile(trash() / "files/Report.pdf.2"), "other report");
    EXPECT_EQ(fixtures::readFile(trash() / "files/Photos/a.jpg"), "jpeg");
    EXPECT_TRUE(fs::is_symlink(trash() / "files/Link"));
    EXPECT_EQ(namesIn(trash() / "info"),
              (std::set<std::string>{"Report.pdf.trashinfo", "Report.pdf.2.trashinfo",
                                     "Photos.trashinfo", "Link.trashinfo", cut + ".trashinfo"}));
    // Only this user may look into a Trash it made.
    EXPECT_EQ(fs::status(trash()).permissions() & fs::perms::all, fs::perms::owner_all);

    if (fixtures::havePython()) {
        EXPECT_EQ(parsedInfo(trash() / "info/Report.pdf.2.trashinfo"), hexOf(twin.string()));
        EXPECT_EQ(parsedInfo(trash() / "info/Photos.trashinfo"), hexOf(folder.string()));
    }
    if (haveTrashList()) {
        EXPECT_EQ(trashList(home),
                  (std::set<std::string>{report.string(), twin.string(), folder.string(),
                                         (home / "Drive/Link").string(), longFile.string()}));
    }
}

TEST_F(TrashTest, ANameThatIsNotUtf8MovesOnlyThatEntryAndIsRecordedByteForByte) {
    const std::string raw = "x\xFF.bin";
    const std::string replaced = "x\xEF\xBF\xBD.bin"; // what a lossy conversion would make of it
    const fs::path listed = file("Drive/" + raw, "listed");
    const fs::path sibling = file("Drive/" + replaced, "sibling");

    EXPECT_EQ(moveOutcome(home, listed.string(), identityOf(listed)), "");
    EXPECT_FALSE(fs::exists(listed));
    EXPECT_EQ(fixtures::readFile(sibling), "sibling");
    EXPECT_EQ(fixtures::readFile(trash() / "files" / raw), "listed");
    const fs::path info = trash() / "info" / (raw + ".trashinfo");
    // The record itself is plain ASCII: the odd byte is percent-encoded.
    EXPECT_NE(fixtures::readFile(info).find("Path=" + (home / "Drive").string() + "/x%FF.bin\n"),
              std::string::npos);
    if (fixtures::havePython()) {
        EXPECT_EQ(parsedInfo(info), hexOf(listed.string()));
    }
}

TEST_F(TrashTest, AnEntryThatIsNoLongerTheOneSeenStaysWhereItIs) {
    const fs::path doc = file("Drive/doc.txt", "seen");
    const LocalIdentity seen = identityOf(doc);

    // Rewritten in place: another size.
    fixtures::writeFile(doc, "rewritten since the scan");
    EXPECT_EQ(moveOutcome(home, doc, seen), Trash::changed);
    fixtures::writeFile(doc, "seen"); // the same size again, the inode unchanged
    const LocalIdentity again = identityOf(doc);

    // Deleted and re-created: where the file system hands the same inode number out again,
    // only the birth time tells them apart.
    onExamine([](StatInfo& st) { st.birth += 1; });
    EXPECT_EQ(moveOutcome(home, doc, again), Trash::changed);
    // The same inode now a folder.
    onExamine([](StatInfo& st) { st.mode = S_IFDIR | 0755; });
    EXPECT_EQ(moveOutcome(home, doc, again), Trash::changed);
    Trash::setSeams({});

    // A link put in its place.
    fs::remove(doc);
    fs::create_symlink(home / "Drive", doc);
    EXPECT_EQ(moveOutcome(home, doc, again), Trash::changed);
    fs::remove(doc);
    EXPECT_EQ(moveOutcome(home, doc, again), Trash::gone);
    expectTrashEmpty();

    // A folder re-created under the same inode is not the folder seen; the same folder with
    // other contents still is.
    const fs::path folder = file("Drive/Folder/a", "a").parent_path();
    const LocalIdentity folderSeen = identityOf(folder);
    onExamine([](StatInfo& st) { st.birth -= 1000; });
    EXPECT_EQ(moveOutcome(home, folder, folderSeen), Trash::changed);
    Trash::setSeams({});
    expectTrashEmpty();
    file("Drive/Folder/b", "added since the scan");
    EXPECT_EQ(moveOutcome(home, folder, folderSeen), "");
    EXPECT_EQ(namesIn(trash() / "files/Folder"), (std::set<std::string>{"a", "b"}));
}

TEST_F(TrashTest, NothingOutsideTheHomeFolderEverMoves) {
    const fs::path outside = tmp / "elsewhere";
    fs::create_directories(outside);
    fixtures::writeFile(outside / "file", "not yours");
    fs::create_directory_symlink(outside, home / "Parent");

    EXPECT_EQ(moveOutcome(home, (outside / "file").string()), Trash::outsideHome);
    EXPECT_EQ(moveOutcome(home, (home / "../elsewhere/file").string()), Trash::outsideHome);
    EXPECT_EQ(moveOutcome(home, (home / "Parent/file").string()), Trash::outsideHome);
    EXPECT_EQ(moveOutcome(home, home.string()), Trash::outsideHome);
    EXPECT_EQ(moveOutcome(home, (home / "Parent").string() + "//file"), Trash::outsideHome);
    EXPECT_TRUE(fs::exists(outside / "file"));

    // The parent is moved out of home and a link put in its place after the first checks,
    // while the record is written: the last look, down from home again, finds the link.
    fs::remove(home / "Parent");
    const fs::path doc = file("Swapped/file", "mine");
    const LocalIdentity seen = identityOf(doc);
    int looks = 0;
    const fs::path moved = tmp / "moved";
    onExamine([&](StatInfo&) {
        if (++looks == 1) {
            fs::rename(home / "Swapped", moved);
            fs::create_directory_symlink(moved, home / "Swapped");
        }
    });
    EXPECT_EQ(moveOutcome(home, doc, seen), Trash::outsideHome);
    EXPECT_EQ(fixtures::readFile(moved / "file"), "mine");
    expectTrashEmpty();
}

TEST_F(TrashTest, WhenTheRecordCannotBeWrittenNothingMoves) {
    const fs::path doc = file("Drive/big.mov", "movie");
    onWriteInfo([](int, const char*, std::size_t) -> long {
        errno = ENOSPC;
        return -1;
    });
    EXPECT_EQ(moveOutcome(home, doc, identityOf(doc)), Trash::noSpace);
    onWriteInfo([](int, const char*, std::size_t) -> long {
        errno = EIO;
        return -1;
    });
    EXPECT_EQ(moveOutcome(home, doc, identityOf(doc)),
              "Záznam v Koši se nepodařilo zapsat: " + FSError::systemText(EIO) + ".");
    // Half a record is no record: the rest does not fit.
    onWriteInfo([](int fd, const char* data, std::size_t) -> long {
        if (::lseek(fd, 0, SEEK_CUR) > 0) {
            errno = ENOSPC;
            return -1;
        }
        return ::write(fd, data, 5);
    });
    EXPECT_EQ(moveOutcome(home, doc, identityOf(doc)), Trash::noSpace);
    Trash::setSeams({});
    EXPECT_EQ(fixtures::readFile(doc), "movie");
    expectTrashEmpty();
    if (haveTrashList()) {
        EXPECT_TRUE(trashList(home).empty());
    }
}

TEST_F(TrashTest, AReallyFullDiskMovesNothing) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may mount the small file system this needs";
    const Mount small(home, "size=1m,mode=0700");
    if (!small.mounted())
        GTEST_SKIP() << small.why();
    const fs::path doc = file("Drive/doc.txt", "keep me");
    fs::create_directories(trash() / "files");
    fs::create_directories(trash() / "info");
    // Fill the disk to the last block.
    {
        std::FILE* filler = std::fopen((home / "filler").c_str(), "wb");
        ASSERT_NE(filler, nullptr);
        const std::string block(4096, 'x');
        while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() &&
               std::fflush(filler) == 0) {
        }
        std::fclose(filler);
    }
    EXPECT_EQ(moveOutcome(home, doc, identityOf(doc)), Trash::noSpace);
    EXPECT_EQ(fixtures::readFile(doc), "keep me");
    expectTrashEmpty();
}

TEST_F(TrashTest, AnItemOnAnotherDeviceUsesThatDevicesTrashAndALinkStaysOnItsOwn) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root may mount the second file system this needs";
    const Mount volume(home / "Volume", "size=4m");
    if (!volume.mounted())
        GTEST_SKIP() << volume.why();
    const fs::path far = file("Volume/Projects/far.bin", "far away");
    const fs::path target = file("Volume/target.bin", "target");
    fs::create_symlink(target, home / "link-to-volume");
    const std::string uid = std::to_string(::getuid());

    EXPECT_EQ(moveOutcome(home, far, identityOf(far)), "");
    const fs::path volumeTrash = home / "Volume" / (".Trash-" + uid);
    EXPECT_EQ(fixtures::readFile(volumeTrash / "files/far.bin"), "far away");
    EXPECT_FALSE(fs::exists(trash() / "files/far.bin"));
    if (fixtures::havePython()) {
        EXPECT_EQ(parsedInfo(volumeTrash / "info/far.bin.trashinfo"), hexOf(far.string()));
    }
    if (haveTrashList()) {
        EXPECT_TRUE(trashList(home).contains(far.string()));
    }

    // A link lives on its folder's device: it goes to the home Trash and leaves the volume alone.
    fs::remove_all(volumeTrash);
    EXPECT_EQ(moveOutcome(home, (home / "link-to-volume").string()), "");
    EXPECT_TRUE(fs::is_symlink(trash() / "files/link-to-volume"));
    EXPECT_FALSE(fs::exists(volumeTrash));
    EXPECT_EQ(fixtures::readFile(target), "target");

    // A shared .Trash with the sticky bit takes the user's items in a folder of their own.
    fs::create_directory(home / "Volume/.Trash");
    fs::permissions(home / "Volume/.Trash", fs::perms::all | fs::perms::sticky_bit);
    EXPECT_EQ(moveOutcome(home, target, identityOf(target)), "");
    EXPECT_EQ(fixtures::readFile(home / "Volume/.Trash" / uid / "files/target.bin"), "target");
    EXPECT_FALSE(fs::exists(volumeTrash));
    // Without the sticky bit (anyone could swap its folders) it is not used.
    fs::permissions(home / "Volume/.Trash", fs::perms::all);
    const fs::path third = file("Volume/third.bin", "third");
    EXPECT_EQ(moveOutcome(home, third, identityOf(third)), "");
    EXPECT_EQ(fixtures::readFile(volumeTrash / "files/third.bin"), "third");
}

} // namespace
