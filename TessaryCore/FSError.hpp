#pragma once

#include <exception>
#include <iosfwd>
#include <string>

namespace tessary {

// A failed file call: the errno it failed with and the path it was given. Thrown by FS; the
// scan stages turn it into item flags (denied, cloud-only) instead of failing.
class FSError : public std::exception {
public:
    FSError(int code, std::string path);

    [[nodiscard]] int code() const { return m_code; }
    [[nodiscard]] const std::string& path() const { return m_path; }
    // Refused for lack of rights (EACCES, EPERM).
    [[nodiscard]] bool isPermission() const;
    // Refused because the item is a cloud-only placeholder and downloading is switched off
    // (EDEADLK, ENOTSUP).
    [[nodiscard]] bool isCloudOnly() const;
    // The system's text for the code, then " (<code>): <path>".
    [[nodiscard]] const std::string& description() const { return m_description; }
    [[nodiscard]] const char* what() const noexcept override { return m_description.c_str(); }
    // The system's text for an errno value (safe from any thread).
    [[nodiscard]] static std::string systemText(int code);

    friend bool operator==(const FSError& a, const FSError& b) {
        return a.m_code == b.m_code && a.m_path == b.m_path;
    }

private:
    int m_code;
    std::string m_path;
    std::string m_description;
};

void PrintTo(const FSError& error, std::ostream* os);

} // namespace tessary
