#include "datatool/ExportCommand.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "batch/AtomicFile.h"
#include "batch/CommandReport.h"
#include "check/HeightAboveTerrain.h"
#include "cli/CommandLine.h"
#include "datatool/DataTool.h"
#include "datatool/ExportAltitude.h"
#include "export/FlightExport.h"
#include "geo/ReplayFiles.h"

namespace
{
// The credits of the world's data in the working directory, as the player shows them.
std::vector<std::string> Attribution()
{
    std::vector<std::string> lines;
    std::ifstream in(AttributionFile);
    std::string line;
    while (lines.size() < 20 && std::getline(in, line))
        if (!line.empty() && line != "\r")
            lines.push_back(line.back() == '\r' ? line.substr(0, line.size() - 1) : line);
    return lines;
}
} // namespace

int RunExportCommand(int argc, char** argv)
{
    std::string flightPath, out;
    const ExportFormat* format = nullptr;
    bool json = false;
    CommandLine line("export", DataCommandName(argv[0], "export"),
                     "Writes a flight for other programs: " + ExportFormatWords() +
                         ". Written whole or not at all. Exit status 0 written, 65 a flight that cannot be exported, 75 an output that cannot be written.",
                     DataToolUsage);
    line.Positional("FLIGHT", &flightPath, "the flight: a keyword log, or a flight file of any format `track` reads");
    std::string formats;
    for (const ExportFormat& each : ExportFormats())
        formats += std::string(formats.empty() ? "" : "; ") + each.word + ", " + each.description;
    line.Checked(
        "--to", "FORMAT", ExportFormatWords(),
        [&format](const std::string& text, std::string*) {
            format = FindExportFormat(text);
            return format != nullptr;
        },
        "the format: " + formats);
    line.Text("--out", "PATH", &out, "where to write it (default: the flight's name with the format's ending, in the working directory)");
    line.Json(&json);
    const CommandLineOutcome parsed = line.Parse(argc, argv, 2);
    if (!parsed.run)
        return EndOfCommandLine("export", parsed, argc, argv);
    if (!format)
        return EndOfCommandLine("export", line.Refuse(NothingGiven("--to FORMAT")), argc, argv);
    CommandReport report("export", json);

    LoadedFlight flight;
    std::string error;
    if (!LoadAnyFlight(flightPath, &flight, &error))
    {
        fprintf(stderr, "export: %s\n", error.c_str());
        return report.Finish(CommandStatus::BadInput, error);
    }
    report.Read(flightPath);
    if (out.empty())
        out = PathWithExtension(FileNameOf(flightPath), format->extension);
    if (out == flightPath)
    {
        error = "'" + out + "' is the flight itself: give --out another name";
        fprintf(stderr, "export: %s\n", error.c_str());
        return report.Finish(CommandStatus::BadInput, error);
    }
    const ExportInput input{&flight, FileNameOf(flightPath), Attribution(), ExportAltitudeDatum(flight), ExportAltitudeNotes(flight, GroundHeightOf(PagedGround()))};
    for (const std::string& note : input.altitudeNotes)
        fprintf(stderr, "export: %s\n", note.c_str());
    report.Section("notes", nlohmann::json(input.altitudeNotes).dump());
    std::string bytes;
    if (!format->write(input, out, &bytes, &error))
    {
        error = "'" + flightPath + "' cannot be written as " + format->word + ": " + error;
        fprintf(stderr, "export: %s\n", error.c_str());
        return report.Finish(CommandStatus::BadInput, error);
    }
    if (!WriteFileAtomically(out, bytes, &error))
    {
        fprintf(stderr, "export: %s\n", error.c_str());
        return report.Finish(CommandStatus::Transient, error);
    }
    report.Written(out);
    report.Count("rows", static_cast<double>(flight.rows.size()));
    fprintf(stderr, "export: '%s' written as %s (%zu rows, %zu bytes)\n", out.c_str(), format->word, flight.rows.size(), bytes.size());
    return report.Finish(CommandStatus::Done);
}
