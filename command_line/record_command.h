#pragma once

class QCommandLineParser;

// The recording module's entry (messwerte-aufnahme, with Qt SerialPort and QtNetwork, which the
// program loads only to record). Records as the arguments ask: the values on standard output, one
// a line as they arrive, with the locale's decimal mark as --auswerten reads them; progress,
// skipped lines and messages on standard error. Gives the exit status: 0 when the count, the time
// or Ctrl+C ended it, 1 when the connection was lost, 2 when the source cannot be opened, an
// argument is wrong or the values cannot be written.
extern "C" int MesswerteRecord(const QCommandLineParser& parser, int argc, char* argv[]);
using RecordEntry = decltype(&MesswerteRecord);
