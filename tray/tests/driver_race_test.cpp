// The driver thread's scans against the user-interface thread's profile changes: activations,
// saved and deleted scan types free entries and their texts while scans arrive. Run under
// ThreadSanitizer (scripts/test), any unguarded read of the table is reported.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "tray/core/driver_path.h"
#include "tray/tests/fakes.h"

namespace pellix {
namespace {

TEST(DriverPathRace, ScansWhileTheProfileChangesReadNothingFreed) {
  ProfileTable table;
  TraySettings settings;
  settings.terminator = '\n';
  std::atomic<bool> stop{false};

  // The user-interface thread: activations (clear and refill) and edits whose texts grow, so
  // that entries and their buffers are freed and made anew all the time.
  std::thread ui([&] {
    for (int round = 0; !stop.load(); ++round) {
      const std::string grow(static_cast<size_t>(round % 40), 'x');
      table.Clear();
      table.AddOrUpdate("UPA", ("+-" + grow).c_str(), nullptr, nullptr, false, 1);
      table.AddOrUpdate("IB5", nullptr, nullptr, nullptr, true, 1);
      table.AddOrUpdate("C39", nullptr, ("prog" + grow + ".exe").c_str(), "$1 $3", false, 3);
      table.Remove("IB5");
      table.AddOrUpdate("UPA", "+", ("open " + grow).c_str(), grow.c_str(), false, 7);
    }
  });

  RecordingDriver driver;
  FakeTrayPort port;
  FakeLauncher launcher;
  UsLayout layout;
  const char* const types[] = {"UPA", "IB5", "C39"};
  int scans = 0;
  for (int i = 0; i < 3000; ++i) {
    DriverScanRecord r = {};
    std::strcpy(r.type, types[i % 3]);
    std::strcpy(r.data, i % 3 == 1 ? "9780262033848" : "012345678905");
    std::strcpy(r.serial, "1");
    DriverScanContext ctx = {&driver, &port, &launcher, &layout, &table, &settings, nullptr,
                             nullptr};
    ProcessDriverScan(&r, ctx);
    scans += r.done == 1;
    driver.requests.clear();
  }
  stop = true;
  ui.join();
  EXPECT_EQ(scans, 3000);
  for (const auto& launch : launcher.launches) {
    EXPECT_TRUE(launch.file.rfind("prog", 0) == 0 || launch.file.rfind("open", 0) == 0)
        << launch.file;
  }
}

}  // namespace
}  // namespace pellix
