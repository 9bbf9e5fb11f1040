#pragma once
// Captures what the code under test writes to std::cout for as long as the object lives.

#include <iostream>
#include <sstream>
#include <string>

class CoutCapture {
 public:
  CoutCapture() : myOld(std::cout.rdbuf(myBuffer.rdbuf())) {}
  ~CoutCapture() { std::cout.rdbuf(myOld); }
  CoutCapture(const CoutCapture&) = delete;
  CoutCapture& operator=(const CoutCapture&) = delete;
  std::string Text() const { return myBuffer.str(); }

 private:
  std::ostringstream myBuffer;
  std::streambuf* myOld;
};
