#pragma once
#include <memory>
#include <string>
#include <vector>

#include <osg/Matrixd>
#include <osg/MatrixTransform>
#include <osg/NodeCallback>
#include <osg/Referenced>
#include <osg/observer_ptr>
#include <osg/ref_ptr>
#include <osgGA/GUIEventHandler>

#include "flight/LoadedFlight.h"
#include "player/CameraOnClock.h"
#include "player/TrafficOnClock.h"
#include "player/PhotosOnClock.h"
#include "player/EventTimeline.h"
#include "player/FlightsOnClock.h"
#include "player/PlanOnClock.h"
#include "player/PlaybackClock.h"
#include "player/PlayerHud.h"
#include "player/PlayerOptions.h"
#include "player/PlotStrip.h"
#include "player/Timeline.h"
#include "player/VideoPanel.h"
#include "player/WindOnClock.h"
#include "scene/PlanScene.h"
#include "viewer/SceneAssembly.h"

// Names a file to which the player writes its display's lines, one per line, whenever they
// change (replaced whole, never seen half written). A testing aid: the windowed test reads
// the sample number from it instead of from the screen.
const char* const DisplayLogVariable = "FLIGHTREPLAY_PLAYER_DISPLAY_LOG";

// The aircraft's transform at a clock position (a fractional row index, PlaybackClock.h) of
// `flight` in `frame`: on a whole row exactly that row's flight path point, between two rows
// the path's own interpolation of their points.
osg::Matrixd AircraftMatrixAt(const FlightRows& flight, const MapFrameValues& frame, double position);

// The gps_time of every row of a flight, for a clock over it.
std::vector<double> LogTimesOf(const FlightRows& flight);

// The colour of the track of the flight `index` of several: twelve that tell apart on
// imagery and sky, then again.
osg::Vec4 FlightColour(size_t index);
// How much of the others' aircraft shows, over what lies behind them.
const float GhostOpacity = 0.45f;

// What a running player holds: the clock, the display, the timeline, the plots and the
// log's events over the loaded sample table. Its event handler and the aircraft's update
// callback share it.
//
// With several flights, one of them is selected: it is put in the sample table, and the
// display, the plots, the events and the chase camera follow it. The transport then moves a
// common clock (`Transport`) over all of them, lined up as the options ask
// (FlightsOnClock.h); the selected flight's own clock follows it.
class PlayerSession : public osg::Referenced
{
public:
    // Over `flights` (at least one, kept by the caller for the session's life) drawn in
    // `frame`, the first one selected: starts at its first row, at the replay's speed, with the
    // credits of the world in the working directory on the display, and the plot strip open
    // when `options` name plots.
    PlayerSession(const PlayerViewOptions& options, const std::vector<LoadedFlight>& flights, const MapFrameValues& frame);

    PlaybackClock clock; // the selected flight's
    osg::ref_ptr<PlayerHud> hud;
    TimelineAxis axis;
    EventTimeline events;
    TimelineView timeline; // the spans, modes, marks and labels, fixed for the run; the position each frame
    osg::ref_ptr<PlotStrip> plots;

    // The display's lines for the clock's current row, and the nearest event's when the
    // flight has any; with several flights, the common clock's.
    std::vector<std::string> Lines() const;

    bool SeveralFlights() const { return flights != nullptr; }
    // With several flights: how they lie on the common clock, and their rows.
    const FlightsOnClock* OnClock() const { return onClock.get(); }
    std::vector<FlightRows> AllRows() const;
    // The selected flight, and the frame every flight is drawn in.
    const LoadedFlight& Shown() const { return *shown; }
    const MapFrameValues& Frame() const { return frame; }
    // With several flights: each one's tiles and the frame the replay would fix on it alone,
    // for the terrain along each (PagedTerrain.h); empty with one.
    std::vector<FlightTiles> FlightCorridors() const;
    size_t Selected() const { return selected; }
    // The clock the keys, the timeline and the recorder move: the common one with several
    // flights, else the flight's own.
    PlaybackClock& Transport() { return flights ? common : clock; }
    // Puts the selected flight's clock where the common clock stands (nothing with one flight).
    void Follow();
    // Selects flight `index` (of several), or the next one, after the last the first.
    void SelectFlight(size_t index);
    void SelectNextFlight() { SelectFlight(flights ? (selected + 1) % flights->size() : 0); }
    // The common clock's time (seconds from the earliest row of all) at its position, and its
    // span; the flight's own with one.
    double CommonSeconds() const;
    // Whether flight `index` has data at the common clock's position, and its row there.
    bool FlightRow(size_t index, double* row) const;

    // Draws each flight as its kind of vehicle (its file's, or --vehicle's) or as the --model
    // file, in place of the world's model under `scene.aircraft`; a flight of no known kind
    // keeps the world's. Call before AddFlightsToScene, whose translucent copies take the
    // same models. The rotors then turn with the clock where the motor outputs say they run.
    void DressAircraft(FlightScene& scene);

    // With several flights: replaces the scene's white track by each flight's in its colour
    // and adds an aircraft of every flight but the selected one, drawn translucent.
    void AddFlightsToScene(FlightScene& scene);
    // Places the selected flight's aircraft (`aircraft`) and the others at the clock's
    // position; with several flights, each shows only while its flight has data there. The
    // plan follows the clock with it.
    void PlaceAircraft(osg::MatrixTransform& aircraft);

    // The plan drawn: the selected flight's, with the --plan file's layers in place of the
    // first flight's own and the --airspace file's airspace added to every flight's.
    const FlightPlan& Plan() const { return plan; }
    // Adds the plan's layers to the scene, before the aircraft; nothing for an empty plan.
    // Selecting another flight draws its plan in their place.
    void AddPlanToScene(FlightScene& scene);
    // The layers as drawn; null before AddPlanToScene or for an empty plan.
    PlanScene* PlanLayers() const { return planLayers.get(); }
    void TogglePlan();
    // The mission at the clock: the version shown, the leg in force, the items reached.
    MissionMoment MissionNow() const;
    // Moves the layers to the clock; cheap when nothing changed.
    void ShowPlanAtClock();

    // The first flight's onboard video (--video), null without one or when it cannot be shown.
    VideoPanel* Video() const { return video.get(); }
    // Where the selected flight's camera looked, from its aircraft at the clock: nothing for a
    // flight whose file does not say. The key switches it on and off.
    void AddCameraViewToScene(FlightScene& scene);
    void ToggleCameraView();
    const CameraOnClock* CameraView() const { return cameraView.get(); }
    // What is drawn over the flight, in its order: the plan, the camera's view and photos, the
    // windsock and the other aircraft.
    void AddLayersToScene(FlightScene& scene);
    // The other aircraft the selected flight heard of, where they were at the clock.
    void AddTrafficToScene(FlightScene& scene);
    const TrafficOnClock* Traffic() const { return traffic.get(); }

    // A windsock at the selected flight's take-off point, for a flight whose wind is known:
    // it streams with the wind at the clock.
    void AddWindsockToScene(FlightScene& scene);
    const Windsock* WindsockShown() const { return windsock.get(); }
    // The selected flight's photos, added with the camera's view; null for a flight without.
    const PhotosOnClock* Photos() const { return photoLayer.get(); }

    // Shows or hides the display, the plot strip with it (when it is open).
    void SetDisplayVisible(bool visible);
    // Opens or closes the plot strip; opened for the first time without plots chosen, with
    // DefaultPlotWords.
    void TogglePlots();
    // Moves the clock to the row nearest `seconds` of flight time (PlaybackClock::SecondsAt).
    void SeekSeconds(double seconds);
    // Moves the clock to the row at `fraction` of the timeline.
    void SeekTimeline(double fraction);

    // The track's colours by `by`, the modes as the timeline has them, with their legend on
    // the display (none for TrackColourBy::None; none with several flights, whose legend
    // names them instead).
    TrackColouring ColourTrack(TrackColourBy by);

    // The share of a window of width x height pixels that the open plot strip covers from
    // the bottom up; 0 while it is closed or hidden with the display.
    double CoveredBelow(int width, int height) const;

    // Shows the current state on the display, in a viewport of width x height pixels: the
    // timeline's position always, the figures when `figures` is true (else those shown
    // last). Writes the lines shown to the file DisplayLogVariable names when they changed.
    void Refresh(int width, int height, bool figures);

private:
    void WriteDisplayLog();
    void PlaceTrackLegend(int width, int height);
    // The selected flight's clock, events, timeline and plots.
    void StudyLoadedFlight();
    // The timeline of the common clock: the selected flight's span, modes and events on it.
    void MapTimelineToCommonClock();
    double CommonFraction(double flightPosition) const;
    std::vector<std::string> FlightLegendLines() const;
    // The flight's file name without its folder: the legend is narrow.
    std::string FlightName(size_t index) const;
    // The first flight's plan with the --plan file read over it, once; what the readers of the
    // command line's files left out, told once.
    void ReadPlanFiles(const PlayerViewOptions& options, const LoadedFlight& first);
    // The selected flight's plan with the command line's files over it.
    void ReadPlan();
    void BuildPlanLayers();
    void ShowCameraViewAtClock(const osg::MatrixTransform& aircraft, double position, bool flying);
    // A flight's model and its rotors; no model for the world's.
    struct DressedModel
    {
        osg::ref_ptr<osg::MatrixTransform> model;
        std::vector<VehicleRotor> rotors;
        VehicleKind kind = VehicleKind::Unknown;
        bool outputsLogged = false; // the flight's log names a servo output column
    };
    DressedModel DressFor(size_t index);
    // Puts `dress` (or the world's model, for none) under `aircraft`, the transform that stands
    // the world's model up and scales it.
    void PutDress(osg::MatrixTransform& aircraft, const DressedModel& dress) const;
    void TurnRotorsAt(DressedModel& dress, const LoadedFlight& flight, double position) const;
    // Where the windsock stands for the selected flight: on the drawn ground under its first row.
    osg::Vec3d TakeOffFoot() const;
    void ShowTrafficAtClock(double position);
    // The versions' uploads as ticks on the timeline.
    void MarkVersions();

    MapFrameValues frame;
    FlightPlan plan;
    std::unique_ptr<PlanScene> planLayers;
    // The scene's root, once the layers are in it; not held, since the scene holds the session
    // through the aircraft's callback.
    osg::observer_ptr<osg::Group> planParent;
    bool planVisible = true;
    MissionMoment shownMoment;
    std::unique_ptr<CameraOnClock> cameraView;
    std::unique_ptr<Windsock> windsock;
    std::unique_ptr<TrafficOnClock> traffic;
    double cameraFov = DefaultCameraFov; // degrees, diagonal: --fov
    const CameraModel* photoCamera = nullptr; // --photo-camera
    std::unique_ptr<PhotosOnClock> photoLayer;
    const LoadedFlight* photoFlight = nullptr; // whose photos the layer draws
    std::string colourColumn;            // --colour-track's series when it names a column
    std::vector<std::string> plotWords; // as the options named them
    FlightPlan firstPlan;              // the first flight's, with --plan read over it once
    std::vector<Airspace> airspace;    // --airspace's, drawn for every flight
    const std::vector<LoadedFlight>* flights = nullptr; // two or more, else null
    const LoadedFlight* shown = nullptr; // the selected one
    std::unique_ptr<FlightsOnClock> onClock;
    PlaybackClock common{1, 1.0, 3.0};
    size_t selected = 0;
    std::vector<osg::ref_ptr<osg::MatrixTransform>> ghosts; // one per flight
    VehicleKind vehicle = VehicleKind::Unknown; // --vehicle
    ModelChoice modelChoice;
    std::vector<DressedModel> dresses;      // the selected aircraft's, one per flight; empty until dressed
    std::vector<DressedModel> ghostDresses; // the translucent copies', one per flight
    osg::observer_ptr<osg::MatrixTransform> dressedAircraft;
    osg::Matrixd worldModelMatrix;
    std::vector<osg::ref_ptr<osg::Node>> worldModel;
    struct FlightStudy
    {
        PlaybackClock clock; // at the replay's speed
        TimelineAxis axis;
        EventTimeline events;
    };
    std::vector<FlightStudy> studies; // one per flight, with several
    std::vector<std::string> legendLines;

    TrackColouring trackColours;
    osg::ref_ptr<osg::Node> trackLegend;
    int legendWidth = 0;
    int legendHeight = 0;
    double legendFloor = 0.0; // the lowest the legend may reach, pixels from the bottom
    double legendTop = 0.0;
    osg::ref_ptr<VideoPanel> video;
    const LoadedFlight* first = nullptr; // the video's flight
    std::string displayLog; // empty: none asked for
    std::vector<std::string> shownLines;
    std::vector<std::string> loggedLines;
    std::vector<std::string> loggedLegend;
};

// Moves the picture of a camera up by `lift` of the window's height (from `*applied`, the lift
// it has), keeping its field of view: the middle of the picture is then the middle of what
// the plot strip leaves visible, where the camera modes put what they look at.
void LiftPicture(osg::Camera& camera, double lift, double* applied);

// Draws the scene's camera in `rect` of the window: the whole of it, or the video panel's
// place when the video is swapped with the scene.
void PutSceneInItsPlace(osg::Camera& camera, const PanelRect& rect);

// Moves the transform it is set on to AircraftMatrixAt the session clock's position.
class ClockedAircraft : public osg::NodeCallback
{
public:
    explicit ClockedAircraft(PlayerSession* session) : session(session) {}
    void operator()(osg::Node* node, osg::NodeVisitor* visitor) override;

private:
    osg::ref_ptr<PlayerSession> session;
};

// The transport and plot keys (PlayerKeys.h), a click or drag on the timeline or a plot, and
// every frame: the
// clock moves on by the wall time since the last frame and the display is refreshed, its
// figures at most FiguresPerSecond times a second while playing (figures that change every
// frame cannot be read, and laying out their text costs a software renderer more than the
// rest of the display), at once after a key or a click. Keys and clicks it uses are marked
// handled, so the camera modes leave them alone.
const double FiguresPerSecond = 10.0;

class PlayerControls : public osgGA::GUIEventHandler
{
public:
    explicit PlayerControls(PlayerSession* session) : session(session) {}
    bool handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions) override;

private:
    // The fraction of the timeline under the pointer, when it is on the bar.
    bool FractionUnderPointer(const osgGA::GUIEventAdapter& event, double* fraction) const;
    // Moves the clock to the row at that fraction of the timeline and shows it at once.
    void SeekTimeline(double fraction);
    // Moves the clock to the row nearest those flight seconds, for a click on a plot.
    void SeekPlot(double seconds);
    void Refresh(bool figures);

    osg::ref_ptr<PlayerSession> session;
    double lastFrameTime = -1.0;   // seconds, the viewer's reference time; -1 before the first frame
    double lastFiguresTime = -1.0; // when the figures were last shown
    double lift = 0.0;             // of the scene's picture, for the plot strip (LiftPicture)
    bool scrubbing = false;      // the left button went down on the timeline and is still down
    bool scrubbingPlot = false;  // ... on a plot
};
