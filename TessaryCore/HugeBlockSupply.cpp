#include "TessaryCore/HugeBlockSupply.hpp"

#include <sys/mman.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace tessary {

namespace {

// Faults in every page of the block, so that the owner later writes to memory already there.
void faultIn(void* data, std::size_t size) {
#ifdef MADV_POPULATE_WRITE
    if (::madvise(data, size, MADV_POPULATE_WRITE) == 0)
        return;
#endif
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    auto* bytes = static_cast<volatile char*>(data);
    for (std::size_t at = 0; at < size; at += page)
        bytes[at] = 0; // the block is zeroed already: this only makes the page real
}

} // namespace

HugeBlockSupply::~HugeBlockSupply() {
    wait();
}

void HugeBlockSupply::wait() {
    if (m_helper.joinable())
        m_helper.join();
}

HugeBlock HugeBlockSupply::take() {
    wait();
    const auto pages = m_taken == 0 ? HugeBlock::Pages::ordinary : HugeBlock::Pages::huge;
    HugeBlock out = m_spare.data() != nullptr ? std::move(m_spare) : HugeBlock(m_bytes, pages);
    ++m_taken;
    if (m_taken >= 2 && !m_stopped) {
        m_spare = HugeBlock(m_bytes);
        try {
            m_helper = std::thread(faultIn, m_spare.data(), m_spare.size());
        } catch (const std::system_error&) {
            // No thread to spare: the block is faulted in as it is filled, as without a helper.
        }
    }
    return out;
}

void HugeBlockSupply::stop() {
    wait();
    m_spare = HugeBlock();
    m_stopped = true;
}

} // namespace tessary
