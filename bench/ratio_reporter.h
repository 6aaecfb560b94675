// A console reporter that also keeps each benchmark's time per iteration (the pair compared must
// share a unit), so a benchmark's main can print how its subject compares with its baseline.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        // With repetitions, the median stands for the benchmark.
        for (const Run &run : runs) {
            const std::string &name = run.run_name.function_name;
            if (failed(run) || run.iterations <= 0)
                continue;
            if (run.run_type == Run::RT_Iteration && !m_median.count(name))
                m_time[name] = run.GetAdjustedRealTime();
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                m_time[name] = run.GetAdjustedRealTime();
                m_median.insert(name);
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // Prints how many times longer `slower` took than `faster`; false when one did not run.
    bool printRatio(const std::string &slower, const std::string &faster, const char *what) const
    {
        const auto a = m_time.find(slower);
        const auto b = m_time.find(faster);
        if (a == m_time.end() || b == m_time.end() || b->second <= 0)
            return false;
        std::printf("ratio %s / %s: %.2fx (%s)\n", slower.c_str(), faster.c_str(),
            a->second / b->second, what);
        return true;
    }

private:
    // Benchmark 1.8 replaced a run's error_occurred with skipped, which SkipWithError sets too.
    template<typename R> static bool failed(const R &run)
    {
        if constexpr (requires { run.error_occurred; })
            return run.error_occurred;
        else
            return run.skipped != decltype(run.skipped) {};
    }

    std::map<std::string, double> m_time; // per iteration, in the benchmark's unit
    std::set<std::string> m_median;
};
