// Runs one button's operation of the evaluation on a list read from a file and prints the six
// output fields, so that whole evaluations can be timed from the command line.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>

#include "evaluation.h"
#include "exception.h"
#include "huge_pages.h"
#include "measurement_list.h"
#include "operations.h"

namespace {

using messwerte::Auswertung;
using messwerte::Form;

constexpr const char* kUsage =
    "Aufruf: messwerte-bench [--komma] DATEI "
    "[anzahl|mittelwert|quadr|groesster|kleinster|abweichung|reset|alle]\n"
    "  Liest DATEI als Messwertliste (ein Wert je Zeile), führt die Operation aus (ohne Angabe\n"
    "  abweichung; alle = die sieben Tasten in der Reihenfolge des Fensters) und gibt die sechs\n"
    "  Ausgabefelder aus. --komma: Dezimaltrennzeichen ',' statt '.'.\n";

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
  const Operation* chosen = nullptr;
  for (const Operation& operation : kOperations)
    if (operation.name == wanted) chosen = &operation;
  if (!all && !chosen) {
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
