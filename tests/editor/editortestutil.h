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

} // namespace veskel::test
