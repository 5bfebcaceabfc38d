// Throughput of the number reading on measurement texts: ParseNumber, which the operations read
// every line through, StrToFloat, the named conversion, and the C library's strtold in the C locale
// (platform::ReadDecimal, what ParseNumber falls back to for long texts). All three must give the
// same bits for every text before anything is timed.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "number_text.h"
#include "platform.h"
#include "same_bits.h"

namespace {

// Texts as a lab writes them: one to four integer digits, four decimals, about a fifth negative.
std::vector<std::string> Readings() {
  std::mt19937_64 random(1);
  std::uniform_real_distribution<double> spread(-0.25, 1.0), factor(1.0, 9.9999);
  const double magnitudes[] = {1, 10, 100, 1000};
  std::vector<std::string> texts;
  for (int i = 0; i < 4096; ++i) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.4f",
                  spread(random) * magnitudes[random() % 4] * factor(random));
    texts.emplace_back(buffer);
  }
  return texts;
}

// Other common shapes: integers, many decimals, exponents, leading signs and zeros, blanks.
std::vector<std::string> Mixed() {
  std::mt19937_64 random(2);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const char* formats[] = {"%.0f", "%.6f", "%.3e", "%+.2f", "%.8f", " %.5g ", "%.12g", "%.2E"};
  const double scales[] = {1e4, 1, 1e-3, 1e2, 1e-6, 1e9, 12345.678, 1e-12};
  std::vector<std::string> texts;
  for (int i = 0; i < 4096; ++i) {
    char buffer[48];
    const int shape = i % 8;
    std::snprintf(buffer, sizeof buffer, formats[shape], unit(random) * scales[shape]);
    texts.emplace_back(buffer);
  }
  return texts;
}

long double ReadParseNumber(const std::string& text) {
  return messwerte::ParseNumber(text, '.').value;
}
long double ReadStrToFloat(const std::string& text) { return messwerte::StrToFloat(text, '.'); }
long double ReadCLibrary(const std::string& text) {
  return messwerte::platform::ReadDecimal(text).value;
}

bool Agree(const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    const long double theirs = ReadCLibrary(text);
    const long double parsed = ReadParseNumber(text), converted = ReadStrToFloat(text);
    if (!messwerte::SameBits(parsed, theirs) || !messwerte::SameBits(converted, theirs)) {
      std::fprintf(stderr, "'%s': ParseNumber %.21Lg, StrToFloat %.21Lg, C library %.21Lg\n",
                   text.c_str(), parsed, converted, theirs);
      return false;
    }
  }
  return true;
}

template <long double (*Read)(const std::string&)>
void Run(benchmark::State& state, const std::vector<std::string>& texts) {
  std::size_t bytes = 0;
  for (const std::string& text : texts) bytes += text.size();
  for (auto _ : state) {
    for (const std::string& text : texts) {
      long double value = Read(text);
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

const std::vector<std::string> kReadings = Readings();
const std::vector<std::string> kMixed = Mixed();

void BM_ParseNumber_Readings(benchmark::State& state) { Run<ReadParseNumber>(state, kReadings); }
void BM_StrToFloat_Readings(benchmark::State& state) { Run<ReadStrToFloat>(state, kReadings); }
void BM_CLibrary_Readings(benchmark::State& state) { Run<ReadCLibrary>(state, kReadings); }
void BM_ParseNumber_Mixed(benchmark::State& state) { Run<ReadParseNumber>(state, kMixed); }
void BM_StrToFloat_Mixed(benchmark::State& state) { Run<ReadStrToFloat>(state, kMixed); }
void BM_CLibrary_Mixed(benchmark::State& state) { Run<ReadCLibrary>(state, kMixed); }
BENCHMARK(BM_ParseNumber_Readings);
BENCHMARK(BM_StrToFloat_Readings);
BENCHMARK(BM_CLibrary_Readings);
BENCHMARK(BM_ParseNumber_Mixed);
BENCHMARK(BM_StrToFloat_Mixed);
BENCHMARK(BM_CLibrary_Mixed);

}  // namespace

int main(int argc, char** argv) {
  if (!Agree(kReadings) || !Agree(kMixed)) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
