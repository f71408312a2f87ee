// The schedule explorer: the hook library's threads run as cooperative tasks over the fake
// keyboard, switching at every platform call and every access to a shared field. The system
// is modelled as Windows runs it: keys (the wand's and the library's own) queue for the
// thread whose hook serves them and are served there in order, the low-level hook's thread
// serving those that wait also inside its own keybd_event (Wine does), so that keys arrive
// in the middle of a give-back; the watcher's request, and the hook watch's reinstall of the
// hooks, reach the low-level hook's thread as posted messages; deliveries run as the port
// runs them, one after another in the order started (a contract test holds the real port to
// it); the user's Caps Lock and Shift are part of the system (the key state moved by the keys
// that pass, or on the keyboard-hook path by every key); on the keyboard-hook path the steps
// run in the applications of two processes under the step lock. Each run builds its own
// system, the hook thread's state (HookLocal) with it. Steps take no time; time passes only when no task can go
// on, and then the earliest bounded wait runs out (the watcher's timeout, a wait for the step
// lock, a stalled wand, a descheduled thread). Each scenario runs under every schedule that
// departs at most twice from the plain one, then under seeded random ones; after each run the
// application's text is compared whole, in order and case, and no Shift is left down for it.
#include <gtest/gtest.h>
#include <ucontext.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/encoder.h"
#include "hooklib/core/step_guard.h"
#include "hooklib/core/watcher.h"
#include "hooklib/tests/fake_keyboard.h"

namespace pellix {
namespace testing {
namespace {

// --- Cooperative tasks, virtual time and the schedule that interleaves them.

class Scheduler;
Scheduler* g_scheduler = nullptr;

class Scheduler {
 public:
  struct Task {
    std::string name;
    std::function<void()> body;
    std::function<bool()> ready;  // empty: runnable
    ucontext_t context;
    std::unique_ptr<char[]> stack;
    bool idle = false;  // runs only when no other task can (the passing of time)
    bool started = false;
    bool done = false;
    bool killed = false;  // its thread ended where it stood
    bool yielding = false;
    std::string doing;  // what the task is at, for a trace
  };
  static constexpr size_t kStackSize = 256 * 1024;

  // The schedule: choices forced at the first choice points; past them, the running task
  // goes on (or, when it cannot, the first task that can).
  std::vector<int> forced;
  std::vector<int> taken;    // what this run chose
  std::vector<int> options;  // how many tasks could have run at each choice
  size_t steps = 0;
  static constexpr size_t kStepLimit = 200000;
  bool overran = false;
  std::string* trace = nullptr;  // when set, every switch is written to it

  // Virtual milliseconds, and the bounded waits in progress with their deadlines.
  uint32_t now = 0;
  struct Wait {
    uint32_t deadline;
    bool expired = false;
  };
  std::vector<Wait*> waits;

  Task* Spawn(std::string name, std::function<void()> body, bool idle = false) {
    auto t = std::make_unique<Task>();
    t->name = std::move(name);
    t->body = std::move(body);
    t->idle = idle;
    t->stack.reset(new char[kStackSize]);
    getcontext(&t->context);
    t->context.uc_stack.ss_sp = t->stack.get();
    t->context.uc_stack.ss_size = kStackSize;
    t->context.uc_link = nullptr;
    makecontext(&t->context, &Scheduler::Entry, 0);
    tasks_.push_back(std::move(t));
    return tasks_.back().get();
  }

  Task* current() const { return current_; }

  // A place where another task may run first; `what` names it in a trace.
  void Point(const char* what = "shared field") {
    if (!current_) return;
    at_ = what;
    swapcontext(&current_->context, &main_);
  }
  void BlockUntil(const char* what, std::function<bool()> ready) {
    if (!current_) return;
    current_->ready = std::move(ready);
    Point(what);
    current_->ready = nullptr;
  }
  // A wait of at most `ms`: true when `ready` held, false when the time ran out first.
  bool TimedWait(const char* what, uint32_t ms, const std::function<bool()>& ready) {
    Wait w{now + ms};
    waits.push_back(&w);
    BlockUntil(what, [&] { return w.expired || ready(); });
    waits.erase(std::find(waits.begin(), waits.end(), &w));
    return !w.expired;
  }
  // The thread of the running task ends here, holding whatever it holds.
  [[noreturn]] void Kill() {
    current_->killed = true;
    BlockUntil("killed", [] { return false; });
    std::abort();
  }
  // The passing of time: whenever nothing else can run, the earliest waits run out.
  void RunTime() {
    for (;;) {
      BlockUntil("", [this] { return !waits.empty(); });
      uint32_t next = waits.front()->deadline;
      for (Wait* w : waits) next = std::min(next, w->deadline);
      now = std::max(now, next);
      for (Wait* w : waits)
        if (w->deadline <= now) w->expired = true;
    }
  }

  void Run() {
    g_scheduler = this;
    Task* last = nullptr;
    for (;;) {
      std::vector<Task*> runnable;
      for (int idle = 0; idle < 2 && runnable.empty(); ++idle)
        for (auto& t : tasks_)
          if (!t->done && t->idle == (idle == 1) && (!t->ready || t->ready()))
            runnable.push_back(t.get());
      if (runnable.empty()) break;
      if (++steps > kStepLimit) {
        overran = true;
        break;
      }
      auto it = std::find(runnable.begin(), runnable.end(), last);
      if (it != runnable.end()) {  // the running task goes on unless the schedule departs
        runnable.erase(it);
        runnable.insert(runnable.begin(), last);
      }
      int choice = 0;
      if (runnable.size() > 1) {
        const size_t k = taken.size();
        if (k < forced.size())
          choice = std::min<int>(forced[k], static_cast<int>(runnable.size()) - 1);
        taken.push_back(choice);
        options.push_back(static_cast<int>(runnable.size()));
      }
      Task* next = runnable[choice];
      if (trace && next != last)
        *trace += "  " + (last ? last->name + " " + last->doing + " [" + at_ + "] -> " : "") +
                  next->name + (next->started ? "" : " starts") + " @" + std::to_string(now) +
                  "ms\n";
      current_ = next;
      swapcontext(&main_, &next->context);
      current_ = nullptr;
      last = next;
    }
    g_scheduler = nullptr;
  }

  const std::vector<std::unique_ptr<Task>>& tasks() const { return tasks_; }

 private:
  static void Entry() {
    Scheduler* s = g_scheduler;
    Task* t = s->current_;
    t->started = true;
    t->body();
    t->done = true;
    swapcontext(&t->context, &s->main_);
  }

  std::vector<std::unique_ptr<Task>> tasks_;
  Task* current_ = nullptr;
  const char* at_ = "";
  ucontext_t main_;
};

// --- The system as the tasks see it.

// A key on its way to the hook of the thread that will retrieve it; `extra` is the extra
// information the low-level hook is given (the library's marks on its own keys).
struct Input {
  uint32_t vk, scan;
  bool up, alt;
  uintptr_t extra;
  bool extended;
};

// Posted to the low-level hook's thread in place of a burst's number: the hook watch's
// reinstall of the hooks (RemoveHook runs there).
constexpr int32_t kReinstall = -1;

class ExplorerKeyboard : public FakeKeyboard {
 public:
  ExplorerKeyboard(Scheduler& s, Path p) : FakeKeyboard(p), sched(s) {
    state.terminator = 0;  // the outputs below are compared as characters
    state.beepOn = 1;      // a beep per scan typed: counts the deliveries on both paths
  }
  Scheduler& sched;
  bool start = false, stop = false;
  // One input queue per thread that serves hooks: the low-level hook's thread, or the
  // applications A and B on the keyboard-hook path; what each application received.
  std::deque<Input> queue[2];
  std::vector<KeyEvent> received[2];
  int focus = 0;                 // the application with the keyboard focus
  std::deque<int32_t> posted;    // the watcher's requests to the low-level hook's thread
  std::vector<std::string> delivered;  // data of each scan handed to a delivery thread
  Scheduler::Task* stepOwner = nullptr;
  int insideSteps = 0, abandonedSteps = 0;
  bool twoInside = false;
  Scheduler::Task* killAfterTyping = nullptr;  // this task's thread ends after 3 typed keys
  int typedByDoomed = 0;

  void P(const char* what) { sched.Point(what); }
  uint32_t MapVirtualKeyToChar(uint32_t vk) override {
    P("MapVirtualKeyA");
    return FakeKeyboard::MapVirtualKeyToChar(vk);
  }
  void SignalStart() override {
    P("SetEvent start");
    start = true;
    FakeKeyboard::SignalStart();
  }
  void SignalStop() override {
    P("SetEvent stop");
    stop = true;
    FakeKeyboard::SignalStop();
  }
  void KeybdEvent(uint8_t vk, uint8_t scanCode, uint32_t flags) override {
    P("keybd_event");
    Typed(vk, scanCode, flags, kOwnKeyMark);
  }
  // The user's modifiers let go and pressed again around a scan (kModifierMark).
  void SendTagged(uint32_t vk, uint32_t scanCode, uint32_t flags, uintptr_t extra) override {
    P("SendInput");
    Typed(vk, scanCode, flags, extra);
  }
  void Typed(uint32_t vk, uint32_t scanCode, uint32_t flags, uintptr_t extra) {
    if (sched.current() == killAfterTyping && ++typedByDoomed > 3) {
      focus = 1;  // its program is gone: the user goes on in B
      sched.Kill();
    }
    injected.push_back({vk, scanCode, (flags & kKeyEventUp) != 0, true});
    queue[focus].push_back(
        {vk, scanCode, (flags & kKeyEventUp) != 0, false, extra, (flags & kKeyEventExtended) != 0});
    // Typed on the low-level hook's own thread: the system runs the hook there, inside
    // keybd_event, for every key that waits, this one last (Wine does).
    if (path == Path::kLowLevel && sched.current() == hookThread) ServeWaiting(0);
  }
  uint32_t ModifiersHeld() override {
    P("GetKeyState");
    if (path == Path::kLowLevel) return modifiersDown;
    FakeKeyboard view;  // the application's keys
    view.app = received[focus];
    return view.AppModifiers();
  }
  bool CapsLockOn() override {
    P("GetKeyState");
    return FakeKeyboard::CapsLockOn();
  }
  uint16_t CharOfKey(uint8_t vk, bool shift, bool lock) override {
    P("ToUnicode");
    return FakeKeyboard::CharOfKey(vk, shift, lock);
  }
  int16_t KeyForChar(char c) override {
    P("VkKeyScanA");
    return FakeKeyboard::KeyForChar(c);
  }
  void Beep(uint32_t beepType) override {
    P("MessageBeep");
    FakeKeyboard::Beep(beepType);
  }
  void Pause(uint32_t ms) override { sched.TimedWait("Sleep", ms, [] { return false; }); }
  // Deliveries run one after another, in the order they were started.
  Scheduler::Task* lastDelivery = nullptr;
  bool StartDelivery(Delivery* record) override {
    P("CreateThread");
    const std::string what = record->scan.valid ? record->scan.data : "give-back";
    if (record->scan.valid) delivered.push_back(what);
    Scheduler::Task* previous = lastDelivery;
    lastDelivery = sched.Spawn("delivery of " + what, [this, record, previous] {
      if (previous) sched.BlockUntil("wait for the previous delivery", [previous] { return previous->done; });
      DeliveryThread(ctx, record);
    });
    return true;
  }
  // The step lock as the system's mutex, with its bounded wait: a task owns it; the next
  // taker gets it at once when its owner has ended (abandoned); the owner itself is refused.
  bool EnterStep(uint32_t maxWaitMs) override {
    P("WaitForSingleObject");
    Scheduler::Task* me = sched.current();
    if (stepOwner == me) return false;
    auto free = [this] { return stepOwner == nullptr || stepOwner->done || stepOwner->killed; };
    if (!sched.TimedWait("wait for the step", maxWaitMs, free)) return false;
    if (stepOwner != nullptr) ++abandonedSteps;
    stepOwner = me;
    if (++insideSteps > 1) twoInside = true;
    return true;
  }
  void LeaveStep() override {
    P("ReleaseMutex");
    --insideSteps;
    stepOwner = nullptr;
  }

  // The keyboard's key into the focused thread's queue, at any moment: also while the hook's
  // thread types.
  void Send(uint32_t vk, uint32_t scan, bool up, bool alt = false) {
    P("key from the keyboard");
    queue[focus].push_back({vk, scan, up, alt, 0, false});
  }
  void SendChar(char c) {
    const UsKey k = UsKeyOf(c);
    const uint32_t shift = path == Path::kLowLevel ? 160 : 16;
    if (k.shift) Send(shift, 42, false);
    Send(k.vk, k.scan, false);
    Send(k.vk, k.scan, true);
    if (k.shift) Send(shift, 42, true);
  }
  void SendPrefix() {
    const uint32_t alt = path == Path::kLowLevel ? 164 : 18;
    Send(alt, 56, false, true);
    Send(121, 68, false, true);
    Send(121, 68, true, true);
    Send(alt, 56, true);
  }

  // A thread that serves hooks: takes its keys in order (the low-level hook's thread also
  // its posted requests, after them) and hands on to the application what passes.
  void Serve(int t) {
    for (;;) {
      sched.BlockUntil("GetMessage", [this, t] {
        return !queue[t].empty() || (path == Path::kLowLevel && !posted.empty());
      });
      if (queue[t].empty()) {
        const int32_t serial = posted.front();
        posted.pop_front();
        if (serial == kReinstall) {  // the hook watch's RemoveHook, on this thread
          sched.current()->doing = "reinstalling the hooks";
          GiveBackCapture(ctx, true);
          continue;
        }
        sched.current()->doing = "ending burst " + std::to_string(serial);
        EndStalledBurst(ctx, serial);
        continue;
      }
      ServeWaiting(t);
    }
  }
  Scheduler::Task* hookThread = nullptr;  // the low-level hook's

  void ServeWaiting(int t) {
    while (!queue[t].empty()) {
      const Input in = queue[t].front();
      queue[t].pop_front();
      sched.current()->doing = "key " + std::to_string(in.vk) + (in.up ? "^" : "v");
      // GetAsyncKeyState's: moved by every key on the keyboard-hook path, whatever its hook
      // does; on the low-level path by the keys that pass it.
      const uint32_t bit = ModifierBit(in.scan, in.extended);
      const uint32_t moved = in.up ? modifiersDown & ~bit : modifiersDown | bit;
      if (path == Path::kKeyboard) modifiersDown = moved;
      if (Hook(in)) continue;
      if (path == Path::kLowLevel) modifiersDown = moved;
      received[t].push_back({in.vk, in.scan, in.up, in.extra != 0, in.extended});
    }
  }

 private:
  // True when a hook swallowed the key.
  bool Hook(const Input& in) {
    if (path == Path::kLowLevel) {
      const uint32_t flags = (in.up ? kLowLevelUp : 0) | (in.alt ? kLowLevelAltDown : 0) |
                             (in.extra ? kLowLevelInjected : 0) |
                             (in.extended ? kLowLevelExtended : 0);
      return LowLevelStep(ctx, in.vk, in.scan, flags, in.extra) == Verdict::kSwallow;
    }
    // The keyboard hook is given the generic modifier keys.
    const uint32_t vk = in.vk >= 160 && in.vk <= 165 ? 16 + (in.vk - 160) / 2 : in.vk;
    const uint32_t keyData = (in.scan & 255) << 16 | (in.alt ? 1u << 29 : 0) |
                             (in.up ? 3u << 30 : 0) | (in.extended ? 1u << 24 : 0) | 1;
    if (KeyboardStep(ctx, vk, keyData) == Verdict::kSwallow) return true;
    const bool system = in.alt || in.vk == 121 || in.vk == 18;
    uint32_t message = in.up ? (system ? 261 : 257) : (system ? kWmSysKeyDown : 256);
    MessageStep(ctx, &message, vk, keyData, true, in.extra);
    return message == kWmNull;
  }
};

class ExplorerWatcher : public WatcherPort {
 public:
  explicit ExplorerWatcher(ExplorerKeyboard& kb) : kb_(kb) {}
  Wake WaitForStart() override {
    kb_.sched.BlockUntil("wait for start", [this] { return kb_.start; });
    return Wake::kEvent;
  }
  Wake WaitForStop(uint32_t ms) override {
    return kb_.sched.TimedWait("wait for stop", ms, [this] { return kb_.stop; })
               ? Wake::kEvent
               : Wake::kTimeout;
  }
  void ResetStart() override {
    kb_.P("ResetEvent start");
    kb_.start = false;
  }
  void ResetStop() override {
    kb_.P("ResetEvent stop");
    kb_.stop = false;
  }
  bool Terminating(uint32_t) override { return false; }
  bool AskHookThread(int32_t serial) override {
    if (kb_.path != FakeKeyboard::Path::kLowLevel) return false;
    kb_.P("PostMessage");
    kb_.posted.push_back(serial);
    return true;
  }

 private:
  ExplorerKeyboard& kb_;
};

// --- Scenarios.

struct Burst {
  std::string data;  // what the scan holds; its wand text is derived from it
  std::string text;  // the wand's dotted text
  enum End { kEnter, kStall, kEdge } end;  // kEdge: the wand resumes as the timeout runs out
};

Burst ScanOf(const std::string& data, Burst::End end = Burst::kEnter) {
  return {data, EncodeWandText("", "C39", data), end};
}

constexpr uint32_t kStallMs = 3000;  // a stalled wand: well past the timeout and its waits

struct Scenario {
  std::string name;
  FakeKeyboard::Path path = FakeKeyboard::Path::kLowLevel;
  std::vector<Burst> bursts;
  bool breakAfterPrefix = false;  // F5 right after a first prefix
  bool frozenStep = false;  // B's hook holds the step, descheduled, while a burst stalls in A
  bool killedOwner = false;     // the step is held by a thread killed inside it
  bool killWhileTyping = false;  // A's program is killed while it types the first scan
  bool capsLock = false;         // the user's Caps Lock is on
  bool userShift = false;  // the user holds the right Shift over the scans, released after
  bool reinstall = false;  // the hook watch reinstalls the hooks once a burst has begun
  bool paced = false;      // the program in front has a row with a pace of 20 ms
  bool shortScenario = true;     // searched exhaustively with two departures
};

using Outcome = std::string;  // empty when every check held

// The application's keys as text, Shift, the lock and case included (US layout).
std::string TextOf(const std::vector<KeyEvent>& keys, bool capsLock = false) {
  FakeKeyboard view;
  view.app = keys;
  view.capsLock = capsLock;
  return view.AppText();
}

std::string Keys(const std::vector<KeyEvent>& keys) {
  std::string out;
  for (const KeyEvent& k : keys) out += " " + std::to_string(k.vk) + (k.up ? "^" : "v") + (k.injected ? "*" : "");
  return out;
}

Outcome RunOnce(const Scenario& sc, Scheduler& sched) {
  ExplorerKeyboard kb(sched, sc.path);
  kb.capsLock = sc.capsLock;
  if (sc.paced) {
    kb.state.apps.count = 1;
    std::strcpy(kb.state.apps.rules[0].program, "client.exe");
    kb.state.apps.rules[0].paceMs = 20;
    kb.programInFront = "client.exe";
  }
  ExplorerWatcher watcher(kb);
  const bool lowLevel = sc.path == FakeKeyboard::Path::kLowLevel;
  bool wandStalled = false, wandDone = false;
  auto at = [&](const std::string& what) { sched.current()->doing = what; };
  if (sc.killedOwner)  // it holds the step when the run begins
    kb.stepOwner = sched.Spawn("killed thread", [&] { sched.Kill(); });
  sched.Spawn("wand", [&] {
    if (sc.userShift) {
      at("the user's right Shift");
      kb.Send(161, 54, false);
    }
    if (sc.breakAfterPrefix) {
      at("prefix of the broken burst");
      kb.SendPrefix();
      at("F5 after the prefix");
      kb.Send(116, 63, false);
      kb.Send(116, 63, true);
    }
    for (const Burst& b : sc.bursts) {
      // The second scan comes once A's program is gone.
      if (sc.killWhileTyping && &b != &sc.bursts[0]) sched.BlockUntil("A's end", [&] { return kb.focus == 1; });
      at("prefix of scan " + b.data);
      kb.SendPrefix();
      const size_t resume = b.end == Burst::kEdge ? b.text.size() / 2 : b.text.size();
      for (size_t i = 0; i < b.text.size(); ++i) {
        if (i == resume) sched.TimedWait("stalled to the timeout", ReadTimeOut(kb.state), [] { return false; });
        at("key " + std::to_string(i + 1) + "/" + std::to_string(b.text.size()) + " of scan " + b.data);
        kb.SendChar(b.text[i]);
      }
      if (b.end == Burst::kStall) {
        wandStalled = true;
        sched.TimedWait("stalled", kStallMs, [] { return false; });
        wandStalled = false;
      } else {
        at("Enter of scan " + b.data);
        kb.Send(13, 28, false);
        kb.Send(13, 28, true);
      }
    }
    if (sc.userShift) {  // as the scans may be typed
      at("the user lets the right Shift go");
      kb.Send(161, 54, true);
    }
    // (Past a paced typing: a key the user types meanwhile lands where it comes.)
    sched.TimedWait("the user pauses", sc.paced ? 2000 : 100, [] { return false; });
    at("the user's Z");
    kb.SendChar('Z');
    wandDone = true;
  });
  if (sc.reinstall) {
    // The tray program's hook watch: RemoveHook and InstallHook once a burst has begun; on
    // the low-level path they run on the hook's thread (a message to it).
    sched.Spawn("hook watch", [&] {
      sched.BlockUntil("a burst begun", [&] {
        return kb.state.recognizerState != kIdle || kb.state.prefixPosition != 0 || wandDone;
      });
      if (wandDone) return;  // the schedule let no burst be seen running
      kb.P("PostMessage");
      kb.posted.push_back(kReinstall);
    });
  }
  Scheduler::Task* appA = sched.Spawn(lowLevel ? "hook thread" : "application A", [&] { kb.Serve(0); });
  if (!lowLevel) sched.Spawn("application B", [&] { kb.Serve(1); });
  if (lowLevel) kb.hookThread = appA;
  if (sc.killWhileTyping) kb.killAfterTyping = appA;
  sched.Spawn("watcher", [&] { RunTimeoutWatcher(kb.ctx, watcher); });
  sched.Spawn("time", [&] { sched.RunTime(); }, true);
  if (sc.frozenStep) {
    sched.Spawn("B's step", [&] {
      sched.BlockUntil("the wand stalls", [&] { return wandStalled && kb.queue[0].empty(); });
      StepGuard step(kb, kHookStepWaitMs);
      sched.TimedWait("descheduled", 2000, [] { return false; });
    });
  }
  sched.Run();

  auto fail = [&](const std::string& what) {
    return what + " (state " + std::to_string(kb.state.recognizerState) + ", prefix " +
           std::to_string(kb.state.prefixPosition) + ", length " +
           std::to_string(kb.state.keyBuffer.length) + ", starts " + std::to_string(kb.starts) +
           ", stops " + std::to_string(kb.stops) + ", A \"" + TextOf(kb.received[0], sc.capsLock) +
           "\", B \"" + TextOf(kb.received[1], sc.capsLock) + "\")" + Keys(kb.received[0]);
  };
  if (sched.overran) return fail("the run did not end");
  for (auto& t : sched.tasks())
    if (!t->done && !t->killed && t->name != "time" && t->name != "watcher" &&
        t->name.rfind("application", 0) != 0 && t->name != "hook thread")
      return fail("task \"" + t->name + "\" stuck");
  if (kb.start) return fail("a start was never taken by the watcher");
  if (!kb.queue[0].empty() && !appA->killed) return fail("keys left unserved");
  if (!kb.queue[1].empty() || !kb.posted.empty()) return fail("keys or requests left unserved");
  if (kb.twoInside) return fail("two steps inside the guard at once");
  if (kb.stepOwner != nullptr && !kb.stepOwner->done && !kb.stepOwner->killed)
    return fail("the step was left owned");
  if (sc.killedOwner && kb.abandonedSteps != 1)
    return fail("the killed owner's step was not taken over exactly once");
  if (kb.state.recognizerState != kIdle || kb.state.keyBuffer.length != 0 ||
      kb.state.prefixPosition != 0)
    return fail("a capture was left behind");
  if (kb.stops != kb.state.burstSerial) return fail("bursts begun and ended differ");
  FakeKeyboard view;  // the application's view
  view.app = kb.received[0];
  if ((view.AppModifiers() & (kLeftShiftBit | kRightShiftBit)) != 0)
    return fail("a Shift left down for the application");

  // What the application must hold, and how many scans it took: every complete scan
  // delivered once, every stalled burst given back.
  // A burst given back comes out as the keyboard typed it, the lock's case; one the hook
  // watch's reinstall met is given back as far as it was captured, the rest passing as it
  // comes, its Enter too. The user's Z last.
  auto asTyped = [&](std::string t) {
    if (sc.capsLock)
      for (char& ch : t)
        if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z')) ch ^= 0x20;
    return t;
  };
  const std::string z = asTyped("Z");
  std::vector<std::pair<std::string, size_t>> wanted{{"", 0}};
  for (const Burst& b : sc.bursts) {
    std::vector<std::pair<std::string, size_t>> next;
    for (const auto& [text, scans] : wanted) {
      if (b.end != Burst::kStall) next.push_back({text + b.data, scans + 1});
      if (b.end == Burst::kStall) next.push_back({text + asTyped(b.text), scans});
      if (sc.reinstall && b.end != Burst::kStall)
        next.push_back({text + asTyped(b.text) + "\n", scans});
    }
    wanted = next;
  }
  const std::string a = TextOf(kb.received[0], sc.capsLock);
  if (sc.bursts.size() == 1 && sc.bursts[0].end == Burst::kEdge && kb.beeps.empty()) {
    // Given back as the wand went on: what was captured typed back, the rest passed, whole.
    const std::string t = asTyped(sc.bursts[0].text) + "\n" + z;
    if (a != t) return fail("the application holds \"" + a + "\", expected \"" + t + "\"");
    return kb.delivered.empty() ? Outcome() : fail("a scan given back was also delivered");
  }
  if (sc.killWhileTyping) {
    // A died while it typed the first scan: what reached it is the beginning of that scan;
    // the second scan lands exact in B.
    const std::string first = sc.bursts[0].data;
    if (first.compare(0, a.size(), a) != 0 || a.size() >= first.size())
      return fail("A holds more than the start of scan " + first);
    const std::string b = TextOf(kb.received[1], sc.capsLock);
    if (b != sc.bursts[1].data + z) return fail("B holds \"" + b + "\", not scan " + sc.bursts[1].data);
    return {};
  }
  auto match = std::find_if(wanted.begin(), wanted.end(),
                            [&](const auto& w) { return w.first + z == a; });
  if (match == wanted.end())
    return fail("the application holds \"" + a + "\", expected \"" + wanted[0].first + z + "\"");
  if (kb.beeps.size() != match->second) return fail("scans typed and scans delivered differ");
  if (lowLevel && kb.delivered.size() != match->second)
    return fail("scans handed to delivery threads and scans typed differ");
  if (!kb.received[1].empty()) return fail("B received keys");
  return {};
}

struct Exploration {
  size_t schedules = 0;
  Outcome failure;
  std::vector<int> schedule;
  std::string trace;        // the failing schedule, switch by switch
  size_t choicePoints = 0;  // of the schedule without departures
};

// A failed schedule is kept with the trace of its replay, for the report.
bool Failed(const Scenario& sc, const Outcome& o, const Scheduler& sched, Exploration* e) {
  if (o.empty()) return false;
  e->failure = o;
  e->schedule = sched.taken;
  Scheduler replay;
  replay.forced = sched.taken;
  replay.trace = &e->trace;
  RunOnce(sc, replay);
  return true;
}

// Every schedule that departs from the plain one at no more than `bound` choice points, depth
// first, up to `cap`.
Exploration Explore(const Scenario& sc, int bound, size_t cap) {
  Exploration e;
  std::vector<int> forced;
  for (;;) {
    Scheduler sched;
    sched.forced = forced;
    const Outcome o = RunOnce(sc, sched);
    ++e.schedules;
    if (e.schedules == 1) e.choicePoints = sched.taken.size();
    if (Failed(sc, o, sched, &e) || e.schedules >= cap) return e;
    std::vector<int> departures(sched.taken.size() + 1, 0);
    for (size_t i = 0; i < sched.taken.size(); ++i)
      departures[i + 1] = departures[i] + (sched.taken[i] != 0 ? 1 : 0);
    int k = static_cast<int>(sched.taken.size()) - 1;
    for (; k >= 0; --k)
      if (sched.taken[k] + 1 < sched.options[k] && departures[k] + 1 <= bound) break;
    if (k < 0) return e;
    forced.assign(sched.taken.begin(), sched.taken.begin() + k);
    forced.push_back(sched.taken[k] + 1);
  }
}

// Seeded random schedules: two to four departures, each at a choice point drawn from the
// whole run, to another task.
Exploration Sample(const Scenario& sc, uint32_t seed, size_t count, size_t choicePoints) {
  Exploration e;
  std::mt19937 random(seed);
  for (size_t i = 0; i < count; ++i) {
    Scheduler sched;
    sched.forced.assign(choicePoints, 0);
    const int departures = 2 + static_cast<int>(i % 3);
    for (int k = 0; k < departures; ++k)
      sched.forced[random() % choicePoints] = 1 + static_cast<int>(random() % 3);
    const Outcome o = RunOnce(sc, sched);
    ++e.schedules;
    if (Failed(sc, o, sched, &e)) return e;
  }
  return e;
}

std::string Describe(const std::vector<int>& schedule) {
  std::string s;
  for (size_t i = 0; i < schedule.size(); ++i)
    if (schedule[i] != 0) s += " " + std::to_string(i) + ":" + std::to_string(schedule[i]);
  return s.empty() ? " none" : s;
}

std::vector<Scenario> Scenarios() {
  constexpr auto kLl = FakeKeyboard::Path::kLowLevel;
  constexpr auto kKb = FakeKeyboard::Path::kKeyboard;
  std::vector<Scenario> all;
  auto add = [&](std::string name, FakeKeyboard::Path path, std::vector<Burst> bursts) -> Scenario& {
    Scenario s;
    s.name = std::move(name);
    s.path = path;
    s.bursts = std::move(bursts);
    all.push_back(s);
    return all.back();
  };
  // Low-level path.
  add("burst during typing", kLl, {ScanOf("41"), ScanOf("42")}).shortScenario = false;
  add("broken off, then stalled", kLl, {ScanOf("7", Burst::kStall)}).breakAfterPrefix = true;
  add("stalled, then another", kLl, {ScanOf("5", Burst::kStall), ScanOf("6")});
  add("scan, then stalled", kLl, {ScanOf("8"), ScanOf("9", Burst::kStall)});
  // The wand goes on just as the timeout runs out: its keys meet the give-back.
  add("resumes at the timeout", kLl, {ScanOf("4", Burst::kEdge)});
  // Keyboard-hook path, in the applications of two processes.
  add("-98 burst during typing", kKb, {ScanOf("1"), ScanOf("2")}).shortScenario = false;
  // A paced scan is typed from the delivery thread, key by key, while the wand's next burst
  // comes with keys that match the scan's on their way.
  Scenario& paced = add("-98 paced, burst during typing", kKb, {ScanOf("A4"), ScanOf("B5")});
  paced.paced = true;
  paced.shortScenario = false;
  add("-98 stalled, step frozen in B", kKb, {ScanOf("3", Burst::kStall)}).frozenStep = true;
  add("-98 killed owner", kKb, {ScanOf("3")}).killedOwner = true;
  Scenario& killed = add("-98 killed while typing", kKb, {ScanOf("12"), ScanOf("34")});
  killed.killWhileTyping = true;
  killed.shortScenario = false;
  // The user's lock and Shift: the scans exact, the Shift the user's again after them and
  // up once let go, wherever the release falls; on the keyboard-hook path also when the
  // second burst's keys come before the first scan's typed keys, which they match.
  for (const FakeKeyboard::Path path : {kLl, kKb}) {
    Scenario& held = add(path == kLl ? "lock on, Shift held" : "-98 lock on, Shift held", path,
                         {ScanOf("A4"), ScanOf("B5")});
    held.capsLock = held.userShift = true;
    held.shortScenario = false;
  }
  // The hook watch reinstalls the hooks while a burst runs: nothing lost, nothing twice.
  // (With an earlier scan still being delivered, the captured keys are given back after it
  // while the wand's next keys pass at once, out of order: not mended, not explored.)
  for (const Burst& b : {ScanOf("7"), ScanOf("9", Burst::kStall)}) {
    Scenario& re = add(b.end == Burst::kStall ? "reinstalled, stalled" : "reinstalled mid-burst",
                       kLl, {b});
    re.reinstall = true;
    re.shortScenario = false;
  }
  return all;
}

// Random schedules per scenario past the exhaustive search: PELLIX_EXPLORER_SCHEDULES
// (scripts/bench runs many more); PELLIX_EXPLORER_CAP bounds the exhaustive search.
size_t FromEnvironment(const char* name, size_t otherwise) {
  const char* v = std::getenv(name);
  return v ? std::strtoul(v, nullptr, 10) : otherwise;
}

TEST(Interleavings, EveryBurstEndsOnceAndTheTextIsExactWhateverTheSchedule) {
  const auto begin = std::chrono::steady_clock::now();
  size_t total = 0;
  const char* only = std::getenv("PELLIX_EXPLORER_ONLY");  // one scenario, by name
  for (const Scenario& sc : Scenarios()) {
    if (only && sc.name != only) continue;
    Exploration e = Explore(sc, sc.shortScenario ? 2 : 1, FromEnvironment("PELLIX_EXPLORER_CAP", 40000));
    size_t n = e.schedules;
    if (e.failure.empty()) {
      const Exploration r = Sample(sc, 16, FromEnvironment("PELLIX_EXPLORER_SCHEDULES", 1500),
                                   std::max<size_t>(e.choicePoints, 1));
      n += r.schedules;
      if (!r.failure.empty()) e = r;
    }
    total += n;
    std::printf("%-32s %6zu schedules%s\n", sc.name.c_str(), n,
                e.failure.empty() ? "" : ": FAILED");
    EXPECT_EQ(e.failure, "") << sc.name << ", schedule (choice point:option)"
                             << Describe(e.schedule) << "\n" << e.trace;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  std::printf("%zu schedules in %.1f s\n", total, seconds);
}

}  // namespace
}  // namespace testing
void InterleavingPoint() {
  if (testing::g_scheduler) testing::g_scheduler->Point();
}

}  // namespace pellix
