// Throughput of StrToFloat against glibc's strtold_l in the C locale on measurement texts. Both
// must give the same bits for every text before anything is timed.

#include <benchmark/benchmark.h>
#include <locale.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "number_text.h"

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

locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t{});
  return c;
}

// The 80 bits of an extended value; the padding bytes of long double carry nothing.
bool SameBits(long double a, long double b) { return std::memcmp(&a, &b, 10) == 0; }

bool Agree(const std::vector<std::string>& texts) {
  for (const std::string& text : texts) {
    const long double ours = messwerte::StrToFloat(text, '.');
    const long double theirs = strtold_l(text.c_str(), nullptr, CLocale());
    if (!SameBits(ours, theirs)) {
      std::fprintf(stderr, "'%s': StrToFloat %.21Lg, strtold_l %.21Lg\n", text.c_str(), ours,
                   theirs);
      return false;
    }
  }
  return true;
}

void Run(benchmark::State& state, const std::vector<std::string>& texts, bool ours) {
  std::size_t bytes = 0;
  for (const std::string& text : texts) bytes += text.size();
  for (auto _ : state) {
    for (const std::string& text : texts) {
      long double value =
          ours ? messwerte::StrToFloat(text, '.') : strtold_l(text.c_str(), nullptr, CLocale());
      benchmark::DoNotOptimize(value);
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * texts.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}

const std::vector<std::string> kReadings = Readings();
const std::vector<std::string> kMixed = Mixed();

void BM_StrToFloat_Readings(benchmark::State& state) { Run(state, kReadings, true); }
void BM_strtold_l_Readings(benchmark::State& state) { Run(state, kReadings, false); }
void BM_StrToFloat_Mixed(benchmark::State& state) { Run(state, kMixed, true); }
void BM_strtold_l_Mixed(benchmark::State& state) { Run(state, kMixed, false); }
BENCHMARK(BM_StrToFloat_Readings);
BENCHMARK(BM_strtold_l_Readings);
BENCHMARK(BM_StrToFloat_Mixed);
BENCHMARK(BM_strtold_l_Mixed);

}  // namespace

int main(int argc, char** argv) {
  if (!Agree(kReadings) || !Agree(kMixed)) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
