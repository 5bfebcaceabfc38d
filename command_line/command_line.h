#pragma once

#include <QString>
#include <optional>

// What the program's arguments ask for, read before any window or display exists.
struct CommandLine {
  // Set when the program is done already: help, version, an evaluation, or a bad argument.
  std::optional<int> exit_code;
  // A file to open in the window; empty for none.
  QString open_path;
  // --diagramm: the image to write the plot of `open_path` to, and the column (from 0, or -1).
  QString plot_image;
  int plot_column = -1;
};

// Reads the arguments; prints help, the version, or an evaluation's six lines (--auswerten) on
// standard output and messages on standard error.
CommandLine RunCommandLine(int argc, char* argv[]);
