// The history's bound and order, its CSV form byte for byte, the outcome join, and the scan
// log's writing over an in-memory file that can be made to fail as a real one does.
#include "tray/core/scan_history.h"
#include "tray/core/spreadsheet.h"

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <string>
#include <vector>

namespace pellix {
namespace {

const LocalTime kNoon = {2026, 12, 8, 12, 0, 5, 60};

ScanEntry Entry(int n, ScanAction action = ScanAction::kTyped) {
  return MakeScanEntry(kNoon, "UPA", std::to_string(n).c_str(), action);
}

std::string Line(const ScanEntry& e, char separator = ',') {
  char line[kCsvLineSize];
  const int n = CsvLine(e, separator, line);
  return std::string(line, static_cast<size_t>(n));
}

TEST(CsvTest, EveryFieldIsQuotedAndEveryCellASpreadsheetCouldFindIsGuarded) {
  struct Case {
    const char* data;
    const char* cell;
  } cases[] = {
      {"0262033844", "\"0262033844\""},
      {"", "\"\""},
      {"a,b", "\"a,b\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\r\nlines", "\"two\r\nlines\""},
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
      {"+1", "\"'+1\""},
      {"-5", "\"'-5\""},
      {"@SUM(A1)", "\"'@SUM(A1)\""},
      {"LIB-7Q2X", "\"LIB-7Q2X\""},
      {"'quoted'", "\"'quoted'\""},
      // A cell that splitting at ";", ",", Tab or a line break would begin.
      {"1;=1+1;", "\"1;'=1+1;\""},
      {"1,@x", "\"1,'@x\""},
      {"a\t-2", "\"a\t'-2\""},
      {"a\n+3", "\"a\n'+3\""},
      {"x;\"=1", "\"x;'\"\"=1\""},
      {"x; =1", "\"x;' =1\""},
      {"x=1;y+2", "\"x=1;y+2\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Line(MakeScanEntry(kNoon, "C39", c.data, ScanAction::kTyped)),
              std::string("\"2026-12-08T12:00:05+01:00\",\"C39\",") + c.cell + ",\"typed\",\"\"\r\n")
        << c.data;
  }
}

TEST(CsvTest, ALineHasTheIsoTimeWithItsOffsetAndEndsInCrLf) {
  LocalTime west = {2027, 1, 2, 3, 4, 5, -(3 * 60 + 30)};
  EXPECT_EQ(Line(MakeScanEntry(west, "C39", "A,B", ScanAction::kClaimed), '\t'),
            "\"2027-01-02T03:04:05-03:30\"\t\"C39\"\t\"A,B\"\t\"claimed by a window\"\t\"\"\r\n");
  EXPECT_EQ(Line(MakeScanEntry(kNoon, "IB5", "", ScanAction::kRefused, "mstsc.exe")),
            "\"2026-12-08T12:00:05+01:00\",\"IB5\",\"\",\"refused\",\"mstsc.exe\"\r\n");
  EXPECT_EQ(Line(MakeScanEntry(kNoon, "128", "AB", ScanAction::kTypedWithoutControls, "")),
            "\"2026-12-08T12:00:05+01:00\",\"128\",\"AB\",\"typed without its control "
            "characters\",\"\"\r\n");
  EXPECT_EQ(Line(MakeScanEntry(kNoon, "UPA", "0123", ScanAction::kKeysRefused, "setup.exe")),
            "\"2026-12-08T12:00:05+01:00\",\"UPA\",\"0123\",\"not typed: the system refused "
            "its keys\",\"setup.exe\"\r\n");
  // The program's name is a field like the others: quoted, and guarded where a spreadsheet
  // could take it for a formula.
  EXPECT_EQ(Line(MakeScanEntry(kNoon, "128", "AB", ScanAction::kTyped, "=a\"b.exe")),
            "\"2026-12-08T12:00:05+01:00\",\"128\",\"AB\",\"typed\",\"'=a\"\"b.exe\"\r\n");
  char time[kTimeTextSize];
  ListTime(west, time);
  EXPECT_STREQ(time, "03:04:05");
  const std::string longest(kHistoryTextSize - 1, '"'), program(kHistoryProgramSize - 1, '"');
  EXPECT_EQ(Line(MakeScanEntry(kNoon, longest.c_str(), longest.c_str(), ScanAction::kTyped,
                               program.c_str())).size(),
            27u + 2 * (2 + 2 * longest.size()) + 7 + 3 + (2 + 2 * program.size() + 1) + 2);
}

TEST(HistoryTest, KeepsTheNewestThousandNewestFirst) {
  ScanHistory history;
  for (int i = 0; i < kHistoryLimit + 5; ++i) history.Add(Entry(i));
  ASSERT_EQ(history.Count(), kHistoryLimit);
  EXPECT_STREQ(history.Newest(0).data, "1004");
  EXPECT_STREQ(history.Newest(kHistoryLimit - 1).data, "5");
  history.Clear();
  EXPECT_EQ(history.Count(), 0);
  history.Add(Entry(7));
  EXPECT_EQ(history.Count(), 1);
  EXPECT_STREQ(history.Newest(0).data, "7");
}

TEST(HistoryTest, LongTextsAreCutAndNeverOverrun) {
  const std::string longText(600, 'x');
  const ScanEntry e = MakeScanEntry(kNoon, longText.c_str(), nullptr, ScanAction::kTyped,
                                    longText.c_str());
  EXPECT_EQ(std::string(e.type), std::string(kHistoryTextSize - 1, 'x'));
  EXPECT_STREQ(e.data, "");
  EXPECT_EQ(std::string(e.program), std::string(kHistoryProgramSize - 1, 'x'));
}

std::string Text(const ScanHistory& history, std::vector<int> rows, char separator = ',') {
  int length = 0;
  char* text = HistoryText(history, rows.data(), static_cast<int>(rows.size()), separator, &length);
  const std::string out(text, static_cast<size_t>(length));
  delete[] text;
  return out;
}

TEST(HistoryTest, TextOfAllOrOfASelectionIsOldestFirstUnderOneHeader) {
  ScanHistory history;
  for (int i = 1; i <= 3; ++i) history.Add(Entry(i, i == 2 ? ScanAction::kLaunched : ScanAction::kTyped));
  const std::string row1 = Line(history.Newest(2)), row2 = Line(history.Newest(1)),
                    row3 = Line(history.Newest(0));
  EXPECT_EQ(Text(history, {}), kCsvHeader + row1 + row2 + row3);
  EXPECT_EQ(Text(history, {0, 2}), kCsvHeader + row1 + row3);  // newest 0 is scan 3
  EXPECT_EQ(Text(history, {5}), kCsvHeader);                    // gone meanwhile
  EXPECT_EQ(Text(history, {1}, '\t'), kCellsHeader + Line(history.Newest(1), '\t'));
}

TEST(OutcomeJoinTest, EachWordCompletesItsOwnScanInWhateverOrder) {
  OutcomeJoin join;
  ScanEntry done;
  EXPECT_FALSE(join.Offered(7, 1, Entry(1, ScanAction::kLeftToLibrary), 0, &done));
  EXPECT_FALSE(join.Offered(7, 2, Entry(2, ScanAction::kLeftToLibrary), 10, &done));
  EXPECT_FALSE(join.Offered(9, 1, Entry(3, ScanAction::kLeftToLibrary), 20, &done));
  std::vector<std::string> got;
  const auto take = [&](bool ok) { got.push_back(ok ? Line(done) : "none"); };
  take(join.Outcome(7, 2, ScanAction::kClaimed, &done));
  take(join.Outcome(9, 1, ScanAction::kFilteredOut, &done));
  take(join.Outcome(9, 1, ScanAction::kTyped, &done));  // told already
  take(join.Expire(OutcomeJoin::kWaitMs - 1, &done));
  take(join.Expire(OutcomeJoin::kWaitMs, &done));  // no word: typed
  EXPECT_FALSE(join.Waiting());
  EXPECT_EQ(got, (std::vector<std::string>{Line(Entry(2, ScanAction::kClaimed)),
                                           Line(Entry(3, ScanAction::kFilteredOut)), "none", "none",
                                           Line(Entry(1, ScanAction::kTyped))}));
  // Every place taken: the scan that waited longest goes out as typed.
  for (uint32_t i = 0; i < OutcomeJoin::kWaitingLimit; ++i)
    EXPECT_FALSE(join.Offered(1, i, Entry(static_cast<int>(i), ScanAction::kLeftToLibrary), 100 + i, &done));
  ASSERT_TRUE(join.Offered(1, 99, Entry(99, ScanAction::kLeftToLibrary), 200, &done));
  EXPECT_EQ(Line(done), Line(Entry(0)));
}

// The log in memory. Open answers `open`; a write that would take the file past `failAt`
// bytes writes up to there and fails, once.
class MemoryFile : public AppendFile {
 public:
  Result Open(const char*) override { return open; }
  int Size() override { return static_cast<int>(bytes.size()); }
  int ReadStart(char* text, int capacity) override {
    const int n = std::min(capacity, Size());
    std::memcpy(text, bytes.data(), static_cast<size_t>(n));
    return n;
  }
  Result Write(const char* text, int length, int* written) override {
    *written = length;
    if (failAt >= 0 && Size() + length > failAt) {
      *written = std::max(0, failAt - Size());
      failAt = -1;
    }
    bytes.append(text, static_cast<size_t>(*written));
    return *written == length ? kDone : kFailed;
  }
  void Close() override {}
  const char* Reason() override { return "held"; }
  std::string bytes;
  Result open = kDone;
  int failAt = -1;
};

// The unwritten scans' file in memory; `broken` refuses every append.
class MemoryUnwritten : public UnwrittenScansFile {
 public:
  int Size() override { return static_cast<int>(bytes.size()); }
  bool Append(const char* text, int length) override {
    if (!broken) bytes.append(text, static_cast<size_t>(length));
    return !broken;
  }
  int Read(int offset, char* text, int capacity) override {
    const int n = std::max(0, std::min(capacity, Size() - offset));
    std::memcpy(text, bytes.data() + offset, static_cast<size_t>(n));
    return n;
  }
  bool Drop(int n) override {
    bytes.erase(0, static_cast<size_t>(n));
    return true;
  }
  std::string bytes;
  bool broken = false;
};

std::string Lines(int from, int to) {
  std::string text;
  for (int i = from; i <= to; ++i) text += Line(Entry(i));
  return text;
}

TEST(ScanLogTest, AFaultAtAnyByteOfAnyPassLeavesEveryLineWholeOnceInOrder) {
  const std::string all = kCsvHeader + Lines(1, 4);
  const int firstPass = static_cast<int>((kCsvHeader + Lines(1, 3)).size());
  // First pass (the header and lines 1 to 3) stops at byte k1; the program ends, keeping what
  // is unwritten, and starts again; its pass (the rest and line 4) stops at byte k2; the next
  // pass finishes. k1 or k2 past the end: no fault in that pass.
  for (int k1 = 0; k1 <= firstPass; ++k1) {
    for (int k2 = k1; k2 <= static_cast<int>(all.size()); ++k2) {
      MemoryFile log;
      MemoryUnwritten unwritten;
      {
        ScanLogWriter writer(log, unwritten);
        for (int i = 1; i <= 3; ++i) writer.Take(Entry(i));
        log.failAt = k1;
        writer.Pass("C:\\s.csv");
        writer.KeepAll();
        ASSERT_EQ(writer.TakeLost(), 0);
      }
      ScanLogWriter writer(log, unwritten);
      writer.Take(Entry(4));
      log.failAt = k2;
      const AppendFile::Result second = writer.Pass("C:\\s.csv");
      ASSERT_EQ(second == AppendFile::kDone, k2 == static_cast<int>(all.size()))
          << k1 << " " << k2;
      ASSERT_EQ(writer.Pass("C:\\s.csv"), AppendFile::kDone);
      ASSERT_EQ(log.bytes, all) << "faults at bytes " << k1 << " and " << k2;
      ASSERT_EQ(unwritten.bytes, "");
      ASSERT_FALSE(writer.Waiting());
    }
  }
}

TEST(ScanLogTest, AHeldLogGetsNothingAndAFullQueueKeepsItsOldestLinesInTheUnwrittenFile) {
  MemoryFile log;
  MemoryUnwritten unwritten;
  ScanLogWriter writer(log, unwritten);
  writer.Take(Entry(0));
  log.open = AppendFile::kBusy;  // held by another program: nothing written
  EXPECT_EQ(writer.Pass("C:\\s.csv"), AppendFile::kBusy);
  EXPECT_EQ(log.bytes, "");
  log.open = AppendFile::kDone;
  for (int i = 1; i < kHistoryLimit; ++i) writer.Take(Entry(i));
  // Line 0 is begun when the log fails; five more lines: line 0's rest and lines 1 to 4 are
  // kept, in order, ahead of the queue.
  const int cut = static_cast<int>(std::strlen(kCsvHeader)) + 9;
  log.failAt = cut;
  EXPECT_EQ(writer.Pass("C:\\s.csv"), AppendFile::kFailed);
  for (int i = kHistoryLimit; i < kHistoryLimit + 5; ++i) writer.Take(Entry(i));
  EXPECT_EQ(unwritten.bytes, Line(Entry(0)).substr(9) + Lines(1, 4));
  // Those go first; line 5 is begun when the log fails again. With no room in that file
  // either, the oldest whole lines after line 5 go, counted.
  log.failAt = static_cast<int>(log.bytes.size() + unwritten.bytes.size()) + 9;
  EXPECT_EQ(writer.Pass("C:\\s.csv"), AppendFile::kFailed);
  EXPECT_EQ(unwritten.bytes, "");
  unwritten.broken = true;
  writer.Take(Entry(kHistoryLimit + 5));
  writer.Take(Entry(kHistoryLimit + 6));
  EXPECT_EQ(writer.TakeLost(), 2);
  unwritten.broken = false;
  EXPECT_EQ(writer.Pass("C:\\s.csv"), AppendFile::kDone);
  EXPECT_EQ(log.bytes, kCsvHeader + Lines(0, 5) + Lines(8, kHistoryLimit + 6));
  // A log that holds something else than a header's beginning gets no header.
  MemoryFile other;
  other.bytes = "x\r\n";
  ScanLogWriter second(other, unwritten);
  second.Take(Entry(1));
  EXPECT_EQ(second.Pass("C:\\t.csv"), AppendFile::kDone);
  EXPECT_EQ(other.bytes, "x\r\n" + Line(Entry(1)));
}

void SameText(const char* text, char* out, int capacity) {
  std::snprintf(out, static_cast<size_t>(capacity), "%s", text);
}

// The scans a cataloguer's spreadsheet must keep digit for digit, and texts that must stay
// text.
ScanHistory Catalogue() {
  ScanHistory history;
  const char* rows[][2] = {{"IB5", "0262033844"}, {"E13", "9780262033848"},
                           {"128", "12345678901234567890"}, {"C39", "=1+1 & <b>\"_x\x01"}};
  const char* programs[] = {"mstsc.exe", "", "EXCEL.EXE", "a<b>.exe"};
  for (int i = 0; i < 4; ++i)
    history.Add(MakeScanEntry(kNoon, rows[i][0], rows[i][1], ScanAction::kTyped, programs[i]));
  return history;
}
const char kCatalogueCells[] =
    "Time|Type|Data|Action|Program|"
    "2026-12-08T12:00:05+01:00|IB5|0262033844|typed|mstsc.exe|"
    "2026-12-08T12:00:05+01:00|E13|9780262033848|typed||"
    "2026-12-08T12:00:05+01:00|128|12345678901234567890|typed|EXCEL.EXE|"
    "2026-12-08T12:00:05+01:00|C39|=1+1 &amp; &lt;b&gt;&quot;_x005F_x_x0001_|typed|a&lt;b&gt;.exe|";

// The texts between `open` and `close`, each followed by "|".
std::string Cells(const std::string& text, const std::string& open, const std::string& close) {
  std::string cells;
  for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    at += open.size();
    const size_t end = text.find(close, at);
    cells += text.substr(at, end - at) + "|";
  }
  return cells;
}

TEST(SpreadsheetTest, TheClipboardsHtmlHasItsOffsetsAndEveryCellAsText) {
  Bytes out;
  const ScanHistory history = Catalogue();
  HtmlClipboardText(history, nullptr, 0, &SameText, out);
  ASSERT_TRUE(out.Ok());
  const std::string html(out.Data(), static_cast<size_t>(out.Length()));
  const auto offset = [&](const char* name) {
    return std::atoi(html.c_str() + html.find(name) + std::strlen(name));
  };
  EXPECT_EQ(html.substr(static_cast<size_t>(offset("StartHTML:")), 6), "<html>");
  EXPECT_EQ(offset("EndHTML:"), out.Length());
  const int from = offset("StartFragment:"), to = offset("EndFragment:");
  EXPECT_EQ(html.substr(static_cast<size_t>(from), 7), "<table>");
  EXPECT_EQ(html.substr(static_cast<size_t>(to), 18), "<!--EndFragment-->");
  EXPECT_EQ(Cells(html, "<td sdnum=\"1033;0;@\" style=\"mso-number-format:'\\@'\">", "</td>"),
            kCatalogueCells);
  // A selection: the header and the rows chosen.
  Bytes one;
  const int rows[] = {3};
  HtmlClipboardText(history, rows, 1, &SameText, one);
  EXPECT_EQ(Cells(one.Data(), "'\\@'\">", "</td>"), "Time|Type|Data|Action|Program|2026-12-08T12:00:05+01:00|IB5|0262033844|typed|mstsc.exe|");
}

uint32_t U32(const std::string& s, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

TEST(SpreadsheetTest, TheWorkbookIsAZipWhoseDirectoryFindsEveryPartAndWhoseCellsAreText) {
  Bytes out;
  XlsxWorkbook(Catalogue(), nullptr, 0, &SameText, out);
  ASSERT_TRUE(out.Ok());
  const std::string zip(out.Data(), static_cast<size_t>(out.Length()));
  if (const char* keep = std::getenv("PELLIX_KEEP_XLSX")) {  // for a look in a spreadsheet
    FILE* f = std::fopen(keep, "wb");
    std::fwrite(zip.data(), 1, zip.size(), f);
    std::fclose(f);
  }
  // The end record names the directory; each entry there names a local header with the same
  // name and size, and its data.
  const size_t end = zip.size() - 22;
  ASSERT_EQ(U32(zip, end), 0x06054B50u);
  size_t entry = U32(zip, end + 16);
  std::string names, sheet;
  for (int i = 0; i < (static_cast<unsigned char>(zip[end + 10])); ++i) {
    ASSERT_EQ(U32(zip, entry), 0x02014B50u);
    const uint32_t size = U32(zip, entry + 24), nameLength = U32(zip, entry + 28) & 0xFFFF;
    const std::string name = zip.substr(entry + 46, nameLength);
    const size_t local = U32(zip, entry + 42);
    EXPECT_EQ(U32(zip, local), 0x04034B50u);
    EXPECT_EQ(zip.substr(local + 30, nameLength), name);
    if (name == "xl/worksheets/sheet1.xml") sheet = zip.substr(local + 30 + nameLength, size);
    names += name + "|";
    entry += 46 + nameLength;
  }
  EXPECT_EQ(names, "[Content_Types].xml|_rels/.rels|xl/workbook.xml|xl/_rels/workbook.xml.rels|"
                   "xl/styles.xml|xl/worksheets/sheet1.xml|");
  EXPECT_EQ(Cells(sheet, "\" t=\"inlineStr\" s=\"1\"><is><t xml:space=\"preserve\">", "</t>"),
            kCatalogueCells);
  EXPECT_EQ(Cells(sheet, "<c r=\"", "\""), "A1|B1|C1|D1|E1|A2|B2|C2|D2|E2|A3|B3|C3|D3|E3|A4|B4|C4|D4|E4|A5|B5|C5|D5|E5|");
}

TEST(RepeatTest, ARepeatIsMarkedAndWithinTheSetTimeIgnored) {
  // One run of scans: type, data, ms since the start; with the setting at 500 ms and off.
  struct Scan {
    const char* type;
    const char* data;
    uint32_t atMs;
    const char* markedAt500;  // the row's action: ignored, marked, or neither
    const char* markedOff;
  } scans[] = {
      {"IB5", "0262033844", 0, "typed", "typed"},
      {"IB5", "0262033844", 300, "repeat ignored", "typed (repeat)"},   // a quick second read
      {"IB5", "0262033844", 700, "repeat ignored", "typed (repeat)"},   // 400 ms after that
      {"E13", "0262033844", 800, "typed", "typed"},                     // another type
      {"IB5", "0262033845", 900, "typed", "typed"},                     // other data
      {"IB5", "0262033844", 1300, "typed (repeat)", "typed (repeat)"},  // 600 ms on
      {"IB5", "0262033844", 1800, "repeat ignored", "typed (repeat)"},  // 500 ms on: within
  };
  for (uint32_t window : {500u, 0u}) {
    RepeatGate gate;
    SeenScans seen;
    std::vector<std::string> got, want;
    for (const Scan& scan : scans) {
      ScanEntry e = MakeScanEntry(kNoon, scan.type, scan.data,
                                  gate.Ignore(scan.type, scan.data, 4000000000u + scan.atMs, window)
                                      ? ScanAction::kRepeatIgnored
                                      : ScanAction::kTyped);
      e.repeat = seen.Check(e.type, e.data);
      char action[kActionTextSize];
      EntryActionText(e, action);
      got.push_back(action);
      want.push_back(window ? scan.markedAt500 : scan.markedOff);
    }
    EXPECT_EQ(got, want) << window;
    seen.Clear();
    EXPECT_FALSE(seen.Check("IB5", "0262033844")) << "Clear starts afresh";
  }
  EXPECT_NE(RepeatBeepType(0), 0);
  EXPECT_NE(RepeatBeepType(0x10), 0x10);
}

TEST(RepeatTest, TheSecondsAreReadAsTypedAndShownShort) {
  struct Case {
    const char* text;
    uint32_t ms;
    const char* shown;
  } cases[] = {{"0.5", 500, "0.5"},  {"0,3", 300, "0.3"},     {" 2 ", 2000, "2"},
               {"1.25", 1250, "1.25"}, {"0.0004", 0, "0"},    {"99999", 60000, "60"},
               {"abc", 0, "0"},       {"1.2.3", 0, "0"},      {"", 0, "0"},
               {".", 0, "0"},         {"5 s", 0, "0"},        {"12.3456", 12345, "12.345"}};
  for (const Case& c : cases) {
    EXPECT_EQ(ReadRepeatSeconds(c.text), c.ms) << c.text;
    char shown[16];
    RepeatSecondsText(c.ms, shown);
    EXPECT_STREQ(shown, c.shown) << c.text;
  }
}

}  // namespace
}  // namespace pellix
