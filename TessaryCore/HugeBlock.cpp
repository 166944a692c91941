#include "TessaryCore/HugeBlock.hpp"

#include <cstdint>
#include <new>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace tessary {

namespace {

constexpr std::size_t hugePage = std::size_t{2} << 20;

std::size_t roundUp(std::size_t n, std::size_t to) {
    return (n + to - 1) / to * to;
}

std::size_t pageSize() {
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    return page;
}

} // namespace

HugeBlock::HugeBlock(std::size_t bytes, Pages pages) {
    const std::size_t size = roundUp(bytes == 0 ? 1 : bytes, pageSize());
    // Only blocks of a huge page or more are worth aligning: the system backs an aligned 2 MiB
    // range with one page, and the rest of the block with ordinary pages.
    const std::size_t slack = pages == Pages::huge && size >= hugePage ? hugePage : 0;
    void* raw =
        ::mmap(nullptr, size + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    auto* start = static_cast<char*>(raw);
    if (slack != 0) {
        const auto at = reinterpret_cast<std::uintptr_t>(start);
        const std::size_t head = roundUp(at, hugePage) - at;
        if (head != 0)
            ::munmap(start, head);
        if (slack - head != 0)
            ::munmap(start + head + size, slack - head);
        start += head;
#ifdef MADV_HUGEPAGE
        // Advice only: without transparent huge pages the block simply keeps ordinary pages.
        (void)::madvise(start, size, MADV_HUGEPAGE);
#endif
    }
    m_data = start;
    m_size = size;
}

HugeBlock::HugeBlock(HugeBlock&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

HugeBlock& HugeBlock::operator=(HugeBlock&& other) noexcept {
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

HugeBlock::~HugeBlock() {
    release();
}

void HugeBlock::release() {
    if (m_data != nullptr)
        ::munmap(m_data, m_size);
    m_data = nullptr;
    m_size = 0;
}

} // namespace tessary
