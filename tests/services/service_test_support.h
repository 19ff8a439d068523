// Shared by the services tests: console capture, and sieve-file texts built from values.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/print.h"

// Captures the console for the duration of one test.
class ConsoleCapture : public ::testing::Test {
 protected:
  void SetUp() override { setPrintCapture(&console); }
  void TearDown() override { setPrintCapture(nullptr); }
  std::string console;
};

// A header line followed by one "k n" line per value of a fixed-n file.
inline std::string sieveText(const std::string& header, const std::vector<long long>& ks, int n = 100) {
  std::string text = header + "\n";
  for (long long k : ks) text += std::to_string(k) + " " + std::to_string(n) + "\n";
  return text;
}
