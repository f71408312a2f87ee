// The schedule explorer: the low-level hook's steps, the timeout watcher and the delivery
// threads run as cooperative tasks over the fake keyboard, switching at every platform call
// and every access to a shared field. Each scenario is run under every schedule that departs
// once from the plain one (the running task goes on while it can), then under seeded random
// schedules that depart two to four times; after each run the bursts' fates and the record
// are checked.
#include <gtest/gtest.h>
#include <ucontext.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
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

// --- Cooperative tasks and the schedule that interleaves them.

class Scheduler;
Scheduler* g_scheduler = nullptr;

class Scheduler {
 public:
  struct Task {
    std::string name;
    uint32_t id;
    std::function<void()> body;
    std::function<bool()> ready;  // empty: runnable
    ucontext_t context;
    std::unique_ptr<char[]> stack;
    bool started = false;
    bool done = false;
    bool yielding = false;
    std::string doing;  // what the task is at, for a trace
  };
  static constexpr size_t kStackSize = 256 * 1024;

  // The schedule: choices forced at the first choice points; past them, the running task
  // goes on (or, when it cannot, the first task that can).
  std::vector<int> forced;
  // What this run chose, and how many tasks could have run at each choice.
  std::vector<int> taken;
  std::vector<int> options;
  size_t steps = 0;
  static constexpr size_t kStepLimit = 200000;
  bool overran = false;
  std::string* trace = nullptr;  // when set, every switch is written to it

  Task* Spawn(std::string name, uint32_t id, std::function<void()> body) {
    auto t = std::make_unique<Task>();
    t->name = std::move(name);
    t->id = id;
    t->body = std::move(body);
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
  bool InTask() const { return current_ != nullptr; }

  // A place where another task may run first; `what` names it in a trace.
  void Point(const char* what = "shared field", bool yield = false) {
    if (!current_) return;
    at_ = what;
    current_->yielding = yield;
    swapcontext(&current_->context, &main_);
  }
  // Waits (as a switch point) until `ready` holds.
  void BlockUntil(const char* what, std::function<bool()> ready) {
    if (!current_) return;
    current_->ready = std::move(ready);
    Point(what);
    current_->ready = nullptr;
  }

  // Runs until no task can go on.
  void Run() {
    g_scheduler = this;
    Task* last = nullptr;
    for (;;) {
      std::vector<Task*> runnable;
      for (auto& t : tasks_)
        if (!t->done && (!t->ready || t->ready())) runnable.push_back(t.get());
      if (runnable.empty()) break;
      if (++steps > kStepLimit) {
        overran = true;
        break;
      }
      // The running task first (unless it yields), then the others in their order.
      const bool goOn = last && !last->done && !last->yielding &&
                        std::find(runnable.begin(), runnable.end(), last) != runnable.end();
      if (goOn) {
        runnable.erase(std::find(runnable.begin(), runnable.end(), last));
        runnable.insert(runnable.begin(), last);
      } else if (last && last->yielding) {
        auto it = std::find(runnable.begin(), runnable.end(), last);
        if (it != runnable.end() && runnable.size() > 1) {
          runnable.erase(it);
          runnable.push_back(last);
        }
      }
      int choice = 0;
      if (runnable.size() > 1) {
        const size_t k = taken.size();
        if (k < forced.size()) choice = std::min<int>(forced[k], static_cast<int>(runnable.size()) - 1);
        taken.push_back(choice);
        options.push_back(static_cast<int>(runnable.size()));
      }
      Task* next = runnable[choice];
      if (trace && next != last)
        *trace += "  " + (last ? last->name + " " + last->doing + " [" + at_ + "] -> " : "") +
                  next->name + (next->started ? "" : " starts") + "\n";
      next->yielding = false;
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

// --- The fake system as the tasks see it.

class ExplorerKeyboard : public FakeKeyboard {
 public:
  explicit ExplorerKeyboard(Scheduler& s) : sched(s) {
    state.terminator = 0;  // the outputs below are compared as characters
    state.beepOn = 0;
  }
  Scheduler& sched;
  bool start = false, stop = false, term = false;
  std::vector<std::string> delivered;  // data of each scan handed to a delivery thread
  int insideSteps = 0;
  bool twoInside = false;
  uint32_t nextDeliveryId = 3;

  void P(const char* what) { sched.Point(what); }
  uint32_t MapVirtualKeyToChar(uint32_t vk) override {
    P("MapVirtualKeyA");
    return FakeKeyboard::MapVirtualKeyToChar(vk);
  }
  void SignalStart() override {
    P("SignalStart");
    start = true;
    FakeKeyboard::SignalStart();
  }
  void SignalStop() override {
    P("SignalStop");
    stop = true;
    FakeKeyboard::SignalStop();
  }
  void KeybdEvent(uint8_t vk, uint8_t scanCode, uint32_t flags) override {
    P("keybd_event");
    FakeKeyboard::KeybdEvent(vk, scanCode, flags);
  }
  int16_t KeyForChar(char c) override {
    P("VkKeyScanA");
    return FakeKeyboard::KeyForChar(c);
  }
  bool StartDelivery(ScanRecord* record) override {
    P("StartDelivery");
    delivered.push_back(record->data);
    sched.Spawn("delivery of " + std::string(record->data), nextDeliveryId++,
                [this, record] { DeliveryThread(ctx, record); });
    return true;
  }
  // The step lock as the system's mutex: a task owns it; the next taker gets it when its
  // owner has ended (abandoned), the owner itself is refused.
  Scheduler::Task* stepOwnerTask = nullptr;
  bool stepHeldByKilledThread = false;  // held by a thread killed inside its step
  int abandonedSteps = 0;
  bool EnterStep(uint32_t) override {
    P("WaitForSingleObject");
    Scheduler::Task* me = sched.current();
    if (me != nullptr && stepOwnerTask == me) return false;
    sched.BlockUntil("wait for the step", [this] {
      return !stepHeldByKilledThread && (stepOwnerTask == nullptr || stepOwnerTask->done);
    });
    if (stepOwnerTask != nullptr) ++abandonedSteps;
    stepOwnerTask = me;
    if (++insideSteps > 1) twoInside = true;
    return true;
  }
  void LeaveStep() override {
    P("ReleaseMutex");
    --insideSteps;
    stepOwnerTask = nullptr;
  }
};

class ExplorerWatcher : public WatcherPort {
 public:
  ExplorerWatcher(ExplorerKeyboard& kb, bool clock) : kb_(kb), clock_(clock) {}
  bool waitingForStop = false;
  bool timeUp = false;

  Wake WaitForStart() override {
    kb_.sched.BlockUntil("wait for start", [this] { return kb_.term || kb_.start; });
    return kb_.term ? Wake::kTerm : Wake::kEvent;
  }
  Wake WaitForStop(uint32_t) override {
    waitingForStop = true;
    kb_.sched.BlockUntil("wait for stop",
                         [this] { return kb_.term || kb_.stop || timeUp; });
    waitingForStop = false;
    const bool expired = timeUp;
    timeUp = false;
    if (kb_.term) return Wake::kTerm;
    if (kb_.stop || !expired) return Wake::kEvent;
    return Wake::kTimeout;
  }
  void ResetStartAndStop() override {
    kb_.P("ResetEvent");
    kb_.start = kb_.stop = false;
  }
  void ResetStop() override {
    kb_.P("ResetEvent");
    kb_.stop = false;
  }
  // The passing of time: a task that, whenever it runs, lets the watcher's wait expire.
  void RunClock() {
    if (!clock_) return;
    for (;;) {
      kb_.sched.BlockUntil("", [this] { return waitingForStop && !timeUp; });
      timeUp = true;
    }
  }

 private:
  ExplorerKeyboard& kb_;
  bool clock_;
};


// --- Scenarios.

struct Burst {
  std::string data;  // what the scan holds; its wand text is derived from it
  std::string text;  // the wand's dotted text
  bool complete;     // ends with Enter
};

Burst ScanOf(const std::string& data, bool complete = true) {
  return {data, EncodeWandText("", "C39", data), complete};
}

struct Scenario {
  std::string name;
  // Keys fed by the hook thread; bursts in order, `breakAfterPrefix` first when set.
  bool breakAfterPrefix = false;
  std::vector<Burst> bursts;
  bool clock = true;           // the watcher's waits may expire
  bool deadOwner = false;      // the step was held by a thread killed inside it
  bool mustDeliver = false;    // every complete burst must come out as its scan
};

struct Outcome {
  std::string failure;  // empty when every check held
};

// The character keys pressed, as sorted virtual keys: the order in which the application got
// them may differ, and so may their case (a Shift of the wand's held while the library types
// shifts the typed key too), but not which keys came, nor how often.
std::vector<uint32_t> CharacterKeys(const std::vector<KeyEvent>& events) {
  std::vector<uint32_t> keys;
  for (const KeyEvent& k : events)
    if (!k.up && (IsWandKey(k.vk) || k.vk == 187) && k.vk != 13) keys.push_back(k.vk);
  std::sort(keys.begin(), keys.end());
  return keys;
}
std::vector<uint32_t> CharacterKeys(const std::string& text) {
  std::vector<KeyEvent> events;
  for (char c : text) events.push_back({UsKeyOf(c).vk, 0, false, false});
  return CharacterKeys(events);
}

Outcome RunOnce(const Scenario& sc, Scheduler& sched) {
  ExplorerKeyboard kb(sched);
  ExplorerWatcher watcher(kb, sc.clock);
  // The killed owner's end is seen by the system only once the scenario runs.
  if (sc.deadOwner) kb.stepHeldByKilledThread = true;
  sched.Spawn("hook", 1, [&] {
    auto at = [&](const std::string& what) { sched.current()->doing = what; };
    if (sc.breakAfterPrefix) {
      at("prefix of the broken burst");
      kb.WandPrefix();
      at("F5 after the prefix");
      kb.Key(116, 63, false);  // F5: not the wand's
      kb.Key(116, 63, true);
    }
    for (const Burst& b : sc.bursts) {
      at("prefix of scan " + b.data);
      kb.WandPrefix();
      for (size_t i = 0; i < b.text.size(); ++i) {
        at("key " + std::to_string(i + 1) + "/" + std::to_string(b.text.size()) + " of scan " +
           b.data);
        kb.WandChar(b.text[i]);
      }
      at("Enter of scan " + b.data);
      if (b.complete) kb.Enter();
    }
    at("done");
  });
  sched.Spawn("watcher", 2, [&] { RunTimeoutWatcher(kb.ctx, watcher); });
  sched.Spawn("clock", 0, [&] { watcher.RunClock(); });
  if (sc.deadOwner) {
    // The system ends the killed thread; a new thread that got its id takes a step of its
    // own. With the hook's first step, two waiters meet at the dead owner.
    sched.Spawn("killed thread's end", 0, [&] {
      kb.P("thread end");
      kb.stepHeldByKilledThread = false;
      kb.stepOwnerTask = sched.current();  // gone with this task, which ends now
    });
    sched.Spawn("reused id", 7, [&] {
      kb.P("thread start");
      StepGuard step(kb, kWatcherStepWaitMs);
      kb.P("inside its step");
    });
  }
  sched.Run();

  auto fail = [&](const std::string& what) {
    return Outcome{what + " (state " + std::to_string(kb.state.recognizerState) + ", prefix " +
                   std::to_string(kb.state.prefixPosition) + ", length " +
                   std::to_string(kb.state.keyBuffer.length) + ", typing " +
                   std::to_string(kb.state.typing) + ", starts " +
                   std::to_string(kb.starts) + ", stops " + std::to_string(kb.stops) +
                   ", app \"" + kb.AppText() + "\")"};
  };
  if (sched.overran) return fail("the run did not end");
  for (auto& t : sched.tasks()) {
    if (t->done || t->name == "clock") continue;
    if (t->name == "watcher" && !kb.start) continue;  // waiting for the next burst
    return fail("task \"" + t->name + "\" stuck");
  }
  if (kb.twoInside) return fail("two steps inside the guard at once");
  // Nothing runs any more and the watcher waits for a start: a burst still being captured
  // would never be timed.
  if (kb.state.recognizerState != kIdle) return fail("the recognizer did not end Idle");
  // The user types on. A prefix matched in part (say its Alt pressed just before the library
  // began to type, and the rest passed during the typing) is held until this key.
  kb.LowLevel('Z', 44, 0);
  kb.LowLevel('Z', 44, kLowLevelUp);
  if (kb.state.recognizerState != kIdle || kb.state.keyBuffer.length != 0 ||
      kb.state.prefixPosition != 0)
    return fail("a capture was left behind");
  if (kb.stepOwnerTask != nullptr && !kb.stepOwnerTask->done)
    return fail("the step was left owned");
  if (sc.deadOwner && kb.abandonedSteps != 1)
    return fail("the dead owner's step was not taken over exactly once");
  const int begun = kb.state.burstSerial;
  if (kb.stops != begun) return fail("bursts begun and ended differ");
  std::string expected = "Z";
  for (const Burst& b : sc.bursts) {
    const int n = static_cast<int>(std::count(kb.delivered.begin(), kb.delivered.end(), b.data));
    if (n > 1) return fail("scan " + b.data + " delivered twice");
    if (sc.mustDeliver && b.complete && n == 0) return fail("scan " + b.data + " not delivered");
    expected += n == 1 ? b.data : b.text;
  }
  if (sched.trace) {  // what the application got: virtual key, v press, ^ release, i injected
    *sched.trace += "  application:";
    for (const KeyEvent& k : kb.app)
      *sched.trace += " " + std::to_string(k.vk) + (k.up ? "^" : "v") + (k.injected ? "i" : "");
    *sched.trace += "\n";
  }
  if (CharacterKeys(kb.app) != CharacterKeys(expected))
    return fail("keys lost or typed twice: expected the characters of \"" + expected + "\"");
  return {};
}

struct Exploration {
  size_t schedules = 0;
  std::string failure;
  std::vector<int> schedule;
  std::string trace;  // the failing schedule, switch by switch
  size_t choicePoints = 0;  // of the schedule without preemptions
};

// A failed schedule is kept with the trace of its replay, for the report.
bool Failed(const Scenario& sc, const Outcome& o, const Scheduler& sched, Exploration* e) {
  if (o.failure.empty()) return false;
  e->failure = o.failure;
  e->schedule = sched.taken;
  Scheduler replay;
  replay.forced = sched.taken;
  replay.trace = &e->trace;
  RunOnce(sc, replay);
  return true;
}

// Every schedule that departs from the plain one (the running task goes on while it can, else
// the first that can) at no more than `bound` choice points, depth first, up to `cap`.
Exploration Explore(const Scenario& sc, int bound, size_t cap) {
  Exploration e;
  std::vector<int> forced;
  for (;;) {
    Scheduler sched;
    sched.forced = forced;
    const Outcome o = RunOnce(sc, sched);
    ++e.schedules;
    if (e.schedules == 1) e.choicePoints = sched.taken.size();
    if (Failed(sc, o, sched, &e)) return e;
    if (e.schedules >= cap) return e;
    // The next schedule: the last choice that can still be raised within the bound.
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

// Seeded random schedules past the bound: two to four departures, each at a choice point
// drawn from the whole run, to another task.
Exploration Sample(const Scenario& sc, uint32_t seed, size_t count, size_t choicePoints) {
  Exploration e;
  std::mt19937 random(seed);
  for (size_t i = 0; i < count; ++i) {
    Scheduler sched;
    sched.forced.assign(choicePoints, 0);
    const int preemptions = 2 + static_cast<int>(i % 3);
    for (int k = 0; k < preemptions; ++k)
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
  std::vector<Scenario> all;
  // A burst that ends while the previous scan is typed.
  all.push_back({"burst during typing", false, {ScanOf("41"), ScanOf("42")}});
  // A burst broken off right after its prefix, at once followed by one that stalls.
  all.push_back({"broken off, then stalled", true, {ScanOf("7", false)}});
  // A stalled burst times out while the next begins.
  all.push_back({"stalled, then another", false, {ScanOf("5", false), ScanOf("6")}});
  // A give-back during typing: a scan is typed while the next burst stalls.
  all.push_back({"give-back during typing", false, {ScanOf("8"), ScanOf("9", false)}});
  // A step held by a thread that was killed inside it; its id goes to a new thread.
  Scenario dead{"dead owner", false, {ScanOf("3")}};
  dead.clock = false;
  dead.deadOwner = true;
  dead.mustDeliver = true;
  all.push_back(dead);
  return all;
}

// Schedules per scenario past the exhaustive single preemptions: PELLIX_EXPLORER_SCHEDULES
// (scripts/bench runs many more).
size_t RandomSchedules() {
  const char* v = std::getenv("PELLIX_EXPLORER_SCHEDULES");
  return v ? std::strtoul(v, nullptr, 10) : 2500;
}

TEST(Interleavings, EveryBurstEndsOnceWhateverTheSchedule) {
  const auto begin = std::chrono::steady_clock::now();
  size_t total = 0;
  for (const Scenario& sc : Scenarios()) {
    Exploration e = Explore(sc, 1, 100000);
    size_t n = e.schedules;
    if (e.failure.empty()) {
      const Exploration r = Sample(sc, 16, RandomSchedules(), std::max<size_t>(e.choicePoints, 1));
      n += r.schedules;
      if (!r.failure.empty()) e = r;
    }
    total += n;
    std::printf("%-26s %6zu schedules%s\n", sc.name.c_str(), n,
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
