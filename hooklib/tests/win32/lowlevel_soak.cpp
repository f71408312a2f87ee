// Soak of the low-level path under Wine (scripts/soak --low-level): SCANS wand bursts fed as
// crafted keystrokes into the real LowLevelHookProc, with real delivery into pellix-target in
// another process, in the four output layouts, of every kind of transform (filtered,
// Auto-ISBN, none) and claimed by the receiver standing in for the tray program; the user's
// words between scans and right after them while the delivery is at work; bursts broken off
// by a stray key, cut off right after the prefix, decoding invalid, or stalled until the
// watcher gives them back. Every step predicts what the target gains and checks it; the end
// prints the counts and fails unless all went as predicted.
//   hooklib_lowlevel_soak.exe [scans]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/encoder.h"
#include "engine/transform_table.h"
#include "hooklib/core/shared_state.h"
#include "hooklib/tests/fake_keyboard.h"
#include "hooklib/tests/win32/lowlevel_harness.h"
#include "hooklib/win32/library.h"

using namespace pellix;
using testing::Feed;
using testing::FeedChars;
using testing::FeedEnterPress;
using testing::FeedEnterRelease;
using testing::FeedPrefix;
using testing::Receiver;

namespace {

struct Counts {
  int scans = 0, launched = 0, userKeys = 0, givenBack = 0;
  int lost = 0, duplicated = 0, wrong = 0, misjudged = 0, atomsLeft = 0, stuck = 0;
  int Faults() const { return lost + duplicated + wrong + misjudged + atomsLeft + stuck; }
};
Counts g;
testing::Target g_target;

// True when `got` is `a` and `b` merged, each in its own order: what the user's keys and the
// delivery's typed keys make when both type at once.
bool Interleaves(const std::string& got, const std::string& a, const std::string& b) {
  if (got.size() != a.size() + b.size()) return false;
  // can[j]: the first i + j characters of got are a[0, i) merged with b[0, j).
  std::vector<char> can(b.size() + 1, 0);
  for (size_t i = 0; i <= a.size(); ++i)
    for (size_t j = 0; j <= b.size(); ++j) {
      if (i == 0 && j == 0) { can[0] = 1; continue; }
      const char c = got[i + j - 1];
      const bool fromA = i > 0 && can[j] && a[i - 1] == c;
      const bool fromB = j > 0 && can[j - 1] && b[j - 1] == c;
      can[j] = fromA || fromB;
    }
  return can[b.size()] != 0;
}

// Waits until the target holds `want` (or, with `other`, `want` and `other` merged); else
// says what went amiss. The target is cleared afterwards, so each step starts from nothing.
void Expect(const std::string& want, const std::string& what, const std::string& other = "") {
  const size_t size = want.size() + other.size();
  std::string got;
  const double end = testing::NowMs() + 6000;
  do {
    got = g_target.Text();
    if (got.size() >= size) break;
    testing::Pump(2);
  } while (testing::NowMs() < end);
  // Whatever would come late (a duplicate) arrives within this settle.
  got = g_target.SettleText(got.size() == size ? 15 : 300);
  const bool ok = other.empty() ? got == want : Interleaves(got, want, other);
  if (!ok) {
    const char* kind = "WRONG";
    if (got.size() < size) ++g.lost, kind = "LOST";
    else if (other.empty() && got == want + want) ++g.duplicated, kind = "DUPLICATED";
    else ++g.wrong;
    std::printf("soak: %s %s: wanted \"%s\"%s%s, got \"%s\"\n", kind, what.c_str(), want.c_str(),
                other.empty() ? "" : " merged with ", other.c_str(), got.c_str());
  }
  g_target.Clear();
  testing::Pump(5);
}

// The system's part for a key the hook passes on: it goes on to the focused window, here as
// input again, flagged injected, so the hook lets it through untouched.
void PassOn(const testing::UsKey& k, bool up) {
  keybd_event(static_cast<BYTE>(k.vk), static_cast<BYTE>(k.scan), up ? KEYEVENTF_KEYUP : 0, 0);
}

// The user's keys, each through the hook: all must pass, and each then goes on.
void UserTypes(const std::string& text) {
  for (char c : text) {
    const testing::UsKey k = testing::UsKeyOf(c);
    for (bool up : {false, true}) {
      if (Feed(k.vk, k.scan, up ? LLKHF_UP : 0) != 0) {
        ++g.misjudged;
        std::printf("soak: the user's '%c' was swallowed\n", c);
      } else {
        PassOn(k, up);
      }
    }
    ++g.userKeys;
  }
}

bool TypedWithoutShift(const std::string& text) {
  for (char c : text) {
    const testing::UsKey k = testing::UsKeyOf(c);
    if (k.vk == 0 || k.shift) return false;
  }
  return true;
}

void Swallowed(bool all, const std::string& what) {
  if (all) return;
  ++g.misjudged;
  std::printf("soak: a key of %s was passed on\n", what.c_str());
}

struct Layout {
  unsigned style;
  char separator, terminator;
};

std::string Compose(const Layout& l, const std::string& serial, const std::string& type,
                    const std::string& data) {
  std::string sep = l.separator ? std::string(1, l.separator) : "";
  std::string out;
  if (l.style & 2) out += serial + sep;
  if (l.style & 1) out += type + sep;
  out += data;
  if (l.terminator) out += l.terminator;
  return out;
}

// A burst broken off in one of four ways, each given back as the hook path gives it back.
void BrokenBurst(int n) {
  ++g.givenBack;
  switch (n % 4) {
    case 0:  // a stray space: the captured keys come back, the space goes on
      Swallowed(FeedPrefix() && FeedChars(".ab"), "a broken burst");
      UserTypes(" ");
      Expect(".ab ", "burst broken by a space");
      break;
    case 1:  // a key no wand types, right after the prefix: only the prefix comes back
      Swallowed(FeedPrefix(), "a prefix");
      UserTypes(" ");
      Expect(" ", "burst broken right after its prefix");
      break;
    case 2:  // decodes invalid: prefix and keys come back, the Enter stays swallowed
      Swallowed(FeedPrefix() && FeedChars("hello") && FeedEnterPress() && FeedEnterRelease(),
                "an invalid burst");
      Expect("hello", "invalid burst");
      break;
    case 3:  // stalls: the watcher gives it back after the timeout
      Swallowed(FeedPrefix() && FeedChars(".cd"), "a stalled burst");
      Expect(".cd", "stalled burst");
      break;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int scans = argc > 1 ? std::atoi(argv[1]) : 1000;
  win32::OnProcessAttach(GetModuleHandleA(nullptr));
  if (!g_target.Start()) return 2;
  Receiver receiver;
  if (!receiver.Start()) return 2;
  if (win32::InstallHook(receiver.window(), 0) != 1) return 3;
  HookSharedState& s = win32::Shared();
  s.targetWindow = receiver.window();
  s.messageId = RegisterWindowMessageA("KV_CC_MSG");
  SetTimeOut(s, 1250);
  Clear(s.transforms);
  AddOrUpdate(s.transforms, "UPA", "+-+-+-+-+-+-", 0);  // keeps the odd positions
  AddOrUpdate(s.transforms, "IB5", "", 1);              // to ISBN-10
  std::printf("Low-level soak: %d scans\n", scans);

  const Layout layouts[4] = {{0, '.', '\n'}, {1, ',', '\t'}, {2, '-', '\n'}, {3, '|', '\n'}};
  const char* words[] = {"alpha", "bravo", "charlie", "delta", "echo", "foxtrot"};
  const char* books[][2] = {{"9780262033848", "0262033844"}, {"9780201633610", "0201633612"},
                            {"9780131103627", "0131103628"}};
  const std::string serial = "00000000054321";
  const double start = testing::NowMs();
  g_target.Clear();
  testing::Pump(50);
  for (int i = 0; i < scans; ++i) {
    const Layout& layout = layouts[i * 4 / scans];
    SetOutputType(s, layout.terminator, layout.separator, layout.style, 1, 0);
    char data[32];
    std::string type, out;
    switch (i % 4) {
      case 0: {
        type = "UPA";
        std::snprintf(data, sizeof data, "0%011lld", (i * 7919LL) % 100000000000LL);
        for (int k = 0; k < 12; k += 2) out += data[k];
        break;
      }
      case 1:
        type = "IB5";
        std::snprintf(data, sizeof data, "%s", books[i % 3][0]);
        out = books[i % 3][1];
        break;
      case 2:
        type = "E13";
        std::snprintf(data, sizeof data, "4%012lld", (i * 104729LL) % 1000000000000LL);
        out = data;
        break;
      default:
        type = "C39";
        std::snprintf(data, sizeof data, "PART%d", i);
        break;
    }
    const bool claimed = type == "C39";
    Receiver::mode = claimed ? Receiver::kClaim : Receiver::kDecline;
    const LONG offersBefore = Receiver::offers;
    Swallowed(FeedPrefix() && FeedChars(EncodeWandText(serial, type, data)) &&
                  FeedEnterPress() && FeedEnterRelease(),
              "scan " + std::to_string(i));
    const std::string typed = claimed ? "" : Compose(layout, serial, type, out);
    const std::string word = std::string(words[i % 6]) + " ";
    // Every other scan the user types on at once, while the delivery offers and types; the
    // two merge. Shifted keys would take the delivery's Shift, so only where it holds none.
    const bool atOnce = i % 2 == 0 && TypedWithoutShift(typed);
    if (atOnce) UserTypes(word);
    Expect(typed, "scan " + std::to_string(i) + " (" + type + ", style " +
                      std::to_string(layout.style) + ")", atOnce ? word : "");
    if (!atOnce) {
      UserTypes(word);
      Expect(word, "user's word after scan " + std::to_string(i));
    }
    ++g.scans;
    if (claimed) ++g.launched;
    // The receiver is asked once, with the data after its transform.
    const std::string offered = claimed ? data : out;
    const LONG offers = Receiver::offers - offersBefore;
    if (offers != 1 || Receiver::lastData != offered) {
      ++(offers > 1 ? g.duplicated : g.lost);
      std::printf("soak: scan %d offered %ld times (last \"%s\")\n", i, offers,
                  Receiver::lastData);
    }
    if (GlobalFindAtomA(offered.c_str()) || GlobalFindAtomA(type.c_str()) || GlobalFindAtomA(serial.c_str())) {
      ++g.atomsLeft;
      std::printf("soak: atoms of scan %d left behind\n", i);
    }
    if (i % 10 == 9) BrokenBurst(i / 10);
    if ((i + 1) % 100 == 0)
      std::printf("soak: %d scans, %.0f s, %d lost, %d duplicated, %d wrong so far\n", i + 1,
                  (testing::NowMs() - start) / 1000, g.lost, g.duplicated, g.wrong);
    std::fflush(stdout);
  }
  const double seconds = (testing::NowMs() - start) / 1000;
  if (ReadState(s) != kIdle || s.keyBuffer.length != 0) {
    ++g.stuck;
    std::printf("soak: the recognizer did not end idle\n");
  }
  if (win32::RemoveHook() != 1) ++g.stuck;
  receiver.Stop();
  g_target.Stop();
  std::printf("soak: %d scans (%d claimed, %d typed), %d user keys, %d bursts given back, in "
              "%.0f s\n",
              g.scans, g.launched, g.scans - g.launched, g.userKeys, g.givenBack, seconds);
  std::printf("soak: %d lost, %d duplicated, %d wrong, %d keys misjudged, %d with atoms left, "
              "%d stuck\n",
              g.lost, g.duplicated, g.wrong, g.misjudged, g.atomsLeft, g.stuck);
  return g.Faults() == 0 ? 0 : 1;
}
