#include "TessaryCore/FSError.hpp"

#include <cerrno>
#include <cstring>
#include <ostream>
#include <utility>

namespace tessary {

namespace {

// strerror itself may share one buffer between threads; strerror_r comes in two flavours
// (XSI returns int, GNU returns the text), and the overloads pick whichever this libc has.
[[maybe_unused]] std::string strerrorText(int rc, const char* buffer) {
    return rc == 0 ? std::string(buffer) : std::string();
}
[[maybe_unused]] std::string strerrorText(const char* text, const char*) {
    return text != nullptr ? std::string(text) : std::string();
}

} // namespace

std::string FSError::systemText(int code) {
    char buffer[256] = {};
    std::string text = strerrorText(strerror_r(code, buffer, sizeof buffer), buffer);
    if (text.empty())
        text = "Unknown error " + std::to_string(code);
    return text;
}

FSError::FSError(int code, std::string path)
    : m_code(code), m_path(std::move(path)),
      m_description(systemText(code) + " (" + std::to_string(code) + "): " + m_path) {}

bool FSError::isPermission() const {
    return m_code == EACCES || m_code == EPERM;
}

bool FSError::isCloudOnly() const {
    return m_code == EDEADLK || m_code == ENOTSUP;
}

void PrintTo(const FSError& error, std::ostream* os) {
    *os << "FSError: " << error.description();
}

} // namespace tessary
