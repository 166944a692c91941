#include "TessaryCore/Progress.hpp"

namespace tessary {

void noopProgress(std::string_view, std::int64_t, std::int64_t, std::string_view) {}

} // namespace tessary
