#pragma once

#include <exception>
#include <string>

namespace tessary {

// The error every core stage throws. The text is Czech and reaches the user unchanged.
class ScanError : public std::exception {
public:
    enum class Kind { message, timeout, cancelled };

    // A failure described by `text` itself.
    [[nodiscard]] static ScanError message(std::string text);
    // A time limit ran out; `what` says which ("15.0 s").
    [[nodiscard]] static ScanError timeout(std::string what);
    // The user asked to stop.
    [[nodiscard]] static ScanError cancelled();

    [[nodiscard]] Kind kind() const { return m_kind; }
    [[nodiscard]] bool isCancelled() const { return m_kind == Kind::cancelled; }
    [[nodiscard]] bool isTimeout() const { return m_kind == Kind::timeout; }
    // The payload as given (empty for `cancelled`).
    [[nodiscard]] const std::string& payload() const { return m_payload; }
    // The text shown to the user.
    [[nodiscard]] const std::string& description() const { return m_description; }
    [[nodiscard]] const char* what() const noexcept override { return m_description.c_str(); }

    friend bool operator==(const ScanError& a, const ScanError& b) {
        return a.m_kind == b.m_kind && a.m_payload == b.m_payload;
    }

private:
    ScanError(Kind kind, std::string payload, std::string description);

    Kind m_kind;
    std::string m_payload;
    std::string m_description;
};

} // namespace tessary
