// Damaged recordings: whatever the damage, the stage ends with a result or an error line, never
// with a crash, a hang or an access outside the file or the grid (run under the sanitizers).

#include <gtest/gtest.h>

#include <random>

#include "asctestfile.h"

namespace {

std::string Mutate(std::string text, std::mt19937& random) {
  static const std::string kAlphabet = "0123456789.-  \t\t\n\nLRMSGEFIXNDTAKBCPVW'";
  std::uniform_int_distribution<int> kind(0, 4);
  auto at = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n ? n - 1 : 0)(random); };
  const int edits = 1 + static_cast<int>(at(8));
  for (int e = 0; e < edits && !text.empty(); ++e) {
    switch (kind(random)) {
      case 0:  // cut the file anywhere, as an interrupted copy does
        text.resize(at(text.size()));
        break;
      case 1:  // overwrite a run of bytes
        for (size_t k = at(text.size()), n = at(12); n-- > 0 && k < text.size(); ++k) {
          text[k] = kAlphabet[at(kAlphabet.size())];
        }
        break;
      case 2: {  // drop a line
        const size_t from = text.find('\n', at(text.size()));
        const size_t to = from == std::string::npos ? std::string::npos : text.find('\n', from + 1);
        if (from != std::string::npos) text.erase(from, to == std::string::npos ? std::string::npos : to - from);
        break;
      }
      case 3: {  // repeat a line further down: times go backwards
        const size_t from = text.find('\n', at(text.size()));
        const size_t to = from == std::string::npos ? std::string::npos : text.find('\n', from + 1);
        if (to != std::string::npos) text.insert(at(text.size()), text.substr(from, to - from));
        break;
      }
      default:  // binary garbage
        for (size_t k = at(text.size()), n = at(40); n-- > 0 && k < text.size(); ++k) {
          text[k] = static_cast<char>(random());
        }
    }
  }
  return text;
}

TEST(AscRobustness, DamagedRecordingsEndWithAResultOrAnErrorNeverACrash) {
  REQUIRE_REALDATA();
  const std::string original = testsupport::ReadFile(testsupport::RealDataDir() + "/asc/eyelinker-bino250.asc");
  ASSERT_FALSE(original.empty());
  std::mt19937 random(20240607);
  int passed = 0;
  int failed = 0;
  testing::internal::CaptureStdout();
  for (int round = 0; round < 150; ++round) {
    SynchroParams p = asctest::AscRun::Defaults();
    p.pupilSize = round % 2 == 0;
    p.falseBlinkMsec = round % 3;
    p.roundGaze = round % 5 == 0;
    asctest::AscRun run(Mutate(original, random), p);
    (run.ok ? passed : failed)++;
    if (run.ok) {
      ASSERT_EQ(run.asc.Data().size(), static_cast<size_t>(run.asc.NbSamples()) * run.asc.NbChannels());
      for (const auto& t : run.asc.Triggers()) ASSERT_LT(t->start, run.asc.NbSamples());
    }
  }
  testing::internal::GetCapturedStdout();
  asctest::ResetCorruptionStops();
  // Both outcomes occur, so the damage reaches the parser rather than only the header.
  EXPECT_GT(passed, 0);
  EXPECT_GT(failed, 0);
}

}  // namespace
