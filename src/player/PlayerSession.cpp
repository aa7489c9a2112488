#include "player/PlayerSession.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <osg/BlendColor>
#include <osg/BlendFunc>
#include <osg/Depth>
#include <osg/MatrixTransform>
#include <osg/Vec2d>
#include <osg/Viewport>
#include <osgViewer/View>

#include "batch/AtomicFile.h"
#include "check/HeightAboveTerrain.h"
#include "geo/ReplayFiles.h"
#include "log/LogKeywords.h"
#include "plan/PlanFiles.h"
#include "player/ColourLegend.h"
#include "player/FlightReadout.h"
#include "player/PlayerDisplay.h"
#include "player/PlayerKeys.h"
#include "player/PlotSeries.h"
#include "scene/FlightPath.h"
#include "scene/FlightTrack.h"
#include "terrain/PagedTerrain.h"

osg::Matrixd AircraftMatrixAt(const FlightRows& flight, const MapFrameValues& frame, double position)
{
    const int32_t lastRow = flight.count - 1;
    const double held = std::clamp(position, 0.0, static_cast<double>(lastRow));
    const int32_t row = static_cast<int32_t>(held);
    const double fraction = held - row;
    osg::AnimationPath::ControlPoint point = FlightPathPoint(frame, flight[row]);
    if (fraction > 0.0 && row < lastRow)
    {
        const osg::AnimationPath::ControlPoint from = point;
        point.interpolate(fraction, from, FlightPathPoint(frame, flight[row + 1]));
    }
    osg::Matrixd matrix;
    point.getMatrix(matrix);
    return matrix;
}

std::vector<double> LogTimesOf(const FlightRows& flight)
{
    std::vector<double> times;
    times.reserve(flight.count);
    for (const SampleRow& row : flight)
        times.push_back(row.gps_time);
    return times;
}

osg::Vec4 FlightColour(size_t index)
{
    static const osg::Vec4 colours[] = {
        {1.00f, 0.85f, 0.10f, 1.0f}, {0.20f, 0.80f, 1.00f, 1.0f}, {1.00f, 0.35f, 0.35f, 1.0f}, {0.45f, 1.00f, 0.35f, 1.0f},
        {1.00f, 0.50f, 1.00f, 1.0f}, {1.00f, 0.60f, 0.15f, 1.0f}, {0.60f, 0.60f, 1.00f, 1.0f}, {0.30f, 1.00f, 0.80f, 1.0f},
        {1.00f, 1.00f, 1.00f, 1.0f}, {0.80f, 0.55f, 0.35f, 1.0f}, {0.75f, 1.00f, 0.55f, 1.0f}, {1.00f, 0.75f, 0.75f, 1.0f},
    };
    return colours[index % (sizeof colours / sizeof colours[0])];
}

namespace
{
// The name of the transform that holds the selected flight's model, found again in the copies.
const char* const DressedAircraftName = "aircraft model";

osg::MatrixTransform* FindDressedAircraft(osg::Node& root)
{
    if (root.getName() == DressedAircraftName)
        return root.asTransform() ? root.asTransform()->asMatrixTransform() : nullptr;
    if (osg::Group* group = root.asGroup())
        for (unsigned int c = 0; c < group->getNumChildren(); ++c)
            if (osg::MatrixTransform* found = FindDressedAircraft(*group->getChild(c)))
                return found;
    return nullptr;
}
// The log's time (gps_time) at a clock position of `flight`: between two rows, as far on as it is.
double LogTimeAt(const LoadedFlight& flight, double position)
{
    const size_t last = flight.rows.size() - 1;
    const size_t row = std::min(last, static_cast<size_t>(std::max(0.0, std::floor(position))));
    const double along = std::min(1.0, std::max(0.0, position - static_cast<double>(row)));
    return flight.rows[row].gps_time + (row < last ? along * (flight.rows[row + 1].gps_time - flight.rows[row].gps_time) : 0.0);
}
} // namespace

PlayerSession::PlayerSession(const PlayerViewOptions& options, const std::vector<LoadedFlight>& all, const MapFrameValues& frame)
    : clock(LogTimesOf(all.front().Rows()), all.front().summary.step, ReplaySpeedUp), hud(new PlayerHud), axis(TimelineAxisOf(all.front().Rows())), frame(frame),
      plotWords(options.plots), shown(&all.front())
{
    cameraFov = options.cameraFov;
    vehicle = options.vehicle;
    modelChoice = options.model;
    photoCamera = options.photoCamera;
    colourColumn = options.colourColumn;
    ReadPlanFiles(options, all.front());
    if (all.size() >= 2)
    {
        flights = &all;
        onClock = std::make_unique<FlightsOnClock>(AllRows(), options.alignment);
        common = PlaybackClock(onClock->ClockTimes(), onClock->Step(), ReplaySpeedUp);
        ShowFlightSelectionKey();
        hud->ShowKeyLine(true);
        trackColours.by = TrackColourBy::Mode;
        trackColours.title = std::string("flights, aligned ") + AlignmentName(onClock->Alignment());
        if (options.colourBy != TrackColourBy::None)
            fprintf(stderr, "--colour-track: several flights are drawn each in a colour of its own\n");
        std::vector<std::string> names;
        for (size_t i = 0; i < flights->size(); ++i)
            names.push_back(FlightName(i));
        if (const std::string note = onClock->Note(names); !note.empty())
            fprintf(stderr, "%s\n", note.c_str());
        // Each flight's own clock, axis and events, once: selecting a flight then takes them
        // as they are, whatever its length.
        for (const LoadedFlight& flight : all)
        {
            const PlaybackClock own(LogTimesOf(flight.Rows()), flight.summary.step, ReplaySpeedUp);
            const TimelineAxis ownAxis = TimelineAxisOf(flight.Rows());
            studies.push_back(FlightStudy{own, ownAxis, EventTimeline(flight, own, ownAxis)});
        }
    }
    StudyLoadedFlight();
    plots = new PlotStrip(hud->Font());
    plots->SetFlight(shown);
    plots->SetEvents(&events);
    hud->Camera()->addChild(plots->Node());
    if (!plotWords.empty())
    {
        for (const std::string& word : plots->SetSeries(plotWords))
            fprintf(stderr, "--plot: the log has no %s column, so it is not plotted\n", word.c_str());
        plots->SetShown(!plots->Words().empty());
    }
    hud->ShowAttribution(AttributionLines(AttributionFile));
    if (!options.video.empty())
    {
        first = &all.front();
        video = VideoPanel::Open(options.video, options.videoOffsetGiven, options.videoOffset, all.front(), hud->Font());
        if (video)
        {
            hud->Camera()->insertChild(0, video->Node());
            ShowVideoKeys();
            hud->ShowKeyLine(true);
        }
    }
    else if (options.videoOffsetGiven)
        fprintf(stderr, "--video-offset: no --video clip to line up\n");
    const char* path = getenv(DisplayLogVariable);
    if (path)
        displayLog = path;
}

std::vector<FlightRows> PlayerSession::AllRows() const
{
    std::vector<FlightRows> rows;
    for (size_t i = 0; flights && i < flights->size(); ++i)
        rows.push_back((*flights)[i].Rows());
    return rows;
}

std::vector<FlightTiles> PlayerSession::FlightCorridors() const
{
    std::vector<FlightTiles> corridors;
    for (size_t i = 0; flights && i < flights->size(); ++i)
        corridors.push_back(TilesOfFlight((*flights)[i].Rows(), (*flights)[i].Frame()));
    return corridors;
}

void PlayerSession::StudyLoadedFlight()
{
    ReadPlan();
    if (flights)
    {
        clock = studies[selected].clock;
        clock.SetSpeed(common.Speed());
        axis = studies[selected].axis;
        events = studies[selected].events;
    }
    else
        events = EventTimeline(*shown, clock, axis);
    timeline = TimelineView();
    timeline.spans = SelectedSpans(axis);
    for (const ModeSpan& mode : events.Modes())
        timeline.modes.push_back(TimelineMode{TimelineSpan{mode.fromFraction, mode.toFraction}, mode.colour});
    for (const TimelineEvent& event : events.Events())
        timeline.marks.push_back(TimelineMark{event.fraction, event.colour});
    hud->ShowModeLegend(events.ModeLegend());
    if (plots)
        plots->SetEvents(&events);
    timeline.firstLabel = "sample " + std::to_string(axis.first);
    timeline.lastLabel = std::to_string(axis.last);
    MarkVersions();
    if (flights)
    {
        MapTimelineToCommonClock();
        Follow();
    }
}

double PlayerSession::CommonFraction(double flightPosition) const
{
    const double duration = common.DurationSeconds();
    return duration > 0.0 ? common.SecondsAt(onClock->ClockPositionOf(selected, flightPosition)) / duration : 0.0;
}

void PlayerSession::MapTimelineToCommonClock()
{
    const double lastRow = static_cast<double>(shown->rows.size() - 1);
    timeline.spans = {TimelineSpan{CommonFraction(0.0), CommonFraction(lastRow)}};
    timeline.modes.clear();
    for (const ModeSpan& mode : events.Modes())
        timeline.modes.push_back(TimelineMode{TimelineSpan{CommonFraction(clock.PositionAt(mode.fromSeconds)), CommonFraction(clock.PositionAt(mode.toSeconds))}, mode.colour});
    timeline.marks.clear();
    for (const TimelineEvent& event : events.Events())
        timeline.marks.push_back(TimelineMark{CommonFraction(event.position), event.colour});
    timeline.firstLabel = FormatWholeDuration(0.0);
    timeline.lastLabel = FormatWholeDuration(onClock->ClockTimes().back());
    MarkVersions();
}

void PlayerSession::SelectFlight(size_t index)
{
    if (!flights || index >= flights->size() || index == selected)
        return;
    selected = index;
    shown = &(*flights)[selected];
    StudyLoadedFlight();
    plots->SetFlight(shown);
    BuildPlanLayers();
    if (selected < dresses.size() && dressedAircraft.valid())
        PutDress(*dressedAircraft, dresses[selected]);
    if (windsock)
        windsock->MoveTo(TakeOffFoot());
    // The same series for the new flight, as far as its log has them.
    const std::vector<std::string> words = plots->Words().empty() ? plotWords : plots->Words();
    if (!words.empty())
        plots->SetSeries(words);
    legendWidth = legendHeight = 0;
}

void PlayerSession::Follow()
{
    if (!flights)
        return;
    double row = 0.0;
    FlightRow(selected, &row);
    clock.SetSpeed(common.Speed());
    clock.SetLooping(common.Looping());
    if (clock.Paused() != common.Paused())
        clock.SetPaused(common.Paused());
    clock.SetPosition(row);
}

double PlayerSession::CommonSeconds() const
{
    return flights ? onClock->TimeAt(common.Position()) : clock.FlightSeconds();
}

bool PlayerSession::FlightRow(size_t index, double* row) const
{
    if (!flights)
    {
        *row = clock.Position();
        return true;
    }
    return onClock->FlightRowAt(index, common.Position(), row);
}

void PlayerSession::AddFlightsToScene(FlightScene& scene)
{
    if (!flights)
        return;
    scene.root->removeChild(scene.track.get());
    scene.track = new osg::Group;
    for (size_t i = 0; i < flights->size(); ++i)
        scene.track->addChild(BuildTrackInColour((*flights)[i].Rows(), frame, FlightColour(i)).get());
    scene.root->insertChild(1, scene.track.get());
    // The others' aircraft: the same model, seen through, so that the selected one stands out
    // where they cross.
    osg::ref_ptr<osg::StateSet> seeThrough = new osg::StateSet;
    seeThrough->setAttributeAndModes(new osg::BlendColor(osg::Vec4(1.0f, 1.0f, 1.0f, GhostOpacity)), osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    seeThrough->setAttributeAndModes(new osg::BlendFunc(osg::BlendFunc::CONSTANT_ALPHA, osg::BlendFunc::ONE_MINUS_CONSTANT_ALPHA),
                                     osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    seeThrough->setAttributeAndModes(new osg::Depth(osg::Depth::LESS, 0.0, 1.0, false), osg::StateAttribute::ON | osg::StateAttribute::OVERRIDE);
    seeThrough->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    osg::ref_ptr<osg::Group> others = new osg::Group;
    others->setStateSet(seeThrough.get());
    for (size_t i = 0; i < flights->size(); ++i)
    {
        osg::ref_ptr<osg::MatrixTransform> ghost = new osg::MatrixTransform;
        for (unsigned int c = 0; c < scene.aircraftMover->getNumChildren(); ++c)
            ghost->addChild(static_cast<osg::Node*>(scene.aircraftMover->getChild(c)->clone(osg::CopyOp::DEEP_COPY_NODES)));
        // The copy of the selected one's model stands in the copy's transform of that name:
        // each flight's own goes there instead.
        if (!dresses.empty())
        {
            ghostDresses.push_back(DressFor(i));
            if (osg::MatrixTransform* copy = FindDressedAircraft(*ghost))
                PutDress(*copy, ghostDresses.back());
        }
        ghost->setNodeMask(0u);
        others->addChild(ghost.get());
        ghosts.push_back(ghost);
    }
    scene.root->insertChild(scene.root->getChildIndex(scene.aircraftMover.get()), others.get());
}

void PlayerSession::DressAircraft(FlightScene& scene)
{
    dressedAircraft = scene.aircraft.get();
    scene.aircraft->setName(DressedAircraftName);
    worldModelMatrix = scene.aircraft->getMatrix();
    worldModel.clear();
    for (unsigned int c = 0; c < scene.aircraft->getNumChildren(); ++c)
        worldModel.emplace_back(scene.aircraft->getChild(c));
    dresses.clear();
    for (size_t i = 0; i < (flights ? flights->size() : 1); ++i)
        dresses.push_back(DressFor(i));
    PutDress(*scene.aircraft, dresses[selected]);
}

PlayerSession::DressedModel PlayerSession::DressFor(size_t index)
{
    const LoadedFlight& flight = flights ? (*flights)[index] : *shown;
    DressedModel dress;
    dress.kind = vehicle != VehicleKind::Unknown ? vehicle : flight.vehicle.kind;
    for (int32_t kind = static_cast<int32_t>(ColumnKind::out_ppm_curwidth0); kind <= static_cast<int32_t>(ColumnKind::out_ppm_curwidth3); ++kind)
        dress.outputsLogged = dress.outputsLogged || flight.Names(kind);
    std::string message;
    dress.model = BuildFlightModel(dress.kind, modelChoice, frame.k, &dress.rotors, &message);
    if (!message.empty())
    {
        // Said once; every flight then flies its kind's model.
        fprintf(stderr, "%s; drawing the flights' own models\n", message.c_str());
        modelChoice.file.clear();
        dress.model = BuildFlightModel(dress.kind, modelChoice, frame.k, &dress.rotors, &message);
    }
    return dress;
}

void PlayerSession::PutDress(osg::MatrixTransform& aircraft, const DressedModel& dress) const
{
    aircraft.removeChildren(0, aircraft.getNumChildren());
    if (dress.model)
    {
        aircraft.setMatrix(osg::Matrixd::identity());
        aircraft.addChild(dress.model.get());
        return;
    }
    aircraft.setMatrix(worldModelMatrix);
    for (const osg::ref_ptr<osg::Node>& child : worldModel)
        aircraft.addChild(child.get());
}

void PlayerSession::TurnRotorsAt(DressedModel& dress, const LoadedFlight& flight, double position) const
{
    if (dress.rotors.empty() || flight.rows.empty())
        return;
    const size_t row = std::min(flight.rows.size() - 1, static_cast<size_t>(std::max(0.0, std::floor(position))));
    const SampleRow& sample = flight.rows[row];
    const MotorsRunning running = MotorsAt(dress.kind, sample.out_ppm_curwidth, dress.outputsLogged);
    TurnRotors(dress.rotors, LogTimeAt(flight, position), running.lift, running.thrust);
}

void PlayerSession::PlaceAircraft(osg::MatrixTransform& aircraft)
{
    ShowPlanAtClock();
    if (windsock && !shown->rows.empty())
    {
        TimedWind wind;
        const bool known = WindAt(shown->wind, LogTimeAt(*shown, clock.Position()), &wind);
        windsock->Show(known ? &wind : nullptr);
    }
    if (!flights)
    {
        aircraft.setMatrix(AircraftMatrixAt(shown->Rows(), frame, clock.Position()));
        ShowCameraViewAtClock(aircraft, clock.Position(), true);
        if (!dresses.empty())
            TurnRotorsAt(dresses.front(), *shown, clock.Position());
        ShowTrafficAtClock(clock.Position());
        return;
    }
    for (size_t i = 0; i < flights->size(); ++i)
    {
        double row = 0.0;
        const bool flying = FlightRow(i, &row);
        if (i == selected)
        {
            // Held at its nearest end while it has no data, so the cameras stay near it.
            aircraft.setMatrix(AircraftMatrixAt((*flights)[i].Rows(), frame, row));
            aircraft.setNodeMask(flying ? ~0u : 0u);
            ShowCameraViewAtClock(aircraft, row, flying);
            if (i < dresses.size())
                TurnRotorsAt(dresses[i], (*flights)[i], row);
            ShowTrafficAtClock(row);
        }
        if (i < ghosts.size())
        {
            ghosts[i]->setNodeMask(flying && i != selected ? ~0u : 0u);
            if (flying && i != selected)
            {
                ghosts[i]->setMatrix(AircraftMatrixAt((*flights)[i].Rows(), frame, row));
                if (i < ghostDresses.size())
                    TurnRotorsAt(ghostDresses[i], (*flights)[i], row);
            }
        }
    }
}

std::vector<std::string> PlayerSession::Lines() const
{
    const FlightReadout readout = ReadFlightAt(shown->Rows(), clock.Row());
    std::vector<std::string> lines = DisplayLines(readout, clock);
    if (TimedWind wind; WindAt(shown->wind, readout.logTime, &wind))
        lines.push_back(WindLine(wind, readout.heading));
    if (const TimelineEvent* nearest = events.NearestEvent(clock.FlightSeconds()))
        lines.push_back(EventLine(*nearest, clock.FlightSeconds()));
    if (const std::string mission = MissionLine(plan, MissionNow()); !mission.empty())
        lines.push_back(mission);
    if (video)
        lines.push_back(video->Line());
    if (flights)
    {
        double row = 0.0;
        const bool flying = FlightRow(selected, &row);
        char line[512];
        // By time of day the clock is the time the flights were flown; otherwise the time since
        // the first of them began.
        const std::string when = onClock->Alignment() == FlightAlignment::Time
                                     ? FormatUtc(onClock->Origin() + CommonSeconds())
                                     : FormatDuration(CommonSeconds()) + " of " + FormatDuration(onClock->ClockTimes().back());
        snprintf(line, sizeof line, "flight %zu of %zu %s  clock %s, aligned %s%s", selected + 1, flights->size(), FlightName(selected).c_str(), when.c_str(),
                 AlignmentName(onClock->Alignment()), flying ? "" : "  (no data now)");
        lines.push_back(line);
    }
    return lines;
}

void PlayerSession::ReadPlanFiles(const PlayerViewOptions& options, const LoadedFlight& first)
{
    firstPlan = first.plan;
    const size_t notesBefore = firstPlan.notes.size();
    std::string error;
    // The command line read the file once already; a file changed since is told, not fatal.
    if (!options.planFile.empty() && !ReadPlanFile(options.planFile, &firstPlan, &error))
        fprintf(stderr, "--plan: %s\n", error.c_str());
    for (size_t i = notesBefore; i < firstPlan.notes.size(); ++i)
        fprintf(stderr, "plan: %s\n", firstPlan.notes[i].c_str());
    for (const std::string& note : options.airspace.notes)
        fprintf(stderr, "plan: %s\n", note.c_str());
    airspace = options.airspace.airspace;
}

void PlayerSession::ReadPlan()
{
    plan = shown == (flights ? &flights->front() : shown) ? firstPlan : shown->plan;
    plan.airspace.insert(plan.airspace.end(), airspace.begin(), airspace.end());
    shownMoment = MissionMoment();
}

void PlayerSession::MarkVersions()
{
    timeline.versions.clear();
    // A pilot's file has no upload time: only the log's versions are placed.
    const LogTimeIndex index(shown->Rows());
    for (const MissionVersion& version : plan.missions)
    {
        if (!std::isfinite(version.uploaded))
            continue;
        const double position = index.PositionAt(version.uploaded);
        const double fraction = flights ? CommonFraction(position) : TimelineFraction(axis, SampleNumberAtPosition(shown->Rows(), position));
        timeline.versions.push_back(TimelineMark{fraction, RouteColour});
    }
}

void PlayerSession::AddPlanToScene(FlightScene& scene)
{
    planParent = scene.root;
    BuildPlanLayers();
}

void PlayerSession::BuildPlanLayers()
{
    osg::ref_ptr<osg::Group> parent;
    if (!planParent.lock(parent))
        return;
    if (planLayers)
        parent->removeChild(planLayers->Root());
    planLayers.reset();
    if (plan.Empty())
        return;
    const std::vector<SampleRow>& rows = shown->rows;
    PlanSurroundings around;
    around.ground = GroundHeightOf(PagedGround());
    around.takeoffAltitude = rows.front().gps_curalt;
    around.highestAltitude = around.fallbackGround = rows.front().gps_curalt;
    around.south = around.north = rows.front().gps_curlat / 60.0;
    around.west = around.east = rows.front().gps_curlon / 60.0;
    for (const SampleRow& row : rows)
    {
        around.highestAltitude = std::max(around.highestAltitude, row.gps_curalt);
        // Where the terrain has no tiles the flight's lowest point stands for the ground: walls
        // from there reach down no further than the flight did.
        around.fallbackGround = std::min(around.fallbackGround, row.gps_curalt);
        around.south = std::min(around.south, row.gps_curlat / 60.0);
        around.north = std::max(around.north, row.gps_curlat / 60.0);
        around.west = std::min(around.west, row.gps_curlon / 60.0);
        around.east = std::max(around.east, row.gps_curlon / 60.0);
    }
    around.font = hud->Font();
    planLayers = std::make_unique<PlanScene>(plan, frame, around);
    planLayers->SetVisible(planVisible);
    parent->addChild(planLayers->Root());
    shownMoment = MissionMoment();
    shownMoment.version = -2; // nothing shown yet: the first ShowPlanAtClock sets all
    ShowPlanAtClock();
}

void PlayerSession::AddCameraViewToScene(FlightScene& scene)
{
    // Where the terrain has no tiles the view ends on the far ground the backdrop draws there,
    // at the lowest height of the paged terrain.
    const PagedTerrain* paged = dynamic_cast<const PagedTerrain*>(scene.terrain.get());
    const double farGround = paged && frame.k > 0.0 ? paged->LowestHeight() / frame.k : 0.0;
    cameraView = std::make_unique<CameraOnClock>(frame, GroundHeightOf(PagedGround()), farGround, cameraFov);
    scene.root->addChild(cameraView->Root());
    if (!shown->photos.empty())
    {
        double horizontal = 0.0, vertical = 0.0;
        PhotoFieldOfView(photoCamera, cameraFov, &horizontal, &vertical);
        photoFlight = shown;
        photoLayer = std::make_unique<PhotosOnClock>(frame, GroundHeightOf(PagedGround()), farGround, shown->photos, shown->gimbal, shown->rows, horizontal, vertical);
        scene.root->addChild(photoLayer->Root());
    }
}

void PlayerSession::AddWindsockToScene(FlightScene& scene)
{
    windsock = std::make_unique<Windsock>(TakeOffFoot(), frame.k);
    scene.root->addChild(windsock->Node());
}

osg::Vec3d PlayerSession::TakeOffFoot() const
{
    if (shown->rows.empty())
        return osg::Vec3d();
    const SampleRow& first = shown->rows.front();
    double ground = GroundHeightOf(PagedGround())(first.gps_curlat / 60.0, first.gps_curlon / 60.0);
    if (!std::isfinite(ground))
        ground = first.gps_curalt;
    return osg::Vec3d(ScenePosition(frame, first.gps_curlat, first.gps_curlon, ground));
}

void PlayerSession::ToggleCameraView()
{
    if (cameraView)
        cameraView->Toggle();
}

void PlayerSession::ShowCameraViewAtClock(const osg::MatrixTransform& aircraft, double position, bool flying)
{
    if (!cameraView || shown->rows.empty())
        return;
    const double time = LogTimeAt(*shown, position);
    if (photoLayer)
    {
        // Drawn while the flight they were taken on is the one selected.
        photoLayer->Root()->setNodeMask(shown == photoFlight ? ~0u : 0u);
        photoLayer->ShowAt(time);
    }
    cameraView->ShowAt(flying ? shown->gimbal : std::vector<TimedGimbal>(), time, aircraft.getMatrix().getTrans());
}

void PlayerSession::AddLayersToScene(FlightScene& scene)
{
    AddPlanToScene(scene);
    AddCameraViewToScene(scene);
    AddWindsockToScene(scene);
    AddTrafficToScene(scene);
}

void PlayerSession::AddTrafficToScene(FlightScene& scene)
{
    traffic = std::make_unique<TrafficOnClock>(frame, hud->Font());
    scene.root->insertChild(scene.root->getChildIndex(scene.aircraftMover.get()), traffic->Root());
}

void PlayerSession::ShowTrafficAtClock(double position)
{
    if (!traffic || shown->rows.empty())
        return;
    traffic->ShowAt(shown->traffic, LogTimeAt(*shown, position));
}

void PlayerSession::TogglePlan()
{
    planVisible = !planVisible;
    if (planLayers)
        planLayers->SetVisible(planVisible);
}

MissionMoment PlayerSession::MissionNow() const
{
    const int32_t row = std::clamp<int32_t>(clock.Row(), 0, static_cast<int32_t>(shown->rows.size()) - 1);
    return MissionAt(plan, shown->rows[static_cast<size_t>(row)].gps_time);
}

void PlayerSession::ShowPlanAtClock()
{
    if (!planLayers)
        return;
    const MissionMoment moment = MissionNow();
    if (moment == shownMoment)
        return;
    if (moment.version != planLayers->ShownVersion())
        planLayers->ShowVersion(moment.version);
    planLayers->ShowProgress(moment.inForce, moment.reached);
    shownMoment = moment;
}

std::string PlayerSession::FlightName(size_t index) const
{
    const std::string& path = (*flights)[index].name;
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

std::vector<std::string> PlayerSession::FlightLegendLines() const
{
    std::vector<std::string> entries;
    for (size_t i = 0; flights && i < flights->size(); ++i)
    {
        double row = 0.0;
        const bool flying = FlightRow(i, &row);
        const std::vector<SampleRow>& rows = (*flights)[i].rows;
        std::string entry = std::to_string(i + 1) + (i == selected ? "* " : "  ") + FlightName(i);
        entry += flying ? "  sample " + std::to_string(rows[static_cast<size_t>(std::lround(row))].samplenumber) : "  -";
        entries.push_back(entry);
    }
    return entries;
}

void PlayerSession::SetDisplayVisible(bool visible)
{
    hud->SetVisible(visible);
    plots->Node()->setNodeMask(visible && plots->Shown() ? ~0u : 0u);
}

void PlayerSession::TogglePlots()
{
    if (plots->Words().empty())
        plots->SetSeries(DefaultPlotWords(*shown));
    plots->SetShown(!plots->Shown());
    SetDisplayVisible(hud->Visible());
}

TrackColouring PlayerSession::ColourTrack(TrackColourBy by)
{
    // Several flights are told apart by their colours, which their legend names.
    if (flights)
        return TrackColouring();
    if (by != TrackColourBy::Column)
        trackColours = ::ColourTrack(shown->Rows(), by, events.ModeChanges());
    else
    {
        PlotSeries series;
        if (!MakePlotSeries(*shown, colourColumn, &series) || series.curves.size() != 1)
        {
            fprintf(stderr, "--colour-track: %s carries no %s: the track is drawn in one colour\n", FileNameOf(shown->name).c_str(), colourColumn.c_str());
            trackColours = TrackColouring();
        }
        else
        {
            const std::vector<double> values(series.curves.front().values.begin(), series.curves.front().values.end());
            trackColours = ColourTrackByValues(values, series.title, series.unit, series.whole ? 0 : 1);
        }
    }
    legendWidth = legendHeight = 0;
    return trackColours;
}

void PlayerSession::PlaceTrackLegend(int width, int height)
{
    // At the top right, beside the figures at the top left or under them where the window is
    // too narrow for both, down to the plot strip or the bottom strip, whichever is higher.
    const HudLayout layout = LayoutHud(width, height);
    // The flights' names are wider than a mode's: as wide as they need, within reason.
    const double legendWidthPixels = flights ? std::min(0.45 * width, OneColumnLegendWidth(trackColours, layout.textSize))
                                             : std::min(0.3 * width, 24.0 * layout.textSize);
    const osg::BoundingBox& figures = hud->FiguresBox();
    const bool under = figures.valid() && figures.xMax() + layout.textSize > width - layout.textSize - legendWidthPixels;
    const double top = under ? figures.yMin() - 0.5 * layout.textSize : height - layout.textSize;
    const double floor = std::max(layout.stripTop, CoveredBelow(width, height) * height) + layout.textSize;
    if (trackColours.by == TrackColourBy::None || (width == legendWidth && height == legendHeight && floor == legendFloor && top == legendTop))
        return;
    legendWidth = width;
    legendHeight = height;
    legendFloor = floor;
    legendTop = top;
    if (trackLegend)
        hud->Camera()->removeChild(trackLegend.get());
    trackLegend = nullptr;
    // A window too small for the display has no room for its legend either.
    if (!layout.fits)
        return;
    const double legendHeightPixels = std::min(LegendHeight(trackColours, legendWidthPixels, layout.textSize), std::max(top - floor, 0.0));
    osg::ref_ptr<osg::Geode> legend = BuildColourLegend(trackColours, width - layout.textSize - legendWidthPixels, top - legendHeightPixels, legendWidthPixels,
                                                       legendHeightPixels, layout.textSize, hud->Font(), flights ? selected : static_cast<size_t>(-1));
    // Replaced when the window's size changes, maybe while the last frame is still drawn:
    // dynamic, so the viewer finishes drawing it before the next frame's events.
    for (unsigned int i = 0; i < legend->getNumDrawables(); ++i)
        legend->getDrawable(i)->setDataVariance(osg::Object::DYNAMIC);
    trackLegend = legend;
    hud->Camera()->addChild(trackLegend.get());
}

double PlayerSession::CoveredBelow(int width, int height) const
{
    if (!plots->Shown() || plots->Node()->getNodeMask() == 0u || height <= 0)
        return 0.0;
    return LayoutPlotStrip(LayoutHud(width, height), plots->Words().size()).top / height;
}

void PutSceneInItsPlace(osg::Camera& camera, const PanelRect& rect)
{
    const osg::Viewport* now = camera.getViewport();
    if (now && now->x() == rect.left && now->y() == rect.bottom && now->width() == rect.width && now->height() == rect.height)
        return;
    // The place keeps the window's shape, so the projection stays as it is.
    camera.setViewport(rect.left, rect.bottom, rect.width, rect.height);
}

void LiftPicture(osg::Camera& camera, double lift, double* applied)
{
    if (lift == *applied)
        return;
    // In clip coordinates, after the projection, so the field of view stays as it is: a point
    // at the middle of the window (0 in normalised coordinates) moves up to `lift`, the middle
    // of the window's share from `lift` to its top.
    camera.setProjectionMatrix(camera.getProjectionMatrix() * osg::Matrix::translate(0.0, lift - *applied, 0.0));
    *applied = lift;
}

void PlayerSession::SeekSeconds(double seconds)
{
    const int32_t row = static_cast<int32_t>(std::lround(clock.PositionAt(seconds)));
    if (!flights)
        clock.SeekRow(row);
    else
        common.SeekRow(static_cast<int32_t>(std::lround(onClock->ClockPositionOf(selected, row))));
    Follow();
}

void PlayerSession::SeekTimeline(double fraction)
{
    if (!flights)
        clock.SeekRow(RowAtTimelineFraction(shown->Rows(), axis, fraction));
    else
        common.SeekRow(static_cast<int32_t>(std::lround(common.PositionAt(fraction * common.DurationSeconds()))));
    Follow();
}

void PlayerSession::Refresh(int width, int height, bool figures)
{
    // First, so that the display names the frame shown.
    if (video)
    {
        double row = clock.Position();
        const bool flying = !flights || FlightRow(0, &row);
        video->Show(flying ? FlightSecondsAtRow(first->Rows(), row) : std::nan(""), width, height);
    }
    if (figures || shownLines.empty())
    {
        shownLines = Lines();
        if (flights)
        {
            std::vector<std::string> entries = FlightLegendLines();
            if (entries != legendLines)
            {
                legendLines = entries;
                trackColours.entries.clear();
                for (size_t i = 0; i < legendLines.size(); ++i)
                    trackColours.entries.emplace_back(FlightColour(i), legendLines[i]);
                legendWidth = legendHeight = 0;
            }
        }
    }
    if (flights)
        timeline.current = common.DurationSeconds() > 0.0 ? common.FlightSeconds() / common.DurationSeconds() : 0.0;
    else
        timeline.current = TimelineFraction(axis, SampleNumberAtPosition(shown->Rows(), clock.Position()));
    hud->KeepAttributionAbove(CoveredBelow(width, height) * height);
    hud->Show(shownLines, timeline, width, height);
    plots->Show(hud->Layout(), clock);
    PlaceTrackLegend(width, height);
    if (!displayLog.empty() && (shownLines != loggedLines || legendLines != loggedLegend))
        WriteDisplayLog();
}

void PlayerSession::WriteDisplayLog()
{
    loggedLines = shownLines;
    loggedLegend = legendLines;
    // Written beside and renamed over, so a reader never sees half the lines.
    std::vector<std::string> lines = loggedLines;
    lines.insert(lines.end(), legendLines.begin(), legendLines.end());
    const std::string partial = displayLog + ".partial";
    FILE* file = fopen(partial.c_str(), "w");
    if (!file)
        return;
    for (const std::string& line : lines)
        fprintf(file, "%s\n", line.c_str());
    const bool written = fclose(file) == 0;
    if (written)
        rename(partial.c_str(), displayLog.c_str());
}

void ClockedAircraft::operator()(osg::Node* node, osg::NodeVisitor* visitor)
{
    session->PlaceAircraft(*static_cast<osg::MatrixTransform*>(node));
    traverse(node, visitor);
}

namespace
{
// The pointer in the display's pixels, which count from the bottom left. Normalised
// coordinates run from -1 to 1 with y upwards, whatever the window's own orientation.
osg::Vec2d PointerOnDisplay(const osgGA::GUIEventAdapter& event, const HudLayout& layout)
{
    return osg::Vec2d((event.getXnormalized() + 1.0) / 2.0 * layout.width, (event.getYnormalized() + 1.0) / 2.0 * layout.height);
}
} // namespace

bool PlayerControls::FractionUnderPointer(const osgGA::GUIEventAdapter& event, double* fraction) const
{
    const HudLayout& layout = session->hud->Layout();
    if (!session->hud->Visible() || layout.width <= 0.0)
        return false;
    const osg::Vec2d pointer = PointerOnDisplay(event, layout);
    return TimelineFractionAt(layout, pointer.x(), pointer.y(), fraction);
}

void PlayerControls::SeekTimeline(double fraction)
{
    session->SeekTimeline(fraction);
    Refresh(true);
}

void PlayerControls::SeekPlot(double seconds)
{
    session->SeekSeconds(seconds);
    Refresh(true);
}

void PlayerControls::Refresh(bool figures)
{
    const osg::Viewport* viewport = session->hud->Camera()->getViewport();
    if (viewport)
        session->Refresh(static_cast<int>(viewport->width()), static_cast<int>(viewport->height()), figures);
}

bool PlayerControls::handle(const osgGA::GUIEventAdapter& event, osgGA::GUIActionAdapter& actions)
{
    double fraction = 0.0;
    switch (event.getEventType())
    {
    case osgGA::GUIEventAdapter::FRAME:
        if (lastFrameTime >= 0.0)
        {
            session->Transport().Advance(event.getTime() - lastFrameTime);
            session->Follow();
        }
        lastFrameTime = event.getTime();
        if (session->Transport().Paused() || !(event.getTime() - lastFiguresTime < 1.0 / FiguresPerSecond))
        {
            lastFiguresTime = event.getTime();
            Refresh(true);
        }
        else
            Refresh(false);
        if (osgViewer::View* view = dynamic_cast<osgViewer::View*>(&actions))
        {
            const HudLayout& layout = session->hud->Layout();
            LiftPicture(*view->getCamera(), session->CoveredBelow(static_cast<int>(layout.width), static_cast<int>(layout.height)), &lift);
            if (session->Video())
                PutSceneInItsPlace(*view->getCamera(), session->Video()->SceneRect(static_cast<int>(layout.width), static_cast<int>(layout.height)));
        }
        return false;
    case osgGA::GUIEventAdapter::KEYDOWN:
    {
        const PlayerAction action = ActionOfKey(event.getKey());
        if (action == PlayerAction::None)
            return false;
        switch (action)
        {
        case PlayerAction::ToggleDisplay: session->SetDisplayVisible(!session->hud->Visible()); break;
        case PlayerAction::TogglePlots: session->TogglePlots(); break;
        case PlayerAction::CycleSeries: session->plots->CycleLastSeries(); break;
        case PlayerAction::ZoomIn: session->plots->ZoomIn(); break;
        case PlayerAction::ZoomOut: session->plots->ZoomOut(); break;
        case PlayerAction::NextFlight: session->SelectNextFlight(); break;
        case PlayerAction::TogglePlan: session->TogglePlan(); break;
        case PlayerAction::ToggleVideo:
        case PlayerAction::SwapVideo:
        case PlayerAction::VideoEarlier:
        case PlayerAction::VideoLater:
            if (!session->Video())
                return false;
            ApplyVideoAction(action, *session->Video());
            break;
        case PlayerAction::ToggleCameraView: session->ToggleCameraView(); break;
        default:
            ApplyAction(action, session->Transport());
            session->Follow();
            break;
        }
        Refresh(true);
        return true;
    }
    case osgGA::GUIEventAdapter::PUSH:
    {
        if (event.getButton() != osgGA::GUIEventAdapter::LEFT_MOUSE_BUTTON)
            return false;
        double seconds = 0.0;
        const osg::Vec2d pointer = PointerOnDisplay(event, session->hud->Layout());
        if (session->plots->Node()->getNodeMask() != 0u && session->plots->SecondsAt(pointer.x(), pointer.y(), &seconds))
        {
            scrubbingPlot = true;
            SeekPlot(seconds);
            return true;
        }
        if (!FractionUnderPointer(event, &fraction))
            return false;
        scrubbing = true;
        SeekTimeline(fraction);
        return true;
    }
    case osgGA::GUIEventAdapter::DRAG:
    {
        if (scrubbingPlot)
        {
            SeekPlot(session->plots->SecondsAlong(PointerOnDisplay(event, session->hud->Layout()).x()));
            return true;
        }
        if (!scrubbing)
            return false;
        // Above or beside the bar the pointer still seeks: along it, or to the nearer end.
        const HudLayout& layout = session->hud->Layout();
        const double x = PointerOnDisplay(event, layout).x();
        SeekTimeline(std::clamp((x - layout.barLeft) / (layout.barRight - layout.barLeft), 0.0, 1.0));
        return true;
    }
    case osgGA::GUIEventAdapter::RELEASE:
        if (!scrubbing && !scrubbingPlot)
            return false;
        scrubbing = scrubbingPlot = false;
        return true;
    default:
        return false;
    }
}
