#include "profiles/core/table_lock.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <mutex>
#endif

namespace pellix {

#ifdef _WIN32
struct TableLock::Impl {
  CRITICAL_SECTION section;
};
TableLock::TableLock() : impl_(new Impl) { InitializeCriticalSection(&impl_->section); }
TableLock::~TableLock() {
  DeleteCriticalSection(&impl_->section);
  delete impl_;
}
void TableLock::lock() { EnterCriticalSection(&impl_->section); }
void TableLock::unlock() { LeaveCriticalSection(&impl_->section); }
#else
struct TableLock::Impl {
  std::mutex mutex;
};
TableLock::TableLock() : impl_(new Impl) {}
TableLock::~TableLock() { delete impl_; }
void TableLock::lock() { impl_->mutex.lock(); }
void TableLock::unlock() { impl_->mutex.unlock(); }
#endif

}  // namespace pellix
