#include "player/PlayerOptions.h"

#include "check/PhotoCheck.h"
#include "cli/CommandLine.h"

#include "plan/PlanFiles.h"
#include "player/PlotSeries.h"

void AddPlayerOptions(CommandLine& line, PlayerOptions* options)
{
    line.Positionals("FLIGHT", &options->flights, "the flights: keyword logs or flight files `flightreplay-data track` reads (ULog, DataFlash, telemetry log, GPX, IGC, CSV, video subtitles), up to 16, shown together on one clock");
    line.Text("--samples", "LIST", &options->samples, "the sample numbers to replay, BEGIN-END,BEGIN-END,... as the replay reads them (of every flight)");
    line.Checked(
        "--plot", "LIST", "at most " + std::to_string(MostPlots) + " of altitude, height, speed, climb, attitude, wind or a column's keyword, comma separated",
        [options](const std::string& text, std::string* why) { return ParsePlotList(text, &options->view.plots, why); },
        "the plot strip, open, with these series: altitude, height, speed, climb, attitude, wind (its speed, for a flight whose wind is known) or a column's keyword (voltage1, ...), at most 4, comma separated");
    line.Checked(
        "--colour-track", "WHAT", "altitude, speed, climb, mode, height or a column's keyword",
        [options](const std::string& text, std::string*) {
            if (ParseTrackColourBy(text, &options->view.colourBy))
                return options->view.colourBy != TrackColourBy::None;
            // Any other series the plots show, of one curve: the columns by their keyword.
            std::vector<std::string> words;
            std::string ignored;
            if (text == "attitude" || !ParsePlotList(text, &words, &ignored) || words.size() != 1)
                return false;
            options->view.colourBy = TrackColourBy::Column;
            options->view.colourColumn = text;
            return true;
        },
        "the track coloured by altitude, speed, climb, mode, height above the ground or any column the flight carries (voltage1, baro_curalt, ...), with a legend");
    line.Checked(
        "--align", "WHEN", "time, takeoff or start", [options](const std::string& text, std::string*) { return ParseFlightAlignment(text, &options->view.alignment); },
        "several flights lined up by time of day (time), at take-off (takeoff) or at their start (start)");
    // Read here, so that a file that cannot be read ends the run before any flight is loaded,
    // with the reader's reason. The plan is read again over the first flight's own, whose
    // layers those of the file replace; the airspace, the same for every flight, is kept.
    line.Checked(
        "--plan", "FILE", "a plan file (.plan, .waypoints, .xctsk)",
        [options](const std::string& text, std::string* why) {
            FlightPlan plan;
            options->view.planFile = text;
            return ReadPlanFile(text, &plan, why);
        },
        "draw this plan (a ground station's .plan, a waypoint list or a glider task) for the first flight, in place of the layers its log holds");
    line.Checked(
        "--airspace", "FILE", "an OpenAir airspace file",
        [options](const std::string& text, std::string* why) {
            options->view.airspace = FlightPlan();
            return ReadAirspaceFile(text, &options->view.airspace, why);
        },
        "draw the airspace of this OpenAir file near the flights");
    line.Text("--video", "CLIP", &options->view.video, "show this video clip of the first flight in a panel on the replay's clock, lined up by the sync file beside it (flightreplay-data sync)");
    line.Checked(
        "--video-offset", "SECONDS", "a number of seconds",
        [options](const std::string& text, std::string*) {
            options->view.videoOffsetGiven = true;
            return ReadNumber(text, -1e9, 1e9, &options->view.videoOffset);
        },
        "the first flight's second (from its first row) at which the clip begins, in place of the sync file's");
    line.Checked(
        "--fov", "DEGREES", "a number above 1 and below 170",
        [options](const std::string& text, std::string*) { return ReadNumber(text, 1.0, 170.0, &options->view.cameraFov, true) && options->view.cameraFov < 170.0; },
        "the camera's diagonal angle of view (default 84) for a flight whose file names no focal length: its view and footprint are drawn where the flight records the gimbal's attitude");
    line.Checked(
        "--vehicle", "KIND", VehicleKindWords(), [options](const std::string& text, std::string*) { return VehicleKindOfWord(text, &options->view.vehicle) && options->view.vehicle != VehicleKind::Unknown; },
        "draw every flight as this kind of vehicle, over what its file says");
    line.Text("--model", "FILE", &options->view.model.file, "draw every flight's aircraft with this model (any format the scene graph reads), its nose along +y and up +z unless --model-rotate turns it");
    line.Number("--model-scale", "FACTOR", 0.0, 1e6, &options->view.model.scale,
                "draw the model this many times its size in metres (default: its true size, enlarged to 4 m across its radius where smaller, so that it shows at chase distance)", true);
    line.Checked(
        "--model-rotate", "YAW[,PITCH[,ROLL]]", "one to three numbers of degrees, comma separated",
        [options](const std::string& text, std::string*) {
            double* angles = options->view.model.rotate;
            size_t start = 0;
            for (int i = 0; i < 3; ++i)
            {
                const size_t comma = text.find(',', start);
                if (!ReadNumber(text.substr(start, comma - start), -360.0, 360.0, &angles[i]))
                    return false;
                if (comma == std::string::npos)
                    return true;
                start = comma + 1;
            }
            return false;
        },
        "turn the model to put its nose forward: yaw clockwise seen from above, then pitch nose up, then roll right side down, in degrees");
    line.Checked(
        "--photo-camera", "NAME", "one of " + CameraModelWords(),
        [options](const std::string& text, std::string*) { return (options->view.photoCamera = FindCameraModel(text)) != nullptr; },
        "the camera that took the flight's photos, whose angles of view their footprints are drawn with (else --fov's)");
}
