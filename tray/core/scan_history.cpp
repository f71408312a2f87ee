#include "tray/core/scan_history.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace pellix {

namespace {

template <size_t N>
void CopyText(char (&to)[N], const char* from) {
  std::strncpy(to, from ? from : "", N - 1);
  to[N - 1] = '\0';
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
    case ScanAction::kRepeatIgnored: return "repeat ignored";
    case ScanAction::kTypedWithoutControls: return "typed without its control characters";
    case ScanAction::kKeysRefused: return "not typed: the system refused its keys";
  }
  return "";
}

void EntryActionText(const ScanEntry& entry, char (&text)[kActionTextSize]) {
  std::snprintf(text, sizeof text, "%s%s", ScanActionText(entry.action),
                entry.repeat && entry.action != ScanAction::kRepeatIgnored ? " (repeat)" : "");
}

namespace {

// FNV-1a over the type, a separator no text holds, and the data; never 0 (an empty slot).
uint64_t ScanKey(const char* type, const char* data) {
  uint64_t h = 14695981039346656037ull;
  const auto mix = [&h](const char* p) {
    for (; *p; ++p) h = (h ^ static_cast<unsigned char>(*p)) * 1099511628211ull;
  };
  mix(type ? type : "");
  h = (h ^ 0x100) * 1099511628211ull;
  mix(data ? data : "");
  return h ? h : 1;
}

}  // namespace

bool SeenScans::Check(const char* type, const char* data) {
  const uint64_t key = ScanKey(type, data);
  for (int i = static_cast<int>(key % kSlots);; i = (i + 1) % kSlots) {
    if (slots_[i] == key) return true;
    if (slots_[i] == 0) {
      if (used_ < kSlots / 4 * 3) {
        slots_[i] = key;
        ++used_;
      }
      return false;
    }
  }
}

void SeenScans::Clear() {
  for (uint64_t& slot : slots_) slot = 0;
  used_ = 0;
}

int32_t RepeatBeepType(int32_t beepType) {
  constexpr int32_t kHand = 0x10, kExclamation = 0x30;  // MB_ICONHAND, MB_ICONEXCLAMATION
  return beepType == kHand ? kExclamation : kHand;
}

void RepeatSecondsText(uint32_t ms, char (&text)[16]) {
  int n = std::snprintf(text, sizeof text, "%u.%03u", ms / 1000, ms % 1000);
  while (n > 0 && text[n - 1] == '0') text[--n] = '\0';
  if (n > 0 && text[n - 1] == '.') text[--n] = '\0';
}

uint32_t ReadRepeatSeconds(const char* text) {
  uint32_t ms = 0, place = 1000;  // what a digit is worth now; a tenth of it after the point
  bool point = false, digits = false;
  const char* p = text;
  while (*p == ' ') ++p;
  for (; *p && *p != ' '; ++p) {
    if ((*p == '.' || *p == ',') && !point) {
      point = true;
    } else if (*p >= '0' && *p <= '9') {
      digits = true;
      const uint32_t d = static_cast<uint32_t>(*p - '0');
      if (!point) ms = ms > kIgnoreRepeatMaxMs ? ms : ms * 10 + d * 1000;
      else if ((place /= 10) > 0) ms += d * place;
    } else {
      return 0;
    }
  }
  while (*p == ' ') ++p;
  if (*p || !digits) return 0;
  return ms > kIgnoreRepeatMaxMs ? kIgnoreRepeatMaxMs : ms;
}

bool RepeatGate::Ignore(const char* type, const char* data, uint32_t nowMs, uint32_t windowMs) {
  const uint64_t key = ScanKey(type, data);
  bool repeat = false;
  for (const Recent& r : recent_) {
    if (r.used && r.key == key && nowMs - r.atMs <= windowMs && windowMs > 0) repeat = true;
  }
  recent_[next_] = {key, nowMs, true};
  next_ = (next_ + 1) % kRecent;
  return repeat;
}

ScanEntry MakeScanEntry(const LocalTime& time, const char* type, const char* data,
                        ScanAction action, const char* program) {
  ScanEntry entry;
  entry.time = time;
  CopyText(entry.type, type);
  CopyText(entry.data, data);
  CopyText(entry.program, program);
  entry.action = action;
  entry.repeat = false;
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
  char action[kActionTextSize];
  EntryActionText(entry, action);
  const char* fields[] = {time, entry.type, entry.data, action, entry.program};
  for (int i = 0; i < 5; ++i) {
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
  if (count_ == kHistoryLimit) {
    // The oldest whole line goes: a line begun keeps its place, or the next would join it.
    if (headWritten_ > 0 && count_ > 1) entries_[(first_ + 1) % kHistoryLimit] = At(0);
    else headWritten_ = 0;
    first_ = (first_ + 1) % kHistoryLimit;
    --count_;
    ++dropped_;
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

int LogQueue::Front(char (&line)[kCsvLineSize]) const {
  if (count_ == 0) return 0;
  const int n = CsvLine(At(0), ',', line) - headWritten_;
  std::memmove(line, line + headWritten_, static_cast<size_t>(n));
  return n;
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

int LogQueue::TakeDropped() {
  const int n = dropped_;
  dropped_ = 0;
  return n;
}

namespace {
char g_batch[64 * kCsvLineSize];  // the writer's thread only
constexpr int kHeaderLength = sizeof kCsvHeader - 1;
}  // namespace

void ScanLogWriter::Take(const ScanEntry& entry) {
  // Full: the oldest line is kept in the file of unwritten scans; only when that cannot be
  // written does Push drop one, counted.
  if (queue_.Count() == kHistoryLimit) {
    char line[kCsvLineSize];
    const int n = queue_.Front(line);
    ScanEntry oldest;
    if (n > 0 && unwritten_.Append(line, n)) queue_.Pop(&oldest);
  }
  queue_.Push(entry);
}

AppendFile::Result ScanLogWriter::Pass(const char* path) {
  if (!Waiting()) return AppendFile::kDone;
  AppendFile::Result result = log_.Open(path);
  if (result != AppendFile::kDone) return result;
  // The header is owed whole by an empty file, and its rest by a file that holds only its
  // beginning (a write cut short, in this run or an earlier one).
  const int size = log_.Size();
  int owed = size == 0 ? kHeaderLength : 0;
  if (size > 0 && size < kHeaderLength && log_.ReadStart(g_batch, size) == size &&
      std::memcmp(g_batch, kCsvHeader, static_cast<size_t>(size)) == 0)
    owed = kHeaderLength - size;
  int written = 0;
  if (owed > 0) result = log_.Write(kCsvHeader + kHeaderLength - owed, owed, &written);
  // The unwritten scans come before every line queued; what of them went in leaves their file.
  int taken = 0;
  while (result == AppendFile::kDone) {
    const int n = unwritten_.Read(taken, g_batch, static_cast<int>(sizeof g_batch));
    if (n <= 0) {
      if (n < 0) result = AppendFile::kFailed;
      break;
    }
    result = log_.Write(g_batch, n, &written);
    taken += written;
  }
  if (taken > 0 && !unwritten_.Drop(taken)) result = AppendFile::kFailed;
  while (result == AppendFile::kDone && queue_.Count() > 0) {
    const int length = queue_.Peek(g_batch, static_cast<int>(sizeof g_batch));
    result = log_.Write(g_batch, length, &written);
    queue_.Written(written);
  }
  log_.Close();
  return result;
}

void ScanLogWriter::KeepAll() {
  while (queue_.Count() > 0) {
    const int n = queue_.Peek(g_batch, static_cast<int>(sizeof g_batch));
    if (!unwritten_.Append(g_batch, n)) break;
    queue_.Written(n);
  }
  lost_ += queue_.Count();
  queue_.Clear();
}

int ScanLogWriter::TakeLost() {
  const int n = lost_ + queue_.TakeDropped();
  lost_ = 0;
  return n;
}

}  // namespace pellix
