#include "datatool/ExportCommand.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
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
#include "export/WebPage.h"
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

// One line on stderr, and the command's end by its cause.
int Refused(CommandReport& report, CommandStatus status, const std::string& error)
{
    fprintf(stderr, "export: %s\n", error.c_str());
    return report.Finish(status, error);
}

// Whether `path` may be written as a page's folder: nothing there, an empty folder, or a page
// an earlier export wrote (which it replaces); never a file, nor a folder of something else.
bool PageFolderFree(const std::string& path, std::string* error)
{
    std::error_code failed;
    const std::filesystem::file_status status = std::filesystem::status(path, failed);
    if (!std::filesystem::exists(status))
        return true;
    if (!std::filesystem::is_directory(status))
    {
        *error = "'" + path + "' is a file, and the page is a folder: give --out another name";
        return false;
    }
    if (std::filesystem::is_empty(path, failed) ||
        (std::filesystem::exists(path + "/index.html", failed) && std::filesystem::exists(path + "/flight.js", failed)))
        return true;
    *error = "'" + path + "' is a folder of something else than an exported page: give --out another name";
    return false;
}

int WritePageFolder(const ExportInput& input, const PageOptions& options, const std::string& out, CommandReport& report)
{
    std::string error;
    if (!PageFolderFree(out, &error))
        return Refused(report, CommandStatus::BadInput, error);
    ExportFiles files;
    PageSummary summary;
    if (!WritePage(input, options, &files, &summary, &error))
    {
        error = "'" + input.flight->name + "' cannot be written as a page: " + error;
        return Refused(report, CommandStatus::BadInput, error);
    }
    if (!WriteFolderAtomically(out, files, &error))
        return Refused(report, CommandStatus::Transient, error);
    report.Written(out);
    report.Count("rows", static_cast<double>(input.flight->rows.size()));
    size_t tiles = 0;
    std::string levels;
    for (int level = 0; level < 6; ++level)
    {
        tiles += summary.tiles[level];
        if (summary.tiles[level] > 0)
            levels += (levels.empty() ? "" : ", ") + std::to_string(summary.tiles[level]) + " at level " + std::to_string(CoarsestLevel + level);
    }
    report.Count("ground_tiles", static_cast<double>(tiles));
    report.Count("bytes", static_cast<double>(summary.totalBytes));
    fprintf(stderr, "export: '%s' written as a page (%zu rows, %zu ground tiles: %s%s; %.1f MB)\n", out.c_str(), input.flight->rows.size(), tiles,
            levels.c_str(), summary.withoutImagery > 0 ? (", " + std::to_string(summary.withoutImagery) + " without imagery").c_str() : "",
            static_cast<double>(summary.totalBytes) / 1e6);
    return report.Finish(CommandStatus::Done);
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
    PageOptions page;
    std::vector<std::string> detailAt;
    line.Number("--max-mb", "MB", 0.0, 1e6, &page.maxMegabytes, "html: the page's size limit in megabytes, which the ground fills (default 50)", true);
    line.Texts("--detail-at", "SECONDS", &detailAt,
               "html: also draw the finest ground around where the aircraft was at this second of the flight (may be given again)");
    line.Json(&json);
    const CommandLineOutcome parsed = line.Parse(argc, argv, 2);
    if (!parsed.run)
        return EndOfCommandLine("export", parsed, argc, argv);
    if (!format)
        return EndOfCommandLine("export", line.Refuse(NothingGiven("--to FORMAT")), argc, argv);
    if (format->write && (line.Given("--max-mb") || line.Given("--detail-at")))
        return EndOfCommandLine("export", line.Refuse("--max-mb and --detail-at are for --to html"), argc, argv);
    for (const std::string& text : detailAt)
    {
        double seconds = 0.0;
        if (!ReadNumber(text, 0.0, 1e9, &seconds))
            return EndOfCommandLine("export", line.Refuse(WantsValue("--detail-at", "a second of the flight, 0 or more", text)), argc, argv);
        page.detailAt.push_back(seconds);
    }
    CommandReport report("export", json);

    LoadedFlight flight;
    std::string error;
    if (!LoadAnyFlight(flightPath, &flight, &error))
        return Refused(report, CommandStatus::BadInput, error);
    report.Read(flightPath);
    if (out.empty())
        out = PathWithExtension(FileNameOf(flightPath), format->extension);
    if (out == flightPath)
    {
        error = "'" + out + "' is the flight itself: give --out another name";
        return Refused(report, CommandStatus::BadInput, error);
    }
    const ExportInput input{&flight, FileNameOf(flightPath), Attribution(), ExportAltitudeDatum(flight), ExportAltitudeNotes(flight, GroundHeightOf(PagedGround()))};
    for (const std::string& note : input.altitudeNotes)
        fprintf(stderr, "export: %s\n", note.c_str());
    report.Section("notes", nlohmann::json(input.altitudeNotes).dump());
    if (!format->write)
    {
        page.ground = GroundHeightOf(PagedGround());
        return WritePageFolder(input, page, out, report);
    }
    std::string bytes;
    if (!format->write(input, out, &bytes, &error))
    {
        error = "'" + flightPath + "' cannot be written as " + format->word + ": " + error;
        return Refused(report, CommandStatus::BadInput, error);
    }
    if (!WriteFileAtomically(out, bytes, &error))
        return Refused(report, CommandStatus::Transient, error);
    report.Written(out);
    report.Count("rows", static_cast<double>(flight.rows.size()));
    fprintf(stderr, "export: '%s' written as %s (%zu rows, %zu bytes)\n", out.c_str(), format->word, flight.rows.size(), bytes.size());
    return report.Finish(CommandStatus::Done);
}
