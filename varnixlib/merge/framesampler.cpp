#include "varnixlib/merge/framesampler.h"

#include <algorithm>
#include <cmath>
#include <limits>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TOLMERA_SAMPLER_SSE2 1

namespace {

/// The first channels of one float frame, four at a time: a + (b - a)·f in double precision, then
/// rounded to float, or missingOut where either value is NaN or missing (b only counts with a
/// weight, as in the plain loop). Returns how many channels it wrote (a multiple of four).
uint32_t SampleFloats(const float* a, const float* b, float* out, uint32_t channels, double f, float missing,
                      float missingOut) {
  const __m128 missingValue = _mm_set1_ps(missing);
  const __m128 fill = _mm_set1_ps(missingOut);
  const __m128d weight = _mm_set1_pd(f);
  auto isMissing = [&missingValue](__m128 v) {
    return _mm_or_ps(_mm_cmpunord_ps(v, v), _mm_cmpeq_ps(v, missingValue));
  };
  uint32_t c = 0;
  for (; c + 4 <= channels; c += 4) {
    const __m128 va = _mm_loadu_ps(a + c);
    __m128 value = va;
    __m128 mask = isMissing(va);
    if (f != 0.0) {
      const __m128 vb = _mm_loadu_ps(b + c);
      mask = _mm_or_ps(mask, isMissing(vb));
      const __m128d aLow = _mm_cvtps_pd(va);
      const __m128d aHigh = _mm_cvtps_pd(_mm_movehl_ps(va, va));
      const __m128d bLow = _mm_cvtps_pd(vb);
      const __m128d bHigh = _mm_cvtps_pd(_mm_movehl_ps(vb, vb));
      const __m128d low = _mm_add_pd(aLow, _mm_mul_pd(_mm_sub_pd(bLow, aLow), weight));
      const __m128d high = _mm_add_pd(aHigh, _mm_mul_pd(_mm_sub_pd(bHigh, aHigh), weight));
      value = _mm_movelh_ps(_mm_cvtpd_ps(low), _mm_cvtpd_ps(high));
    }
    _mm_storeu_ps(out + c, _mm_or_ps(_mm_and_ps(mask, fill), _mm_andnot_ps(mask, value)));
  }
  return c;
}


/// As SampleFloats for 16-bit EEG: the missing value marks missing, the interpolation is done in
/// double and truncated toward zero. Between two recorded values it cannot leave the 16-bit range,
/// so the plain loop's clamping never acts there and the saturating pack equals it.
uint32_t SampleShorts(const int16_t* a, const int16_t* b, int16_t* out, uint32_t channels, double f,
                      int16_t missing, int16_t missingOut) {
  const __m128i missingValue = _mm_set1_epi16(missing);
  const __m128i fill = _mm_set1_epi16(missingOut);
  const __m128d weight = _mm_set1_pd(f);
  // Four 16-bit values as four 32-bit ones, sign kept, then as two pairs of doubles.
  auto widen = [](__m128i v, __m128d& low, __m128d& high) {
    const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(v, v), 16);
    low = _mm_cvtepi32_pd(wide);
    high = _mm_cvtepi32_pd(_mm_shuffle_epi32(wide, _MM_SHUFFLE(1, 0, 3, 2)));
  };
  uint32_t c = 0;
  for (; c + 4 <= channels; c += 4) {
    const __m128i va = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + c));
    __m128i mask = _mm_cmpeq_epi16(va, missingValue);
    __m128i value = va;
    if (f != 0.0) {
      const __m128i vb = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + c));
      mask = _mm_or_si128(mask, _mm_cmpeq_epi16(vb, missingValue));
      __m128d aLow, aHigh, bLow, bHigh;
      widen(va, aLow, aHigh);
      widen(vb, bLow, bHigh);
      const __m128d low = _mm_add_pd(aLow, _mm_mul_pd(_mm_sub_pd(bLow, aLow), weight));
      const __m128d high = _mm_add_pd(aHigh, _mm_mul_pd(_mm_sub_pd(bHigh, aHigh), weight));
      const __m128i wide = _mm_unpacklo_epi64(_mm_cvttpd_epi32(low), _mm_cvttpd_epi32(high));
      value = _mm_packs_epi32(wide, wide);
    }
    const __m128i result = _mm_or_si128(_mm_and_si128(mask, fill), _mm_andnot_si128(mask, value));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + c), result);
  }
  return c;
}

}  // namespace
#else
#define TOLMERA_SAMPLER_SSE2 0
#endif

template <typename Source, typename Output>
FrameSampler<Source, Output>::FrameSampler(const Source* source, uint64_t sourceFrames,
                                           uint32_t channels, uint64_t startFrame, double step,
                                           Source missing, Output missingOut, bool lastNearest,
                                           Output** cursor)
    : mySource(source),
      mySourceFrames(sourceFrames),
      myChannels(channels),
      myStartFrame(startFrame),
      myStep(step),
      myMissing(missing),
      myMissingOut(missingOut),
      myLastNearest(lastNearest && channels > 0),
      myCursor(cursor),
      myStride(channels) {}

std::vector<FramePiece> PiecesWithGaps(const std::vector<std::pair<uint64_t, int64_t>>& gaps, uint64_t frames) {
  std::vector<FramePiece> pieces;
  uint64_t line = 0;
  uint64_t source = 0;
  auto recorded = [&](uint64_t end) {
    if (end > source) {
      pieces.push_back({line, end - source, source, false});
      line += end - source;
    }
  };
  for (const auto& [position, count] : gaps) {
    recorded(count < 0 ? position - static_cast<uint64_t>(-count) : position);
    if (count > 0) {
      pieces.push_back({line, static_cast<uint64_t>(count), position, true});
      line += static_cast<uint64_t>(count);
    }
    source = position;
  }
  recorded(frames);
  return pieces;
}

template <typename Source, typename Output>
void FrameSampler<Source, Output>::SetPieces(std::vector<FramePiece> pieces) {
  myPieces = std::move(pieces);
  myPiece = 0;
  myMissingFrame.assign(myChannels, myMissing);
}

template <typename Source, typename Output>
uint64_t FrameSampler<Source, Output>::SourceFrameAt(uint64_t index) const {
  if (myPieces.empty()) return index;
  const auto after = std::upper_bound(myPieces.begin(), myPieces.end(), index,
                                      [](uint64_t i, const FramePiece& p) { return i < p.begin; });
  if (after == myPieces.begin()) return 0;
  const FramePiece& piece = *(after - 1);
  if (piece.lost) return piece.sourceFrame;
  return piece.sourceFrame + std::min(index - piece.begin, piece.frames);
}

template <typename Source, typename Output>
const Source* FrameSampler<Source, Output>::Frame(uint64_t index) {
  if (myPieces.empty()) return mySource + index * myChannels;
  // The sampling walks forward, mostly inside one piece: look further only when it has left it.
  const FramePiece* piece = &myPieces[myPiece];
  if (index < piece->begin || index - piece->begin >= piece->frames) {
    const auto after = std::upper_bound(myPieces.begin(), myPieces.end(), index,
                                        [](uint64_t i, const FramePiece& p) { return i < p.begin; });
    myPiece = after == myPieces.begin() ? 0 : static_cast<size_t>(after - myPieces.begin() - 1);
    piece = &myPieces[myPiece];
    if (index < piece->begin || index - piece->begin >= piece->frames) return myMissingFrame.data();
  }
  if (piece->lost) return myMissingFrame.data();
  return mySource + (piece->sourceFrame + (index - piece->begin)) * myChannels;
}

template <typename Source, typename Output>
bool FrameSampler<Source, Output>::IsMissing(Source value) const {
  if constexpr (std::is_floating_point_v<Source>) {
    return std::isnan(value) || value == myMissing;
  } else {
    return value == myMissing;
  }
}

template <typename Source, typename Output>
Output FrameSampler<Source, Output>::Convert(double value) {
  if constexpr (std::is_integral_v<Output>) {
    // A value outside the type would be undefined behaviour when cast; clamp it instead.
    constexpr double lo = std::numeric_limits<Output>::min();
    constexpr double hi = std::numeric_limits<Output>::max();
    if (!(value >= lo)) return std::numeric_limits<Output>::min();
    if (value > hi) return std::numeric_limits<Output>::max();
    return static_cast<Output>(std::trunc(value));
  } else {
    return static_cast<Output>(value);
  }
}

template <typename Source, typename Output>
bool FrameSampler<Source, Output>::Sample(uint64_t index) {
  // 0 + x is x exactly: without a fraction the points are those of the step alone.
  const double t = myStartFraction + static_cast<double>(index) * myStep;
  const uint64_t k = static_cast<uint64_t>(t);
  const double f = t - static_cast<double>(k);
  // The later neighbour must start before the source's last frame.
  const uint64_t b = myStartFrame + k + 1;
  if (mySourceFrames == 0 || b < myStartFrame || b >= mySourceFrames - 1) return false;

  const Source* frameA = Frame(b - 1);
  // Frame B is read only with a weight: looking it up for nothing would cost a search at each
  // piece's end.
  const Source* frameB = f == 0.0 ? frameA : Frame(b);
  Output* out = *myCursor;
  const uint32_t interpolated = myLastNearest ? myChannels - 1 : myChannels;
  // Both loops compute every channel and choose afterwards, so that the compiler may take several
  // channels per instruction: this is the run's innermost loop. The members are read into locals
  // first, as out might otherwise alias them.
  const Source missing = myMissing;
  const Output missingOut = myMissingOut;
  auto isMissing = [missing](Source value) {
    if constexpr (std::is_floating_point_v<Source>) {
      return std::isnan(value) || value == missing;
    } else {
      return value == missing;
    }
  };
  uint32_t c0 = 0;
#if TOLMERA_SAMPLER_SSE2
  if constexpr (std::is_same_v<Source, float> && std::is_same_v<Output, float>) {
    // Float and 16-bit EEG, the common recordings: four channels at a time, with the same
    // double-precision arithmetic and rounding as the loops below, so the bytes are those of the
    // plain loops.
    c0 = SampleFloats(frameA, frameB, out, interpolated, f, missing, missingOut);
  } else if constexpr (std::is_same_v<Source, int16_t> && std::is_same_v<Output, int16_t>) {
    c0 = SampleShorts(frameA, frameB, out, interpolated, f, missing, missingOut);
  }
#endif
  if (f == 0.0) {
    // Frame B has weight 0: it must not decide anything, missing or not.
    for (uint32_t c = c0; c < interpolated; ++c) {
      const Source a = frameA[c];
      const Output value = Convert(static_cast<double>(a));
      out[c] = isMissing(a) ? missingOut : value;
    }
  } else {
    for (uint32_t c = c0; c < interpolated; ++c) {
      const Source a = frameA[c];
      const Source bv = frameB[c];
      // A + (B - A)·f keeps two equal neighbours exactly equal, which A·(1-f) + B·f does not.
      const double da = static_cast<double>(a);
      const Output value = Convert(da + (static_cast<double>(bv) - da) * f);
      out[c] = isMissing(a) || isMissing(bv) ? missingOut : value;
    }
  }
  if (myLastNearest) {
    const Source v = f < 0.5 ? frameA[myChannels - 1] : frameB[myChannels - 1];
    out[myChannels - 1] = IsMissing(v) ? myMissingOut : Convert(static_cast<double>(v));
  }
  *myCursor = out + myStride;
  return true;
}

template class FrameSampler<int16_t, int16_t>;
template class FrameSampler<float, float>;
template class FrameSampler<double, double>;
template class FrameSampler<double, int16_t>;
template class FrameSampler<double, float>;
