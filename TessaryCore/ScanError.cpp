#include "TessaryCore/ScanError.hpp"

#include <utility>

namespace tessary {

ScanError::ScanError(Kind kind, std::string payload, std::string description)
    : m_kind(kind), m_payload(std::move(payload)), m_description(std::move(description)) {}

ScanError ScanError::message(std::string text) {
    std::string description = text;
    return ScanError(Kind::message, std::move(text), std::move(description));
}

ScanError ScanError::timeout(std::string what) {
    std::string description = "Časový limit vypršel: " + what;
    return ScanError(Kind::timeout, std::move(what), std::move(description));
}

ScanError ScanError::cancelled() {
    return ScanError(Kind::cancelled, {}, "Zrušeno uživatelem.");
}

} // namespace tessary
