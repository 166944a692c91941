#pragma once

#include <mutex>

namespace tessary {

// The stop flag shared with one background operation; safe to read and set from any thread.
class CancelBox {
public:
    void set(bool value) {
        std::lock_guard guard(m_lock);
        m_flag = value;
    }
    [[nodiscard]] bool flag() {
        std::lock_guard guard(m_lock);
        return m_flag;
    }

private:
    std::mutex m_lock;
    bool m_flag = false;
};

} // namespace tessary
