#pragma once

#include "TessaryCore/HugeBlock.hpp"

#include <cstddef>
#include <thread>

namespace tessary {

// Hands out HugeBlocks of one size to a table that keeps growing, with the next block's pages
// already faulted in by a helper thread: the zeroing of fresh memory, much of what filling a
// large table costs, then runs on another core. The first block has ordinary pages and the helper
// starts only from the second block on, so a small table holds only the memory it fills and never
// starts a thread. One owner, not thread-safe; not movable (hold it by pointer where the owner
// moves).
class HugeBlockSupply {
public:
    explicit HugeBlockSupply(std::size_t blockBytes) : m_bytes(blockBytes) {}
    HugeBlockSupply(const HugeBlockSupply&) = delete;
    HugeBlockSupply& operator=(const HugeBlockSupply&) = delete;
    // Waits for the helper.
    ~HugeBlockSupply();

    // The next block: the one prepared ahead when there is one, else a fresh one.
    [[nodiscard]] HugeBlock take();
    // Frees the block prepared ahead and prepares no more: for when the table stops growing.
    void stop();

private:
    void wait();

    const std::size_t m_bytes;
    std::size_t m_taken = 0;
    bool m_stopped = false;
    HugeBlock m_spare;
    std::thread m_helper;
};

} // namespace tessary
