// The editor control against bare Qt doing the same work in the same run.
#include "benchlayout.h"
#include "benchratio.h"
#include "editor/richeditor.h"
#include "platform/testing/textview.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <cstdio>
#include <memory>

using namespace veskel;
using veskel::bench::layOut;

namespace {

QTemporaryDir *g_dir = nullptr;

QByteArray armourBytes()
{
    static const QByteArray bytes = [] {
        const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-";
        QByteArray b;
        b.reserve(205000);
        for (int line = 0; line < 2500; ++line) {
            for (int i = 0; i < 80; ++i) {
                b += alphabet[(line * 13 + i * 7) % 64];
            }
            b += "\r\n";
        }
        return b;
    }();
    return bytes;
}

QString armourPath()
{
    static const QString path = [] {
        const QString p = g_dir->filePath(QStringLiteral("bench.vsk"));
        QFile file(p);
        file.open(QIODevice::WriteOnly);
        file.write(armourBytes());
        return p;
    }();
    return path;
}

// 2,500 paragraphs, 99,999 characters, 10,000 occurrences of "abc".
QString wordDocument()
{
    static const QString text = [] {
        QString t;
        const QString line =
            QStringLiteral("The abc fox abc over abc lazy abc dog..\r\n"); // 40 + CR LF
        for (int i = 0; i < 2500; ++i) {
            t += line;
        }
        t.chop(2);
        t.truncate(99999 + 2499); // 99,999 positions: each CR LF is one
        return t;
    }();
    return text;
}

QString decryptedBlock()
{
    QString block = QStringLiteral("Dear diary,\r\n").repeated(4000);
    block.truncate(52000);
    block += QString(100000 - block.size(), QChar(u'\0'));
    return block;
}

std::unique_ptr<TRichEditor> shownEditor(bool links)
{
    auto editor = std::make_unique<TRichEditor>();
    editor->Properties().setAutoURLDetect(links);
    editor->Properties().setScrollBars(ssBoth);
    editor->Properties().setSelectionBar(true);
    editor->Properties().setWantTabs(true);
    editor->resize(800, 600);
    editor->show();
    QCoreApplication::processEvents();
    return editor;
}

std::unique_ptr<QTextEdit> shownTextEdit()
{
    auto edit = std::make_unique<QTextEdit>();
    edit->resize(800, 600);
    edit->show();
    QCoreApplication::processEvents();
    return edit;
}

// A 99,999-character note of 2,500 lines with a link on every tenth line.
QString typingDocument()
{
    QString text;
    for (int line = 0; line < 2500; ++line) {
        QString row = line % 10 == 0
                          ? QStringLiteral("see https://example.com/page/%1 ").arg(line)
                          : QStringLiteral("a line of a private note, number %1 ").arg(line);
        row = row.leftJustified(38, u'.', true);
        text += row;
        if (line < 2499) {
            text += QLatin1String("\r\n");
        }
    }
    return text.left(99999);
}

// Types 200 characters one key at a time in the middle of the document,
// letting the window handle its events after each key as it would while a
// user types.
void typeInto(benchmark::State &state, QWidget *target, QTextEdit *window)
{
    const QString keys =
        QStringLiteral("the quick brown fox jumps over the lazy dog ").repeated(5).left(200);
    for (auto _ : state) {
        state.PauseTiming();
        QTextCursor cursor(window->document());
        cursor.setPosition(window->document()->characterCount() / 2);
        window->setTextCursor(cursor);
        layOut(window->document());
        QCoreApplication::processEvents();
        const int before = window->document()->characterCount();
        state.ResumeTiming();
        for (const QChar c : keys) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(target, &press);
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(target, &release);
            QCoreApplication::processEvents();
        }
        state.PauseTiming();
        if (window->document()->characterCount() != before + keys.size()) {
            state.SkipWithError("the keys were not typed");
            return;
        }
        window->undo(); // back to the document as it was, outside the timing
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

void BM_Typing(benchmark::State &state)
{
    auto editor = shownEditor(true);
    editor->setText(typingDocument());
    QTextEdit *view = win::TextViewOf(editor->InnerWindow());
    typeInto(state, view, view);
}

void BM_QtTyping(benchmark::State &state)
{
    auto edit = shownTextEdit();
    edit->setPlainText(typingDocument());
    typeInto(state, edit.get(), edit.get());
}

void BM_QtSetPlainTextArmour(benchmark::State &state)
{
    auto edit = shownTextEdit();
    const QString text = QString::fromLatin1(armourBytes());
    for (auto _ : state) {
        edit->document()->setPlainText(text);
        layOut(edit->document());
        benchmark::DoNotOptimize(edit->document()->characterCount());
    }
}

void BM_LoadFileAndText(benchmark::State &state)
{
    auto editor = shownEditor(true);
    for (auto _ : state) {
        editor->Lines().LoadFile(armourPath());
        layOut(win::TextViewOf(editor->InnerWindow())->document());
        QString text = editor->Text();
        benchmark::DoNotOptimize(text.data());
    }
}

void BM_QtSetPlainTextBlock(benchmark::State &state)
{
    auto edit = shownTextEdit();
    const QString block = decryptedBlock();
    const QString text = block.left(block.indexOf(QChar(u'\0')));
    for (auto _ : state) {
        edit->document()->setPlainText(text);
        layOut(edit->document());
    }
}

void BM_TextWriteBlock(benchmark::State &state)
{
    auto editor = shownEditor(true);
    const QString block = decryptedBlock();
    for (auto _ : state) {
        state.PauseTiming();
        editor->setText(QStringLiteral("x"));
        state.ResumeTiming();
        editor->setText(block);
        layOut(win::TextViewOf(editor->InnerWindow())->document());
    }
}

// Queries on a laid-out 2,500-paragraph document.
template<typename Query>
void queryBenchmark(benchmark::State &state, Query query)
{
    auto editor = shownEditor(true);
    editor->setText(wordDocument());
    editor->LineStart(0);
    for (auto _ : state) {
        benchmark::DoNotOptimize(query(*editor));
    }
}

void BM_LinesText(benchmark::State &state)
{
    queryBenchmark(state, [](TRichEditor &e) { return e.LinesText().size(); });
}
void BM_LineCount(benchmark::State &state)
{
    queryBenchmark(state, [](TRichEditor &e) { return e.Lines().LineCount(); });
}
void BM_FindMissing(benchmark::State &state)
{
    queryBenchmark(state, [](TRichEditor &e) { return e.Find(QStringLiteral("zzz"), 0, 200000); });
}
void BM_LineStart(benchmark::State &state)
{
    queryBenchmark(state, [](TRichEditor &e) { return e.LineStart(2400); });
}
void BM_LineFromPosition(benchmark::State &state)
{
    queryBenchmark(state, [](TRichEditor &e) { return e.LineFromPosition(99000); });
}

void BM_QtReplaceLoop(benchmark::State &state)
{
    auto edit = shownTextEdit();
    for (auto _ : state) {
        state.PauseTiming();
        edit->document()->setPlainText(wordDocument());
        layOut(edit->document());
        state.ResumeTiming();
        QTextDocument *document = edit->document();
        QTextCursor block(document);
        block.beginEditBlock();
        QTextCursor found = document->find(QStringLiteral("abc"), 0);
        int rounds = 0;
        while (!found.isNull()) {
            found.insertText(QStringLiteral("xyzzy"));
            ++rounds;
            found = document->find(QStringLiteral("abc"), found.position());
        }
        block.endEditBlock();
        layOut(document);
        if (rounds != 10000) {
            state.SkipWithError("wrong number of replacements");
        }
    }
}

void replaceLoop(benchmark::State &state, bool links)
{
    auto editor = shownEditor(links);
    for (auto _ : state) {
        state.PauseTiming();
        editor->setText(wordDocument());
        layOut(win::TextViewOf(editor->InnerWindow())->document());
        state.ResumeTiming();
        int rounds = 0;
        int position = editor->Find(QStringLiteral("abc"), 0, 200000);
        while (position >= 0) {
            editor->setSelectionStart(position);
            editor->setSelectionLength(3);
            editor->ReplaceSelection(QStringLiteral("xyzzy"));
            ++rounds;
            position = editor->Find(QStringLiteral("abc"), position + 5, 200000);
        }
        editor->InnerWindow()->flush();
        layOut(win::TextViewOf(editor->InnerWindow())->document());
        if (rounds != 10000) {
            state.SkipWithError("wrong number of replacements");
        }
    }
}

void BM_ReplaceLoop(benchmark::State &state)
{
    replaceLoop(state, false);
}
void BM_ReplaceLoopWithLinks(benchmark::State &state)
{
    replaceLoop(state, true);
}

long residentKilobytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLong();
        }
    }
    return -1;
}

void BM_LoadLargestPlainText(benchmark::State &state)
{
    const QString path = g_dir->filePath(QStringLiteral("big.txt"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        const QByteArray line(
            "A long plain text line with words in it, repeated many times over.\n");
        // As large as a file opened may be.
        for (qsizetype written = 0; written + line.size() <= TRichEditStrings::MaxFileBytes;
             written += line.size()) {
            file.write(line);
        }
    }
    const long before = residentKilobytes();
    auto editor = shownEditor(true);
    for (auto _ : state) {
        editor->Lines().LoadFile(path);
        layOut(win::TextViewOf(editor->InnerWindow())->document());
    }
    // Still editable: a key at the end.
    editor->setSelectionStart(-1);
    editor->ReplaceSelection(QStringLiteral("!"));
    state.counters["rss_MB"] = double(residentKilobytes() - before) / 1024.0;
}

} // namespace

BENCHMARK(BM_QtSetPlainTextArmour)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_LoadFileAndText)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_QtSetPlainTextBlock)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_TextWriteBlock)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_LinesText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineCount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindMissing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineStart)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineFromPosition)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtReplaceLoop)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReplaceLoop)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReplaceLoopWithLinks)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_Typing)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_QtTyping)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LoadLargestPlainText)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    veskel::bench::RecordingReporter reporter;
    veskel::bench::runBenchmarks(argc, argv, reporter);
    using veskel::bench::printRatio;
    const auto us = [&reporter](const char *name) { return reporter.microseconds(name); };
    printRatio("load_vs_qt", "LoadFile + layout + Text", us("BM_LoadFileAndText"),
               "setPlainText + layout", us("BM_QtSetPlainTextArmour"), 1.25);
    printRatio("text_write_vs_qt", "Text write of a decrypted block + layout",
               us("BM_TextWriteBlock"), "setPlainText + layout", us("BM_QtSetPlainTextBlock"),
               1.25);
    printRatio("replace_loop_vs_qt", "10,000 find/select/replace rounds", us("BM_ReplaceLoop"),
               "edit-block find-and-insert loop", us("BM_QtReplaceLoop"), 1.25);
    printRatio("typing_vs_qt", "typing 200 keys", us("BM_Typing"), "the same into a bare QTextEdit",
               us("BM_QtTyping"), 1.2);
    std::printf("per key: %.2f ms (a frame is 16 ms); bare QTextEdit %.2f ms\n",
                us("BM_Typing") / 200 / 1000, us("BM_QtTyping") / 200 / 1000);
    printRatio("replace_loop_links_vs_plain", "the same with link detection",
               us("BM_ReplaceLoopWithLinks"), "without", us("BM_ReplaceLoop"), 1.2);
    // Absolute budgets: the value is the time over a 5 ms budget.
    for (const char *name : {"BM_LinesText", "BM_LineCount", "BM_FindMissing", "BM_LineStart",
                             "BM_LineFromPosition"}) {
        printRatio((std::string(name + 3) + "_vs_5ms").c_str(), name + 3, us(name), "budget",
                   5000.0, 1.0);
    }
    return 0;
}
