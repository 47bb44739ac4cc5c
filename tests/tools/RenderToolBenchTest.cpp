// --bench reports a positive real-time factor for every program (both
// channel modes) and for the worst case at each of the four rates, each with
// the system time's share of the CPU time, a percentage. Speeds themselves
// are the benchmark's business, never a test's.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "tests/tools/RenderToolRunner.h"

namespace {

TEST(RenderToolBench, ReportsAFactorForEveryProgramAndEveryRate)
{
    const auto run = valvora::test::runTool({"--plugin", VALVORA_MODULE_PATH, "--bench", "--seconds", "0.2"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::regex programRow(R"(^\s+(\d+)\s+.+\s([0-9.]+)x\s+sys\s+(\d+)%\s+([0-9.]+)x\s+sys\s+(\d+)%$)");
    const std::regex rateRow(R"(^\s+([0-9.]+) kHz\s+([0-9.]+)x\s+sys\s+(\d+)%$)");
    const auto expectShare = [](const std::string& percent, const std::string& line) {
        EXPECT_LE(std::stoi(percent), 100) << line;
    };
    std::istringstream lines(run.out);
    std::string line;
    std::vector<int> programs;
    std::vector<std::string> rates;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (std::regex_match(line, m, programRow)) {
            programs.push_back(std::stoi(m[1]));
            EXPECT_GT(std::stod(m[2]), 0.0) << line;
            EXPECT_GT(std::stod(m[4]), 0.0) << line;
            expectShare(m[3], line);
            expectShare(m[5], line);
        } else if (std::regex_match(line, m, rateRow)) {
            rates.push_back(m[1]);
            EXPECT_GT(std::stod(m[2]), 0.0) << line;
            expectShare(m[3], line);
        }
    }
    EXPECT_EQ(programs.size(), 16u) << run.out;
    for (std::size_t p = 0; p < programs.size(); ++p) EXPECT_EQ(programs[p], static_cast<int>(p));
    EXPECT_EQ(rates, (std::vector<std::string>{"44.1", "48.0", "96.0", "192.0"})) << run.out;
}

}  // namespace
