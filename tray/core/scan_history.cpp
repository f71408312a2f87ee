#include "tray/core/scan_history.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <cstring>

namespace pellix {

namespace {

void CopyText(char (&to)[kHistoryTextSize], const char* from) {
  std::strncpy(to, from ? from : "", kHistoryTextSize - 1);
  to[kHistoryTextSize - 1] = '\0';
}

}  // namespace

const char* ScanActionText(ScanAction action) {
  switch (action) {
    case ScanAction::kTyped:
    case ScanAction::kLeftToLibrary: return "typed";
    case ScanAction::kLaunched: return "launched";
    case ScanAction::kClaimed: return "claimed by a window";
    case ScanAction::kFilteredOut: return "filtered to nothing";
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

std::string ListTime(const LocalTime& t) {
  char text[64];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return text;
}

std::string IsoTime(const LocalTime& t) {
  const int offset = t.offsetMinutes < 0 ? -t.offsetMinutes : t.offsetMinutes;
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year, t.month,
                t.day, t.hour, t.minute, t.second, t.offsetMinutes < 0 ? '-' : '+',
                offset / 60, offset % 60);
  return text;
}

void AppendCsvField(std::string& out, const char* field) {
  if (field == nullptr) field = "";
  const bool formula = std::strchr("=+-@\t\r", field[0]) != nullptr && field[0] != '\0';
  const bool quote = std::strpbrk(field, ",\"\r\n") != nullptr;
  if (quote) out += '"';
  if (formula) out += '\'';
  for (const char* p = field; *p; ++p) {
    if (*p == '"') out += '"';
    out += *p;
  }
  if (quote) out += '"';
}

std::string CsvLine(const ScanEntry& entry) {
  std::string line;
  AppendCsvField(line, IsoTime(entry.time).c_str());
  line += ',';
  AppendCsvField(line, entry.type);
  line += ',';
  AppendCsvField(line, entry.data);
  line += ',';
  AppendCsvField(line, ScanActionText(entry.action));
  line += "\r\n";
  return line;
}

std::string HistoryCsv(const ScanHistory& history, const std::vector<int>& newestIndexes) {
  std::string csv = kCsvHeader;
  if (newestIndexes.empty()) {
    for (int i = history.Count() - 1; i >= 0; --i) csv += CsvLine(history.Newest(i));
    return csv;
  }
  std::vector<int> indexes = newestIndexes;
  // Oldest first, whatever order the selection came in.
  std::sort(indexes.begin(), indexes.end(), std::greater<int>());
  for (int index : indexes) {
    if (index >= 0 && index < history.Count()) csv += CsvLine(history.Newest(index));
  }
  return csv;
}

bool OutcomeJoin::Offered(const ScanEntry& entry, ScanEntry* done) {
  const bool flushed = Expire(done);
  entry_ = entry;
  waiting_ = true;
  return flushed;
}

bool OutcomeJoin::Outcome(ScanAction action, const char* type, const LocalTime& now,
                          ScanEntry* done) {
  if (action == ScanAction::kFilteredOut) {
    *done = MakeScanEntry(now, type, "", action);
    return true;
  }
  if (!waiting_) return false;
  waiting_ = false;
  *done = entry_;
  done->action = action;
  return true;
}

bool OutcomeJoin::Expire(ScanEntry* done) {
  if (!waiting_) return false;
  waiting_ = false;
  *done = entry_;
  done->action = ScanAction::kTyped;
  return true;
}

bool RecordScan(ScanHistory& history, ScanLogSettings& log, AppendFile& file,
                const ScanEntry& entry, std::string* failure) {
  history.Add(entry);
  if (!log.on) return true;
  std::string reason;
  bool written = file.Open(log.path, &reason);
  if (written) {
    std::string text = file.IsEmpty() ? kCsvHeader : "";
    text += CsvLine(entry);
    written = file.Write(text, &reason);
    file.Close();
  }
  if (written) return true;
  log.on = 0;
  if (failure) {
    *failure = std::string("Pellix could not write the scan log:\r\n\r\n") + log.path +
               "\r\n\r\n" + reason + "\r\n\r\nLogging scans to a file is now off.";
  }
  return false;
}

}  // namespace pellix
