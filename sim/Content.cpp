#include "Content.hpp"

#include "ServerDb.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace sim {

namespace {

constexpr std::size_t blockSize = 64 * 1024;

std::string block(std::uint64_t seed) {
    std::string bytes(blockSize, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>('a' + (seed + i * 7) % 26);
    return bytes;
}

// The store's file of an item: its id with every byte outside [A-Za-z0-9] written as %XX.
std::string storePath(const std::string& home, const std::string& id) {
    std::string name;
    for (const unsigned char c : id) {
        if (std::isalnum(c) != 0) {
            name.push_back(static_cast<char>(c));
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            name += hex;
        }
    }
    return home + "/.varnelo-sim/content/" + name;
}

} // namespace

std::uint64_t Content::seedOf(const std::string& id) {
    std::uint64_t h = 1469598103934665603ULL;
    for (const char c : id)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return h;
}

std::string Content::generated(std::int64_t bytes, std::uint64_t seed) {
    const std::string one = block(seed);
    std::string out;
    out.reserve(static_cast<std::size_t>(bytes));
    while (static_cast<std::int64_t>(out.size()) < bytes)
        out.append(one, 0,
                   static_cast<std::size_t>(std::min<std::int64_t>(
                       bytes - static_cast<std::int64_t>(out.size()), blockSize)));
    return out;
}

void Content::writeGenerated(const std::string& path, std::int64_t bytes, std::uint64_t seed) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::runtime_error("Nelze vytvořit soubor „" + path + "“: " + std::strerror(errno));
    const std::string one = block(seed);
    while (bytes > 0) {
        const auto n = static_cast<std::size_t>(std::min<std::int64_t>(bytes, blockSize));
        if (::write(fd, one.data(), n) != static_cast<ssize_t>(n)) {
            const int err = errno;
            ::close(fd);
            throw std::runtime_error("Nelze zapsat soubor „" + path + "“: " + std::strerror(err));
        }
        bytes -= static_cast<std::int64_t>(n);
    }
    ::close(fd);
}

std::string Content::serverCopy(const std::string& home, const ServerItem& item) {
    if (std::optional<std::string> kept = read(storePath(home, item.id)))
        return *kept;
    return generated(item.size, seedOf(item.id));
}

void Content::keep(const std::string& home, const std::string& id, const std::string& bytes) {
    const std::string path = storePath(home, id);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush())
            throw std::runtime_error("Nelze uložit obsah na server: „" + path + "“");
    }
    std::filesystem::rename(temporary, path);
}

void Content::forget(const std::string& home, const std::string& id) {
    std::error_code ec;
    std::filesystem::remove(storePath(home, id), ec);
    if (ec)
        throw std::runtime_error("Nelze zahodit obsah na serveru: „" + storePath(home, id) + "“");
}

std::optional<std::string> Content::read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

} // namespace sim
