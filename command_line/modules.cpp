#include "modules.h"

#include <QFileInfo>
#include <QLibrary>
#include <QStringList>

namespace {

QStringList Candidates(const QString& name) {
#ifdef Q_OS_WIN
  return {name};  // Windows looks next to the program first
#else
  const QString folder = QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
  return {folder + u'/' + name,
          folder + QStringLiteral("/" MESSWERTE_MODULE_FROM_BINDIR "/") + name};
#endif
}

}  // namespace

QFunctionPointer ModuleEntry(const QString& name, const char* entry, QString* reason) {
  for (const QString& candidate : Candidates(name)) {
    QLibrary module(candidate);
    if (const QFunctionPointer found = module.resolve(entry)) return found;
    if (reason->isEmpty()) *reason = module.errorString();
  }
  return nullptr;
}
