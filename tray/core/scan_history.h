// The scans of this run as the History page lists them (newest first, at most 1,000), their
// CSV form for the clipboard, a saved file and the scan log, and the scan log itself. The
// wand's serial is never kept: it identifies the wand's owner.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tray/core/settings_store.h"

namespace pellix {

// What became of a scan. kLeftToLibrary: the tray program passed it on to the hook library,
// which says afterwards what became of it.
enum class ScanAction : uint8_t { kTyped, kLaunched, kClaimed, kFilteredOut, kLeftToLibrary };
// "typed", "launched", "claimed by a window", "filtered to nothing"; a scan left to the
// library counts as typed until the library says otherwise.
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
  ScanHistory() : entries_(kHistoryLimit) {}
  // At the limit the oldest scan leaves.
  void Add(const ScanEntry& entry);
  void Clear() { count_ = 0; }
  int Count() const { return count_; }
  // 0 is the newest.
  const ScanEntry& Newest(int index) const;

 private:
  std::vector<ScanEntry> entries_;
  int next_ = 0;   // slot of the next scan
  int count_ = 0;
};

// "17:03:05", as the list shows it: the page is narrow, and the date and offset are in every
// CSV line.
std::string ListTime(const LocalTime& time);
// ISO 8601 with the offset: "2026-12-08T17:03:05+01:00".
std::string IsoTime(const LocalTime& time);

// RFC 4180: a field holding a comma, a quote, CR or LF is quoted, its quotes doubled. A field
// that a spreadsheet would take for a formula (it starts with "=", "+", "-", "@", a tab or
// CR) gets an apostrophe in front, which spreadsheets show as text and do not run.
void AppendCsvField(std::string& out, const char* field);
constexpr char kCsvHeader[] = "Time,Type,Data,Action\r\n";
// One scan as a CSV line ending in CR LF.
std::string CsvLine(const ScanEntry& entry);
// The header and the given scans (indexes as for Newest), oldest first; every scan when
// `newestIndexes` is empty.
std::string HistoryCsv(const ScanHistory& history, const std::vector<int>& newestIndexes);

// Joins a scan the tray program left to the hook library with the library's word on it
// ("KV_CC_DONE"), which comes right after the offer and before any key is typed. One scan
// waits at a time: scans come one after another.
class OutcomeJoin {
 public:
  // A scan left to the library. An earlier one still waiting goes out as typed, in `done`.
  bool Offered(const ScanEntry& entry, ScanEntry* done);
  // The library's word: the waiting scan with this action; a scan filtered to nothing was
  // never offered, so it becomes a scan of its own, stamped `now`. False when there is
  // nothing to record (a word without a waiting scan, from a delivery that outlived its
  // offer).
  bool Outcome(ScanAction action, const char* type, const LocalTime& now, ScanEntry* done);
  // No word came in time (a library that does not report): the waiting scan as typed.
  bool Expire(ScanEntry* done);

 private:
  bool waiting_ = false;
  ScanEntry entry_ = {};
};

// A file opened to append to, written and closed per scan so that a killed program loses
// nothing.
class AppendFile {
 public:
  virtual ~AppendFile() = default;
  // Opens or creates the file at its end, shared for reading and writing; on failure the
  // system's reason is in `reason`.
  virtual bool Open(const char* path, std::string* reason) = 0;
  virtual bool IsEmpty() = 0;
  virtual bool Write(const std::string& text, std::string* reason) = 0;
  virtual void Close() = 0;
};

// Records the scan in the history and, when logging is on, appends its line to the log
// (the header first when the file is new). A log that cannot be written turns logging off
// and returns false with the message for the user in `failure`.
bool RecordScan(ScanHistory& history, ScanLogSettings& log, AppendFile& file,
                const ScanEntry& entry, std::string* failure);

}  // namespace pellix
