// Benchmarks of the replay's start-up, each against its floor in the same process:
//   Scan/<columns>x<rows>      the log scanner over a generated log (bytes per second)
//   LineCount/<columns>x<rows> reading the same file and counting line ends with memchr
//   TerrainBuild, SceneBuild   BuildTerrain and BuildScene in a world directory
//   StartupFloor               reading its tiles and decoding its imagery onto plain quads
//   Convert/<format>           the track command's work on an autopilot log: read it,
//                              recognise and read its format, convert it, make the log text
//   MemchrRead/<format>        reading the same file and counting one byte value with memchr
//
//   flightreplay-bench [benchmark flags] --logs=DIR --world=DIR --autopilot=DIR
// DIR of --logs holds log-<columns>x<rows>.log files (flightreplay-benchlog writes them);
// the world directory holds a complete world and its log "flight.log"; DIR of --autopilot
// holds bench.ulg, bench.bin and bench.tlog (autopilot_test_logs bench writes them). Besides the usual
// report on stderr, every run prints one line on stdout:
//   RESULT <name> <wall seconds per iteration> <CPU seconds per iteration> <bytes per iteration or 0>
// The machine is shared, so the table is made from CPU time: wall time counts the other
// jobs' turns too. Every figure here runs on one thread.
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include <benchmark/benchmark.h>

#include "StartupFloor.h"
#include "flight/FlightStatistics.h"
#include "geo/MapFrame.h"
#include "log/LogScanner.h"
#include "log/SampleTable.h"
#include "terrain/ElevationTileStore.h"
#include "terrain/TerrainRings.h"
#include "track/FlightConversion.h"
#include "track/FlightFormats.h"
#include "viewer/SceneAssembly.h"

namespace
{
// Fills the sample table from a log, as the program does before it builds anything.
bool LoadLog(const std::string& path)
{
    FILE* log = fopen(path.c_str(), "r");
    if (!log)
        return false;
    ResetSampleTable();
    ResetScanner();
    currentColumn = 0;
    SetScanInput(log);
    scan();
    fclose(log);
    return true;
}

void Scan(benchmark::State& state, const std::string& path, size_t bytes)
{
    for (auto _ : state)
    {
        // Emptying a table the previous iteration filled is not part of a program's scan.
        state.PauseTiming();
        ResetSampleTable();
        ResetScanner();
        state.ResumeTiming();
        FILE* log = fopen(path.c_str(), "r");
        currentColumn = 0;
        SetScanInput(log);
        scan();
        fclose(log);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["rows"] = SampleTable.rowCount;
}

// The least any reader of the log must do: get its bytes and find its line ends.
void LineCount(benchmark::State& state, const std::string& path, size_t bytes)
{
    static char buffer[1 << 16];
    size_t lines = 0;
    for (auto _ : state)
    {
        lines = 0;
        FILE* log = fopen(path.c_str(), "r");
        size_t read;
        while ((read = fread(buffer, 1, sizeof buffer, log)) > 0)
        {
            const char* p = buffer;
            const char* end = buffer + read;
            while ((p = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)))) != nullptr)
            {
                ++lines;
                ++p;
            }
        }
        fclose(log);
        benchmark::DoNotOptimize(lines);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["lines"] = static_cast<double>(lines);
}

// What `track` does with a file, but for printing the text: the reading, the recognition,
// the format's reader, the conversion and the log text.
void Convert(benchmark::State& state, const std::string& path, size_t bytes)
{
    size_t rows = 0;
    for (auto _ : state)
    {
        RecordedFlight flight;
        const FlightFormat* format = nullptr;
        std::string message;
        if (!ReadFlightFile(path, &flight, &format, &message))
        {
            state.SkipWithError("cannot read the autopilot log");
            return;
        }
        const ConvertedFlight converted = ConvertFlight(flight, format->defaults);
        const std::string text = FormatConvertedLog(converted);
        rows = converted.rows.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["rows"] = static_cast<double>(rows);
}

// The flight the world was made for, loaded once and only by the figures that need it, so
// that the floor's process holds no sample table.
std::string WorldLog;

void LoadWorldLog(benchmark::State& state)
{
    static bool loaded = false;
    if (loaded)
        return;
    if (!LoadLog(WorldLog) || SampleTable.rowCount < 1)
    {
        state.SkipWithError("no usable flight.log in the world directory");
        return;
    }
    const FlightExtent extent = ComputeFlightStatistics();
    SetUpMapFrame((extent.latitudeMinimum + extent.latitudeMaximum) * 0.5 / 60, (extent.longitudeMinimum + extent.longitudeMaximum) * 0.5 / 60);
    fflush(stdout);
    loaded = true;
}

void TerrainBuild(benchmark::State& state)
{
    LoadWorldLog(state);
    for (auto _ : state)
    {
        // A process reads its tiles once; every iteration here starts from an empty store.
        ResetElevationStore();
        osg::ref_ptr<osg::Group> terrain = BuildTerrain();
        benchmark::DoNotOptimize(terrain.get());
    }
}

void SceneBuild(benchmark::State& state)
{
    LoadWorldLog(state);
    for (auto _ : state)
    {
        ResetElevationStore();
        osg::ref_ptr<osg::Group> scene = BuildScene();
        benchmark::DoNotOptimize(scene.get());
    }
}

void Floor(benchmark::State& state)
{
    size_t images = 0;
    for (auto _ : state)
    {
        StartupFloorScene scene = BuildStartupFloorScene();
        images = scene.imageCount;
        benchmark::DoNotOptimize(scene.root.get());
    }
    state.counters["images"] = static_cast<double>(images);
}

// The console report goes to stderr; stdout carries one plain line per run for scripts.
class ResultReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
        {
            if (run.error_occurred || run.iterations == 0 || run.run_type != Run::RT_Iteration)
                continue;
            const double iterations = static_cast<double>(run.iterations);
            const auto bytes = run.counters.find("bytes");
            printf("RESULT %s %.9f %.9f %.0f\n", run.benchmark_name().c_str(), run.real_accumulated_time / iterations, run.cpu_accumulated_time / iterations, bytes == run.counters.end() ? 0.0 : static_cast<double>(bytes->second));
            fflush(stdout);
        }
    }
};

std::string Option(int argc, char** argv, const char* name)
{
    const size_t length = strlen(name);
    for (int i = 1; i < argc; ++i)
    {
        if (strncmp(argv[i], name, length) == 0 && argv[i][length] == '=')
            return argv[i] + length + 1;
    }
    return std::string();
}
} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    const std::string logs = Option(argc, argv, "--logs");
    const std::string world = Option(argc, argv, "--world");
    const std::string autopilot = Option(argc, argv, "--autopilot");
    if (logs.empty() && world.empty() && autopilot.empty())
    {
        fprintf(stderr, "U: %s [benchmark flags] --logs=DIR --world=DIR --autopilot=DIR\n", argv[0]);
        return 1;
    }

    if (!autopilot.empty())
    {
        // Reading a binary file for any byte value costs what reading it for line ends does.
        for (const char* format : {"ulg", "bin", "tlog"})
        {
            const std::filesystem::path file = std::filesystem::absolute(autopilot + "/bench." + format);
            if (!std::filesystem::exists(file))
                continue;
            const size_t bytes = std::filesystem::file_size(file);
            benchmark::RegisterBenchmark((std::string("Convert/") + format).c_str(), Convert, file.string(), bytes)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark((std::string("MemchrRead/") + format).c_str(), LineCount, file.string(), bytes)->Unit(benchmark::kMillisecond);
        }
    }

    if (!logs.empty())
    {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(logs))
        {
            const std::string name = entry.path().filename().string();
            if (name.compare(0, 4, "log-") == 0 && entry.path().extension() == ".log")
                files.push_back(std::filesystem::absolute(entry.path()));
        }
        std::sort(files.begin(), files.end());
        for (const std::filesystem::path& file : files)
        {
            const std::string shape = file.stem().string().substr(4); // <columns>x<rows>
            const size_t bytes = std::filesystem::file_size(file);
            benchmark::RegisterBenchmark(("Scan/" + shape).c_str(), Scan, file.string(), bytes)->Unit(benchmark::kMillisecond);
            benchmark::RegisterBenchmark(("LineCount/" + shape).c_str(), LineCount, file.string(), bytes)->Unit(benchmark::kMillisecond);
        }
    }

    if (!world.empty())
    {
        if (chdir(world.c_str()) != 0)
        {
            fprintf(stderr, "no world directory '%s'\n", world.c_str());
            return 1;
        }
        WorldLog = "flight.log";
        benchmark::RegisterBenchmark("TerrainBuild", TerrainBuild)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("SceneBuild", SceneBuild)->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark("StartupFloor", Floor)->Unit(benchmark::kMillisecond);
    }

    ResultReporter reporter;
    reporter.SetOutputStream(&std::cerr);
    reporter.SetErrorStream(&std::cerr);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
