// The text view a rich edit window holds, for tests and benchmarks that look
// at its document and layout or type into it as a user would. The program
// itself only ever goes through the window's messages.
#pragma once

#include <QTextEdit>

namespace win {

inline QTextEdit *TextViewOf(QWidget *richEditWindow)
{
    return richEditWindow->findChild<QTextEdit *>(QString(), Qt::FindDirectChildrenOnly);
}

} // namespace win
