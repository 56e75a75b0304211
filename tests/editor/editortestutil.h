// Shared set-up for the editor control's widget tests.
#pragma once

#include "editor/richeditor.h"
#include "platform/testing/textview.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QTest>

namespace veskel::test {

// A shown editor with a monospace font; wrapAt > 0 wraps display lines after
// that many characters.
inline void prepare(TRichEditor &editor, int wrapAt = 0)
{
    editor.resize(600, 400);
    QTextEdit *view = win::TextViewOf(editor.InnerWindow());
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    view->document()->setDefaultFont(font);
    view->setWordWrapMode(QTextOption::WrapAnywhere);
    if (wrapAt > 0) {
        const QFontMetricsF metrics(font);
        const qreal margin = 2 * view->document()->documentMargin();
        view->setLineWrapMode(QTextEdit::FixedPixelWidth);
        view->setLineWrapColumnOrWidth(
            static_cast<int>(metrics.horizontalAdvance(QString(wrapAt, u'x')) + margin + 1));
    }
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
}

// The centre of the character at the position, in viewport coordinates.
inline QPoint pointOf(win::RichEditWindow *window, int position)
{
    const QTextEdit *view = win::TextViewOf(window);
    QTextCursor cursor(view->document());
    cursor.setPosition(position);
    const QRect before = view->cursorRect(cursor);
    cursor.setPosition(position + 1);
    const QRect after = view->cursorRect(cursor);
    return QPoint((before.left() + after.left()) / 2, before.center().y());
}

} // namespace veskel::test
