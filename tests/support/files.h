// Files in tests: read and written whole.
#pragma once

#include <QByteArray>
#include <QString>

class QTemporaryDir;

namespace veskel::test {

// The file's bytes; `unreadable` when it cannot be opened (by default empty,
// like an empty file: pass a marker where the two must differ).
QByteArray ReadAll(const QString &path, const QByteArray &unreadable = {});

// Replaces the file with `bytes`; false, with a warning naming it, when it
// cannot be written whole.
[[nodiscard]] bool WriteAll(const QString &path, const QByteArray &bytes);

// Writes the file `name` in `dir`: its path, or empty when it cannot.
QString WriteIn(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes);

// Points the configuration folder and the home folder (XDG_CONFIG_HOME,
// HOME) at a temporary folder of the test's own, for the process's life.
void UsePrivateHome();

} // namespace veskel::test
