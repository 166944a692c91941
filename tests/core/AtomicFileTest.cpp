#include "TessaryCore/AtomicFile.hpp"
#include "TessaryCore/ScanError.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

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
