// The wand's side of the alphabet: fields to wand text, for tests and tools.
#pragma once
#include <cstddef>
#include <string>

namespace pellix {

// Spells one field's bytes in the wand alphabet (XOR 0x43, 6 bits a letter, last letter
// zero-padded).
std::string EncodeWandField(const std::string& bytes);
// ".serial.type.data." as the wand types it between its prefix and its Enter.
std::string EncodeWandText(const std::string& serial, const std::string& type,
                           const std::string& data);

}  // namespace pellix
