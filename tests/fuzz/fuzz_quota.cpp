// Reads the free quota out of arbitrary `brctl quota` output: must never crash, and a number is
// only ever taken from text that holds the phrase.
#include "TessaryCore/Brctl.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto quota = tessary::Brctl::parseQuota(text);
    if (quota && (*quota < 0 || text.find(" bytes of quota remaining") == std::string_view::npos))
        std::abort();
    return 0;
}
