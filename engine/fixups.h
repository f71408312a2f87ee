// Per-type fix-ups of a decoded scan's type and data, shared by both deliverables.
#pragma once

namespace pellix {

struct TransformTable;

// Check digit to append to UPC-E data ('0'..'9'), or 0 when none can be computed.
char UpcECheckDigit(const char* data);
// Rewrites `data` (a 256-byte field) as two-digit numbers; true when converted.
// The caller then sets the type to "CUE".
bool ConvertCueCode(const char* type, char* data);
// Rewrites ISBN-bearing EAN-13 data of "IBN"/"IB5" as the ten-character ISBN; true when converted.
bool ConvertToIsbn(const char* type, char* data);
// Keeps the data characters under a '+' of the mask; the rest, and all beyond the mask, go.
// `maskLength` bounds a mask that need not be terminated.
void ApplyFilter(char* data, const char* mask, int maskLength);

// The fixed corrections: the UPC-E check digit and the cue-code conversion. `type` must
// have room for "CUE" (4 bytes), `data` is a 256-byte field.
void ApplyFixedFixUps(char* type, char* data);
// The user's per-type choice: Auto-ISBN first; the filter only when that did not convert.
void ApplyTypeChoice(const char* type, char* data, bool autoConvert, const char* mask,
                     int maskLength);
// The table's slot for the type, if any: its choice (ApplyTypeChoice).
void ApplyTableChoice(const char* type, char* data, const TransformTable* table);
// The whole sequence: the fixed corrections, then the table's choice.
void ApplyTransforms(char* type, char* data, const TransformTable* table);

}  // namespace pellix
