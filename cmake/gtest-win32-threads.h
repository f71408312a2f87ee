// Forced into GoogleTest and the Windows test programs only (never into what ships): the
// "-win32" MinGW compilers have no std::mutex or std::condition_variable, and GoogleTest's
// Windows build names them for one small class of its own. A critical section and a polling
// wait stand in.
#pragma once
#if defined(__cplusplus) && defined(_WIN32) && !defined(_GLIBCXX_HAS_GTHREADS)
#include <windows.h>

#include <mutex>

namespace std {

class mutex {
 public:
  mutex() { InitializeCriticalSection(&section_); }
  ~mutex() { DeleteCriticalSection(&section_); }
  mutex(const mutex&) = delete;
  mutex& operator=(const mutex&) = delete;
  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

 private:
  CRITICAL_SECTION section_;
};

class condition_variable {
 public:
  void notify_one() {}
  void notify_all() {}
  template <class Lock, class Predicate>
  void wait(Lock& lock, Predicate ready) {
    while (!ready()) {
      lock.unlock();
      Sleep(1);
      lock.lock();
    }
  }
};

}  // namespace std
#endif
