#include "varnixlib/merge/framesampler.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <limits>
#include <vector>

namespace {

const float kFloatNaN = std::bit_cast<float>(0xFFFFFFFFu);
const double kDoubleNaN = std::bit_cast<double>(0xFFFFFFFFFFFFFFFFull);

/// Runs a sampler over count output frames; returns the values written and how many frames.
template <typename S, typename T>
std::vector<T> RunSampler(const std::vector<S>& src, uint32_t channels, uint64_t start, double step,
                   S missing, T missingOut, bool nearest, uint64_t count, uint64_t* written) {
  std::vector<T> out(count * channels + 1);
  T* cursor = out.data();
  FrameSampler<S, T> sampler(src.data(), src.size() / channels, channels, start, step, missing,
                             missingOut, nearest, &cursor);
  uint64_t i = 0;
  while (i < count && sampler.Sample(i)) ++i;
  *written = i;
  out.resize(i * channels);
  EXPECT_EQ(cursor, out.data() + i * channels);
  return out;
}

}  // namespace

TEST(FrameSampler, EqualCountsTakeSourceFramesOneByOneFromTheStart) {
  std::vector<float> src;
  for (int f = 0; f < 10; ++f) {
    src.push_back(static_cast<float>(f));
    src.push_back(static_cast<float>(100 + f));
  }
  uint64_t n = 0;
  auto out = RunSampler<float, float>(src, 2, 3, 1.0, kFloatNaN, kFloatNaN, false, 5, &n);
  ASSERT_EQ(n, 5u);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(out[2 * i], 3 + i);
    EXPECT_EQ(out[2 * i + 1], 103 + i);
  }
}

TEST(FrameSampler, StopsBeforeTheLaterNeighbourReachesTheLastSourceFrame) {
  std::vector<double> src = {0, 1, 2, 3, 4, 5};  // one channel, 6 frames, last is 5
  uint64_t n = 0;
  auto out = RunSampler<double, double>(src, 1, 2, 1.0, -2000.0, -2000.0, false, 10, &n);
  // B = start + i + 1 must stay below frame 5: i = 0, 1 only.
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(out, (std::vector<double>{2, 3}));
  // An empty source yields nothing at all.
  std::vector<double> none;
  RunSampler<double, double>(none, 1, 0, 1.0, -2000.0, -2000.0, false, 3, &n);
  EXPECT_EQ(n, 0u);
}

TEST(FrameSampler, StepTwoTakesEveryOtherFrameWithoutMixing) {
  std::vector<int16_t> src;
  for (int f = 0; f < 20; ++f) src.push_back(static_cast<int16_t>(f * 7));
  uint64_t n = 0;
  auto out = RunSampler<int16_t, int16_t>(src, 1, 1, 2.0, -32768, -32768, false, 5, &n);
  ASSERT_EQ(n, 5u);
  EXPECT_EQ(out, (std::vector<int16_t>{7, 21, 35, 49, 63}));
}

TEST(FrameSampler, InterpolatesLinearlyAndTakesTheBlinkChannelFromTheNearerFrame) {
  // Two channels: x rises by 10 per frame, blink flips every frame.
  std::vector<double> src;
  for (int f = 0; f < 8; ++f) {
    src.push_back(10.0 * f);
    src.push_back(f % 2);
  }
  uint64_t n = 0;
  auto out = RunSampler<double, double>(src, 2, 0, 0.25, -2000.0, -2000.0, true, 8, &n);
  ASSERT_EQ(n, 8u);
  const double x[] = {0, 2.5, 5, 7.5, 10, 12.5, 15, 17.5};
  const double blink[] = {0, 0, 1, 1, 1, 1, 0, 0};  // A below f = 0.5, B from there
  for (int i = 0; i < 8; ++i) {
    EXPECT_DOUBLE_EQ(out[2 * i], x[i]) << i;
    EXPECT_EQ(out[2 * i + 1], blink[i]) << i;
  }
}

TEST(FrameSampler, MissingNeighbourWithWeightCountsOnlyWhenItsWeightIsNotZero) {
  // Gaze frames 0..5, frame 3 missing.
  std::vector<double> src = {10, 20, 30, -2000, 50, 60, 70};
  uint64_t n = 0;
  // Step 1: every frame has f = 0; frame 2 (next to the missing 3) stays valid.
  auto same = RunSampler<double, int16_t>(src, 1, 0, 1.0, -2000.0, -2000, false, 5, &n);
  ASSERT_EQ(n, 5u);
  EXPECT_EQ(same, (std::vector<int16_t>{10, 20, 30, -2000, 50}));
  // Step 0.5: frames between 2 and 3 and between 3 and 4 are missing, the exact hits are not.
  auto half = RunSampler<double, int16_t>(src, 1, 0, 0.5, -2000.0, -2000, false, 10, &n);
  ASSERT_EQ(n, 10u);
  EXPECT_EQ(half, (std::vector<int16_t>{10, 15, 20, 25, 30, -2000, -2000, -2000, 50, 55}));
  // Float and double outputs keep the gaze missing value as a finite -2000.
  auto asFloat = RunSampler<double, float>(src, 1, 0, 0.5, -2000.0, -2000.0f, false, 10, &n);
  EXPECT_EQ(asFloat[5], -2000.0f);
  EXPECT_EQ(asFloat[4], 30.0f);
}

TEST(FrameSampler, NaNNeighboursGiveNaNForFloatTypesOnlyWhereTheyWeigh) {
  std::vector<float> f32 = {1.0f, 2.0f, kFloatNaN, 4.0f, 5.0f, 6.0f};
  uint64_t n = 0;
  auto out = RunSampler<float, float>(f32, 1, 0, 0.5, kFloatNaN, kFloatNaN, false, 8, &n);
  ASSERT_EQ(n, 8u);
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[1], 1.5f);
  EXPECT_EQ(out[2], 2.0f);  // B is NaN with weight 0
  EXPECT_TRUE(std::isnan(out[3]));
  EXPECT_TRUE(std::isnan(out[4]));
  EXPECT_TRUE(std::isnan(out[5]));
  EXPECT_EQ(out[6], 4.0f);
  // The NaN written is the recording's own missing value, all bits set.
  EXPECT_EQ(std::bit_cast<uint32_t>(out[3]), 0xFFFFFFFFu);

  std::vector<double> f64 = {1.0, kDoubleNaN, 3.0, 4.0};
  auto d = RunSampler<double, double>(f64, 1, 0, 0.5, kDoubleNaN, kDoubleNaN, false, 4, &n);
  ASSERT_EQ(n, 4u);
  EXPECT_EQ(d[0], 1.0);
  EXPECT_TRUE(std::isnan(d[1]));
  EXPECT_EQ(std::bit_cast<uint64_t>(d[2]), 0xFFFFFFFFFFFFFFFFull);
  EXPECT_TRUE(std::isnan(d[3]));
  // A quiet NaN other than the marker counts as missing too.
  std::vector<double> other = {1.0, std::numeric_limits<double>::quiet_NaN(), 3.0, 4.0};
  d = RunSampler<double, double>(other, 1, 0, 0.5, kDoubleNaN, kDoubleNaN, false, 2, &n);
  EXPECT_EQ(std::bit_cast<uint64_t>(d[1]), 0xFFFFFFFFFFFFFFFFull);
}

TEST(FrameSampler, ConstantInt16SignalStaysConstantAtEveryFraction) {
  for (int16_t level : {int16_t(-32767), int16_t(-7), int16_t(0), int16_t(1), int16_t(9999),
                        int16_t(32767)}) {
    std::vector<int16_t> src(400, level);
    uint64_t n = 0;
    // A drift step with fractions all over [0, 1), and steps whose fractions make
    // A·(1 - f) + B·f fall just below A.
    for (double step : {0.9999731, 0.1772306240535752, 0.010185382880038094, 0.14842709242420898}) {
      auto out = RunSampler<int16_t, int16_t>(src, 1, 5, step, -32768, -32768, false, 390, &n);
      ASSERT_GT(n, 0u);
      for (int16_t v : out) ASSERT_EQ(v, level) << step;
    }
  }
  // Gaze doubles truncate toward zero and stay inside 16 bits.
  std::vector<double> gaze = {-3.9, -3.9, 3.9, 3.9, 1e6, 1e6, -1e6, -1e6, 0, 0};
  uint64_t n = 0;
  auto out = RunSampler<double, int16_t>(gaze, 2, 0, 1.0, -2000.0, -2000, false, 3, &n);
  EXPECT_EQ(out, (std::vector<int16_t>{-3, -3, 3, 3, 32767, 32767}));
}

TEST(FrameSampler, TwoSamplersShareOneFrameCursor) {
  std::vector<int16_t> eeg = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};  // 2 channels, 6 frames
  std::vector<double> gaze = {100, 0, 101, 1, 102, 0, 103, 1, 104, 0};  // 2 channels, 5 frames
  std::vector<int16_t> out(4 * 4);
  int16_t* cursor = out.data();
  FrameSampler<int16_t, int16_t> e(eeg.data(), 6, 2, 1, 1.0, -32768, -32768, false, &cursor);
  FrameSampler<double, int16_t> g(gaze.data(), 5, 2, 0, 1.0, -2000.0, -2000, true, &cursor);
  uint64_t i = 0;
  while (e.Sample(i) && g.Sample(i)) ++i;
  // Gaze runs out first: its B would be frame 4, its last.
  EXPECT_EQ(i, 3u);
  out.resize(i * 4);
  EXPECT_EQ(out, (std::vector<int16_t>{3, 4, 100, 0, 5, 6, 101, 1, 7, 8, 102, 0}));
}

// The float and 16-bit samplers take several channels per instruction: every value must be the
// bytes the plain definition gives (a + (b - a)·f in double, rounded to float or truncated toward
// zero; the fill where a weighted neighbour is missing), whatever the channel count (tails
// included), values, fractions and steps.
template <typename T>
void ExpectThePlainDefinition(T missing, T fill, T (*draw)(uint32_t)) {
  uint32_t state = 12345;
  auto next = [&state] { return state = state * 1664525u + 1013904223u; };
  auto isMissing = [missing](T v) {
    if constexpr (std::is_floating_point_v<T>) {
      return std::isnan(v);
    } else {
      return v == missing;
    }
  };
  for (uint32_t channels = 1; channels <= 13; ++channels) {
    for (const double step : {1.0, 0.37, 1.61}) {
      std::vector<T> src(40 * channels);
      for (T& v : src) v = draw(next());
      uint64_t n = 0;
      const auto out = RunSampler<T, T>(src, channels, 1, step, missing, fill, false, 200, &n);
      ASSERT_GT(n, 10u);
      for (uint64_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) * step;
        const uint64_t k = static_cast<uint64_t>(t);
        const double f = t - static_cast<double>(k);
        for (uint32_t c = 0; c < channels; ++c) {
          const T a = src[(1 + k) * channels + c];
          const T b = f == 0.0 ? a : src[(2 + k) * channels + c];
          const double da = static_cast<double>(a);
          const double value = da + (static_cast<double>(b) - da) * f;
          const T expected = isMissing(a) || isMissing(b) ? fill
                             : std::is_floating_point_v<T> ? static_cast<T>(value)
                                                           : static_cast<T>(std::trunc(value));
          ASSERT_EQ(std::memcmp(&out[i * channels + c], &expected, sizeof(T)), 0)
              << channels << " channels, step " << step << ", frame " << i << ", channel " << c << ": "
              << +out[i * channels + c] << " instead of " << +expected;
        }
      }
    }
  }
}

TEST(FrameSampler, FloatAndShortFramesGiveTheBytesOfThePlainDefinitionForEveryChannelCount) {
  ExpectThePlainDefinition<float>(kFloatNaN, -7.5f, [](uint32_t r) {
    return r % 17 == 0 ? kFloatNaN : r % 23 == 0 ? std::nanf("") : static_cast<float>(static_cast<int32_t>(r)) * 1e-6f;
  });
  ExpectThePlainDefinition<int16_t>(-32768, -32768, [](uint32_t r) {
    // Full-scale values too: their interpolation must never wrap.
    return r % 17 == 0 ? int16_t{-32768} : r % 5 == 0 ? int16_t{32767} : r % 7 == 0 ? int16_t{-32767}
                                                                          : static_cast<int16_t>(r >> 7);
  });
}
