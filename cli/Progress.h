// A job's progress on a terminal: how far it has got, how fast against the
// audio's own time, and how long it has left.
#pragma once

#include <qola/qola.hpp>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qola::cli {

// What the speed is measured in: the input's seconds of audio where its
// header states them, else its bytes; neither for a part of a file.
struct InputMeasure {
  double seconds = -1;
  std::int64_t bytes = -1;
};

// Measures a regular file from its first bytes, leaving its position alone.
InputMeasure measureInput(std::FILE* input, bool compress, const Settings& settings);

// "label:  42%  12.5x real time, 0:07 left". Speed and time left come once
// some of the job is done and time has passed, which they are estimated from.
std::string progressLine(const std::string& label, int percent, double elapsedSeconds, const InputMeasure& measure);

// "1:05" or "2:03:04".
std::string clockTime(double seconds);

class ConsoleProgress {
 public:
  ConsoleProgress(std::string label, bool show, InputMeasure measure)
      : label_(std::move(label)), show_(show), measure_(measure) {}
  void attach(Job& job);
  void clearLine();

 private:
  bool update(int percent);

  std::string label_;
  bool show_;
  InputMeasure measure_;
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point shown_{};
  int last_ = -1;
  std::size_t width_ = 0;  // of the line on the terminal
};

}  // namespace qola::cli
