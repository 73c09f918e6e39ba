// A lock for short work on data shared between threads: a spin lock rather than std::mutex, which
// MinGW's win32 thread model lacks. Whoever holds it holds it for a short copy or lookup only.
#pragma once

#include <atomic>

namespace quorvel {

class SpinLock {
  public:
    explicit SpinLock(std::atomic_flag& flag) : flag_(flag) {
        while (flag_.test_and_set(std::memory_order_acquire)) {
        }
    }
    ~SpinLock() { flag_.clear(std::memory_order_release); }
    SpinLock(const SpinLock&) = delete;
    SpinLock& operator=(const SpinLock&) = delete;

  private:
    std::atomic_flag& flag_;
};

}  // namespace quorvel
