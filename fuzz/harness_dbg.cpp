// The parse cache (.dbg) loader. The input is the cache's payload: the harness wraps it in the
// key block of a small fixed recording and the payload's own size and hash, so the fuzzer
// reaches the payload reader instead of stopping at the hash check.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/fuzzinput.h"
#include "fuzz/harness.h"
#include "varnixlib/asc/asccache.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/synchroparams.h"

namespace fuzzharness {

namespace {

/// Magic, version, ASC size and hash, trigger-name file hash, options: the part of the cache
/// that depends on the recording only.
constexpr size_t kKeyBytes = 8 + 4 + 4 * 8;

constexpr const char* kRecording =
    "** CONVERTED FROM D:\\data\\s01.edf using edfapi 3.1\n"
    "MSG\t1000 DISPLAY_COORDS 0 0 1920 1080\n"
    "START\t1000 \tLEFT\tSAMPLES\tEVENTS\n"
    "SAMPLES\tGAZE\tLEFT\tRATE\t1000.00\tTRACKING\tCR\tFILTER\t2\n"
    "1000\t 960.0\t 540.0\t 1000.0\t...\n"
    "INPUT\t1001\t12\n"
    "1001\t 961.0\t 541.0\t 1000.0\t...\n"
    "SFIX L   1002\n"
    "1002\t 962.0\t 542.0\t 1000.0\t...\n"
    "1003\t   .\t   .\t    0.0\t...\n"
    "EFIX L   1002\t1003\t2\t 962.0\t 542.0\t 1000\n"
    "INPUT\t1004\t0\n"
    "1004\t 963.0\t 543.0\t 1000.0\t...\n"
    "END\t1005 \tSAMPLES\tEVENTS\tRES\t 40.0\t 40.0\n";

SynchroParams Params() {
  SynchroParams params;
  params.cacheWanted = true;
  params.velocityChannels = true;
  params.ascFileName = fuzzinput::ScratchName("-cache.asc");
  return params;
}

/// Parses the fixed recording once to write a genuine cache and keeps its key block. With
/// TOLMERA_FUZZ_WRITE_SEED set, the genuine payload is also written there (the seed corpus).
const std::string& KeyBlock() {
  static const std::string key = [] {
    const SynchroParams params = Params();
    const std::string text = kRecording;
    fuzzinput::WriteScratchText(text, "-cache.asc");
    AscRawData asc;
    asc.OpenLog(fuzzinput::ScratchName("-cache-Log-AscRawData.txt"));
    if (!asc.Process(params)) std::abort();
    const std::string cache = fuzzinput::ReadScratchText("-cache.asc.dbg");
    if (cache.size() < kKeyBytes + 16) std::abort();
    if (const char* seed = std::getenv("TOLMERA_FUZZ_WRITE_SEED")) {
      fuzzinput::WriteFileText(seed, cache.substr(kKeyBytes + 16));
    }
    return cache.substr(0, kKeyBytes);
  }();
  return key;
}

}  // namespace

int Dbg(const uint8_t* data, size_t size) {
  const std::string& key = KeyBlock();
  std::string cache = key;
  const uint64_t payloadSize = size;
  const uint64_t payloadHash = AscCache::HashBytes(reinterpret_cast<const char*>(data), size);
  cache.append(reinterpret_cast<const char*>(&payloadSize), sizeof payloadSize);  // little-endian host
  cache.append(reinterpret_cast<const char*>(&payloadHash), sizeof payloadHash);
  cache.append(reinterpret_cast<const char*>(data), size);
  fuzzinput::WriteScratchText(cache, "-cache.asc.dbg");
  AscRawData asc;
  asc.OpenLog(fuzzinput::ScratchName("-cache-Log-AscRawData.txt"));
  asc.Process(Params());
  return 0;
}

}  // namespace fuzzharness
