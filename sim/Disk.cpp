#include "Disk.hpp"

#include "TessaryCore/FS.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw std::runtime_error(what + " „" + path + "“: " + std::strerror(errno));
}

} // namespace

void Disk::makeDir(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST)
        fail("Nelze vytvořit složku", path);
}

void Disk::writePlaceholder(const std::string& path, std::int64_t size) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("Nelze vytvořit soubor", path);
    if (::ftruncate(fd, size) != 0) {
        ::close(fd);
        fail("Nelze nastavit velikost souboru", path);
    }
    ::close(fd);
    tessary::FS::markDataless(path);
}

std::int64_t Disk::allocOf(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0)
        fail("Nelze zjistit velikost", path);
    return static_cast<std::int64_t>(st.st_blocks) * 512;
}

void Disk::setTime(const std::string& path, std::int64_t mt) {
    const timespec times[2] = {{mt, 0}, {mt, 0}};
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        fail("Nelze nastavit čas", path);
}

void Disk::removeAll(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
    if (ec)
        throw std::runtime_error("Nelze odstranit „" + path + "“: " + ec.message());
}

void Disk::rename(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) != 0)
        fail("Nelze přesunout „" + from + "“ do", to);
}

} // namespace sim
