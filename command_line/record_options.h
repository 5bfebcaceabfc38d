#pragma once

#include <QCommandLineOption>
#include <QList>
#include <QString>

class QCommandLineParser;

// The options of recording from the command line: messwerte --aufnehmen GERÄT [--baud N]
// [--abfrage BEFEHL --intervall MS] [--anzahl N | --dauer SEKUNDEN].
inline const QString kRecord = QStringLiteral("aufnehmen");
inline const QString kBaud = QStringLiteral("baud");
inline const QString kQuery = QStringLiteral("abfrage");
inline const QString kInterval = QStringLiteral("intervall");
inline const QString kCount = QStringLiteral("anzahl");
inline const QString kDuration = QStringLiteral("dauer");

QList<QCommandLineOption> RecordingOptions();
// The lines of --help about it.
QString RecordingHelp();
// Whether any of them is given: the recording module then takes over.
bool RecordingAsked(const QCommandLineParser& parser);
