#include "flight/FlightLoading.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "flight/FlightStatistics.h"
#include "flight/LoadedFlight.h"
#include "flight/RangeListParser.h"
#include "geo/MapFrame.h"
#include "log/LogKeywords.h"
#include "log/LogScanner.h"
#include "log/SampleTable.h"
#include "log/SampleTablePrefetch.h"
#include "plan/PlanFiles.h"
#include "track/CameraTriggers.h"
#include "track/FlightFileConversion.h"
#include "track/FlightFormats.h"

// The plan file beside a keyword log (NAME.plan), when there is one.
static void LoadPlanBeside(const char* path, FlightPlan* plan)
{
    *plan = FlightPlan();
    std::string error;
    if (!ReadPlanBeside(path, plan, &error))
        fprintf(stderr, "plan: %s\n", error.c_str());
    for (const std::string& note : plan->notes)
        fprintf(stderr, "plan: %s\n", note.c_str());
}

// A file of records beside a keyword log (its events, its camera's attitudes), when there is
// one: what its reader could not take is said under `what`.
template <typename Record>
static void LoadBeside(const std::string& besidePath, const char* what, const char* record, std::vector<Record>* records,
                       bool (*read)(const std::string&, std::vector<Record>*, size_t*, std::string*))
{
    records->clear();
    struct stat status;
    if (stat(besidePath.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return;
    size_t skipped = 0;
    std::string error;
    if (!read(besidePath, records, &skipped, &error))
        fprintf(stderr, "%s: %s\n", what, error.c_str());
    else if (skipped > 0)
        fprintf(stderr, "%s: '%s': %zu %s no %s and %s skipped\n", what, besidePath.c_str(), skipped, skipped == 1 ? "line holds" : "lines hold", record,
                skipped == 1 ? "was" : "were");
}

// What flew, where the conversion said; Unknown (and a line on stderr for a file that is not
// ours) otherwise.
static void LoadVehicleBeside(const std::string& besidePath, VehicleIdentity* vehicle)
{
    *vehicle = VehicleIdentity();
    struct stat status;
    if (stat(besidePath.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return;
    std::string error;
    if (!ReadVehicleIdentity(besidePath, vehicle, &error))
        fprintf(stderr, "vehicle: %s\n", error.c_str());
}

// A directory opens for reading on Linux but yields only a read error; it is no log.
static FILE* OpenLog(const char* path)
{
    FILE* log = fopen(path, "r");
    if (!log)
        return nullptr;
    struct stat status;
    if (fstat(fileno(log), &status) == 0 && S_ISDIR(status.st_mode))
    {
        fclose(log);
        return nullptr;
    }
    return log;
}

// A flight file of a format the converter reads is no keyword log: the scanner would echo
// it to the terminal byte by byte, escape sequences and all. Only a signature counts (the
// binary logs' own; the first line of a GPX or IGC file, unless it names a column of the log
// as a keyword log's first line does), so that a keyword log with stray bytes is never taken
// for one. Text told by no signature is a CSV track only for the player, and only when its
// reader takes it: every other text is a keyword log. Null for a log to scan.
static const FlightFormat* ConvertibleFlightFile(FILE* log, FlightFiles flightFiles)
{
    struct stat status;
    if (fstat(fileno(log), &status) != 0 || !S_ISREG(status.st_mode))
        return nullptr;
    std::string head(8192, '\0'); // a telemetry log's first frame lies within its first 4 KiB
    const ssize_t length = pread(fileno(log), &head[0], head.size(), 0);
    head.resize(length > 0 ? static_cast<size_t>(length) : 0);
    const FlightFormat* format = DetectFlightFormat(head);
    if (!format || (format->anyText && flightFiles == FlightFiles::Refuse))
        return nullptr;
    if (format->autopilotLog)
        return format;
    const std::string line = FirstTextLine(head);
    for (int32_t kind = 1; kind < ColumnKindCount; ++kind)
        if (line.find(LogKeywords[kind]) != std::string::npos)
            return nullptr;
    return format;
}

void ScanFlightLog(FILE* log)
{
    ResetSampleTable();
    currentColumn = 0;
    SetScanInput(log);
    SampleTablePrefetch prefetch;
    scan();
}

// Lines a piece of the log holds when a flight is read whole: fewer than the table's rows,
// since a line makes a row at most.
const int32_t PieceLines = 65536;

// Scans the whole log through the table, however many rows it holds, into `every`: in pieces
// of whole lines, each piece's accepted rows moved out before the next. The scanner's state
// at a line end is the column kinds (kept) and the row under construction, which a rejected
// line leaves filled for the next to overwrite: it is carried into the emptied table, so the
// rows are those one table without a bound would hold. A piece never ends inside a run of
// line-end bytes, which the scanner takes as one line end.
static void ScanEveryRow(FILE* log, std::vector<SampleRow>* every, int32_t* unselectedRows)
{
    std::string text;
    char buffer[1 << 16];
    for (size_t read; (read = fread(buffer, 1, sizeof buffer, log)) > 0;)
        text.append(buffer, read);
    ResetSampleTable();
    currentColumn = 0;
    every->clear();
    for (size_t start = 0; start < text.size();)
    {
        // Up to PieceLines line ends on, a line end being a run of CR and LF bytes, as the
        // scanner reads it: a log of CRs alone is cut into pieces too.
        size_t end = start;
        for (int32_t lines = 0; end < text.size() && lines < PieceLines; ++lines)
        {
            end = text.find_first_of("\r\n", end);
            end = end == std::string::npos ? text.size() : text.find_first_not_of("\r\n", end);
            end = end == std::string::npos ? text.size() : end;
        }
        FILE* input = fmemopen(&text[start], end - start, "r");
        start = end;
        if (!input)
            continue;
        SetScanInput(input);
        scan();
        fclose(input);
        every->insert(every->end(), SampleTable.rows, SampleTable.rows + SampleTable.rowCount);
        const SampleRow building = SampleTable.rows[SampleTable.rowCount];
        const int32_t unselected = SampleTable.unselectedRows;
        ResetSampleTable();
        SampleTable.rows[0] = building;
        SampleTable.unselectedRows = unselected;
    }
    *unselectedRows = SampleTable.unselectedRows;
    // What stays in the table is no flight's: the next load starts from an empty one.
    ResetSampleTable();
}

// Converts the flight file at `path` as `track` does, with its lines on stderr, and scans
// the log it makes from memory into the table. 1 when the file is text its reader does not
// take (no track, but maybe a keyword log: `*csvReason` says why it is no track), 0 when
// the table is loaded, -4 when the flight cannot be converted. With `besides`, what the
// conversion found beyond the rows and events goes there: the plan, the camera, what flew,
// the wind, the traffic and the photos.
static int ScanConvertedFlight(const char* path, std::string* csvReason, std::vector<FlightEvent>* events, std::vector<SampleRow>* every, int32_t* unselectedRows,
                               LoadedFlight* besides = nullptr)
{
    FlightFileConversion conversion;
    std::string message;
    if (!ConvertFlightFile(path, 0.0, &conversion, &message))
    {
        if (!conversion.read && conversion.format && conversion.format->anyText)
        {
            *csvReason = message;
            return 1;
        }
        fprintf(stderr, "track: %s\n", message.c_str());
        return -4;
    }
    fputs(DerivedAttitudeNote(path, conversion).c_str(), stderr);
    fputs(ConversionNotes(path, conversion).c_str(), stderr);
    *events = std::move(conversion.converted.events);
    if (besides)
    {
        besides->plan = std::move(conversion.converted.plan);
        besides->gimbal = std::move(conversion.converted.gimbal);
        besides->vehicle = conversion.flight.vehicle;
        besides->wind = std::move(conversion.converted.wind);
        besides->traffic = std::move(conversion.converted.traffic);
        besides->photos = std::move(conversion.converted.photos);
    }
    std::string text = FormatConvertedLog(conversion.converted);
    FILE* log = fmemopen(&text[0], text.size(), "r");
    if (!log)
    {
        fprintf(stderr, "'%s': cannot read its converted log from memory: %s\n", path, strerror(errno));
        return -4;
    }
    if (every)
        ScanEveryRow(log, every, unselectedRows);
    else
        ScanFlightLog(log);
    fclose(log);
    return 0;
}

bool LoadFlightQuietly(const char* path, FlightFiles flightFiles)
{
    FILE* log = OpenLog(path);
    if (!log)
        return false;
    std::string csvReason;
    const FlightFormat* format = flightFiles == FlightFiles::Convert ? ConvertibleFlightFile(log, flightFiles) : nullptr;
    std::vector<FlightEvent> events;
    const int converted = format ? ScanConvertedFlight(path, &csvReason, &events, nullptr, nullptr) : 1;
    if (converted > 0)
        ScanFlightLog(log);
    fclose(log);
    if (converted < 0)
        return false;
    if (SampleTable.rowCount < 1)
    {
        // Text that no keyword names a column of may have been meant for a CSV track.
        if (!csvReason.empty() && highestColumn == 0 && cols[0] == 0)
            fprintf(stderr, "track: %s\n", csvReason.c_str());
        return false;
    }
    double centreLatitude = 0.0;
    double centreLongitude = 0.0;
    FlightCentre(ComputeFlightStatistics(), &centreLatitude, &centreLongitude);
    SetUpMapFrame(centreLatitude, centreLongitude);
    return true;
}

void PrintTableOverflow()
{
    if (SampleTable.droppedRows > 0)
        printf("Table full: %ld more rows not loaded (room for %ld)\n", static_cast<long>(SampleTable.droppedRows), static_cast<long>(RowCapacity));
}

double LatitudeBeyondMap(const FlightExtent& extent)
{
    const double south = extent.latitudeMinimum / 60.0, north = extent.latitudeMaximum / 60.0;
    const double farthest = std::fabs(south) > std::fabs(north) ? south : north;
    return std::fabs(farthest) > MapLatitudeLimit ? farthest : 0.0;
}

// The statistics' lines and the frame's, as the replay prints them after the column report.
static void PrintStatistics(const FlightSummary& summary, const MapFrameValues& frame)
{
    const FlightExtent& extent = summary.extent;
    printf("lat(mn,mx)=(%f %f)\n", extent.latitudeMinimum / 60, extent.latitudeMaximum / 60);
    printf("lon(mn,mx)=(%f %f)\n", extent.longitudeMinimum / 60, extent.longitudeMaximum / 60);
    printf("time(mn,mx)=(%f %f)\n", summary.timeMinimum, summary.timeMaximum);
    printf("sum(time)/sum(sn)=%f\n", summary.step);
    double centreLatitude = 0.0;
    double centreLongitude = 0.0;
    FlightCentre(extent, &centreLatitude, &centreLongitude);
    printf("1/k=%f (center lat,lon=%f %f)\n", MetresPerTile(centreLatitude), centreLatitude, centreLongitude);
    printf("CI,CJ=%ld %ld\n", static_cast<long>(frame.CI), static_cast<long>(frame.CJ));
}

// Off the transcript: the replay's own lines stay as they are, but an empty world must not go
// without a word.
static void NoteLatitudeBeyondMap(const char* path, const FlightExtent& extent)
{
    if (const double latitude = LatitudeBeyondMap(extent))
        fprintf(stderr, "'%s' reaches %.4f\u00b0 %c, beyond the map's latitude limit of \u00b1%.4f\u00b0: the map has no tiles there, so no ground is drawn under the flight\n", path, std::fabs(latitude), latitude > 0.0 ? 'N' : 'S', MapLatitudeLimit);
}

int ReadFlightArguments(const char* program, const std::vector<const char*>& arguments, FlightSelection* selection)
{
    if (arguments.empty())
    {
        printf("U: %s avlog.log [--samples beg1-end1,beg2-end2,...]\n", program);
        return -1;
    }
    selection->log = arguments[0];
    selection->samples = nullptr;
    if (arguments.size() >= 2)
    {
        if (strcmp(arguments[1], "--samples") != 0)
        {
            printf("arg. '%s' - undefined\n", arguments[1]);
            return -3;
        }
        if (arguments.size() == 2)
        {
            printf("--samples req. args: beg1-end1,beg2-end2,...\n");
            return -2;
        }
        selection->samples = arguments[2];
    }
    return 0;
}

int LoadFlightLog(const char* path, const char* samples, FlightFiles flightFiles)
{
    if (samples)
    {
        if (!SelectSamples(samples))
            printf("Q.samples==0, using 0-100000\n");
        printf("Select samplenumber:\n");
        for (int32_t i = 0; i < RangeList.count; ++i)
            printf("%ld < samplenumber < %ld\n", static_cast<long>(RangeList.entries[i].begin), static_cast<long>(RangeList.entries[i].end));
    }

    FILE* log = OpenLog(path);
    if (!log)
    {
        printf("Not open '%s'\n", path);
        return -2;
    }
    const FlightFormat* format = ConvertibleFlightFile(log, flightFiles);
    if (format && flightFiles == FlightFiles::Refuse)
    {
        fclose(log);
        fprintf(stderr, "'%s' holds a flight in %s, which the replay does not read: convert it with `flightreplay-data track %s > avlog.log` and replay avlog.log, or replay it directly with `flightreplay-player %s`\n", path, format->name, path, path);
        return -4;
    }
    std::string csvReason;
    std::vector<FlightEvent> events; // the replay shows none
    const int converted = format ? ScanConvertedFlight(path, &csvReason, &events, nullptr, nullptr) : 1;
    if (converted < 0)
    {
        fclose(log);
        return converted;
    }
    if (converted > 0)
        ScanFlightLog(log);
    fclose(log);
    PrintTableOverflow();

    for (int32_t i = 0; i <= highestColumn; ++i)
        printf("cols[%d]=%d\n", i, cols[i]);

    printf("selected %ld row\n", static_cast<long>(SampleTable.rowCount));
    if (SampleTable.rowCount < 1)
    {
        printf("Need rows >0, Exit\n");
        // Text that no keyword names a column of may have been meant for a CSV track.
        if (!csvReason.empty() && highestColumn == 0 && cols[0] == 0)
            fprintf(stderr, "track: %s\n", csvReason.c_str());
        return -4;
    }

    const FlightExtent extent = ComputeFlightStatistics();
    double centreLatitude = 0.0;
    double centreLongitude = 0.0;
    FlightCentre(extent, &centreLatitude, &centreLongitude);
    SetUpMapFrame(centreLatitude, centreLongitude);
    PrintStatistics(FlightSummary{extent, SampleTable.timeMinimum, SampleTable.timeMaximum, SampleTable.SampleStep}, MapFrame);
    NoteLatitudeBeyondMap(path, extent);
    return 0;
}

int LoadFlight(const char* path, const char* samples, FlightFiles flightFiles, LoadReport report, LoadedFlight* flight)
{
    const bool transcript = report == LoadReport::Transcript;
    *flight = LoadedFlight();
    flight->name = path;
    if (samples)
    {
        if (!SelectSamples(samples) && transcript)
            printf("Q.samples==0, using 0-100000\n");
        if (transcript)
        {
            printf("Select samplenumber:\n");
            for (int32_t i = 0; i < RangeList.count; ++i)
                printf("%ld < samplenumber < %ld\n", static_cast<long>(RangeList.entries[i].begin), static_cast<long>(RangeList.entries[i].end));
        }
    }
    FILE* log = OpenLog(path);
    if (!log)
    {
        if (transcript)
            printf("Not open '%s'\n", path);
        return -2;
    }
    // The column kinds of one log must not pass for another's.
    ResetScanner();
    const FlightFormat* format = ConvertibleFlightFile(log, flightFiles);
    if (format && flightFiles == FlightFiles::Refuse && report == LoadReport::Transcript)
    {
        fclose(log);
        fprintf(stderr, "'%s' holds a flight in %s, which the replay does not read: convert it with `flightreplay-data track %s > avlog.log` and replay avlog.log, or replay it directly with `flightreplay-player %s`\n", path, format->name, path, path);
        return -4;
    }
    std::string csvReason;
    const int converted = format && flightFiles == FlightFiles::Convert ? ScanConvertedFlight(path, &csvReason, &flight->events, &flight->rows, &flight->unselectedRows, flight) : 1;
    if (converted > 0)
    {
        LoadBeside(EventsPathFor(path), "events", "event", &flight->events, ReadFlightEvents);
        LoadBeside(CameraPathFor(path), "camera", "attitude", &flight->gimbal, ReadCameraAttitudes);
        LoadVehicleBeside(VehiclePathFor(path), &flight->vehicle);
        LoadBeside(WindPathFor(path), "wind", "wind", &flight->wind, ReadWind);
        LoadBeside(TrafficPathFor(path), "traffic", "traffic report", &flight->traffic, ReadTraffic);
        LoadBeside(PhotosPathFor(path), "photos", "photo", &flight->photos, ReadPhotos);
        LoadPlanBeside(path, &flight->plan);
        ScanEveryRow(log, &flight->rows, &flight->unselectedRows);
    }
    else if (converted == 0 && flight->plan.Empty())
        LoadPlanBeside(path, &flight->plan); // a pilot's plan kept beside a flight file that holds none
    fclose(log);
    if (converted < 0)
        return converted;
    flight->columns.assign(cols, cols + highestColumn + 1);
    flight->selection.assign(RangeList.entries, RangeList.entries + RangeList.count);
    if (transcript)
    {
        for (int32_t i = 0; i <= highestColumn; ++i)
            printf("cols[%d]=%d\n", i, cols[i]);
        printf("selected %ld row\n", static_cast<long>(flight->rows.size()));
    }
    if (flight->rows.empty())
    {
        if (transcript)
            printf("Need rows >0, Exit\n");
        // Text that no keyword names a column of may have been meant for a CSV track.
        if (!csvReason.empty() && highestColumn == 0 && cols[0] == 0)
            fprintf(stderr, "track: %s\n", csvReason.c_str());
        return -4;
    }
    flight->summary = SummariseFlight(flight->rows.data(), static_cast<int32_t>(flight->rows.size()));
    if (transcript)
    {
        PrintStatistics(flight->summary, flight->Frame());
        NoteLatitudeBeyondMap(path, flight->summary.extent);
    }
    return 0;
}
