#include "modules.h"

#include <QFileInfo>

QStringList ModuleCandidates(const QString& name) {
#ifdef Q_OS_WIN
  return {name};  // Windows looks next to the program first
#else
  const QString folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
  return {folder + u'/' + name,
          folder + QStringLiteral("/" MESSWERTE_MODULE_FROM_BINDIR "/") + name};
#endif
}
