#include "cli/StandardOutput.hpp"

#include "TessaryCore/ScanError.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tessary::cli {

namespace {

ScanError failure(int err) {
    return ScanError::message("Na standardní výstup nelze zapsat: " + StandardOutput::reason(err) +
                              ".");
}

} // namespace

std::string StandardOutput::reason(int err) {
    switch (err) {
    case ENOSPC:
        return "na disku není místo";
    case EBADF:
        return "výstup je zavřený";
    case EPIPE:
        return "čtenář výstupu skončil";
    case EDQUOT:
        return "je vyčerpána kvóta disku";
    default:
        return std::strerror(err);
    }
}

void StandardOutput::write(std::string_view bytes, const std::atomic<bool>& stop) {
    while (!bytes.empty()) {
        if (stop.load())
            throw ScanError::cancelled();
        const std::size_t n = std::min(bytes.size(), pieceBytes);
        errno = 0;
        if (std::fwrite(bytes.data(), 1, n, stdout) != n || std::fflush(stdout) != 0)
            throw failure(errno != 0 ? errno : EIO);
        bytes.remove_prefix(n);
    }
    errno = 0;
    if (std::fflush(stdout) != 0)
        throw failure(errno != 0 ? errno : EIO);
}

std::optional<std::string> StandardOutput::close() {
    errno = 0;
    const bool failed = std::ferror(stdout) != 0;
    if (std::fclose(stdout) != 0 || failed)
        return failure(errno != 0 ? errno : EIO).description();
    return std::nullopt;
}

} // namespace tessary::cli
