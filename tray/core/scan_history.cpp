#include "tray/core/scan_history.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace pellix {

namespace {

void CopyText(char (&to)[kHistoryTextSize], const char* from) {
  std::strncpy(to, from ? from : "", kHistoryTextSize - 1);
  to[kHistoryTextSize - 1] = '\0';
}

// A text written into a buffer of fixed size; what does not fit is cut.
struct TextOut {
  char* text;
  int capacity;
  int length = 0;
  void Put(char c) {
    if (length < capacity - 1) text[length++] = c;
    text[length] = '\0';
  }
};

bool SplitsCells(char c) {
  return c == ',' || c == ';' || c == '\t' || c == '\r' || c == '\n';
}

// Where a spreadsheet could begin a cell (the field's start, or after a character it may split
// at), does what follows read as a formula?
bool FormulaAt(const char* p) {
  while (*p == '"' || *p == ' ') ++p;
  return *p == '=' || *p == '+' || *p == '-' || *p == '@';
}

void AppendField(TextOut& out, const char* field) {
  out.Put('"');
  for (const char* p = field; *p; ++p) {
    if ((p == field || SplitsCells(p[-1])) && FormulaAt(p)) out.Put('\'');
    if (*p == '"') out.Put('"');
    out.Put(*p);
  }
  out.Put('"');
}

}  // namespace

const char* ScanActionText(ScanAction action) {
  switch (action) {
    case ScanAction::kTyped:
    case ScanAction::kLeftToLibrary: return "typed";
    case ScanAction::kLaunched: return "launched";
    case ScanAction::kClaimed: return "claimed by a window";
    case ScanAction::kFilteredOut: return "filtered to nothing";
    case ScanAction::kRefused: return "refused";
    case ScanAction::kTypedWithoutControls: return "typed without its control characters";
  }
  return "";
}

ScanEntry MakeScanEntry(const LocalTime& time, const char* type, const char* data,
                        ScanAction action) {
  ScanEntry entry;
  entry.time = time;
  CopyText(entry.type, type);
  CopyText(entry.data, data);
  entry.action = action;
  return entry;
}

void ScanHistory::Add(const ScanEntry& entry) {
  entries_[next_] = entry;
  next_ = (next_ + 1) % kHistoryLimit;
  if (count_ < kHistoryLimit) ++count_;
}

const ScanEntry& ScanHistory::Newest(int index) const {
  return entries_[(next_ - 1 - index + 2 * kHistoryLimit) % kHistoryLimit];
}

void ListTime(const LocalTime& t, char (&text)[kTimeTextSize]) {
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
}

void IsoTime(const LocalTime& t, char (&text)[kTimeTextSize]) {
  const int offset = t.offsetMinutes < 0 ? -t.offsetMinutes : t.offsetMinutes;
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month,
                t.day, t.hour, t.minute, t.second, t.offsetMinutes < 0 ? '-' : '+',
                offset / 60, offset % 60);
}

int CsvLine(const ScanEntry& entry, char separator, char (&line)[kCsvLineSize]) {
  TextOut out{line, kCsvLineSize};
  char time[kTimeTextSize];
  IsoTime(entry.time, time);
  const char* fields[] = {time, entry.type, entry.data, ScanActionText(entry.action)};
  for (int i = 0; i < 4; ++i) {
    if (i > 0) out.Put(separator);
    AppendField(out, fields[i]);
  }
  out.Put('\r');
  out.Put('\n');
  return out.length;
}

char* HistoryText(const ScanHistory& history, const int* newestIndexes, int count,
                  char separator, int* length) {
  const int lines = count > 0 ? count : history.Count();
  const int capacity = (lines + 1) * kCsvLineSize;
  char* text = new (std::nothrow) char[capacity];
  if (!text) return nullptr;
  const char* header = separator == '\t' ? kCellsHeader : kCsvHeader;
  int at = static_cast<int>(std::strlen(header));
  std::memcpy(text, header, static_cast<size_t>(at) + 1);
  char line[kCsvLineSize];
  for (int i = lines - 1; i >= 0; --i) {  // oldest first
    const int index = count > 0 ? newestIndexes[i] : i;
    if (index < 0 || index >= history.Count()) continue;
    const int n = CsvLine(history.Newest(index), separator, line);
    std::memcpy(text + at, line, static_cast<size_t>(n) + 1);
    at += n;
  }
  *length = at;
  return text;
}

bool OutcomeJoin::Offered(uint32_t process, uint32_t burst, const ScanEntry& entry,
                          uint32_t nowMs, ScanEntry* done) {
  int free = -1, oldest = 0;
  for (int i = 0; i < kWaitingLimit; ++i) {
    if (!slots_[i].used) {
      if (free < 0) free = i;
    } else if (nowMs - slots_[i].sinceMs > nowMs - slots_[oldest].sinceMs || !slots_[oldest].used) {
      oldest = i;
    }
  }
  const bool flushed = free < 0 && Take(oldest, ScanAction::kTyped, done);
  Slot& slot = slots_[free < 0 ? oldest : free];
  slot = {true, process, burst, nowMs, entry};
  return flushed;
}

bool OutcomeJoin::Outcome(uint32_t process, uint32_t burst, ScanAction action,
                          ScanEntry* done) {
  for (int i = 0; i < kWaitingLimit; ++i) {
    const Slot& s = slots_[i];
    if (s.used && s.process == process && s.burst == burst) return Take(i, action, done);
  }
  return false;
}

bool OutcomeJoin::Expire(uint32_t nowMs, ScanEntry* done) {
  for (int i = 0; i < kWaitingLimit; ++i) {
    if (slots_[i].used && nowMs - slots_[i].sinceMs >= kWaitMs)
      return Take(i, ScanAction::kTyped, done);
  }
  return false;
}

bool OutcomeJoin::Waiting() const {
  for (const Slot& s : slots_) {
    if (s.used) return true;
  }
  return false;
}

bool OutcomeJoin::Take(int slot, ScanAction action, ScanEntry* done) {
  slots_[slot].used = false;
  *done = slots_[slot].entry;
  done->action = action;
  return true;
}

void LogQueue::Push(const ScanEntry& entry) {
  if (count_ == kHistoryLimit) {  // the oldest line goes, even one begun: it stays whole
    first_ = (first_ + 1) % kHistoryLimit;
    --count_;
    headWritten_ = 0;
  }
  entries_[(first_ + count_) % kHistoryLimit] = entry;
  ++count_;
}

bool LogQueue::Pop(ScanEntry* entry) {
  if (count_ == 0) return false;
  *entry = At(0);
  first_ = (first_ + 1) % kHistoryLimit;
  --count_;
  headWritten_ = 0;
  return true;
}

int LogQueue::Peek(char* text, int capacity) const {
  int at = 0;
  char line[kCsvLineSize];
  for (int i = 0; i < count_; ++i) {
    const int skip = i == 0 ? headWritten_ : 0;
    const int n = CsvLine(At(i), ',', line) - skip;
    if (at + n > capacity) break;
    std::memcpy(text + at, line + skip, static_cast<size_t>(n));
    at += n;
  }
  return at;
}

void LogQueue::Written(int bytes) {
  char line[kCsvLineSize];
  while (count_ > 0 && bytes > 0) {
    const int rest = CsvLine(At(0), ',', line) - headWritten_;
    if (bytes < rest) {
      headWritten_ += bytes;
      return;
    }
    bytes -= rest;
    headWritten_ = 0;
    first_ = (first_ + 1) % kHistoryLimit;
    --count_;
  }
}

AppendFile::Result WriteLogPass(LogQueue& queue, AppendFile& file, const char* path) {
  AppendFile::Result result = file.Open(path);
  if (result != AppendFile::kDone) return result;
  static char batch[64 * kCsvLineSize];  // the writer's thread only
  // A new file's header goes in front of its first lines.
  int header = file.IsEmpty() ? static_cast<int>(std::strlen(kCsvHeader)) : 0;
  std::memcpy(batch, kCsvHeader, static_cast<size_t>(header));
  while (result == AppendFile::kDone && queue.Count() > 0) {
    const int length =
        header + queue.Peek(batch + header, static_cast<int>(sizeof batch) - header);
    int written = 0;
    result = file.Write(batch, length, &written);
    if (written < header) break;  // not even the header: nothing of the queue went in
    queue.Written(written - header);
    header = 0;
  }
  file.Close();
  return result;
}

}  // namespace pellix
