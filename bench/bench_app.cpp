// Opening a document: from reading the file, with the password already
// typed, to the decrypted text laid out, against bare Qt loading the same
// text.
#include "app/documentworkflow.h"
#include "benchhost.h"
#include "benchlayout.h"
#include "benchratio.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "editor/richeditor.h"
#include "platform/testing/textview.h"
#include "runtime/memory.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QTemporaryDir>
#include <QTextEdit>

using namespace veskel;
using veskel::bench::BenchHost;
using veskel::bench::layOut;

namespace {

QTemporaryDir *g_dir = nullptr;
const QString kPassword = QStringLiteral("correct horse battery staple");

QString noteText()
{
    QString text;
    const QString line =
        QStringLiteral("Monday: a private note with some words in it, and more.\r\n");
    while (text.size() + line.size() < 60000) {
        text += line;
    }
    return text;
}

QString documentPath()
{
    static const QString path = [] {
        const QString p = g_dir->filePath(QStringLiteral("note.vsk"));
        TCryptoAPI cipher(win::CALG_RC4);
        if (!cipher.SetPassword(kPassword)) {
            qFatal("no RC4 key");
        }
        SaveDocumentFile(p, cipher.Encrypt(noteText()));
        return p;
    }();
    return path;
}

void decryptAndShow(benchmark::State &state)
{
    BenchHost host{kPassword};
    host.editor.Properties().setAutoURLDetect(true);
    host.editor.Properties().setScrollBars(ssBoth);
    host.editor.resize(800, 600);
    host.editor.show();
    DocumentWorkflow workflow(host);
    for (auto _ : state) {
        state.PauseTiming();
        // Before: another text of the armour's size, laid out.
        host.editor.Lines().LoadFile(documentPath());
        layOut(win::TextViewOf(host.editor.InnerWindow())->document());
        state.ResumeTiming();
        workflow.OpenDocument(documentPath()); // read, check, decrypt, show
        layOut(win::TextViewOf(host.editor.InnerWindow())->document());
    }
    if (host.editor.Text() != noteText()) {
        state.SkipWithError("the text did not come back");
    }
}

void BM_DecryptAndShow(benchmark::State &state)
{
    decryptAndShow(state);
}

// The same with every freed block wiped, as the program runs.
void BM_DecryptAndShowWiping(benchmark::State &state)
{
    veskel::WipeFreedMemory();
    decryptAndShow(state);
    veskel::WipeFreedMemory(false);
}

void BM_QtLoadText(benchmark::State &state)
{
    QTextEdit edit;
    edit.resize(800, 600);
    edit.show();
    const QString text = noteText();
    for (auto _ : state) {
        state.PauseTiming();
        // Before: the armour, 2,500 lines of 80 symbols (one unbroken run
        // would cost minutes of word-boundary wrapping in bare Qt).
        edit.document()->setPlainText(
            QString::fromLatin1(QByteArray(80, 'A').append("\r\n").repeated(2500)));
        layOut(edit.document());
        state.ResumeTiming();
        edit.document()->setPlainText(text);
        layOut(edit.document());
    }
}

} // namespace

BENCHMARK(BM_DecryptAndShow)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_DecryptAndShowWiping)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_QtLoadText)->Unit(benchmark::kMillisecond)->Iterations(20);

int main(int argc, char **argv)
{
    veskel::KeepFreedPages(); // as the program runs
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    veskel::bench::RecordingReporter reporter;
    veskel::bench::runBenchmarks(argc, argv, reporter);
    veskel::bench::printRatio("open_vs_qt", "OK to decrypted text laid out",
                              reporter.microseconds("BM_DecryptAndShow"), "setPlainText + layout",
                              reporter.microseconds("BM_QtLoadText"), 1.3);
    veskel::bench::printRatio("wipe_freed_vs_not", "the same with freed memory wiped",
                              reporter.microseconds("BM_DecryptAndShowWiping"), "without",
                              reporter.microseconds("BM_DecryptAndShow"), 1.1);
    return 0;
}
