#include <gtest/gtest.h>
#include "engine/scan_record.h"
TEST(Decoder, Smoke) { pellix::ScanRecord r; pellix::DecodeScan(".CNfW.fHmc.CNfW.", nullptr, &r); EXPECT_STREQ(r.serial, "123"); }
