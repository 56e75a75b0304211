// Opening files of several kinds and sizes in the editing area, set up as the
// main window sets it up, against bare Qt showing the same text.
//   bench-load                          the kinds at the largest size opened
//   bench-load --benchmark_filter=Table the kinds at several sizes (slow)
#include "benchlayout.h"
#include "benchratio.h"
#include "editor/richeditor.h"
#include "platform/testing/textview.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextEdit>

#include <map>
#include <memory>

using namespace veskel;
using veskel::bench::layOut;

namespace {

QTemporaryDir *g_dir = nullptr;

enum Kind
{
    Prose,   // plain ASCII lines of words
    Armour,  // 80 printable symbols and CR LF a line, as a document file holds
    Binary,  // random bytes
    LongRun, // one line of letters without a blank
    RtfRuns, // RTF: one paragraph of many short formatting runs
    RtfPars  // RTF: nothing but paragraph marks
};
const char *const kKindNames[] = {"prose", "armour", "binary", "long-run", "rtf-runs", "rtf-pars"};

QByteArray contentOf(Kind kind, qint64 size)
{
    QByteArray bytes;
    bytes.reserve(size);
    if (kind == Binary) {
        QRandomGenerator random(7);
        bytes.resize(size);
        random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), size / 4);
        return bytes;
    }
    if (kind == LongRun) {
        return QByteArray(size, 'x');
    }
    if (kind == RtfRuns || kind == RtfPars) {
        const QByteArray unit = kind == RtfRuns ? "\\b x\\b0 y\\i z\\i0 " : "\\par\n";
        bytes = "{\\rtf1\\ansi ";
        while (bytes.size() + unit.size() + 1 <= size) {
            bytes += unit;
        }
        return bytes + '}';
    }
    const QByteArray prose("A plain text line with some words in it, written again and again.\n");
    const char *alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+-";
    for (int line = 0; bytes.size() < size; ++line) {
        if (kind == Prose) {
            bytes += prose;
            continue;
        }
        for (int i = 0; i < 80; ++i) {
            bytes += alphabet[(line * 13 + i * 7) % 64];
        }
        bytes += "\r\n";
    }
    bytes.truncate(size);
    return bytes;
}

QString pathOf(Kind kind, qint64 size)
{
    static std::map<std::pair<int, qint64>, QString> paths;
    QString &path = paths[{kind, size}];
    if (path.isEmpty()) {
        path =
            g_dir->filePath(QStringLiteral("%1-%2").arg(QLatin1String(kKindNames[kind])).arg(size));
        QFile file(path);
        const QByteArray content = contentOf(kind, size);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            path.clear();
        }
    }
    return path;
}

// The text the editor shows for the bytes: random bytes hold NUL bytes, so the
// editor reads them as UTF-16; the other kinds are ASCII.
QString textOf(Kind kind, qint64 size)
{
    const QByteArray bytes = contentOf(kind, size);
    if (kind == Binary) {
        return QString::fromUtf16(reinterpret_cast<const char16_t *>(bytes.constData()),
                                  bytes.size() / 2);
    }
    return QString::fromLatin1(bytes);
}

// LoadFile (or, past the limit, the stream-in that LoadFile ends with) until
// the window answers again (counter return_ms), and until the whole document
// is laid out (the benchmark's time).
void loadBenchmark(benchmark::State &state, bool fromFile)
{
    const auto kind = static_cast<Kind>(state.range(0));
    const qint64 size = state.range(1);
    const QString path = fromFile ? pathOf(kind, size) : QString();
    QByteArray bytes = fromFile ? QByteArray() : contentOf(kind, size);
    TRichEditor editor;
    editor.Properties().setAllowObjects(true);
    editor.Properties().setAutoURLDetect(true);
    editor.Properties().setScrollBars(ssBoth);
    editor.Properties().setSelectionBar(true);
    editor.Properties().setWantTabs(true);
    editor.resize(800, 600);
    editor.show();
    QCoreApplication::processEvents();
    double returnMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        editor.setText(QStringLiteral("x"));
        QCoreApplication::processEvents();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        if (fromFile) {
            editor.Lines().LoadFile(path);
        } else {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
            editor.Lines().StreamIn(buffer, std::nullopt);
        }
        returnMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
        layOut(win::TextViewOf(editor.InnerWindow())->document());
    }
    state.counters["return_ms"] = benchmark::Counter(returnMs, benchmark::Counter::kAvgIterations);
    state.SetLabel(kKindNames[kind]);
}

// Bare Qt: the same text set into a shown QTextEdit and laid out.
void BM_QtSetPlainText(benchmark::State &state)
{
    const auto kind = static_cast<Kind>(state.range(0));
    const QString text = textOf(kind, state.range(1));
    QTextEdit edit;
    edit.resize(800, 600);
    edit.show();
    QCoreApplication::processEvents();
    for (auto _ : state) {
        state.PauseTiming();
        edit.document()->setPlainText(QStringLiteral("x"));
        QCoreApplication::processEvents();
        state.ResumeTiming();
        edit.document()->setPlainText(text);
        layOut(edit.document());
    }
    state.SetLabel(kKindNames[kind]);
}

void BM_LoadFile(benchmark::State &state)
{
    loadBenchmark(state, true);
}
void BM_StreamInTable(benchmark::State &state)
{
    loadBenchmark(state, false);
}

constexpr qint64 kMiB = 1024 * 1024;

} // namespace

// The largest file the editor opens, each kind.
BENCHMARK(BM_LoadFile)
    ->ArgsProduct({{Prose, Armour, Binary, LongRun}, {TRichEditStrings::MaxFileBytes}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_QtSetPlainText)
    ->Args({Binary, TRichEditStrings::MaxFileBytes})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
// Ten megabytes of prose, five times the limit: the stream-in LoadFile ends
// with, against bare Qt, so the editor's own cost shows on a large text.
BENCHMARK(BM_StreamInTable)->Args({Prose, 10 * kMiB})->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_QtSetPlainText)
    ->Args({Prose, 10 * kMiB})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
// Shapes of RTF that a reader which is not linear takes minutes over.
BENCHMARK(BM_LoadFile)
    ->ArgsProduct({{RtfRuns}, {200 * 1024, 400 * 1024, 2 * kMiB}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
BENCHMARK(BM_LoadFile)
    ->ArgsProduct({{RtfPars}, {400 * 1024, 2 * kMiB}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);
// The measurements the limit was chosen from.
BENCHMARK(BM_StreamInTable)
    ->ArgsProduct({{Prose, Armour, Binary}, {1 * kMiB, 2 * kMiB, 4 * kMiB, 8 * kMiB, 16 * kMiB}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_dir = &dir;
    veskel::bench::RecordingReporter reporter;
    // The table only when asked for.
    veskel::bench::runBenchmarks(argc, argv, reporter,
                                 "^BM_(LoadFile|QtSetPlainText)/|^BM_StreamInTable/0/10485760");
    using veskel::bench::printRatio;
    const std::string size = "/" + std::to_string(TRichEditStrings::MaxFileBytes);
    const auto us = [&reporter, &size](const char *name, Kind kind) {
        return reporter.microseconds(name + std::string("/") + std::to_string(kind) + size);
    };
    printRatio("load_binary_vs_qt", "LoadFile + layout of random bytes at the limit",
               us("BM_LoadFile", Binary), "setPlainText + layout of the same text",
               us("BM_QtSetPlainText", Binary), 1.2);
    const std::string tenMiB = "/0/" + std::to_string(10 * kMiB);
    printRatio("load_10mb_vs_qt", "stream-in + layout of 10 MB of prose",
               reporter.microseconds("BM_StreamInTable" + tenMiB), "setPlainText + layout",
               reporter.microseconds("BM_QtSetPlainText" + tenMiB), 1.3);
    // Absolute budget: the slowest kind at the limit against 5 s.
    double slowest = -1;
    for (Kind kind : {Prose, Armour, Binary, LongRun}) {
        slowest = std::max(slowest, us("BM_LoadFile", kind));
    }
    printRatio("load_limit_vs_5s", "the slowest kind at the limit", slowest, "budget", 5e6, 0.6);
    const auto rtf = [&reporter](Kind kind, qint64 bytes) {
        return reporter.microseconds("BM_LoadFile/" + std::to_string(kind) + "/" +
                                     std::to_string(bytes));
    };
    printRatio("rtf_runs_400k_vs_5s", "LoadFile + layout of 400 KB of formatting runs",
               rtf(RtfRuns, 400 * 1024), "budget", 5e6, 1.0);
    printRatio("rtf_runs_2m_vs_5s", "the same, 2 MB", rtf(RtfRuns, 2 * kMiB), "budget", 5e6, 1.0);
    printRatio("rtf_pars_400k_vs_5s", "LoadFile + layout of 400 KB of paragraph marks",
               rtf(RtfPars, 400 * 1024), "budget", 5e6, 1.0);
    printRatio("rtf_pars_2m_vs_5s", "the same, 2 MB", rtf(RtfPars, 2 * kMiB), "budget", 5e6, 1.0);
    printRatio("rtf_runs_2m_vs_200k", "2 MB of formatting runs (linear: 10)",
               rtf(RtfRuns, 2 * kMiB), "200 KB of them", rtf(RtfRuns, 200 * 1024), 12.0);
    return 0;
}
