// zrmtool velearn: a recorded drive through the frame processing with VE
// learn active, the destination written as a stop writes it, the printed
// corrections and counts, and the errors.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "link/runtime_frame.h"
#include "test_support.h"

namespace zrm {
namespace {

#ifdef ZRMTOOL_PATH

using Bytes = std::vector<std::uint8_t>;

Bytes MakeBin(int id) {
  Bytes bin(16384);
  for (std::size_t i = 0; i < bin.size(); ++i) bin[i] = static_cast<std::uint8_t>((i * 13 + 5) & 0xFF);
  bin[0] = static_cast<std::uint8_t>(id >> 8);
  bin[1] = static_cast<std::uint8_t>(id & 0xFF);
  bin[2] = 'Z';
  bin[3] = 'R';
  bin[4] = 'M';
  bin[5] = 'F';
  bin[9] = 1;
  bin[10] = 4;
  return bin;
}

// A running engine at 2000 RPM (grid row 64) and 60 kPa (grid column 40) in
// closed loop with block learn, BLM 140, coolant 89.75 C.
Bytes RunningPayload(std::uint8_t cts) {
  Bytes p(FRAME_PAYLOAD_SIZE, 0);
  p[field::statusByte1] = 0x80;
  p[field::runTimeSec + 1] = 30;
  p[field::mapGauge] = 128;
  p[field::tpsRaw] = 51;
  p[field::rpmFine] = 80;
  p[field::ctsRaw] = cts;
  p[field::statusByte14] = 0x82;
  p[field::blm] = 140;
  p[field::integrator] = 128;
  return p;
}

std::string Tool() { return ZRMTOOL_PATH; }

struct VeLearnRun : ::testing::Test {
  void SetUp() override {
    test::WriteFileBytes(dir.File("src.bin"), source);
    test::WriteFileText(dir.File("vistrel.cfg"), "[TEMPERSCALE] 1\n[LRNLWR] 75\n[LRNUPR] 110\n[UPDATERATE] 0\n");
    Bytes log;
    // 34 frames before the engine counts as running, then the first running
    // frame (a MAP step from the start's 0), 20 samples, and 40 frames with
    // a cold engine so the corrections are recomputed after the last sample.
    for (int i = 0; i < 35 + 20; ++i) {
      const Bytes frame = test::WireFrame(RunningPayload(173));
      log.insert(log.end(), frame.begin(), frame.end());
    }
    for (int i = 0; i < 40; ++i) {
      const Bytes frame = test::WireFrame(RunningPayload(100));
      log.insert(log.end(), frame.begin(), frame.end());
    }
    test::WriteFileBytes(dir.File("drive.dat"), log);
  }
  std::string Args(const std::string& extra = "") {
    return Tool() + " velearn " + dir.File("drive.dat") + " " + dir.File("src.bin") + " " + dir.File("dst.bin") +
           " --config " + dir.File("vistrel.cfg") + extra;
  }
  test::TempDir dir;
  Bytes source = MakeBin(0x0041);
};

TEST_F(VeLearnRun, LearnsOneCellAndWritesTheDestination) {
  std::string out;
  ASSERT_EQ(test::RunCommand(Args(" --input blm --smooth 0"), &out), 0) << out;

  // Only the 2000 RPM x 60 kPa cell has a window holding the samples:
  // 1900 RPM looks at rows 58..62, 2200 at 68..76; 55 kPa at columns 33..37,
  // 65 kPa at 43..47, 70 kPa at 46..54. Its average is 140, in BLM input
  // truncate(12 x 0.66667 + 128) = 136.
  Bytes expected = source;
  const std::uint8_t base = source[253 + 8];  // row 17 is read from the high table
  const auto corrected = static_cast<std::uint8_t>((136u * base) >> 7);
  for (int col = 0; col < 14; ++col) {
    const std::uint8_t v = col == 8 ? corrected : source[253 + col];
    expected[12 + 16 * 14 + col] = v;  // the low table's 2000 RPM row gets the same row
    expected[253 + col] = v;
  }
  expected[0] = 0x00;
  expected[1] = 0x42;
  unsigned sum = 0;
  for (std::size_t i = 8; i < expected.size(); ++i) sum += expected[i];
  expected[6] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
  expected[7] = static_cast<std::uint8_t>(sum & 0xFF);
  EXPECT_EQ(test::ReadFileBytes(dir.File("dst.bin")), expected);

  EXPECT_NE(out.find("    Corrections in Percent\n"), std::string::npos) << out;
  EXPECT_NE(out.find("RPM/MAP 20  25  30  35  40  45  50  55  60  65  70  80  90 100\n"), std::string::npos) << out;
  // 136 / 128 - 1 = 6.25 %.
  EXPECT_NE(out.find("\n2000     .   .   .   .   .   .   .   .   6   .   .   .   .   .\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n6375     .   .   .   .   .   .   .   .   .   .   .   .   .   .\n"), std::string::npos) << out;
  EXPECT_NE(out.find("frames 95 samples 20\n"), std::string::npos) << out;
  EXPECT_NE(out.find("turned away: engine off 34, coolant 40, transient 0, MAP/TPS step 1, low RPM 0, boost 0, "
                     "open loop 0, integrator 0, BLM not 128 0, no commanded AFR 0\n"),
            std::string::npos)
      << out;
}

// Open loop, BLM 128, commanded 14.7, and a TT-1 wideband (AFR = 2 V + 10)
// on channel 0 reading `counts`.
Bytes OpenLoopPayload(std::uint8_t cts, int counts) {
  Bytes p = RunningPayload(cts);
  p[field::statusByte14] = 0x00;
  p[field::blm] = 128;
  p[field::commandedAfr] = 147;
  p[field::adcChannel(0)] = static_cast<std::uint8_t>(counts >> 8);
  p[field::adcChannel(0) + 1] = static_cast<std::uint8_t>(counts & 0xFF);
  return p;
}

TEST_F(VeLearnRun, WidebandFromThePreferredChannel) {
  test::WriteFileText(dir.File("vistrel.cfg"),
                      "[TEMPERSCALE] 1\n[UPDATERATE] 0\n[AD0TYPE] 0\n[AD0INSTA] 1\n[AD0INDEX] 1\n"
                      "[AD0FILTER] 100\n[AD0WBPREF] 1\n");
  const int counts = 550;
  Bytes log;
  for (int i = 0; i < 55; ++i) {
    const Bytes frame = test::WireFrame(OpenLoopPayload(173, counts));
    log.insert(log.end(), frame.begin(), frame.end());
  }
  for (int i = 0; i < 40; ++i) {
    const Bytes frame = test::WireFrame(OpenLoopPayload(100, counts));
    log.insert(log.end(), frame.begin(), frame.end());
  }
  test::WriteFileBytes(dir.File("drive.dat"), log);
  std::string out;
  ASSERT_EQ(test::RunCommand(Args(" --input wb --smooth 0"), &out), 0) << out;

  // V = counts x 5 / 1023 + 0.004; AFR = 2 V + 10 = 15.384; the sample is
  // truncate(AFR / 14.7 x 128 + 0.5) = 134, and with the gain 1.0 so is the
  // correction.
  const double afr = 2.0 * (counts * 5.0 / 1023.0 + 0.004) + 10.0;
  const auto sample = static_cast<unsigned>(afr / 14.7 * 128 + 0.5);
  ASSERT_EQ(sample, 134u);
  const Bytes written = test::ReadFileBytes(dir.File("dst.bin"));
  ASSERT_EQ(written.size(), 16384u);
  EXPECT_EQ(written[253 + 8], static_cast<std::uint8_t>((sample * source[253 + 8]) >> 7));
  EXPECT_EQ(written[253 + 7], source[253 + 7]);
  EXPECT_NE(out.find("\n2000     .   .   .   .   .   .   .   .   4   .   .   .   .   .\n"), std::string::npos) << out;
  EXPECT_NE(out.find("frames 95 samples 20\n"), std::string::npos) << out;
}

TEST_F(VeLearnRun, WidebandInputNamesClosedLoop) {
  std::string out;
  ASSERT_EQ(test::RunCommand(Args(" --input wb --smooth 0"), &out), 0) << out;
  // Every running frame is in closed loop.
  EXPECT_NE(out.find("closed loop 20,"), std::string::npos) << out;
  EXPECT_NE(out.find("samples 0\n"), std::string::npos) << out;
}

TEST_F(VeLearnRun, Errors) {
  test::WriteFileBytes(dir.File("text.bin"), Bytes(100, 'x'));
  // The right header and nothing else: learning from it would give a table of 0xFF.
  test::WriteFileBytes(dir.File("tiny.bin"), Bytes{0x00, 0x05, 'Z', 'R', 'M', 'F'});
  struct Case {
    std::string args;
    int status;
    std::string says;
  };
  const Case cases[] = {
      {" velearn " + dir.File("drive.dat") + " " + dir.File("text.bin") + " " + dir.File("o.bin"), 1,
       "is not a ZRM Flash BIN"},
      {" velearn " + dir.File("drive.dat") + " " + dir.File("tiny.bin") + " " + dir.File("o.bin"), 1,
       "BIN File Too Short"},
      {" velearn " + dir.File("none.dat") + " " + dir.File("src.bin") + " " + dir.File("o.bin"), 1,
       "cannot read log"},
      {" velearn " + dir.path() + " " + dir.File("src.bin") + " " + dir.File("o.bin"), 1, "cannot read log"},
      {" velearn " + dir.File("drive.dat") + " " + dir.File("none.bin") + " " + dir.File("o.bin"), 1,
       "cannot open BIN"},
      {" velearn " + dir.File("drive.dat") + " " + dir.File("src.bin") + " " + dir.File("no/such/o.bin"), 1,
       "cannot write"},
      {" velearn " + dir.File("drive.dat") + " " + dir.File("src.bin"), 2, "usage"},
      {" velearn " + dir.File("drive.dat") + " " + dir.File("src.bin") + " " + dir.File("o.bin") + " --input x", 2,
       "--input"},
      {" velearn " + dir.File("drive.dat") + " " + dir.File("src.bin") + " " + dir.File("o.bin") + " --smooth 21", 2,
       "--smooth"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    std::string out;
    EXPECT_EQ(test::RunCommand(Tool() + c.args + " --config " + dir.File("vistrel.cfg") + " 2>&1", &out), c.status);
    EXPECT_NE(out.find(c.says), std::string::npos) << out;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("o.bin")));
}

#endif

}  // namespace
}  // namespace zrm
