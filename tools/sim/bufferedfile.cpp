#include "bufferedfile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>

#include "varnixlib/support/platform.h"

BufferedFile::~BufferedFile() { Close(); }

bool BufferedFile::Open(const std::string& path) {
  Close();
  myPath = path;
  myOk = true;
  myFd = Varnix::Platform::OpenForWriting(path);
  if (myFd < 0) {
    std::cerr << "tolmera-sim: cannot create " << path << std::endl;
    myOk = false;
    return false;
  }
  myBuffer.clear();
  myBuffer.reserve(kFlushSize + 4096);
  return true;
}

void BufferedFile::Flush() {
  if (myBuffer.empty()) return;
  if (myFd >= 0 && myOk) {
    if (Varnix::Platform::WriteFully(myFd, myBuffer.data(), myBuffer.size()) != myBuffer.size()) {
      std::cerr << "tolmera-sim: write failed on " << myPath << std::endl;
      myOk = false;
    }
  }
  myBuffer.clear();
}

bool BufferedFile::Close() {
  if (myFd < 0) return myOk;
  Flush();
  Varnix::Platform::Close(myFd);
  myFd = -1;
  return myOk;
}

void BufferedFile::Append(std::string_view text) {
  if (myBuffer.size() + text.size() > kFlushSize) Flush();
  if (text.size() > kFlushSize) {
    myBuffer.insert(myBuffer.end(), text.begin(), text.end());
    Flush();
    return;
  }
  myBuffer.insert(myBuffer.end(), text.begin(), text.end());
}

void BufferedFile::AppendBytes(const void* data, size_t count) {
  Append(std::string_view(static_cast<const char*>(data), count));
}

void BufferedFile::AppendUnsigned(uint64_t value) {
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  if (myBuffer.size() + n > kFlushSize) Flush();
  while (n > 0) myBuffer.push_back(digits[--n]);
}

void BufferedFile::AppendSigned(int64_t value) {
  if (value < 0) {
    Append('-');
    AppendUnsigned(static_cast<uint64_t>(-(value + 1)) + 1);
  } else {
    AppendUnsigned(static_cast<uint64_t>(value));
  }
}

void BufferedFile::AppendFixed(double value, int decimals, int width) {
  static constexpr double kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  if (decimals < 0) decimals = 0;
  if (decimals > 6) decimals = 6;
  char text[48];
  int n = 0;
  const bool negative = value < 0;
  // Half away from zero, like the device exports.
  const double scaled = std::floor(std::fabs(value) * kScale[decimals] + 0.5);
  uint64_t whole = scaled < 1.8e19 ? static_cast<uint64_t>(scaled) : 0;
  char reversed[32];
  int r = 0;
  for (int d = 0; d < decimals; ++d) {
    reversed[r++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  }
  if (decimals > 0) reversed[r++] = '.';
  do {
    reversed[r++] = static_cast<char>('0' + whole % 10);
    whole /= 10;
  } while (whole != 0);
  if (negative && scaled != 0) reversed[r++] = '-';
  for (int pad = std::min(width, 40) - r; pad > 0; --pad) text[n++] = ' ';
  while (r > 0) text[n++] = reversed[--r];
  Append(std::string_view(text, static_cast<size_t>(n)));
}

void BufferedFile::AppendPadded(std::string_view text, int width) {
  for (int pad = width - static_cast<int>(text.size()); pad > 0; --pad) Append(' ');
  Append(text);
}
