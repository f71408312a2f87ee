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
  kRepeatIgnored,  // a repeat within the set time: nothing done but a beep
  kTypedWithoutControls,
  kKeysRefused,  // told after the typing: the system refused the keys, the typing stopped
};
// "typed", "launched", "claimed by a window", "filtered to nothing", "refused", "repeat
// ignored", "typed without its control characters", "not typed: the system refused its
// keys"; a scan left to the library counts as
// typed until the library says otherwise.
const char* ScanActionText(ScanAction action);

// A local wall-clock time and its offset from UTC, east positive.
struct LocalTime {
  int year, month, day, hour, minute, second;
  int offsetMinutes;
};

constexpr int kHistoryLimit = 1000;
constexpr int kHistoryTextSize = 256;  // the fields of a scan, as offered
constexpr int kHistoryProgramSize = 64;

struct ScanEntry {
  LocalTime time;
  char type[kHistoryTextSize];
  char data[kHistoryTextSize];  // as delivered: after the fix-ups and the filter
  ScanAction action;
  bool repeat;  // its type and data match an earlier scan of this run
  // The file name of the program the scan went to, in the system's code page as the other
  // texts; empty where it is not known (the driver path, another sender's KV_CC_MSG).
  char program[kHistoryProgramSize];
};
// An entry with its texts cut to their size; null texts are empty.
ScanEntry MakeScanEntry(const LocalTime& time, const char* type, const char* data,
                        ScanAction action, const char* program = nullptr);

constexpr int kActionTextSize = 48;
// The action as the list, the CSV and the log show it, with " (repeat)" after a repeat that
// was not ignored: "typed (repeat)".
void EntryActionText(const ScanEntry& entry, char (&text)[kActionTextSize]);

// The scans of this run by type and data, to tell a repeat: main thread only. Kept as 64-bit
// hashes of the texts (a false match is one in 2^64 per pair); Clear starts afresh.
class SeenScans {
 public:
  // True when the type and data were seen before; they are remembered from now on.
  bool Check(const char* type, const char* data);
  void Clear();

 private:
  static constexpr int kSlots = 1 << 15;  // beyond 3/4 full, new scans are not remembered
  uint64_t slots_[kSlots] = {};
  int used_ = 0;
};

// Whether a scan repeats one within the last `windowMs`: the last few scans' texts and
// times, on the thread that handles scans.
class RepeatGate {
 public:
  // True when the type and data match a scan of the last `windowMs` (0: never); the scan is
  // remembered either way, ignored or not.
  bool Ignore(const char* type, const char* data, uint32_t nowMs, uint32_t windowMs);

 private:
  static constexpr int kRecent = 16;
  struct Recent {
    uint64_t key;
    uint32_t atMs;
    bool used;
  };
  Recent recent_[kRecent] = {};
  int next_ = 0;
};

// The beep of an ignored repeat: one the user's own beep is not (MessageBeep's types).
int32_t RepeatBeepType(int32_t beepType);
// "Ignore a repeat within N seconds": N as shown ("0.5", "2") and as typed, "0,5" too; at most
// three decimals. Read gives 0 for a text that is no number; the result is clamped to
// kIgnoreRepeatMaxMs.
void RepeatSecondsText(uint32_t ms, char (&text)[16]);
uint32_t ReadRepeatSeconds(const char* text);

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
constexpr char kCsvHeader[] = "Time,Type,Data,Action,Program\r\n";
constexpr char kCellsHeader[] = "Time\tType\tData\tAction\tProgram\r\n";
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

// The scan log's lines not yet written, in order, at most kHistoryLimit (beyond it Push drops
// the oldest and counts it; the writer's own queue never comes to that, see ScanLogWriter). A
// line written in part keeps its rest, which is written first next time: a line never loses
// its end, and the next never joins it.
class LogQueue {
 public:
  void Push(const ScanEntry& entry);
  // Takes the oldest line out whole (for handing lines to the writer): false when none.
  bool Pop(ScanEntry* entry);
  int Count() const { return count_; }
  // Unwritten bytes from the front, whole lines and the rest of one begun, at most
  // `capacity`; returns their number.
  int Peek(char* text, int capacity) const;
  // The oldest line's unwritten bytes (the rest of one begun): their number, 0 when none.
  int Front(char (&line)[kCsvLineSize]) const;
  // `bytes` of what Peek gave were written.
  void Written(int bytes);
  // Lines Push dropped since the last call.
  int TakeDropped();
  void Clear() { count_ = 0; headWritten_ = 0; }

 private:
  const ScanEntry& At(int i) const { return entries_[(first_ + i) % kHistoryLimit]; }
  ScanEntry entries_[kHistoryLimit];
  int first_ = 0;
  int count_ = 0;
  int headWritten_ = 0;  // bytes of the first line written already
  int dropped_ = 0;
};

// A file opened to append to, for one pass of the log writer.
class AppendFile {
 public:
  enum Result { kDone, kBusy, kFailed };  // kBusy: another program holds it for now
  virtual ~AppendFile() = default;
  // Opens or creates the file at its end, shared for reading and writing.
  virtual Result Open(const char* path) = 0;
  // The open file's size in bytes.
  virtual int Size() = 0;
  // The open file's first bytes, at most `capacity`: their number, -1 when unreadable.
  virtual int ReadStart(char* text, int capacity) = 0;
  // Appends; `written` says how much went in, also on failure.
  virtual Result Write(const char* text, int length, int* written) = 0;
  virtual void Close() = 0;
  // The system's words for the last failure.
  virtual const char* Reason() = 0;
};

// The scans the log could not take yet, kept in a file of the program's own: the bytes the
// log still owes, in order, ahead of every line still queued. Written to the log at the
// next pass, also at the next start.
class UnwrittenScansFile {
 public:
  virtual ~UnwrittenScansFile() = default;
  // Its size; 0 when there is none.
  virtual int Size() = 0;
  // Appends all of `text`, or nothing.
  virtual bool Append(const char* text, int length) = 0;
  // Bytes from `offset`, at most `capacity`: their number, -1 when unreadable.
  virtual int Read(int offset, char* text, int capacity) = 0;
  // The first `bytes` went into the log: they leave the file (all of them: the file goes).
  virtual bool Drop(int bytes) = 0;
};

// The log writer's state, on its own thread: the queue of lines, the unwritten-scans file
// ahead of it, and the log. The header goes into an empty log first; a header cut short (by
// this run or one before) is finished before anything else. A line begun is finished before
// any other. When the queue is full, its oldest line goes to the unwritten-scans file, and at
// the end everything still queued does.
class ScanLogWriter {
 public:
  ScanLogWriter(AppendFile& log, UnwrittenScansFile& unwritten)
      : log_(log), unwritten_(unwritten) {}
  // A line to write.
  void Take(const ScanEntry& entry);
  // Lines waiting, here or in the unwritten-scans file.
  bool Waiting() { return queue_.Count() > 0 || unwritten_.Size() > 0; }
  // One pass: opens the log, writes what it owes, closes it. kDone when nothing waits now.
  AppendFile::Result Pass(const char* path);
  // At the end: every line still queued goes to the unwritten-scans file.
  void KeepAll();
  // Lines that could be neither written nor kept, since the last call.
  int TakeLost();

 private:
  bool KeepFront();
  AppendFile& log_;
  UnwrittenScansFile& unwritten_;
  LogQueue queue_;
  int lost_ = 0;
};

}  // namespace pellix
