#include "tools/decode_options.h"

#include <cstdlib>
#include <cstring>
#include <map>

#include "engine/scan_record.h"
#include "hooklib/core/key_buffer.h"

namespace pellix {

const char kDecodeUsage[] =
    "Usage: pellix-decode [options] [WANDTEXT...]\n"
    "\n"
    "Decodes CueCat wand text (the dotted text the wand types after its Alt+F10 prefix,\n"
    "e.g. .C3nZC3nZC3nZ.cGf2.ENr7C3v1DNbWChz3.) and writes each scan exactly as Pellix\n"
    "would type it. Bursts come from the arguments or, with none, one per line from\n"
    "standard input; blank lines are skipped.\n"
    "\n"
    "Options:\n"
    "  --style N          0 data, 1 type+data, 2 serial+data, 3 serial+type+data (default 0)\n"
    "  --separator C      between fields (default '.')\n"
    "  --terminator C     after each scan (default lf)\n"
    "                     C is one character of . , / \\ | - _ ! ` ~ ^ or one of\n"
    "                     none, tab, lf, cr, space\n"
    "  --filter CODE=MASK keep the data characters under a '+' of MASK for bar type CODE\n"
    "  --auto-isbn CODE   turn ISBN-bearing EAN-13 data of type CODE (IBN, IB5) into ISBN-10\n"
    "                     (--filter and --auto-isbn repeat; at most 20 different codes;\n"
    "                     codes count by their first three characters)\n"
    "  --help             this text\n"
    "\n"
    "Every scan gets the fixed fix-ups: the UPC-E check digit (type UPE) and cue codes\n"
    "(types CC...) as two-digit numbers of type CUE. A burst of 500 characters or more is\n"
    "cut to 499, as the wand's capture buffer does.\n"
    "\n"
    "Exit status: 0 all bursts decoded; 1 some burst did not decode (named on standard\n"
    "error, the others are still written); 2 usage error.\n";

namespace {

bool ParseChar(const char* value, char* out) {
  static const struct { const char* name; char c; } kNames[] = {
      {"none", 0}, {"tab", '\t'}, {"lf", '\n'}, {"cr", '\r'}, {"space", ' '}};
  for (const auto& n : kNames) {
    if (std::strcmp(value, n.name) == 0) {
      *out = n.c;
      return true;
    }
  }
  if (value[0] == '\0' || value[1] != '\0') return false;
  *out = value[0];
  return true;
}

struct TypeChoice {
  int order;
  std::string filter;
  bool autoIsbn = false;
};

}  // namespace

bool ParseDecodeOptions(int argc, const char* const* argv, DecodeOptions* options,
                        std::string* error) {
  std::map<std::string, TypeChoice> choices;
  auto choiceFor = [&](const std::string& code) -> TypeChoice& {
    const std::string key = code.substr(0, kCodeLength);
    auto it = choices.find(key);
    if (it == choices.end()) {
      it = choices.emplace(key, TypeChoice{static_cast<int>(choices.size()), "", false}).first;
    }
    return it->second;
  };
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    if (arg == "--help" || arg == "-h") {
      options->help = true;
    } else if (arg == "--style") {
      if (!value(&v)) return false;
      char* end = nullptr;
      const long style = std::strtol(v, &end, 10);
      if (*v == '\0' || *end != '\0' || style < 0 || style > 3) {
        *error = std::string("--style must be 0, 1, 2 or 3, not '") + v + "'";
        return false;
      }
      options->output.outputStyle = static_cast<uint32_t>(style);
    } else if (arg == "--separator" || arg == "--terminator") {
      if (!value(&v)) return false;
      char c = 0;
      if (!ParseChar(v, &c) || (c != 0 && !IsAllowedOutputChar(c))) {
        *error = arg + " '" + v + "' is not allowed (see --help)";
        return false;
      }
      (arg == "--separator" ? options->output.separator : options->output.terminator) = c;
    } else if (arg == "--filter") {
      if (!value(&v)) return false;
      const char* eq = std::strchr(v, '=');
      if (!eq || eq == v) {
        *error = std::string("--filter needs CODE=MASK, not '") + v + "'";
        return false;
      }
      choiceFor(std::string(v, eq)).filter = eq + 1;
    } else if (arg == "--auto-isbn") {
      if (!value(&v)) return false;
      if (*v == '\0') {
        *error = "--auto-isbn needs a bar type code";
        return false;
      }
      choiceFor(v).autoIsbn = true;
    } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
      *error = "unknown option " + arg;
      return false;
    } else {
      options->bursts.push_back(arg);
    }
  }
  std::vector<std::pair<std::string, const TypeChoice*>> ordered(choices.size());
  for (const auto& c : choices) ordered[c.second.order] = {c.first, &c.second};
  Clear(options->table);
  for (const auto& c : ordered) {
    const char* filter = c.second->filter.empty() ? nullptr : c.second->filter.c_str();
    if (!AddOrUpdate(options->table, c.first.c_str(), filter, c.second->autoIsbn ? 1 : 0)) {
      *error = "too many bar type codes: the library holds " + std::to_string(kTransformSlots);
      return false;
    }
  }
  return true;
}

bool DecodeBurst(const std::string& text, const DecodeOptions& options, std::string* typed) {
  // The capture buffer holds 500 characters; a burst that fills it (its Enter, or any further
  // key, finds 500 held) is cut to its first 499.
  constexpr size_t kCapture = kKeyBufferSize;
  const std::string burst = text.size() >= kCapture ? text.substr(0, kCapture - 1) : text;
  ScanRecord record;
  DecodeScan(burst.c_str(), &options.table, &record);
  if (!record.valid) return false;
  struct Collect : TypingPort {
    std::string* out;
    void Beep(uint32_t) override {}
    void TypeText(const char* t) override { *out += t; }
  } port;
  port.out = typed;
  typed->clear();
  TypeScanOutput(record, options.output, port);
  return true;
}

}  // namespace pellix
