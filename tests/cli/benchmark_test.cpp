// The benchmark job, end to end through the real program.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "support/run_program.h"
#include "support/test_paths.h"

namespace {

struct Row {
    double seconds, ms, rate;
};

// The table's rows, the renderer line and the score.
struct Report {
    std::vector<Row> rows;
    std::string renderer;
    double score = 0.0;
};

Report readReport(const std::string& output) {
    Report report;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        Row row{};
        char unit = 0;
        if (std::sscanf(line.c_str(), " %lf %c %lf %lf", &row.seconds, &unit, &row.ms, &row.rate) == 4 && unit == 's')
            report.rows.push_back(row);
        if (line.rfind("renderer: ", 0) == 0) report.renderer = line.substr(10);
        std::sscanf(line.c_str(), "score: %lf frames per second (geometric mean", &report.score);
    }
    return report;
}

ProgramResult benchmark(const std::string& dir, std::vector<std::string> extra) {
    // An empty data folder: the benchmark loads no image and no track.
    std::vector<std::string> args = {programPath(), "--benchmark", "--backend", "cpu",    "--threads",
                                     "2",           "--data",      ".",         "--runs", "1"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runProgram(args, {}, dir);
}

TEST(Benchmark, TimesEachMomentInShowOrderAndScoresTheirGeometricMean) {
    const std::string dir = scratchDir("benchmark_scalar");
    const ProgramResult r = benchmark(dir, {"--moments", "13,0.5", "--cpu-kernel", "scalar"});
    ASSERT_EQ(r.exitCode, 0) << r.output;
    const Report report = readReport(r.output);
    ASSERT_EQ(report.rows.size(), 2u) << r.output;
    EXPECT_EQ(report.rows[0].seconds, 0.5) << "one replay serves both moments, earliest first";
    EXPECT_EQ(report.rows[1].seconds, 13);
    double logSum = 0.0;
    for (const Row& row : report.rows) {
        EXPECT_GT(row.ms, 1.0) << r.output;
        // Printed to three decimals: half a unit of the last place, plus the time's rounding.
        EXPECT_NEAR(row.rate, 1000.0 / row.ms, 0.0005 + 0.002 * row.rate) << r.output;
        logSum += std::log(1000.0 / row.ms);
    }
    // Four digits of the score, against the rates of the printed times.
    EXPECT_NEAR(report.score, std::exp(logSum / 2), 0.001 * report.score) << r.output;
    EXPECT_EQ(report.renderer, "CPU, 2 threads, scalar kernel") << r.output;
}

}  // namespace
