// Prints the benchmark table as usual, then each measured time beside a baseline's as a ratio.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
public:
    struct Line {
        std::string name;  // benchmark names as reported, e.g. "BM_Direct_In68"
        std::string base;
    };

    RatioReporter(std::string title, std::vector<Line> lines, std::string baseName, std::string footer)
        : m_title(std::move(title)), m_lines(std::move(lines)), m_baseName(std::move(baseName)),
          m_footer(std::move(footer))
    {
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) m_ns[run.benchmark_name()] = run.GetAdjustedRealTime();
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%s\n", m_title.c_str());
        for (const Line& line : m_lines) {
            auto a = m_ns.find(line.name), b = m_ns.find(line.base);
            if (a == m_ns.end() || b == m_ns.end() || b->second <= 0) continue;
            std::printf("  %-28s %10.0f ns  %6.1fx %s (%.0f ns)\n", line.name.c_str(), a->second, a->second / b->second,
                        m_baseName.c_str(), b->second);
        }
        if (!m_footer.empty()) std::printf("%s\n", m_footer.c_str());
    }

private:
    std::string m_title;
    std::vector<Line> m_lines;
    std::string m_baseName;
    std::string m_footer;
    std::map<std::string, double> m_ns;
};

}  // namespace bench
