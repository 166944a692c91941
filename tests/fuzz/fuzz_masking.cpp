// Arbitrary bytes as a local name: masking must never crash, the primary mask must be among the
// variants, there are at most 18 variants, all distinct, and every mask is well-formed UTF-8.
#include "TessaryCore/Masking.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

using tessary::Masking;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view name(reinterpret_cast<const char*>(data), size);
    const auto variants = Masking::maskVariants(name);
    const std::string primary = Masking::primaryMask(name);
    if (variants.empty() || variants.size() > 18 || variants.front() != primary)
        std::abort();
    for (std::size_t i = 0; i < variants.size(); ++i) {
        if (Masking::utf8(Masking::scalars(variants[i])) != variants[i])
            std::abort();
        if (std::find(variants.begin() + static_cast<std::ptrdiff_t>(i) + 1, variants.end(),
                      variants[i]) != variants.end())
            std::abort();
    }
    // The compound mask and the plain ones are defined for every input as well.
    (void)Masking::maskName(name, false, false, true);
    return 0;
}
