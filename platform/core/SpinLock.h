// A lock for short critical sections (a table look-up, a counter), built on an atomic flag
// alone: the Windows toolchain's runtime has no std::mutex. Not recursive: code holding
// it must not take it again.
#pragma once

#include <atomic>

namespace kv {

class TSpinLock {
 public:
  void lock() noexcept {
    while (m_Flag.test_and_set(std::memory_order_acquire)) {
      while (m_Flag.test(std::memory_order_relaxed)) {
      }
    }
  }
  void unlock() noexcept { m_Flag.clear(std::memory_order_release); }

 private:
  std::atomic_flag m_Flag = ATOMIC_FLAG_INIT;
};

// Holds a TSpinLock for its lifetime.
class TSpinGuard {
 public:
  explicit TSpinGuard(TSpinLock& Lock) : m_Lock(Lock) { m_Lock.lock(); }
  ~TSpinGuard() { m_Lock.unlock(); }
  TSpinGuard(const TSpinGuard&) = delete;
  TSpinGuard& operator=(const TSpinGuard&) = delete;

 private:
  TSpinLock& m_Lock;
};

}  // namespace kv
