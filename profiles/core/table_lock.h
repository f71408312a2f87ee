// The profile table's short lock: held while an entry is added, changed, freed or copied out
// for the driver thread. The system's own lock on each platform: a critical section on Windows
// (the binaries carry no threading runtime, so that they start on every Windows they are for),
// the standard mutex elsewhere.
#pragma once

namespace pellix {

class TableLock {
 public:
  TableLock();
  ~TableLock();
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

  void lock();
  void unlock();

 private:
  struct Impl;
  Impl* impl_;
};

// Holds the lock for one scope.
class LockHold {
 public:
  explicit LockHold(TableLock& lock) : lock_(lock) { lock_.lock(); }
  ~LockHold() { lock_.unlock(); }
  LockHold(const LockHold&) = delete;
  LockHold& operator=(const LockHold&) = delete;

 private:
  TableLock& lock_;
};

}  // namespace pellix
