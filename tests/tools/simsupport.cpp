#include "tools/simsupport.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdlib>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include "support/testsupport.h"

namespace simsupport {

int RunSim(const std::string& arguments, const std::string& log) {
#ifdef _WIN32
  const char* nowhere = "NUL";
#else
  const char* nowhere = "/dev/null";
#endif
  const std::string command =
      std::string("\"") + TOLMERA_SIM_PATH + "\" " + arguments + " > \"" + (log.empty() ? nowhere : log) + "\" 2>&1";
  const int status = std::system(command.c_str());
  if (status == -1) return -1;
#ifdef _WIN32
  return status;
#else
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    out.emplace_back(text.substr(start, stop - start));
    start = end + 1;
  }
  return out;
}

std::vector<std::string> Tokens(std::string_view line) {
  std::vector<std::string> out;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t' && line[j] != '\r') ++j;
    if (j > i) out.emplace_back(line.substr(i, j - i));
    i = j;
  }
  return out;
}

std::vector<std::string> Fields(std::string_view line, char separator) {
  std::vector<std::string> out;
  size_t start = 0;
  while (true) {
    const size_t end = line.find(separator, start);
    out.emplace_back(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return out;
}

double ToDouble(std::string_view text) {
  double v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  EXPECT_TRUE(r.ec == std::errc() && r.ptr == text.data() + text.size()) << "not a number: " << text;
  return v;
}

int64_t ToInt(std::string_view text) {
  int64_t v = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
  EXPECT_TRUE(r.ec == std::errc() && r.ptr == text.data() + text.size()) << "not an integer: " << text;
  return v;
}

double Truth::Number(const std::map<std::string, std::string>& section, const std::string& key) const {
  EXPECT_NE(section.find(key), section.end()) << "ground truth lacks " << key;
  return simcheck::Truth::Number(section, key);
}

Truth LoadTruth(const std::string& path) {
  Truth truth;
  std::string error;
  const bool read = simcheck::ReadTruth(path, truth, error);
  EXPECT_TRUE(read) << path << ": " << error;
  if (!read) return Truth{};
  return truth;
}

}  // namespace simsupport
