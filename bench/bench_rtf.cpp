// Reading RTF built to be slow (deep or endless groups, huge words, numbers,
// font tables and pictures, many objects) against fixed budgets.
#include "benchratio.h"
#include "platform/rtf/rtfreader.h"

#include <QGuiApplication>
#include <QTextCursor>
#include <QTextDocument>

#include <string>
#include <vector>

namespace {

struct Input
{
    const char *name;
    QByteArray rtf;
    double budgetUs;
};

const std::vector<Input> &inputs()
{
    static const std::vector<Input> all = [] {
        const QByteArray opens(100000, '{');
        const QByteArray closes(100000, '}');
        return std::vector<Input>{
            {"closing_braces", "{\\rtf1 a" + closes + "b", 5e6},
            {"nested_groups", "{\\rtf1 " + opens + "deep" + closes + "after}", 5e6},
            {"unclosed_groups", "{\\rtf1 " + opens + "x", 5e6},
            {"long_number", "{\\rtf1 \\fs" + QByteArray(100000, '9') + " x}", 5e6},
            {"long_word", "{\\rtf1 \\" + QByteArray(100000, 'a') + " x}", 5e6},
            {"many_fonts", "{\\rtf1{\\fonttbl" + QByteArray("\\f1 a;").repeated(100000) + "}x}",
             5e6},
            {"junk_picture",
             "{\\rtf1 a{\\pict\\pngblip " + QByteArray("0123456789abcdef").repeated(3200000) +
                 "}b}",
             5e6},
            {"foreign_objects",
             "{\\rtf1 " +
                 QByteArray("{\\object\\objemb{\\*\\objdata 00}{\\result x}}").repeated(20000) +
                 "}",
             10e6},
        };
    }();
    return all;
}

void BM_ReadRtf(benchmark::State &state)
{
    const Input &input = inputs().at(static_cast<size_t>(state.range(0)));
    state.SetLabel(input.name);
    for (auto _ : state) {
        QTextDocument document;
        QTextCursor cursor(&document);
        benchmark::DoNotOptimize(win::ReadRtf(input.rtf, cursor));
    }
}
BENCHMARK(BM_ReadRtf)->DenseRange(0, 7)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    veskel::bench::RecordingReporter reporter;
    veskel::bench::runBenchmarks(argc, argv, reporter);
    // Absolute budgets: the value is the time over the budget.
    for (size_t i = 0; i < inputs().size(); ++i) {
        const Input &input = inputs()[i];
        const std::string name = std::string("rtf_") + input.name + "_vs_" +
                                 std::to_string(static_cast<int>(input.budgetUs / 1e6)) + "s";
        veskel::bench::printRatio(name.c_str(), input.name,
                                  reporter.microseconds("BM_ReadRtf/" + std::to_string(i)),
                                  "budget", input.budgetUs, 1.0);
    }
    return 0;
}
