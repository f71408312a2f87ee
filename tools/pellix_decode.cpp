// pellix-decode: CueCat wand text in, the text Pellix would type out.
#include <cstdio>
#include <iostream>
#include <string>

#include "tools/decode_options.h"

int main(int argc, char** argv) {
  pellix::DecodeOptions options;
  std::string error;
  if (!pellix::ParseDecodeOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "pellix-decode: %s\nTry 'pellix-decode --help'.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(pellix::kDecodeUsage, stdout);
    return 0;
  }
  int status = 0;
  long number = 0;
  auto decode = [&](std::string line, const char* what) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) return;
    std::string typed;
    if (pellix::DecodeBurst(line, options, &typed)) {
      std::fwrite(typed.data(), 1, typed.size(), stdout);
      std::fflush(stdout);
    } else {
      std::fprintf(stderr, "pellix-decode: %s %ld: not a valid scan (no bar type or no data)\n",
                   what, number);
      status = 1;
    }
  };
  if (!options.bursts.empty()) {
    for (const std::string& b : options.bursts) decode(b, "argument");
  } else {
    std::string line;
    while (std::getline(std::cin, line)) decode(line, "line");
  }
  return status;
}
