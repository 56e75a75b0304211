// A console reporter that also keeps each benchmark's time, so that a
// benchmark program can end with its goals:
//   RATIO <name> <measured / baseline> <goal>
#pragma once

#include <benchmark/benchmark.h>
#include <cstdio>
#include <map>
#include <set>
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
            if (run.error_occurred) {
                continue;
            }
            const double time =
                run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e6;
            if (run.run_type == Run::RT_Iteration && m_medians.count(run.run_name.str()) == 0) {
                m_microseconds[run.run_name.str()] = time;
            } else if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                // Repeated runs: the median decides, not a noisy neighbour.
                m_medians.insert(run.run_name.str());
                m_microseconds[run.run_name.str()] = time;
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
    std::set<std::string> m_medians;
};

// Runs the benchmarks the command line selects (defaultFilter when it names
// none), recording their times. Each runs 5 times and its median counts,
// unless the command line says otherwise.
inline void runBenchmarks(int &argc, char **argv, RecordingReporter &reporter,
                          const char *defaultFilter = nullptr)
{
    std::vector<char *> arguments(argv, argv + argc);
    const auto given = [argc, argv](const char *option) {
        for (int i = 1; i < argc; ++i) {
            if (std::string(argv[i]).rfind(option, 0) == 0) {
                return true;
            }
        }
        return false;
    };
    std::string repetitions = "--benchmark_repetitions=5";
    std::string aggregatesOnly = "--benchmark_report_aggregates_only=true";
    std::string filter = std::string("--benchmark_filter=") + (defaultFilter ? defaultFilter : "");
    if (!given("--benchmark_repetitions")) {
        arguments.insert(arguments.begin() + 1, {repetitions.data(), aggregatesOnly.data()});
    }
    if (defaultFilter != nullptr && !given("--benchmark_filter")) {
        arguments.push_back(filter.data());
    }
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
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
