#include "record_options.h"

#include <QCommandLineParser>

QList<QCommandLineOption> RecordingOptions() {
  return {
      {kRecord, QStringLiteral("Nimmt Messwerte von GERÄT auf."), QStringLiteral("GERÄT")},
      {kBaud, QStringLiteral("Baudrate der seriellen Schnittstelle."), QStringLiteral("N")},
      {kQuery, QStringLiteral("Abfragebefehl an das Gerät."), QStringLiteral("BEFEHL")},
      {kInterval, QStringLiteral("Abstand der Abfragen in Millisekunden."), QStringLiteral("MS")},
      {kCount, QStringLiteral("Endet nach N Werten."), QStringLiteral("N")},
      {kDuration, QStringLiteral("Endet nach SEKUNDEN."), QStringLiteral("SEKUNDEN")},
  };
}

QString RecordingHelp() {
  return QStringLiteral(
      "  --aufnehmen GERÄT  Nimmt Messwerte auf und gibt sie einzeln je Zeile aus, so wie\n"
      "                     --auswerten sie liest. GERÄT ist eine serielle Schnittstelle\n"
      "                     (/dev/ttyUSB0, COM3) oder ein Netzwerkgerät RECHNER:PORT.\n"
      "                     Der Wert einer Zeile ist ihre erste Zahl; Zeilen ohne Wert\n"
      "                     und der Fortschritt stehen in der Standardfehlerausgabe.\n"
      "                     Strg+C beendet die Aufnahme.\n"
      "                     --dezimalzeichen gilt auch hier.\n"
      "  --baud N           Baudrate (Vorgabe 9600; 8 Datenbits, keine Parität, 1 Stoppbit).\n"
      "  --abfrage BEFEHL   Sendet BEFEHL (etwa READ?) mit Zeilenende an das Gerät,\n"
      "  --intervall MS     alle MS Millisekunden (Vorgabe 1000).\n"
      "  --anzahl N         Endet nach N Werten.\n"
      "  --dauer SEKUNDEN   Endet nach SEKUNDEN.\n");
}

bool RecordingAsked(const QCommandLineParser& parser) {
  for (const QString& name : {kRecord, kBaud, kQuery, kInterval, kCount, kDuration})
    if (parser.isSet(name)) return true;
  return false;
}
