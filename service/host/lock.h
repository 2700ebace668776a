// A plain mutual-exclusion lock: a critical section on Windows (the Windows builds have no
// std::mutex), std::mutex elsewhere, so the sanitizers see it.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <mutex>
#endif

namespace kqm {

class Lock {
  public:
#ifdef _WIN32
    Lock() {
        InitializeCriticalSection(&section_);
    }
    ~Lock() {
        DeleteCriticalSection(&section_);
    }
    void Acquire() {
        EnterCriticalSection(&section_);
    }
    void Release() {
        LeaveCriticalSection(&section_);
    }
#else
    Lock() = default;
    ~Lock() = default;
    void Acquire() {
        mutex_.lock();
    }
    void Release() {
        mutex_.unlock();
    }
#endif
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
#ifdef _WIN32
    CRITICAL_SECTION section_;
#else
    std::mutex mutex_;
#endif
};

// Holds a lock for the life of a scope.
class LockGuard {
  public:
    explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Acquire(); }
    ~LockGuard() { lock_.Release(); }
    LockGuard(const LockGuard&) = delete;
    LockGuard& operator=(const LockGuard&) = delete;

  private:
    Lock& lock_;
};

}  // namespace kqm
