#include "tray/core/spreadsheet.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace pellix {

void Bytes::Put(const char* text, int length) {
  if (!ok_ || length <= 0) return;
  if (length_ + length + 1 > capacity_) {
    int capacity = capacity_ ? capacity_ : 4096;
    while (length_ + length + 1 > capacity) capacity *= 2;
    char* grown = new (std::nothrow) char[capacity];
    if (!grown) {
      ok_ = false;
      return;
    }
    if (data_) std::memcpy(grown, data_, static_cast<size_t>(length_));
    delete[] data_;
    data_ = grown;
    capacity_ = capacity;
  }
  std::memcpy(data_ + length_, text, static_cast<size_t>(length));
  length_ += length;
  data_[length_] = '\0';
}

void Bytes::Put(const char* text) { Put(text, static_cast<int>(std::strlen(text))); }

void Bytes::PutU32(uint32_t v) {
  const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
  Put(b, 4);
}

void Bytes::PutU16(uint16_t v) {
  const char b[2] = {static_cast<char>(v), static_cast<char>(v >> 8)};
  Put(b, 2);
}

namespace {

// The header row and the rows asked for, oldest first, each as its five texts.
template <class Row>
void EachRow(const ScanHistory& history, const int* newestIndexes, int count, Row row) {
  const char* header[] = {"Time", "Type", "Data", "Action", "Program"};
  row(header);
  const int lines = count > 0 ? count : history.Count();
  for (int i = lines - 1; i >= 0; --i) {
    const int index = count > 0 ? newestIndexes[i] : i;
    if (index < 0 || index >= history.Count()) continue;
    const ScanEntry& e = history.Newest(index);
    char time[kTimeTextSize], action[kActionTextSize];
    IsoTime(e.time, time);
    EntryActionText(e, action);
    const char* texts[] = {time, e.type, e.data, action, e.program};
    row(texts);
  }
}

// XML and HTML text: the markup characters as entities; control characters other than Tab,
// CR and LF, which XML cannot hold, as the _xHHHH_ escape that spreadsheets read back (and
// a "_x" of the text itself escaped so).
void PutEscaped(Bytes& out, const char* text, ToUtf8 toUtf8) {
  char utf8[kHistoryTextSize * 4];
  toUtf8(text, utf8, sizeof utf8);
  for (const char* p = utf8; *p; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    char escape[16];
    if (c == '&') out.Put("&amp;");
    else if (c == '<') out.Put("&lt;");
    else if (c == '>') out.Put("&gt;");
    else if (c == '"') out.Put("&quot;");
    else if ((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || (c == '_' && p[1] == 'x')) {
      std::snprintf(escape, sizeof escape, "_x%04X_", c);
      out.Put(escape);
    } else {
      out.Put(*p);
    }
  }
}

uint32_t Crc32(const char* data, int length) {
  static uint32_t table[256];
  if (table[1] == 0) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
  }
  uint32_t crc = 0xFFFFFFFFu;
  for (int i = 0; i < length; ++i)
    crc = table[(crc ^ static_cast<unsigned char>(data[i])) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

// A ZIP archive of stored (uncompressed) members, which every reader of .xlsx accepts.
class StoredZip {
 public:
  explicit StoredZip(Bytes& out) : out_(out) {}
  void Add(const char* name, const char* data, int length) {
    if (count_ == kMembers) return;
    Member& m = members_[count_++];
    m.name = name;
    m.crc = Crc32(data, length);
    m.size = static_cast<uint32_t>(length);
    m.offset = static_cast<uint32_t>(out_.Length());
    out_.PutU32(0x04034B50);
    Common(m);
    out_.Put(name);
    out_.Put(data, length);
  }
  void Finish() {
    const uint32_t start = static_cast<uint32_t>(out_.Length());
    for (int i = 0; i < count_; ++i) {
      const Member& m = members_[i];
      out_.PutU32(0x02014B50);
      out_.PutU16(20);  // made by: version 2.0
      Common(m);
      out_.PutU16(0);  // comment
      out_.PutU16(0);  // disk
      out_.PutU16(0);  // internal attributes
      out_.PutU32(0);  // external attributes
      out_.PutU32(m.offset);
      out_.Put(m.name);
    }
    const uint32_t size = static_cast<uint32_t>(out_.Length()) - start;
    out_.PutU32(0x06054B50);
    out_.PutU16(0);
    out_.PutU16(0);
    out_.PutU16(static_cast<uint16_t>(count_));
    out_.PutU16(static_cast<uint16_t>(count_));
    out_.PutU32(size);
    out_.PutU32(start);
    out_.PutU16(0);
  }

 private:
  struct Member {
    const char* name;
    uint32_t crc, size, offset;
  };
  // The fields a local header and a central one share, from "version needed" to "extra".
  void Common(const Member& m) {
    out_.PutU16(20);      // version needed
    out_.PutU16(0);       // flags
    out_.PutU16(0);       // stored
    out_.PutU16(0);       // time 00:00
    out_.PutU16(0x0021);  // date 1980-01-01
    out_.PutU32(m.crc);
    out_.PutU32(m.size);
    out_.PutU32(m.size);
    out_.PutU16(static_cast<uint16_t>(std::strlen(m.name)));
    out_.PutU16(0);
  }
  static constexpr int kMembers = 8;
  Bytes& out_;
  Member members_[kMembers];
  int count_ = 0;
};

constexpr char kXmlHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
constexpr char kMainNs[] = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr char kRelNs[] = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

}  // namespace

void HtmlClipboardText(const ScanHistory& history, const int* newestIndexes, int count,
                       ToUtf8 toUtf8, Bytes& out) {
  // The offsets are filled in once the text is whole; ten digits each.
  static const char kHeader[] =
      "Version:0.9\r\nStartHTML:0000000000\r\nEndHTML:0000000000\r\n"
      "StartFragment:0000000000\r\nEndFragment:0000000000\r\n";
  out.Put(kHeader);
  const int startHtml = out.Length();
  out.Put("<html><head><meta charset=\"utf-8\"></head><body>\r\n<!--StartFragment-->");
  const int startFragment = out.Length();
  out.Put("<table>\r\n");
  EachRow(history, newestIndexes, count, [&](const char* const* texts) {
    out.Put("<tr>");
    for (int i = 0; i < 5; ++i) {
      out.Put("<td sdnum=\"1033;0;@\" style=\"mso-number-format:'\\@'\">");
      PutEscaped(out, texts[i], toUtf8);
      out.Put("</td>");
    }
    out.Put("</tr>\r\n");
  });
  out.Put("</table>");
  const int endFragment = out.Length();
  out.Put("<!--EndFragment-->\r\n</body></html>");
  const int endHtml = out.Length();
  if (!out.Ok()) return;
  const int offsets[] = {startHtml, endHtml, startFragment, endFragment};
  const char* names[] = {"StartHTML:", "EndHTML:", "StartFragment:", "EndFragment:"};
  for (int i = 0; i < 4; ++i) {
    char digits[16];
    std::snprintf(digits, sizeof digits, "%010d", offsets[i]);
    std::memcpy(std::strstr(out.Data(), names[i]) + std::strlen(names[i]), digits, 10);
  }
}

void XlsxWorkbook(const ScanHistory& history, const int* newestIndexes, int count,
                  ToUtf8 toUtf8, Bytes& out) {
  Bytes sheet;
  sheet.Put(kXmlHead);
  sheet.Put("<worksheet xmlns=\"");
  sheet.Put(kMainNs);
  sheet.Put("\"><cols><col min=\"1\" max=\"1\" width=\"26\" customWidth=\"1\"/>"
            "<col min=\"3\" max=\"3\" width=\"24\" customWidth=\"1\"/></cols><sheetData>\r\n");
  int row = 0;
  EachRow(history, newestIndexes, count, [&](const char* const* texts) {
    char tag[64];
    std::snprintf(tag, sizeof tag, "<row r=\"%d\">", ++row);
    sheet.Put(tag);
    for (int i = 0; i < 5; ++i) {
      std::snprintf(tag, sizeof tag, "<c r=\"%c%d\" t=\"inlineStr\" s=\"1\">", 'A' + i, row);
      sheet.Put(tag);
      sheet.Put("<is><t xml:space=\"preserve\">");
      PutEscaped(sheet, texts[i], toUtf8);
      sheet.Put("</t></is></c>");
    }
    sheet.Put("</row>\r\n");
  });
  sheet.Put("</sheetData></worksheet>");
  Bytes part;
  StoredZip zip(out);
  part.Put(kXmlHead);
  part.Put(
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" "
      "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
      "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
      "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"application/"
      "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
      "<Override PartName=\"/xl/styles.xml\" ContentType=\"application/"
      "vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/></Types>");
  zip.Add("[Content_Types].xml", part.Data(), part.Length());
  Bytes rels;
  rels.Put(kXmlHead);
  rels.Put(
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
  zip.Add("_rels/.rels", rels.Data(), rels.Length());
  Bytes book;
  book.Put(kXmlHead);
  book.Put("<workbook xmlns=\"");
  book.Put(kMainNs);
  book.Put("\" xmlns:r=\"");
  book.Put(kRelNs);
  book.Put("\"><sheets><sheet name=\"Scans\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
  zip.Add("xl/workbook.xml", book.Data(), book.Length());
  Bytes bookRels;
  bookRels.Put(kXmlHead);
  bookRels.Put(
      "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
      "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/worksheet\" Target=\"worksheets/sheet1.xml\"/>"
      "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/"
      "relationships/styles\" Target=\"styles.xml\"/></Relationships>");
  zip.Add("xl/_rels/workbook.xml.rels", bookRels.Data(), bookRels.Length());
  // Style 1: the Text number format (49, "@"), so that a cell edited later stays text too.
  Bytes styles;
  styles.Put(kXmlHead);
  styles.Put("<styleSheet xmlns=\"");
  styles.Put(kMainNs);
  styles.Put(
      "\"><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
      "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
      "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
      "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
      "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
      "</cellStyleXfs><cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
      "borderId=\"0\" xfId=\"0\"/><xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
      "xfId=\"0\" applyNumberFormat=\"1\"/></cellXfs></styleSheet>");
  zip.Add("xl/styles.xml", styles.Data(), styles.Length());
  zip.Add("xl/worksheets/sheet1.xml", sheet.Data(), sheet.Length());
  zip.Finish();
  if (!part.Ok() || !rels.Ok() || !book.Ok() || !bookRels.Ok() || !styles.Ok() || !sheet.Ok())
    out.Fail();
}

}  // namespace pellix
