#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <optional>

class QCommandLineParser;

// Recording from the command line: messwerte --aufnehmen GERÄT [--baud N]
// [--abfrage BEFEHL --intervall MS] [--anzahl N | --dauer SEKUNDEN].
QList<QCommandLineOption> RecordingOptions();
// The lines of --help about it.
QString RecordingHelp();

// Records when the arguments ask for it: the values on standard output, one a line as they
// arrive, with the locale's decimal mark as --auswerten reads them; progress, skipped lines and
// messages on standard error. Gives the exit status: 0 when the count, the time or Ctrl+C ended
// it, 1 when the connection was lost, 2 when the source cannot be opened, an argument is wrong
// or the values cannot be written. None when the arguments ask for no recording.
std::optional<int> RecordIfAsked(const QCommandLineParser& parser, int argc, char* argv[]);
