// Shared set-up for the editor control's widget tests.
#pragma once

#include "editor/richeditor.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QTest>

namespace veskel::test {

// A shown editor with a monospace font; wrapAt > 0 wraps display lines after
// that many characters.
inline void prepare(TRichEditor &editor, int wrapAt = 0)
{
    editor.resize(600, 400);
    win::RichEditWindow *window = editor.InnerWindow();
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPixelSize(12);
    window->document()->setDefaultFont(font);
    window->setWordWrapMode(QTextOption::WrapAnywhere);
    if (wrapAt > 0) {
        const QFontMetricsF metrics(font);
        const qreal margin = 2 * window->document()->documentMargin();
        window->setLineWrapMode(QTextEdit::FixedPixelWidth);
        window->setLineWrapColumnOrWidth(
            static_cast<int>(metrics.horizontalAdvance(QString(wrapAt, u'x')) + margin + 1));
    }
    editor.show();
    QVERIFY(QTest::qWaitForWindowExposed(&editor));
}

// The centre of the character at the position, in viewport coordinates.
inline QPoint pointOf(win::RichEditWindow *window, int position)
{
    QTextCursor cursor(window->document());
    cursor.setPosition(position);
    const QRect before = window->cursorRect(cursor);
    cursor.setPosition(position + 1);
    const QRect after = window->cursorRect(cursor);
    return QPoint((before.left() + after.left()) / 2, before.center().y());
}

} // namespace veskel::test
