// The search bars in the shown window, with link detection on, against a bare
// QTextDocument find-and-insert loop in one edit block on the same text.
#include "app/veskelmain.h"
#include "benchlayout.h"
#include "benchratio.h"
#include "editor/richeditor.h"
#include "platform/testing/textview.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QLineEdit>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

using namespace veskel;
using veskel::bench::layOut;

namespace {

// 2,500 paragraphs, 99,999 positions, 10,000 occurrences of "abc".
QString wordDocument()
{
    QString text;
    const QString line = QStringLiteral("The abc fox abc over abc lazy abc dog..\r\n");
    for (int i = 0; i < 2500; ++i) {
        text += line;
    }
    text.chop(2);
    return text;
}

TForm1 &window()
{
    static TForm1 *form = [] {
        auto *f = new TForm1;
        f->resize(800, 600);
        f->show();
        QCoreApplication::processEvents();
        return f;
    }();
    return *form;
}

void loadDocument(TForm1 &form)
{
    form.memo1->setText(wordDocument());
    layOut(win::TextViewOf(form.memo1->InnerWindow())->document());
}

void BM_QtFindAndInsert(benchmark::State &state)
{
    QTextEdit edit;
    edit.resize(800, 600);
    edit.show();
    for (auto _ : state) {
        state.PauseTiming();
        edit.document()->setPlainText(wordDocument());
        layOut(edit.document());
        state.ResumeTiming();
        QTextDocument *document = edit.document();
        QTextCursor block(document);
        block.beginEditBlock();
        QTextCursor found = document->find(QStringLiteral("abc"), 0);
        while (!found.isNull()) {
            found.insertText(QStringLiteral("xyzzy"));
            found = document->find(QStringLiteral("abc"), found.position());
        }
        block.endEditBlock();
        layOut(document);
    }
}

void BM_ReplaceAll(benchmark::State &state)
{
    TForm1 &form = window();
    for (auto _ : state) {
        state.PauseTiming();
        loadDocument(form);
        state.ResumeTiming();
        form.ReplaceAll(QStringLiteral("abc"), QStringLiteral("xyzzy"));
        form.memo1->InnerWindow()->flush();
        layOut(win::TextViewOf(form.memo1->InnerWindow())->document());
    }
    if (form.memo1->Find(QStringLiteral("abc"), 0, 200000) != -1) {
        state.SkipWithError("occurrences were left");
    }
}

void BM_ReplaceAllMissing(benchmark::State &state)
{
    TForm1 &form = window();
    loadDocument(form);
    for (auto _ : state) {
        form.ReplaceAll(QStringLiteral("qqq"), QStringLiteral("xyzzy"));
    }
}

void BM_FindClick(benchmark::State &state)
{
    TForm1 &form = window();
    loadDocument(form);
    form.Edit3->setText(QStringLiteral("dog"));
    for (auto _ : state) {
        form.btnFindClick();
        form.memo1->InnerWindow()->flush();
    }
}

} // namespace

BENCHMARK(BM_QtFindAndInsert)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReplaceAll)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ReplaceAllMissing)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindClick)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    veskel::bench::RecordingReporter reporter;
    veskel::bench::runBenchmarks(argc, argv, reporter);
    using veskel::bench::printRatio;
    printRatio("replace_all_vs_qt", "ReplaceAll, 10,000 occurrences, links on",
               reporter.microseconds("BM_ReplaceAll"), "edit-block find-and-insert loop",
               reporter.microseconds("BM_QtFindAndInsert"), 1.25);
    printRatio("replace_missing_vs_5ms", "ReplaceAll of a missing token",
               reporter.microseconds("BM_ReplaceAllMissing"), "budget", 5000.0, 1.0);
    printRatio("find_click_vs_10ms", "Find button", reporter.microseconds("BM_FindClick"), "budget",
               10000.0, 1.0);
    return 0;
}
