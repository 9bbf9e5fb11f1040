// The parse cache of -G. A private binary file "<asc file>.dbg" holding everything the
// walk, the sorting and the organisation produced. Layout (little-endian, as every data file of
// the program): a fixed key block (magic, version, ASC size and content hash, trigger-name file
// hash, the options that change the result), then the payload size and hash, then the payload.
// A file whose key, size or hash does not match is ignored and the ASC file is parsed again.

#include <bit>
#include <cstring>
#include <fstream>
#include <sstream>
#include <type_traits>

#include "varnixlib/asc/asccache.h"
#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/support/file.h"
#include "varnixlib/synchroparams.h"

static_assert(std::endian::native == std::endian::little, "the cache layout is written in host order");

namespace {

constexpr char kMagic[8] = {'T', 'L', 'M', 'R', 'A', 'S', 'C', '\x1a'};
constexpr uint32_t kVersion = 3;  // 3: the period in microseconds (2000 Hz), the sample kind, trigger times with fractions

class Writer {
 public:
  template <typename T>
  void Put(const T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    myBytes.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  void Put(const std::string& s) {
    Put<uint64_t>(s.size());
    myBytes.append(s);
  }
  template <typename T, typename A>
  void PutVector(const std::vector<T, A>& v) {
    Put<uint64_t>(v.size());
    myBytes.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
  }
  std::string& Bytes() { return myBytes; }

 private:
  std::string myBytes;
};

class Reader {
 public:
  Reader(const char* data, uint64_t size) : myData(data), mySize(size) {}
  template <typename T>
  bool Get(T& v) {
    static_assert(std::is_trivially_copyable_v<T>);
    if (mySize - myPos < sizeof v) return false;
    std::memcpy(&v, myData + myPos, sizeof v);
    myPos += sizeof v;
    return true;
  }
  bool Get(std::string& s) {
    uint64_t n = 0;
    if (!Get(n) || n > mySize - myPos) return false;
    s.assign(myData + myPos, n);
    myPos += n;
    return true;
  }
  template <typename T, typename A>
  bool GetVector(std::vector<T, A>& v) {
    uint64_t n = 0;
    if (!Get(n) || n > (mySize - myPos) / sizeof(T)) return false;
    v.resize(n);
    if (n != 0) std::memcpy(v.data(), myData + myPos, n * sizeof(T));  // data() of an empty vector may be null
    myPos += n * sizeof(T);
    return true;
  }
  /// Element counts are checked against what is left, so a damaged count cannot allocate wildly.
  bool GetCount(uint64_t& n, uint64_t minimumElementBytes) {
    return Get(n) && n <= (mySize - myPos) / minimumElementBytes;
  }
  bool AtEnd() const { return myPos == mySize; }

 private:
  const char* myData;
  uint64_t mySize;
  uint64_t myPos = 0;
};

void PutEvent(Writer& w, const Event& e) {
  w.Put(e.type);
  w.Put(e.start);
  w.Put(e.end);
  w.Put(e.line);
}
bool GetEvent(Reader& r, Event& e) { return r.Get(e.type) && r.Get(e.start) && r.Get(e.end) && r.Get(e.line); }

constexpr uint64_t kEventBytes = sizeof(uint16_t) + 3 * sizeof(uint32_t);

void PutOne(Writer& w, const Event& e) { PutEvent(w, e); }
bool GetOne(Reader& r, Event& e) { return GetEvent(r, e); }

void PutOne(Writer& w, const Trigger& t) {
  PutEvent(w, t);
  w.Put(t.timestamp);
}
bool GetOne(Reader& r, Trigger& t) { return GetEvent(r, t) && r.Get(t.timestamp); }

void PutOne(Writer& w, const FixationSaccade& f) {
  PutEvent(w, f);
  for (double v : {f.startX, f.startY, f.endX, f.endY, f.averagePupilSizeFixation, f.amplitudeSaccade,
                   f.peakVelocitySaccade}) {
    w.Put(v);
  }
}
bool GetOne(Reader& r, FixationSaccade& f) {
  return GetEvent(r, f) && r.Get(f.startX) && r.Get(f.startY) && r.Get(f.endX) && r.Get(f.endY) &&
         r.Get(f.averagePupilSizeFixation) && r.Get(f.amplitudeSaccade) && r.Get(f.peakVelocitySaccade);
}

void PutOne(Writer& w, const CSequence& s) {
  PutEvent(w, s);
  w.Put(s.index);
  w.Put(s.name);
}
bool GetOne(Reader& r, CSequence& s) { return GetEvent(r, s) && r.Get(s.index) && r.Get(s.name); }

void PutOne(Writer& w, const Displayable& d) {
  PutEvent(w, d);
  for (uint16_t v : {d.frameNb, d.framePlayed, d.frameFirst, d.frameDuration, d.leftRect, d.topRect, d.rightRect,
                     d.bottomRect, d.typeAsked, d.typeHappened}) {
    w.Put(v);
  }
  w.Put(d.timeout);
  for (uint16_t v : {d.nbEvents, d.stopAttribute, d.posX, d.posY}) w.Put(v);
  w.Put(d.name);
  w.Put(d.relativePath);
  w.Put(d.transitionName);
}
bool GetOne(Reader& r, Displayable& d) {
  return GetEvent(r, d) && r.Get(d.frameNb) && r.Get(d.framePlayed) && r.Get(d.frameFirst) &&
         r.Get(d.frameDuration) && r.Get(d.leftRect) && r.Get(d.topRect) && r.Get(d.rightRect) &&
         r.Get(d.bottomRect) && r.Get(d.typeAsked) && r.Get(d.typeHappened) && r.Get(d.timeout) &&
         r.Get(d.nbEvents) && r.Get(d.stopAttribute) && r.Get(d.posX) && r.Get(d.posY) && r.Get(d.name) &&
         r.Get(d.relativePath) && r.Get(d.transitionName);
}

void PutOne(Writer& w, const CTransition& t) {
  PutEvent(w, t);
  w.Put(t.typeAsked);
  w.Put(t.timeout);
  for (uint16_t v : {t.nbEvents, t.stopAttribute, t.posX, t.posY}) w.Put(v);
  w.Put(t.name);
}
bool GetOne(Reader& r, CTransition& t) {
  return GetEvent(r, t) && r.Get(t.typeAsked) && r.Get(t.timeout) && r.Get(t.nbEvents) &&
         r.Get(t.stopAttribute) && r.Get(t.posX) && r.Get(t.posY) && r.Get(t.name);
}

template <typename T>
void PutList(Writer& w, const std::vector<std::unique_ptr<T>>& list) {
  w.Put<uint64_t>(list.size());
  for (const auto& e : list) PutOne(w, *e);
}
template <typename T>
bool GetList(Reader& r, std::vector<std::unique_ptr<T>>& list) {
  uint64_t n = 0;
  if (!r.GetCount(n, kEventBytes)) return false;
  list.clear();
  list.reserve(n);
  for (uint64_t k = 0; k < n; ++k) {
    auto e = std::make_unique<T>();
    if (!GetOne(r, *e)) return false;
    list.push_back(std::move(e));
  }
  return true;
}

void PutHeader(Writer& w, const AscHeader& h) {
  w.Put(h.samplePeriodUs);
  w.Put(h.statedRate);
  w.Put(h.sampleKind);
  w.Put(h.velocityColumns);
  w.Put(h.resolutionColumns);
  w.Put(h.inputColumn);
  w.Put(h.fileName);
  w.Put(h.softwareName);
  w.Put(h.softwareVersion);
  w.Put(h.subjectName);
  w.Put(h.subjectSession);
  w.Put(h.experimentName);
  for (uint16_t v : {h.screenWidth, h.screenHeight, h.screenDimXmm, h.screenDimYmm, h.screenDistance, h.frameRate,
                     h.falseBlinkSamples}) {
    w.Put(v);
  }
  w.Put(h.guidingEye);
}
bool GetHeader(Reader& r, AscHeader& h) {
  return r.Get(h.samplePeriodUs) && r.Get(h.statedRate) && r.Get(h.sampleKind) && r.Get(h.velocityColumns) &&
         r.Get(h.resolutionColumns) && r.Get(h.inputColumn) && r.Get(h.fileName) && r.Get(h.softwareName) && r.Get(h.softwareVersion) &&
         r.Get(h.subjectName) && r.Get(h.subjectSession) && r.Get(h.experimentName) && r.Get(h.screenWidth) &&
         r.Get(h.screenHeight) && r.Get(h.screenDimXmm) && r.Get(h.screenDimYmm) && r.Get(h.screenDistance) &&
         r.Get(h.frameRate) && r.Get(h.falseBlinkSamples) && r.Get(h.guidingEye);
}

uint64_t HashOfFile(const std::string& path) {
  if (path.empty() || !Varnix::File::Exists(path)) return 0;
  std::string content;
  if (!Varnix::File::ReadInString(content, path)) return 1;
  return AscCache::HashBytes(content.data(), content.size());
}

}  // namespace

uint64_t AscCache::HashBytes(const char* data, uint64_t size) {
  // Word-wise multiply-xor with a final avalanche: fast enough to key a file of hundreds of MB.
  uint64_t h = 0x9E3779B97F4A7C15ull ^ size;
  uint64_t k = 0;
  for (; k + 8 <= size; k += 8) {
    uint64_t w;
    std::memcpy(&w, data + k, 8);
    h = (h ^ w) * 0x100000001B3ull;
    h ^= h >> 29;
  }
  uint64_t tail = 0;
  std::memcpy(&tail, data + k, size - k);
  h = (h ^ tail) * 0x100000001B3ull;
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return h;
}

uint64_t AscCache::KeyOptions(const SynchroParams& params) {
  uint64_t bits = (params.pupilSize ? 1u : 0u) | (params.velocityChannels ? 2u : 0u) |
                  (params.roundGaze ? 4u : 0u) | (params.framesInEvents ? 8u : 0u);
  bits ^= static_cast<uint64_t>(params.falseBlinkMsec) << 8;
  // A different trigger keyword gives a different trigger list.
  if (!params.triggerMessage.empty()) bits ^= HashBytes(params.triggerMessage.data(), params.triggerMessage.size());
  return bits;
}

void AscCache::Save(const AscRawData& asc, const SynchroParams& params) {
  if (!asc.myCacheWanted) return;
  Writer p;
  PutHeader(p, asc.myHeader);
  p.Put(asc.myStartTimestamp);
  p.Put(asc.myEndTimestamp);
  p.Put(asc.myLastSampleIndex);
  p.Put(asc.myNbSamples);
  p.Put(asc.myNbChannels);
  p.Put(static_cast<uint8_t>(asc.myLeftEyePresent));
  p.Put(static_cast<uint8_t>(asc.myRightEyePresent));
  p.Put(static_cast<uint8_t>(asc.myVelocityInFile));
  p.PutVector(asc.myStatus);
  p.PutVector(asc.myFrameAdvances);
  p.PutVector(asc.myTriggerValues);
  p.PutVector(asc.myData);
  p.Put<uint64_t>(asc.mySamplePhases.size());
  for (const auto& [first, phase] : asc.mySamplePhases) {
    p.Put(first);
    p.Put(phase);
  }
  p.Put<uint64_t>(asc.myChannelNames.size());
  for (const std::string& name : asc.myChannelNames) p.Put(name);
  p.Put<uint64_t>(asc.myTriggerNames.size());
  for (const auto& [code, name] : asc.myTriggerNames) {
    p.Put<int32_t>(code);
    p.Put(name);
  }
  PutList(p, asc.mySequences);
  PutList(p, asc.myDisplayables);
  PutList(p, asc.myFrames);
  PutList(p, asc.myTransitions);
  PutList(p, asc.myFixSaccLeft);
  PutList(p, asc.myFixSaccRight);
  PutList(p, asc.myBlinksLeft);
  PutList(p, asc.myBlinksRight);
  PutList(p, asc.myAcqPhases);
  PutList(p, asc.myRecords);
  PutList(p, asc.myTriggers);

  Writer file;
  file.Bytes().append(kMagic, sizeof kMagic);
  file.Put(kVersion);
  file.Put(asc.myFileSize);
  file.Put(asc.myTextHash);
  file.Put(HashOfFile(params.triggersFileName));
  file.Put(KeyOptions(params));
  file.Put<uint64_t>(p.Bytes().size());
  file.Put(HashBytes(p.Bytes().data(), p.Bytes().size()));
  file.Bytes().append(p.Bytes());
  // File::Write replaces the cache only once the new one is whole; a failure leaves no half cache.
  Varnix::File::WriteFromString(AscRawData::CacheFileName(asc.myAscFileName), file.Bytes());
}

bool AscCache::Load(AscRawData& asc, const SynchroParams& params) {
  const std::string path = AscRawData::CacheFileName(asc.myAscFileName);
  if (!Varnix::File::Exists(path)) return false;
  std::string bytes;
  if (!Varnix::File::ReadInString(bytes, path)) return false;
  Reader file(bytes.data(), bytes.size());
  char magic[sizeof kMagic];
  for (char& c : magic) {
    if (!file.Get(c)) return false;
  }
  uint32_t version = 0;
  uint64_t size = 0, textHash = 0, triggerHash = 0, options = 0, payloadSize = 0, payloadHash = 0;
  if (std::memcmp(magic, kMagic, sizeof kMagic) != 0 || !file.Get(version) || version != kVersion ||
      !file.Get(size) || !file.Get(textHash) || !file.Get(triggerHash) || !file.Get(options) ||
      !file.Get(payloadSize) || !file.Get(payloadHash)) {
    return false;
  }
  if (size != asc.myFileSize || textHash != asc.myTextHash || triggerHash != HashOfFile(params.triggersFileName) ||
      options != KeyOptions(params)) {
    return false;
  }
  const uint64_t headerBytes = sizeof kMagic + sizeof version + 6 * sizeof(uint64_t);
  if (payloadSize != bytes.size() - headerBytes) return false;
  const char* payload = bytes.data() + headerBytes;
  if (HashBytes(payload, payloadSize) != payloadHash) return false;

  // Read into a fresh object first: a payload that fails half-way leaves this one untouched.
  AscRawData loaded;
  Reader r(payload, payloadSize);
  uint8_t left = 0, right = 0, velocity = 0;
  uint64_t count = 0;
  bool ok = GetHeader(r, loaded.myHeader) && r.Get(loaded.myStartTimestamp) && r.Get(loaded.myEndTimestamp) &&
            r.Get(loaded.myLastSampleIndex) && r.Get(loaded.myNbSamples) && r.Get(loaded.myNbChannels) &&
            r.Get(left) && r.Get(right) && r.Get(velocity) && r.GetVector(loaded.myStatus) &&
            r.GetVector(loaded.myFrameAdvances) && r.GetVector(loaded.myTriggerValues) && r.GetVector(loaded.myData) &&
            r.GetCount(count, sizeof(uint32_t) + sizeof(uint16_t));
  for (uint64_t k = 0; ok && k < count; ++k) {
    uint32_t first = 0;
    uint16_t phase = 0;
    ok = r.Get(first) && r.Get(phase);
    loaded.mySamplePhases.push_back({first, phase});
  }
  ok = ok && r.GetCount(count, sizeof(uint64_t));
  for (uint64_t k = 0; ok && k < count; ++k) {
    std::string name;
    ok = r.Get(name);
    loaded.myChannelNames.push_back(std::move(name));
  }
  ok = ok && r.GetCount(count, sizeof(int32_t) + sizeof(uint64_t));
  for (uint64_t k = 0; ok && k < count; ++k) {
    int32_t code = 0;
    std::string name;
    ok = r.Get(code) && r.Get(name);
    loaded.myTriggerNames[code] = std::move(name);
  }
  ok = ok && GetList(r, loaded.mySequences) && GetList(r, loaded.myDisplayables) && GetList(r, loaded.myFrames) &&
       GetList(r, loaded.myTransitions) && GetList(r, loaded.myFixSaccLeft) && GetList(r, loaded.myFixSaccRight) &&
       GetList(r, loaded.myBlinksLeft) && GetList(r, loaded.myBlinksRight) && GetList(r, loaded.myAcqPhases) &&
       GetList(r, loaded.myRecords) && GetList(r, loaded.myTriggers) && r.AtEnd();
  const uint64_t samples = loaded.myNbSamples;
  ok = ok && loaded.myStatus.size() == samples && loaded.myFrameAdvances.size() == samples &&
       loaded.myTriggerValues.size() == samples && loaded.myChannelNames.size() == loaded.myNbChannels &&
       loaded.myData.size() == samples * loaded.myNbChannels;
  if (!ok) return false;

  asc.myHeader = std::move(loaded.myHeader);
  asc.myStartTimestamp = loaded.myStartTimestamp;
  asc.myEndTimestamp = loaded.myEndTimestamp;
  asc.myLastSampleIndex = loaded.myLastSampleIndex;
  asc.myNbSamples = loaded.myNbSamples;
  asc.myNbChannels = loaded.myNbChannels;
  asc.myLeftEyePresent = left != 0;
  asc.myRightEyePresent = right != 0;
  asc.myVelocityInFile = velocity != 0;
  asc.myStatus = std::move(loaded.myStatus);
  asc.myFrameAdvances = std::move(loaded.myFrameAdvances);
  asc.myTriggerValues = std::move(loaded.myTriggerValues);
  asc.myData = std::move(loaded.myData);
  asc.myChannelNames = std::move(loaded.myChannelNames);
  asc.mySamplePhases = std::move(loaded.mySamplePhases);
  asc.myTriggerNames = std::move(loaded.myTriggerNames);
  asc.mySequences = std::move(loaded.mySequences);
  asc.myDisplayables = std::move(loaded.myDisplayables);
  asc.myFrames = std::move(loaded.myFrames);
  asc.myTransitions = std::move(loaded.myTransitions);
  asc.myFixSaccLeft = std::move(loaded.myFixSaccLeft);
  asc.myFixSaccRight = std::move(loaded.myFixSaccRight);
  asc.myBlinksLeft = std::move(loaded.myBlinksLeft);
  asc.myBlinksRight = std::move(loaded.myBlinksRight);
  asc.myAcqPhases = std::move(loaded.myAcqPhases);
  asc.myRecords = std::move(loaded.myRecords);
  asc.myTriggers = std::move(loaded.myTriggers);
  asc.CombineEvents();
  return true;
}
