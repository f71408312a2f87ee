// Command line and per-burst work of pellix-decode, apart from main() so tests can call it.
#pragma once
#include <string>
#include <vector>

#include "engine/output.h"
#include "engine/transform_table.h"

namespace pellix {

struct DecodeOptions {
  OutputSettings output;
  TransformTable table{};
  std::vector<std::string> bursts;  // from the arguments; empty: read standard input
  bool help = false;
};

// Parses argv[1..]. Returns false with a message for anything the library would refuse.
bool ParseDecodeOptions(int argc, const char* const* argv, DecodeOptions* options,
                        std::string* error);

// Decodes one burst of wand text as the library would; true and the typed text in `typed`
// when it gives a valid scan.
bool DecodeBurst(const std::string& text, const DecodeOptions& options, std::string* typed);

extern const char kDecodeUsage[];

}  // namespace pellix
