// Files in tests: read and written whole.
#pragma once

#include <QByteArray>
#include <QString>

namespace veskel::test {

// The file's bytes; `unreadable` when it cannot be opened (by default empty,
// like an empty file: pass a marker where the two must differ).
QByteArray ReadAll(const QString &path, const QByteArray &unreadable = {});

} // namespace veskel::test
