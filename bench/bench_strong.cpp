// Strong documents: the key derivation is meant to be the only slow step.
// Opening and saving, in the cipher alone (the largest content) and in the
// window's workflow (a long note, from the file to the text laid out), are
// compared with one derivation at the default costs.
#include "app/documentworkflow.h"
#include "benchhost.h"
#include "benchlayout.h"
#include "benchratio.h"
#include "cipher/strongdocument.h"
#include "editor/richeditor.h"
#include "platform/testing/textview.h"
#include "runtime/memory.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <vector>

using namespace veskel;
using veskel::bench::BenchHost;
using veskel::bench::layOut;

namespace {

QTemporaryDir *g_dir = nullptr;
const QString kPassword = QStringLiteral("correct horse battery staple");

// The largest content a strong document holds: RTF-like ASCII text.
QByteArray largestContent()
{
    QByteArray content = "{\\rtf1\\ansi ";
    const QByteArray line =
        "Monday: a private note with \\b some\\b0  words in it, and more.\\par\n";
    while (content.size() + line.size() + 1 <= StrongContentLimit) {
        content += line;
    }
    return content + '}';
}

const QByteArray &largestFile()
{
    static const QByteArray file =
        SealStrongDocument(largestContent(), SecretBytes::FromPassword(kPassword));
    return file;
}

void BM_DeriveKey(benchmark::State &state)
{
    const SecretBytes password = SecretBytes::FromPassword(kPassword);
    const StrongHeader header = FreshStrongHeader();
    for (auto _ : state) {
        const SecretBytes key = DeriveStrongKey(password, header);
        benchmark::DoNotOptimize(key.data());
    }
}

void BM_OpenLargest(benchmark::State &state)
{
    const QByteArray &bytes = largestFile();
    for (auto _ : state) {
        QString problem;
        const auto file = ParseStrongFile(bytes, problem);
        QByteArray content;
        const SecretBytes key = DeriveStrongKey(SecretBytes::FromPassword(kPassword), file->header);
        if (!OpenStrongDocument(*file, key, content)) {
            state.SkipWithError("not opened");
        }
    }
}

// The printable form alone: lines, base64 and the canonical check.
void BM_ParseLargest(benchmark::State &state)
{
    const QByteArray &bytes = largestFile();
    for (auto _ : state) {
        QString problem;
        benchmark::DoNotOptimize(ParseStrongFile(bytes, problem).has_value());
    }
}

void BM_SealLargest(benchmark::State &state)
{
    const QByteArray content = largestContent();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            SealStrongDocument(content, SecretBytes::FromPassword(kPassword)).size());
    }
}

// A long note of 99,999 characters, as the window shows it.
QString noteText()
{
    QString text;
    const QString line =
        QStringLiteral("Monday: a private note with some words in it, and more.\r\n");
    while (text.size() + line.size() <= 99999) {
        text += line;
    }
    return text;
}

struct Window
{
    BenchHost host{kPassword};
    DocumentWorkflow workflow{host};
    Window()
    {
        host.editor.Properties().setAutoURLDetect(true);
        host.editor.resize(800, 600);
        host.editor.show();
        host.overwriteChanged = true; // the same copy is saved over again and again
    }
    void lay() { layOut(win::TextViewOf(host.editor.InnerWindow())->document()); }
};

QString notePath()
{
    static const QString path = [] {
        const QString p = g_dir->filePath(QStringLiteral("note.vsk"));
        Window window;
        window.host.editor.setText(noteText());
        if (window.workflow.SaveDocument(p, DocumentFormat::Strong) != SaveOutcome::Saved) {
            qFatal("the note was not saved");
        }
        return p;
    }();
    return path;
}

void BM_WindowOpensNote(benchmark::State &state)
{
    Window window;
    for (auto _ : state) {
        window.workflow.OpenDocument(notePath()); // read, derive, decrypt, show
        window.lay();
    }
    if (window.host.editor.Text() != noteText()) {
        state.SkipWithError("the text did not come back");
    }
}

void BM_WindowSavesNote(benchmark::State &state)
{
    Window window;
    window.workflow.OpenDocument(notePath());
    const QString copy = g_dir->filePath(QStringLiteral("copy.vsk"));
    for (auto _ : state) {
        if (window.workflow.SaveDocument(copy, DocumentFormat::Strong) != SaveOutcome::Saved) {
            state.SkipWithError("not saved");
        }
    }
}

} // namespace

BENCHMARK(BM_DeriveKey)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_OpenLargest)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ParseLargest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SealLargest)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WindowOpensNote)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_WindowSavesNote)->Unit(benchmark::kMillisecond)->Iterations(3);

int main(int argc, char **argv)
{
    veskel::KeepFreedPages(); // as the program runs
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    // The derivation's time drifts with the machine over a run: repetitions
    // of all benchmarks are interleaved, so that each ratio compares times
    // taken side by side.
    std::vector<char *> arguments(argv, argv + argc);
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + 1, interleave.data());
    int count = int(arguments.size());
    veskel::bench::RecordingReporter reporter;
    veskel::bench::runBenchmarks(count, arguments.data(), reporter);
    const double derive = reporter.microseconds("BM_DeriveKey");
    using veskel::bench::printRatio;
    printRatio("strong_open_vs_derive", "parse, derive, decrypt 2 MiB",
               reporter.microseconds("BM_OpenLargest"), "one key derivation", derive, 1.1);
    printRatio("strong_seal_vs_derive", "derive, encrypt 2 MiB, format",
               reporter.microseconds("BM_SealLargest"), "one key derivation", derive, 1.1);
    printRatio("window_open_vs_derive", "open a 99,999-character note to the text laid out",
               reporter.microseconds("BM_WindowOpensNote"), "one key derivation", derive, 1.1);
    printRatio("window_save_vs_derive", "save a 99,999-character note",
               reporter.microseconds("BM_WindowSavesNote"), "one key derivation", derive, 1.1);
    return 0;
}
