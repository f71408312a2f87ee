// The scans of this run as the History page lists them (newest first, at most 1,000), their
// CSV form for the clipboard, a saved file and the scan log, and the scan log's queue of
// lines not yet written. The wand's serial is never kept: it identifies the wand's owner.
// Fixed-size texts throughout: the tray program stays small.
#pragma once
#include <cstddef>
#include <cstdint>

#include "tray/core/settings_store.h"

namespace pellix {

// What became of a scan. kLeftToLibrary: the tray program passed it on to the hook library,
// which says afterwards what became of it.
enum class ScanAction : uint8_t {
  kTyped,
  kLaunched,
  kClaimed,
  kFilteredOut,
  kRefused,
  kLeftToLibrary,
  kTypedWithoutControls
};
// "typed", "launched", "claimed by a window", "filtered to nothing", "refused", "typed without
// its control characters"; a scan left to the library counts as typed until the library says
// otherwise.
const char* ScanActionText(ScanAction action);

// A local wall-clock time and its offset from UTC, east positive.
struct LocalTime {
  int year, month, day, hour, minute, second;
  int offsetMinutes;
};

constexpr int kHistoryLimit = 1000;
constexpr int kHistoryTextSize = 256;  // the fields of a scan, as offered

struct ScanEntry {
  LocalTime time;
  char type[kHistoryTextSize];
  char data[kHistoryTextSize];  // as delivered: after the fix-ups and the filter
  ScanAction action;
};
// An entry with both texts cut to their size; null texts are empty.
ScanEntry MakeScanEntry(const LocalTime& time, const char* type, const char* data,
                        ScanAction action);

// The list; main thread only.
class ScanHistory {
 public:
  // At the limit the oldest scan leaves.
  void Add(const ScanEntry& entry);
  void Clear() { count_ = 0; }
  int Count() const { return count_; }
  // 0 is the newest.
  const ScanEntry& Newest(int index) const;

 private:
  ScanEntry entries_[kHistoryLimit];
  int next_ = 0;   // slot of the next scan
  int count_ = 0;
};

constexpr int kTimeTextSize = 32;
// "17:03:05", as the list shows it: the page is narrow, and the date and offset are in every
// CSV line.
void ListTime(const LocalTime& time, char (&text)[kTimeTextSize]);
// ISO 8601 with the offset: "2026-12-08T17:03:05+01:00".
void IsoTime(const LocalTime& time, char (&text)[kTimeTextSize]);

// Every field in quotes, its quotes doubled (RFC 4180), so that no separator or line break
// inside it splits it. A spreadsheet that splits at ",", ";" or Tab regardless (the list
// separator of many locales) or at a line break could still find a cell inside the field:
// wherever such a cell would begin with "=", "+", "-" or "@" (quotes and blanks before it
// count for nothing), an apostrophe goes in front of it, which spreadsheets show as text and
// do not run.
constexpr int kCsvLineSize = 1280;  // a line of the longest fields, every character doubled
constexpr char kCsvHeader[] = "Time,Type,Data,Action\r\n";
constexpr char kCellsHeader[] = "Time\tType\tData\tAction\r\n";
// One scan as a line ending in CR LF, fields between `separator` (',' for CSV, Tab for the
// cells a spreadsheet pastes); returns its length.
int CsvLine(const ScanEntry& entry, char separator, char (&line)[kCsvLineSize]);
// The header and the scans with the given indexes (as for Newest, in rising order), oldest
// first; every scan when `count` is 0. A new text (delete[]) of `*length` bytes and its NUL;
// null when there is no memory for it.
char* HistoryText(const ScanHistory& history, const int* newestIndexes, int count,
                  char separator, int* length);

// Joins a scan the tray program left to the hook library with the library's word on it,
// which names the scan by its sending process and burst number. Scans from several
// processes may wait at once, and words may come in any order.
class OutcomeJoin {
 public:
  static constexpr int kWaitingLimit = 16;
  static constexpr uint32_t kWaitMs = 5000;  // past a foreground offer's 3 s

  // A scan left to the library. When every place is taken, the scan that waited longest goes
  // out as typed, in `done`.
  bool Offered(uint32_t process, uint32_t burst, const ScanEntry& entry, uint32_t nowMs,
               ScanEntry* done);
  // The library's word: that scan with this action. False when no such scan waits.
  bool Outcome(uint32_t process, uint32_t burst, ScanAction action, ScanEntry* done);
  // A scan that has waited kWaitMs with no word (its sender ended), as typed; false when
  // none has. Call until false.
  bool Expire(uint32_t nowMs, ScanEntry* done);
  bool Waiting() const;

 private:
  struct Slot {
    bool used;
    uint32_t process, burst, sinceMs;
    ScanEntry entry;
  };
  bool Take(int slot, ScanAction action, ScanEntry* done);
  Slot slots_[kWaitingLimit] = {};
};

// The scan log's lines not yet written, in order, at most kHistoryLimit (beyond it the oldest
// is dropped). A line written in part keeps its rest, which is written first next time: a
// line never loses its end, and the next never joins it.
class LogQueue {
 public:
  void Push(const ScanEntry& entry);
  // Takes the oldest line out whole (for handing lines to the writer): false when none.
  bool Pop(ScanEntry* entry);
  int Count() const { return count_; }
  // Unwritten bytes from the front, whole lines and the rest of one begun, at most
  // `capacity`; returns their number.
  int Peek(char* text, int capacity) const;
  // `bytes` of what Peek gave were written.
  void Written(int bytes);
  void Clear() { count_ = 0; headWritten_ = 0; }

 private:
  const ScanEntry& At(int i) const { return entries_[(first_ + i) % kHistoryLimit]; }
  ScanEntry entries_[kHistoryLimit];
  int first_ = 0;
  int count_ = 0;
  int headWritten_ = 0;  // bytes of the first line written already
};

// A file opened to append to, for one pass of the log writer.
class AppendFile {
 public:
  enum Result { kDone, kBusy, kFailed };  // kBusy: another program holds it for now
  virtual ~AppendFile() = default;
  // Opens or creates the file at its end, shared for reading and writing.
  virtual Result Open(const char* path) = 0;
  virtual bool IsEmpty() = 0;
  // Appends; `written` says how much went in, also on failure.
  virtual Result Write(const char* text, int length, int* written) = 0;
  virtual void Close() = 0;
  // The system's words for the last failure.
  virtual const char* Reason() = 0;
};

// One pass of the log writer: opens the file, writes the header when it is new and the queue's
// lines, closes it. kDone when the queue is empty now.
AppendFile::Result WriteLogPass(LogQueue& queue, AppendFile& file, const char* path);

}  // namespace pellix
