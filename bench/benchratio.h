// A console reporter that also keeps each benchmark's time, so that a
// benchmark program can end with its goals:
//   RATIO <name> <measured / baseline> <goal>
#pragma once

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace veskel::bench {

class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    // Colours only on a terminal, so that logs stay plain text.
    RecordingReporter()
        : ConsoleReporter(isatty(fileno(stdout)) != 0 ? OO_Defaults : OO_Tabular)
    {}

    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
                m_microseconds[run.benchmark_name()] =
                    run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) *
                    1e6;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Real time per iteration in microseconds; a negative value when the
    // benchmark did not run.
    double microseconds(const std::string &name) const
    {
        // A name with a fixed iteration count carries "/iterations:N".
        for (const auto &[runName, time] : m_microseconds) {
            if (runName == name || runName.rfind(name + "/", 0) == 0) {
                return time;
            }
        }
        return -1.0;
    }

private:
    std::map<std::string, double> m_microseconds;
};

// Runs the benchmarks the command line selects, recording their times.
inline void runBenchmarks(int &argc, char **argv, RecordingReporter &reporter)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}

// Prints the figures and the ratio line; returns whether the goal is met.
inline bool printRatio(const char *name, const char *what, double measured, const char *baseline,
                       double baselineTime, double goal)
{
    if (measured < 0 || baselineTime <= 0) {
        std::printf("RATIO %s not-measured %.2f\n", name, goal);
        return false;
    }
    const double ratio = measured / baselineTime;
    std::printf("%s: %.1f us; baseline %s: %.1f us\n", what, measured, baseline, baselineTime);
    std::printf("RATIO %s %.3f %.2f\n", name, ratio, goal);
    return ratio <= goal;
}

} // namespace veskel::bench
