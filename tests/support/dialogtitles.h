// The titles of the program's windows and dialogs, as a user reads them.
#pragma once

#include <QRegularExpression>
#include <QString>

namespace veskel::test::title {

inline const QString kPassword = QStringLiteral("Set Password");
inline const QString kPasswordAgain = QStringLiteral("Type the password again");
inline const QString kOpen = QStringLiteral("Load a file");
inline const QString kSaveAs = QStringLiteral("Save As");
inline const QString kPasteSpecial = QStringLiteral("Paste Special");
inline const QString kInsertObject = QStringLiteral("Insert Object");
// Message boxes carry the program file's name.
inline const QString kMessageBox = QStringLiteral("veskel");

// The main window, with this document (none: empty).
inline QString Main(const QString &path = {})
{
    return QStringLiteral("Veskel - ") + path;
}

// A pattern that matches this title and nothing longer.
inline QString Exactly(const QString &title)
{
    return QLatin1Char('^') + QRegularExpression::escape(title) + QLatin1Char('$');
}

} // namespace veskel::test::title
