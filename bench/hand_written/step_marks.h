#pragma once
// The hand-written program's own notes of its start-up steps, written in the
// same form as Snipora's (SNIPORA_STARTUP_TRACE names the file; one
// "step<TAB>performance counter" line a step, first time reached only), so
// that the benchmark lines the two up step by step. Kept apart from the
// runtime's, which this program must not use.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iterator>

namespace hand {

class StepMarks {
 public:
  StepMarks() {
    const DWORD n = GetEnvironmentVariableA("SNIPORA_STARTUP_TRACE", path_, sizeof path_);
    on_ = n > 0 && n < sizeof path_;
  }

  void Mark(const char* step) {
    if (!on_ || count_ == int(std::size(marks_))) return;
    for (int i = 0; i < count_; ++i)
      if (std::strcmp(marks_[i].step, step) == 0) return;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    marks_[count_++] = {step, now.QuadPart};
  }

  void Write() const {
    if (!on_) return;
    FILE* file = std::fopen(path_, "wb");
    if (!file) return;
    for (int i = 0; i < count_; ++i) std::fprintf(file, "%s\t%lld\n", marks_[i].step, marks_[i].counter);
    std::fclose(file);
  }

 private:
  struct Entry {
    const char* step;
    LONGLONG counter;
  };
  bool on_ = false;
  int count_ = 0;
  Entry marks_[24];
  char path_[MAX_PATH] = {};
};

}  // namespace hand
