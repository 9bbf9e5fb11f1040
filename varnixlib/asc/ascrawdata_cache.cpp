// AscRawData: the parse cache of -G. A private binary file "<asc file>.dbg" holding everything the
// walk, the sorting and the organisation produced. Layout (little-endian, as every data file of
// the program): a fixed key block (magic, version, ASC size and content hash, trigger-name file
// hash, the options that change the result), then the payload size and hash, then the payload.
// A file whose key, size or hash does not match is ignored and the ASC file is parsed again.

#include <bit>
#include <cstring>
#include <fstream>
#include <sstream>
#include <type_traits>

#include "varnixlib/asc/ascrawdata.h"
#include "varnixlib/support/file.h"
#include "varnixlib/synchroparams.h"

static_assert(std::endian::native == std::endian::little, "the cache layout is written in host order");

namespace {

constexpr char kMagic[8] = {'T', 'L', 'M', 'R', 'A', 'S', 'C', '\x1a'};
constexpr uint32_t kVersion = 1;

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
  template <typename T>
  void PutVector(const std::vector<T>& v) {
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
  template <typename T>
  bool GetVector(std::vector<T>& v) {
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
  w.Put(h.samplePeriod);
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
  return r.Get(h.samplePeriod) && r.Get(h.fileName) && r.Get(h.softwareName) && r.Get(h.softwareVersion) &&
         r.Get(h.subjectName) && r.Get(h.subjectSession) && r.Get(h.experimentName) && r.Get(h.screenWidth) &&
         r.Get(h.screenHeight) && r.Get(h.screenDimXmm) && r.Get(h.screenDimYmm) && r.Get(h.screenDistance) &&
         r.Get(h.frameRate) && r.Get(h.falseBlinkSamples) && r.Get(h.guidingEye);
}

uint64_t HashOfFile(const std::string& path) {
  if (path.empty() || !Varnix::File::Exists(path)) return 0;
  std::string content;
  if (!Varnix::File::ReadInString(content, path)) return 1;
  return AscRawData::HashBytes(content.data(), content.size());
}

}  // namespace

uint64_t AscRawData::HashBytes(const char* data, uint64_t size) {
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

uint64_t AscRawData::CacheKeyOptions(const SynchroParams& params) const {
  uint64_t bits = (params.pupilSize ? 1u : 0u) | (params.velocityChannels ? 2u : 0u) |
                  (params.roundGaze ? 4u : 0u) | (params.framesInEvents ? 8u : 0u);
  return bits ^ (static_cast<uint64_t>(params.falseBlinkMsec) << 8);
}

void AscRawData::SaveCache(const SynchroParams& params) {
  if (!myCacheWanted) return;
  Writer p;
  PutHeader(p, myHeader);
  p.Put(myStartTimestamp);
  p.Put(myEndTimestamp);
  p.Put(myLastSampleIndex);
  p.Put(myNbSamples);
  p.Put(myNbChannels);
  p.Put(static_cast<uint8_t>(myLeftEyePresent));
  p.Put(static_cast<uint8_t>(myRightEyePresent));
  p.Put(static_cast<uint8_t>(myVelocityInFile));
  p.PutVector(myStatus);
  p.PutVector(myFrameAdvances);
  p.PutVector(myTriggerValues);
  p.PutVector(myData);
  p.Put<uint64_t>(myChannelNames.size());
  for (const std::string& name : myChannelNames) p.Put(name);
  p.Put<uint64_t>(myTriggerNames.size());
  for (const auto& [code, name] : myTriggerNames) {
    p.Put<int32_t>(code);
    p.Put(name);
  }
  PutList(p, mySequences);
  PutList(p, myDisplayables);
  PutList(p, myFrames);
  PutList(p, myTransitions);
  PutList(p, myFixSaccLeft);
  PutList(p, myFixSaccRight);
  PutList(p, myBlinksLeft);
  PutList(p, myBlinksRight);
  PutList(p, myAcqPhases);
  PutList(p, myRecords);
  PutList(p, myTriggers);

  Writer file;
  file.Bytes().append(kMagic, sizeof kMagic);
  file.Put(kVersion);
  file.Put(myFileSize);
  file.Put(myTextHash);
  file.Put(HashOfFile(params.triggersFileName));
  file.Put(CacheKeyOptions(params));
  file.Put<uint64_t>(p.Bytes().size());
  file.Put(HashBytes(p.Bytes().data(), p.Bytes().size()));
  file.Bytes().append(p.Bytes());
  // File::Write replaces the cache only once the new one is whole; a failure leaves no half cache.
  Varnix::File::WriteFromString(CacheFileName(myAscFileName), file.Bytes());
}

bool AscRawData::LoadCache(const SynchroParams& params) {
  const std::string path = CacheFileName(myAscFileName);
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
  if (size != myFileSize || textHash != myTextHash || triggerHash != HashOfFile(params.triggersFileName) ||
      options != CacheKeyOptions(params)) {
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
            r.GetCount(count, sizeof(uint64_t));
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

  myHeader = std::move(loaded.myHeader);
  myStartTimestamp = loaded.myStartTimestamp;
  myEndTimestamp = loaded.myEndTimestamp;
  myLastSampleIndex = loaded.myLastSampleIndex;
  myNbSamples = loaded.myNbSamples;
  myNbChannels = loaded.myNbChannels;
  myLeftEyePresent = left != 0;
  myRightEyePresent = right != 0;
  myVelocityInFile = velocity != 0;
  myStatus = std::move(loaded.myStatus);
  myFrameAdvances = std::move(loaded.myFrameAdvances);
  myTriggerValues = std::move(loaded.myTriggerValues);
  myData = std::move(loaded.myData);
  myChannelNames = std::move(loaded.myChannelNames);
  myTriggerNames = std::move(loaded.myTriggerNames);
  mySequences = std::move(loaded.mySequences);
  myDisplayables = std::move(loaded.myDisplayables);
  myFrames = std::move(loaded.myFrames);
  myTransitions = std::move(loaded.myTransitions);
  myFixSaccLeft = std::move(loaded.myFixSaccLeft);
  myFixSaccRight = std::move(loaded.myFixSaccRight);
  myBlinksLeft = std::move(loaded.myBlinksLeft);
  myBlinksRight = std::move(loaded.myBlinksRight);
  myAcqPhases = std::move(loaded.myAcqPhases);
  myRecords = std::move(loaded.myRecords);
  myTriggers = std::move(loaded.myTriggers);
  CombineEvents();
  return true;
}
