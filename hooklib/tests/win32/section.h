// Test helpers: the loaded library's image section named "Shared", found from its headers.
#pragma once
#include <windows.h>

#include <cstring>

namespace pellix::testing {

inline const IMAGE_SECTION_HEADER* FindSection(HMODULE module, const char* name) {
  const auto* base = reinterpret_cast<const BYTE*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    char sectionName[IMAGE_SIZEOF_SHORT_NAME + 1] = {};
    std::memcpy(sectionName, section->Name, IMAGE_SIZEOF_SHORT_NAME);
    if (std::strcmp(sectionName, name) == 0) return section;
  }
  return nullptr;
}

inline BYTE* SectionBytes(HMODULE module, const IMAGE_SECTION_HEADER* section) {
  return reinterpret_cast<BYTE*>(module) + section->VirtualAddress;
}

}  // namespace pellix::testing
