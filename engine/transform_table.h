// The hook library's copy of the current profile's per-type filters and Auto-ISBN flags.
#pragma once
#include <cstdint>

namespace pellix {

constexpr int kTransformSlots = 20;
constexpr int kCodeLength = 3;     // bar types are told apart by their first three characters
constexpr int kFilterLength = 34;  // longest filter mask the library keeps

// Layout is fixed: the table lives in the library's process-shared data.
struct TransformSlot {
  char code[kCodeLength];      // zero-padded, no terminator when full; code[0] == 0: slot free
  char filter[kFilterLength];  // zero-padded, no terminator when full; empty: no filter
  uint16_t autoConvert;        // non-zero: convert ISBN-bearing EAN-13 data to ISBN-10
};

struct TransformTable {
  TransformSlot slots[kTransformSlots];
};

const TransformSlot* GetAt(const TransformTable& table, int index);
// First used slot whose code equals the first three characters of `type`; null for none.
const TransformSlot* Find(const TransformTable& table, const char* type);
void Clear(TransformTable& table);
// 1 when stored (an existing code is updated in place), 0 for a null or empty type or a
// full table. A null filter stores no filter; a longer one is cut to 34 characters.
int AddOrUpdate(TransformTable& table, const char* type, const char* filter, int autoConvert);
// 1 when a slot was freed, 0 when none has that code (or the type is null or empty).
int Remove(TransformTable& table, const char* type);

// Length of a slot's filter mask (at most 34; the field need not be terminated).
int FilterLength(const TransformSlot& slot);

}  // namespace pellix
