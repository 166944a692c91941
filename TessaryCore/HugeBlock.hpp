#pragma once

#include <cstddef>

namespace tessary {

// A block of zeroed memory for the large tables of a scan (items, their texts, the id map),
// mapped straight from the system and, where the system can, backed by 2 MiB pages: filling a
// table then costs one page fault per 2 MiB instead of one per 4 KiB, which on a virtual machine
// is most of the time a large scan spends on memory. Move-only; the memory goes with the block.
class HugeBlock {
public:
    // Whether the block asks for 2 MiB pages. A table that may stay small takes ordinary pages
    // first: one 2 MiB page would hold 2 MiB of memory for a table of a few kilobytes.
    enum class Pages { ordinary, huge };

    HugeBlock() = default;
    // At least `bytes` bytes; throws std::bad_alloc when the system has no room.
    explicit HugeBlock(std::size_t bytes, Pages pages = Pages::huge);
    HugeBlock(HugeBlock&& other) noexcept;
    HugeBlock& operator=(HugeBlock&& other) noexcept;
    HugeBlock(const HugeBlock&) = delete;
    HugeBlock& operator=(const HugeBlock&) = delete;
    ~HugeBlock();

    [[nodiscard]] void* data() const { return m_data; }
    [[nodiscard]] std::size_t size() const { return m_size; }

private:
    void release();

    void* m_data = nullptr;
    std::size_t m_size = 0;
};

} // namespace tessary
