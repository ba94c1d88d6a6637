// What the open-run-close frame of the API costs compared with the bare card
// exchange: tresora_ac_getStatus end to end against sfc::getStatus on a
// channel that stays open, plus the frame's parts on their own.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

#include "CardManagement.h"
#include "DiskUtilities.h"
#include "SfcCardManager.h"
#include "VirtualCard.h"

namespace {

std::unique_ptr<vixtest::VirtualCard> card;

const char* device()
{
    return card->devicePath().c_str();
}

void apiGetStatus(benchmark::State& state)
{
    uint32_t cardState, readOnly, pinTries, adminTries, flags;
    for (auto _ : state) {
        const int result =
            tresora_ac_getStatus(device(), &cardState, &readOnly, &pinTries, &adminTries, &flags);
        if (result != TRESORA_AC_OK) {
            state.SkipWithError(("tresora_ac_getStatus: " + std::to_string(result)).c_str());
            break;
        }
    }
}

void bareGetStatus(benchmark::State& state)
{
    SFC_FSI* channel = nullptr;
    if (sfc::open_raw(device(), &channel) != 0) {
        state.SkipWithError("cannot open the virtual card");
        return;
    }
    sfc::cardStatus status{};
    for (auto _ : state) {
        if (sfc::getStatus(channel, &status) != TRESORA_AC_SW_SUCCESS) {
            state.SkipWithError("sfc::getStatus failed");
            break;
        }
    }
    sfc::close(channel);
}

void configurationCheck(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(checkCorrectSystemConfiguration());
}

void channelOpenClose(benchmark::State& state)
{
    for (auto _ : state) {
        SFC_FSI* channel = nullptr;
        if (sfc::open_raw(device(), &channel) != 0) {
            state.SkipWithError("cannot open the virtual card");
            break;
        }
        sfc::close(channel);
    }
}

// Repeated, medians compared: the card emulator shares the machine with the caller.
BENCHMARK(apiGetStatus)
    ->Name("tresora_ac_getStatus")
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(bareGetStatus)
    ->Name("sfc::getStatus/open channel")
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(configurationCheck)
    ->Name("checkCorrectSystemConfiguration")
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);
BENCHMARK(channelOpenClose)
    ->Name("sfc::open_raw+close")
    ->UseRealTime()
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Console output plus the ratios that the benchmark is about.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    RatioReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Defaults : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (!run.error_occurred && run.run_type == Run::RT_Aggregate &&
                run.aggregate_name == "median")
                nanoseconds_[run.run_name.function_name] = run.GetAdjustedRealTime();
        }
    }

    void printRatios() const
    {
        const double api = time("tresora_ac_getStatus");
        const double bare = time("sfc::getStatus/open channel");
        if (api <= 0 || bare <= 0)
            return;
        std::printf("\nMedians: tresora_ac_getStatus / bare sfc::getStatus: %.2f\n", api / bare);
        std::printf("configuration check share of the API call: %.2f%%\n",
                    100.0 * time("checkCorrectSystemConfiguration") / api);
        std::printf("channel open+close share of the API call: %.2f%%\n",
                    100.0 * time("sfc::open_raw+close") / api);
    }

private:
    double time(const std::string& name) const
    {
        const auto found = nanoseconds_.find(name);
        return found == nanoseconds_.end() ? 0 : found->second;
    }
    std::map<std::string, double> nanoseconds_;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    card = std::make_unique<vixtest::VirtualCard>();
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios();
    card.reset();
    benchmark::Shutdown();
    return 0;
}
