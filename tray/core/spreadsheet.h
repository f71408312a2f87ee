// The scans as spreadsheets take them with every cell as text, so that no digit is lost
// (0262033844 keeps its 0, an EAN-13 is not shown as 9.78E+12, a 20-digit Code 128 is not cut
// to 15 digits) and no cell runs as a formula: an HTML table for the clipboard and an .xlsx
// workbook for Save As. Texts go in as UTF-8.
#pragma once
#include <cstdint>

#include "tray/core/scan_history.h"

namespace pellix {

// Converts a text of the system's code page into UTF-8 in `out` (`capacity` bytes, with its
// NUL); natively the identity serves for ASCII.
using ToUtf8 = void (*)(const char* text, char* out, int capacity);

// A text built up in memory; `ok` turns false for good when memory runs out.
class Bytes {
 public:
  Bytes() = default;
  Bytes(const Bytes&) = delete;
  Bytes& operator=(const Bytes&) = delete;
  ~Bytes() { delete[] data_; }
  void Put(const char* text, int length);
  void Put(const char* text);
  void Put(char c) { Put(&c, 1); }
  void PutU32(uint32_t v);  // little-endian, as ZIP has it
  void PutU16(uint16_t v);
  const char* Data() const { return data_; }
  char* Data() { return data_; }
  int Length() const { return length_; }
  bool Ok() const { return ok_; }
  void Fail() { ok_ = false; }

 private:
  char* data_ = nullptr;
  int length_ = 0, capacity_ = 0;
  bool ok_ = true;
};

// The clipboard's "HTML Format": its header of offsets, then a table of the header row and
// the scans with the given indexes (as HistoryText takes them), each cell marked as text for
// Excel (mso-number-format) and LibreOffice (sdnum).
void HtmlClipboardText(const ScanHistory& history, const int* newestIndexes, int count,
                       ToUtf8 toUtf8, Bytes& out);

// An .xlsx workbook (a ZIP archive, stored) of one sheet "Scans": the header row and the
// scans, every cell an inline text in the Text number format.
void XlsxWorkbook(const ScanHistory& history, const int* newestIndexes, int count,
                  ToUtf8 toUtf8, Bytes& out);

}  // namespace pellix
