#include "TessaryCore/AtomicFile.hpp"
#include "TessaryCore/ScanError.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public ::testing::Test {
protected:
    static std::string read(const fs::path& p) { return testsupport::readFile(p); }
    // Names in the folder other than `keep`: leftovers of a failed write would show here.
    std::vector<std::string> others(const std::string& keep) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir))
            if (e.path().filename() != keep)
                names.push_back(e.path().filename().string());
        return names;
    }

    testsupport::TempDir m_tmp{"atomicfile"};
    fs::path m_dir = m_tmp.path();
};

} // namespace

TEST_F(AtomicFileTest, CreatesAndReplacesKeepingPermissions) {
    const fs::path target = m_dir / "out.json";
    AtomicFile::write(target.string(), "first");
    EXPECT_EQ(read(target), "first");
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    AtomicFile::write(target.string(), std::string(3 << 20, 'x'));
    EXPECT_EQ(read(target).size(), std::size_t{3} << 20);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(others("out.json").empty());
}

TEST_F(AtomicFileTest, FailuresLeaveTheTargetAndNoTemporaryFile) {
    const fs::path target = m_dir / "keep.txt";
    AtomicFile::write(target.string(), "old");
    const fs::path missing = m_dir / "no-such-folder" / "x.txt";
    try {
        AtomicFile::write(missing.string(), "new");
        ADD_FAILURE() << "no error";
    } catch (const ScanError& e) {
        EXPECT_EQ(e.description(), "Soubor „" + missing.string() +
                                       "“ se nepodařilo zapsat: No such file or directory");
    }
    fs::create_directory(m_dir / "folder");
    EXPECT_THROW(AtomicFile::write((m_dir / "folder").string(), "new"), ScanError);
    EXPECT_THROW(AtomicFile::write((m_dir / "").string(), "new"), ScanError);
    EXPECT_EQ(read(target), "old");
    EXPECT_EQ(others("keep.txt"), std::vector<std::string>{"folder"});
}

TEST_F(AtomicFileTest, LinksAreWrittenThroughAndSpecialFilesInPlace) {
    // A link to a file: the file gets the new content, the link stays a link.
    const fs::path real = m_dir / "real.json";
    AtomicFile::write(real.string(), "old");
    fs::create_symlink("real.json", m_dir / "link.json");
    AtomicFile::write((m_dir / "link.json").string(), "new");
    EXPECT_TRUE(fs::is_symlink(m_dir / "link.json"));
    EXPECT_EQ(read(real), "new");
    // A link to a file not there yet creates that file.
    fs::create_symlink("later.json", m_dir / "dangling.json");
    AtomicFile::write((m_dir / "dangling.json").string(), "made");
    EXPECT_TRUE(fs::is_symlink(m_dir / "dangling.json"));
    EXPECT_EQ(read(m_dir / "later.json"), "made");

    // A FIFO is written into, not replaced by a plain file.
    const fs::path fifo = m_dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    AtomicFile::write(fifo.string(), [](const AtomicFile::Put& put) {
        put("through ");
        put("the pipe");
    });
    char buf[64] = {};
    const ssize_t n = ::read(reader, buf, sizeof buf);
    ::close(reader);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(std::max<ssize_t>(n, 0))),
              "through the pipe");
    EXPECT_TRUE(fs::is_fifo(fifo));

    // A link to a device: the device is written, both stay what they were.
    fs::create_symlink("/dev/null", m_dir / "null");
    AtomicFile::write((m_dir / "null").string(), "discarded");
    EXPECT_TRUE(fs::is_symlink(m_dir / "null"));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    std::vector<std::string> names = others("");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"dangling.json", "later.json", "link.json", "null",
                                               "pipe", "real.json"}));
}

TEST_F(AtomicFileTest, APipeOrSocketHandedOverAsADescriptorIsWrittenInto) {
    // As `--json /dev/stdout | reader`, `--csv >(reader)` and a socket on standard output.
    for (const bool socket : {false, true}) {
        int ends[2] = {-1, -1};
        if (socket)
            ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        else
            ASSERT_EQ(::pipe(ends), 0);
        const int reader = ends[0];
        const int writer = ends[1];
        for (const std::string& name :
             {"/dev/fd/" + std::to_string(writer), "/proc/self/fd/" + std::to_string(writer)})
            AtomicFile::write(name, name + ";");
        const int saved = ::dup(STDOUT_FILENO);
        ASSERT_GE(::dup2(writer, STDOUT_FILENO), 0);
        AtomicFile::write("/dev/stdout", "stdout");
        ::dup2(saved, STDOUT_FILENO);
        ::close(saved);
        ::close(writer);
        std::string got;
        char buf[256];
        for (ssize_t n; (n = ::read(reader, buf, sizeof buf)) > 0;)
            got.append(buf, static_cast<std::size_t>(n));
        ::close(reader);
        EXPECT_EQ(got, "/dev/fd/" + std::to_string(writer) + ";/proc/self/fd/" +
                           std::to_string(writer) + ";stdout")
            << (socket ? "socket" : "pipe");
    }
    // A descriptor that leads to a file still gets the file replaced whole.
    const fs::path target = m_dir / "through-fd.txt";
    AtomicFile::write(target.string(), "old contents");
    const int fd = ::open(target.c_str(), O_RDONLY);
    AtomicFile::write("/dev/fd/" + std::to_string(fd), "new");
    ::close(fd);
    EXPECT_EQ(read(target), "new");
    EXPECT_TRUE(others("through-fd.txt").empty());
}

TEST_F(AtomicFileTest, AWriterThatFailsLeavesTheTargetAsItWas) {
    const fs::path target = m_dir / "keep.csv";
    AtomicFile::write(target.string(), "old");
    EXPECT_THROW(AtomicFile::write(target.string(),
                                   [](const AtomicFile::Put& put) {
                                       put("half");
                                       throw ScanError::message("stop");
                                   }),
                 ScanError);
    EXPECT_EQ(read(target), "old");
    EXPECT_TRUE(others("keep.csv").empty());
}
