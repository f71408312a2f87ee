#include "engine/transform_table.h"

#include <cstring>

namespace pellix {

namespace {

// Code (up to three characters, zero-padded) equal to the first three characters of type.
bool CodeMatches(const TransformSlot& slot, const char* type) {
  for (int i = 0; i < kCodeLength; ++i) {
    if (slot.code[i] != type[i]) return false;
    if (type[i] == '\0') return true;
  }
  return true;
}

}  // namespace

const TransformSlot* GetAt(const TransformTable& table, int index) {
  if (index < 0 || index >= kTransformSlots) return nullptr;
  return &table.slots[index];
}

const TransformSlot* Find(const TransformTable& table, const char* type) {
  if (!type || !type[0]) return nullptr;
  for (const TransformSlot& slot : table.slots) {
    if (slot.code[0] != '\0' && CodeMatches(slot, type)) return &slot;
  }
  return nullptr;
}

void Clear(TransformTable& table) { std::memset(&table, 0, sizeof table); }

int AddOrUpdate(TransformTable& table, const char* type, const char* filter, int autoConvert) {
  if (!type || !type[0]) return 0;
  TransformSlot* slot = const_cast<TransformSlot*>(Find(table, type));
  for (int i = 0; !slot && i < kTransformSlots; ++i) {
    if (table.slots[i].code[0] == '\0') slot = &table.slots[i];
  }
  if (!slot) return 0;
  std::memset(slot->code, 0, sizeof slot->code);
  for (int i = 0; i < kCodeLength && type[i]; ++i) slot->code[i] = type[i];
  std::memset(slot->filter, 0, sizeof slot->filter);
  for (int i = 0; filter && i < kFilterLength && filter[i]; ++i) slot->filter[i] = filter[i];
  slot->autoConvert = static_cast<uint16_t>(autoConvert);
  return 1;
}

int Remove(TransformTable& table, const char* type) {
  TransformSlot* slot = const_cast<TransformSlot*>(Find(table, type));
  if (!slot) return 0;
  slot->code[0] = '\0';
  return 1;
}

int FilterLength(const TransformSlot& slot) {
  int n = 0;
  while (n < kFilterLength && slot.filter[n]) ++n;
  return n;
}

}  // namespace pellix
