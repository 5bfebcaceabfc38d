// Times the list model's UTF-16 offsets on a million lines: the first query at the end, which
// builds the line-start index, queries after it, and queries after a key typed near the end and
// on the first line.

#include <chrono>
#include <cstdio>
#include <string>

#include "list_model.h"

namespace {

template <class F>
double Ms(F run) {
  const auto start = std::chrono::steady_clock::now();
  run();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main() {
  std::string text;
  for (int k = 0; k < 1'000'000; ++k) text += "-123.4567\n";
  ListModel model;
  model.SetText(text);
  const TextPosition last{1'000'000, 0};
  std::int64_t offset = 0;
  std::printf("offset of the last line, first query: %.3f ms\n",
              Ms([&] { offset = model.Utf16Offset(last); }));
  std::printf("the same again: %.4f ms\n", Ms([&] { offset = model.Utf16Offset(last); }));
  std::printf("position at that offset: %.4f ms\n", Ms([&] { model.PositionAtUtf16(offset); }));
  model.Select({999'990, 3}, {999'990, 3});
  model.Insert("5", ListModel::Merge::kTyping);
  std::printf("after a key near the end: %.4f ms\n", Ms([&] { offset = model.Utf16Offset(last); }));
  model.Select({0, 3}, {0, 3});
  model.Insert("5", ListModel::Merge::kTyping);
  std::printf("after a key on the first line: %.3f ms\n",
              Ms([&] { offset = model.Utf16Offset(last); }));
  return offset > 0 ? 0 : 1;
}
