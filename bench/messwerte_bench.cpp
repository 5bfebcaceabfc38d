// Runs one button's operation of the evaluation on a list read from a file and prints the six
// output fields, so that whole evaluations can be timed from the command line.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "evaluation.h"
#include "exception.h"
#include "huge_pages.h"
#include "measurement_list.h"
#include "series_statistics.h"
#include "operations.h"

namespace {

using messwerte::Auswertung;
using messwerte::Form;

constexpr const char* kUsage =
    "Aufruf: messwerte-bench [--komma] DATEI "
    "[anzahl|mittelwert|quadr|groesster|kleinster|abweichung|reset|alle|kennwerte]\n"
    "  Liest DATEI als Messwertliste (ein Wert je Zeile), führt die Operation aus (ohne Angabe\n"
    "  abweichung; alle = die sieben Tasten in der Reihenfolge des Fensters) und gibt die sechs\n"
    "  Ausgabefelder aus; kennwerte: die Kennwerte der Zeilen bis zur ersten leeren und auf\n"
    "  stderr ihre Zeit. --komma: Dezimaltrennzeichen ',' statt '.'.\n";

using bench::Field;
using bench::kOperations;
using bench::Operation;

// The whole file in one read; false with errno set when it cannot be read.
bool ReadFile(const char* path, std::string& text) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0;
  if (ok && !S_ISREG(info.st_mode)) {
    errno = EISDIR;
    ok = false;
  }
  if (ok) {
    const auto size = static_cast<std::size_t>(info.st_size);
    text.reserve(size);
    messwerte::AdviseHugePages(text.data(), size);
    text.resize(size);
    std::size_t done = 0;
    while (ok && done < text.size()) {
      const ssize_t got = read(fd, text.data() + done, text.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got == 0) text.resize(done);  // the file got shorter meanwhile
      ok = got >= 0;
      if (ok) done += static_cast<std::size_t>(got);
    }
  }
  const int saved = errno;
  close(fd);
  errno = saved;
  return ok;
}

std::string Reason(int error) {
  switch (error) {
    case ENOENT:
      return "Datei nicht gefunden";
    case EACCES:
      return "keine Berechtigung";
    case EISDIR:
      return "ein Verzeichnis";
    default:
      return std::strerror(error);
  }
}

// The Kennwerte of the lines up to the first empty one, timed from the first line read to the
// last figure; the figures on stdout, the time on stderr.
int Statistics(messwerte::LineList& list, char separator) {
  const auto start = std::chrono::steady_clock::now();
  messwerte::StatisticsCollector collector(separator);
  collector.Reserve(list.LineCount());
  for (int k = 0; k < list.LineCount(); ++k) {
    const std::string_view text = list.ReadLine(k);
    if (text.empty()) break;
    if (collector.Add(text) != messwerte::ParseStatus::kOk) {
      std::cerr << "Zeile " << k + 1 << " ist keine Zahl.\n";
      return 1;
    }
  }
  const auto statistics = collector.Finish();
  const auto took = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start);
  if (!statistics) {
    std::cerr << "Keine Messwerte.\n";
    return 1;
  }
  const auto text = [separator](double v) { return messwerte::ShortestText(v, separator); };
  std::cout << "Anzahl: " << statistics->count << "\nMittelwert: " << text(statistics->mean)
            << "\nStandardabweichung: "
            << (statistics->standard_deviation ? text(*statistics->standard_deviation) : "–")
            << "\nMedian: " << text(statistics->median)
            << "\nKleinster Messwert: " << text(statistics->smallest)
            << "\nGrößter Messwert: " << text(statistics->largest)
            << "\nexakt: " << (statistics->exact ? "ja" : "nein") << '\n';
  std::cerr << "Kennwerte: " << took.count() << " ms\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  char separator = '.';
  int arg = 1;
  if (arg < argc && std::string_view(argv[arg]) == "--komma") {
    separator = ',';
    ++arg;
  }
  if (argc - arg < 1 || argc - arg > 2) {
    std::cerr << kUsage;
    return 1;
  }
  const char* path = argv[arg];
  const std::string_view wanted = arg + 1 < argc ? argv[arg + 1] : "abweichung";
  const bool all = wanted == "alle";
  const bool statistics = wanted == "kennwerte";
  const Operation* chosen = nullptr;
  for (const Operation& operation : kOperations)
    if (operation.name == wanted) chosen = &operation;
  if (!all && !statistics && !chosen) {
    std::cerr << "Unbekannte Operation '" << wanted << "'.\n" << kUsage;
    return 1;
  }

  std::string text;
  if (!ReadFile(path, text)) {
    std::cerr << "Die Datei '" << path << "' kann nicht gelesen werden (" << Reason(errno)
              << ").\n";
    return 1;
  }
  messwerte::LineList list(std::move(text));
  if (statistics) return Statistics(list, separator);
  Field anzahl, mittelwert, quadr, groesster, kleinster, abweichung;
  messwerte::KeptValues kept;
  Form form{list, anzahl, mittelwert, quadr, groesster, kleinster, abweichung, separator, kept};
  Auswertung state;

  try {
    if (all) {
      for (const Operation& operation : kOperations) operation.run(form, state);
    } else {
      chosen->run(form, state);
    }
  } catch (const messwerte::Exception& error) {
    std::cerr << error.what() << '\n';
    return 1;
  }

  std::cout << "edtAnzahl: " << anzahl.text() << '\n'
            << "edtMittelwert: " << mittelwert.text() << '\n'
            << "edtQuadr_Mittelwe: " << quadr.text() << '\n'
            << "edtGroessterMessw: " << groesster.text() << '\n'
            << "edtKleinsterMessw: " << kleinster.text() << '\n'
            << "edtAbweichung: " << abweichung.text() << '\n';
  return 0;
}
