#include "video/SyncFit.h"

#include <algorithm>
#include <cstdio>

#include "geo/Geodesy.h"
#include "geo/LinearSystem.h"
#include "track/TrackReading.h"

namespace
{

// Positions in metres on a plane tangent at the flight's first position: a clip's length of
// flight is small enough for the plane to be exact to well under the GPS's own error.
struct Plane
{
    double latitude0 = 0.0, longitude0 = 0.0, eastScale = 1.0;
    double East(double longitude) const { return (longitude - longitude0) * RadiansPerDegree * EarthRadius * eastScale; }
    double North(double latitude) const { return (latitude - latitude0) * RadiansPerDegree * EarthRadius; }
};

struct Point
{
    double x = 0.0, y = 0.0, z = NAN, speed = NAN;
    bool known = false;
};

// The flight's positions on its own seconds, sorted, with the gaps over which it is not
// interpolated.
class FlightTrack
{
public:
    FlightTrack(const FlightRows& rows, Plane* plane)
    {
        bool first = true;
        for (const SampleRow& row : rows)
        {
            const double latitude = row.gps_curlat / 60.0, longitude = row.gps_curlon / 60.0;
            const double t = row.gps_time - rows[0].gps_time;
            if (!std::isfinite(latitude) || !std::isfinite(longitude) || (latitude == 0.0 && longitude == 0.0) || !std::isfinite(t))
                continue;
            if (first)
            {
                plane->latitude0 = latitude;
                plane->longitude0 = longitude;
                plane->eastScale = std::cos(latitude * RadiansPerDegree);
                first = false;
            }
            samples.push_back({t, plane->East(longitude), plane->North(latitude), row.gps_curalt});
        }
        std::stable_sort(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.t < b.t; });
        samples.erase(std::unique(samples.begin(), samples.end(), [](const Sample& a, const Sample& b) { return a.t == b.t; }), samples.end());
        // Rows further apart than several of the flight's usual steps leave a gap, not a line.
        std::vector<double> steps;
        for (size_t i = 1; i < samples.size(); ++i)
            steps.push_back(samples[i].t - samples[i - 1].t);
        double median = 1.0;
        if (!steps.empty())
        {
            std::nth_element(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(steps.size() / 2), steps.end());
            median = steps[steps.size() / 2];
        }
        longestStep = std::max(5.0, 5.0 * median);
    }

    bool Empty() const { return samples.size() < 2; }
    double Start() const { return samples.front().t; }
    double End() const { return samples.back().t; }

    // Linear between the rows either side of `t`; the ground speed from a second around it.
    Point At(double t) const
    {
        Point point = Position(t);
        if (point.known)
        {
            const Point before = Position(t - SpeedSpan / 2), after = Position(t + SpeedSpan / 2);
            if (before.known && after.known)
                point.speed = std::hypot(after.x - before.x, after.y - before.y) / SpeedSpan;
        }
        return point;
    }

private:
    struct Sample
    {
        double t, x, y, z;
    };
    static constexpr double SpeedSpan = 1.0;

    Point Position(double t) const
    {
        Point point;
        if (samples.size() < 2 || !(t >= samples.front().t) || !(t <= samples.back().t))
            return point;
        const auto after = std::upper_bound(samples.begin(), samples.end(), t, [](double time, const Sample& s) { return time < s.t; });
        const Sample& b = after == samples.end() ? samples.back() : *after;
        const Sample& a = after == samples.end() ? samples[samples.size() - 2] : *(after - 1);
        if (b.t - a.t > longestStep)
            return point;
        const double f = (t - a.t) / (b.t - a.t);
        point.x = a.x + f * (b.x - a.x);
        point.y = a.y + f * (b.y - a.y);
        point.z = a.z + f * (b.z - a.z);
        point.known = true;
        return point;
    }

    std::vector<Sample> samples;
    double longestStep = 5.0;
};

// The same track on a regular grid of its seconds, for the coarse search's many offsets.
class GriddedTrack
{
public:
    GriddedTrack(const FlightTrack& track, double step) : start(track.Start()), step(step)
    {
        const size_t count = static_cast<size_t>((track.End() - start) / step) + 1;
        points.reserve(count);
        for (size_t i = 0; i < count; ++i)
            points.push_back(track.At(start + static_cast<double>(i) * step));
    }
    const Point& At(double t) const
    {
        static const Point none;
        const double index = std::round((t - start) / step);
        return index >= 0 && index < static_cast<double>(points.size()) ? points[static_cast<size_t>(index)] : none;
    }

private:
    double start, step;
    std::vector<Point> points;
};

struct ClipPoint
{
    double c, x, y, z, speed;
};

// The sums of one placing's differences; the heights' mean difference comes out of their own.
struct Differences
{
    size_t matched = 0, heights = 0, speeds = 0;
    double horizontal = 0.0, height = 0.0, heightSquares = 0.0, speed = 0.0;
    double firstClip = INFINITY, lastClip = -INFINITY;

    void Add(const ClipPoint& clip, const Point& flight)
    {
        if (!flight.known)
            return;
        ++matched;
        horizontal += (clip.x - flight.x) * (clip.x - flight.x) + (clip.y - flight.y) * (clip.y - flight.y);
        if (std::isfinite(clip.z) && std::isfinite(flight.z))
        {
            ++heights;
            height += clip.z - flight.z;
            heightSquares += (clip.z - flight.z) * (clip.z - flight.z);
        }
        if (std::isfinite(clip.speed) && std::isfinite(flight.speed))
        {
            ++speeds;
            speed += (clip.speed - flight.speed) * (clip.speed - flight.speed);
        }
        firstClip = std::min(firstClip, clip.c);
        lastClip = std::max(lastClip, clip.c);
    }
    double Bias() const { return heights ? height / static_cast<double>(heights) : 0.0; }
    double PositionSquares() const { return horizontal + (heights ? std::max(0.0, heightSquares - height * height / static_cast<double>(heights)) : 0.0); }
    double Rms() const { return matched ? std::sqrt(PositionSquares() / static_cast<double>(matched)) : INFINITY; }
    double Score(double speedWeight) const { return matched ? (PositionSquares() + speedWeight * speedWeight * speed) / static_cast<double>(matched) : INFINITY; }
};

template <typename Track>
Differences Compare(const std::vector<ClipPoint>& clip, const Track& track, double offset, double rate)
{
    Differences differences;
    for (const ClipPoint& point : clip)
        differences.Add(point, track.At(offset + point.c / rate));
    return differences;
}

struct Placing
{
    double offset;
    double rms;
    double score;
};

// The least-squares problem of the refinement, over offset o, inverse rate u and the heights'
// bias b: per cue two residuals across, one of height and one of speed where both know them.
struct Refinement
{
    const std::vector<ClipPoint>& clip;
    const FlightTrack& track;
    double speedWeight;

    double Squares(double o, double u, double b) const
    {
        double sum = 0.0;
        for (const ClipPoint& point : clip)
        {
            const Point flight = track.At(o + point.c * u);
            if (!flight.known)
                continue;
            sum += (point.x - flight.x) * (point.x - flight.x) + (point.y - flight.y) * (point.y - flight.y);
            if (std::isfinite(point.z) && std::isfinite(flight.z))
                sum += (point.z - flight.z - b) * (point.z - flight.z - b);
            if (std::isfinite(point.speed) && std::isfinite(flight.speed))
                sum += speedWeight * speedWeight * (point.speed - flight.speed) * (point.speed - flight.speed);
        }
        return sum;
    }

    // The normal equations' matrix and right-hand side. The track's rate of change is taken
    // over a second around each time: a GPS's scatter between rows a tenth of a second apart
    // would make the row-to-row velocity mostly noise, and the step with it.
    void Normal(double o, double u, double b, double a[3][3], double g[3]) const
    {
        for (int p = 0; p < 3; ++p)
        {
            g[p] = 0.0;
            for (int q = 0; q < 3; ++q)
                a[p][q] = 0.0;
        }
        const auto add = [&](double residual, const double j[3]) {
            for (int p = 0; p < 3; ++p)
            {
                g[p] -= j[p] * residual;
                for (int q = 0; q < 3; ++q)
                    a[p][q] += j[p] * j[q];
            }
        };
        const double h = 0.5;
        for (const ClipPoint& point : clip)
        {
            const double t = o + point.c * u;
            const Point flight = track.At(t), before = track.At(t - h), after = track.At(t + h);
            if (!flight.known || !before.known || !after.known)
                continue;
            // d(residual)/do = -d(flight)/dt, d(residual)/du = -c d(flight)/dt.
            const auto along = [&](double change, double bias) {
                const double j[3] = {-change, -change * point.c, bias};
                return std::vector<double>(j, j + 3);
            };
            const std::vector<double> jx = along((after.x - before.x) / (2 * h), 0.0), jy = along((after.y - before.y) / (2 * h), 0.0);
            add(point.x - flight.x, jx.data());
            add(point.y - flight.y, jy.data());
            if (std::isfinite(point.z) && std::isfinite(flight.z) && std::isfinite(before.z) && std::isfinite(after.z))
                add(point.z - flight.z - b, along((after.z - before.z) / (2 * h), -1.0).data());
            if (std::isfinite(point.speed) && std::isfinite(flight.speed) && std::isfinite(before.speed) && std::isfinite(after.speed))
                add(speedWeight * (point.speed - flight.speed), along(speedWeight * (after.speed - before.speed) / (2 * h), 0.0).data());
        }
    }
};

// Gauss-Newton over (offset, 1 / rate, height bias), from a placing at rate 1, over the cues
// that lie well inside the flight there (so that the set does not change as the fit moves);
// a step that does not lower the sum of squares is halved until it does.
void Refine(const std::vector<ClipPoint>& clip, const FlightTrack& track, double speedWeight, double* offset, double* rate)
{
    std::vector<ClipPoint> inside;
    for (const ClipPoint& point : clip)
    {
        const double t = *offset + point.c / *rate;
        if (t > track.Start() + 2.0 && t < track.End() - 2.0 && track.At(t).known)
            inside.push_back(point);
    }
    if (inside.size() < 3)
        return;
    const Refinement problem{inside, track, speedWeight};
    double o = *offset, u = 1.0 / *rate, b = Compare(inside, track, o, *rate).Bias();
    double squares = problem.Squares(o, u, b);
    for (int iteration = 0; iteration < 50; ++iteration)
    {
        double a[3][3], g[3], step[3];
        problem.Normal(o, u, b, a, g);
        if (a[2][2] == 0.0)
            a[2][2] = 1.0; // no heights: the bias stays where it is
        if (!SolveThreeByThree(a, g, step, 1e-300))
            break;
        // Never a step of more than a second, nor a rate off by more than a tenth.
        step[0] = std::clamp(step[0], -1.0, 1.0);
        bool lower = false;
        for (int halving = 0; halving < 20 && !lower; ++halving)
        {
            const double no = o + step[0], nu = std::clamp(u + step[1], 1.0 / 1.1, 1.0 / 0.9), nb = b + step[2];
            const double next = problem.Squares(no, nu, nb);
            if (next < squares)
            {
                lower = true;
                o = no;
                u = nu;
                b = nb;
                squares = next;
            }
            else
                for (double& each : step)
                    each /= 2.0;
        }
        if (!lower || (std::fabs(step[0]) < 1e-7 && std::fabs(step[1]) * (inside.back().c - inside.front().c) < 1e-7))
            break;
    }
    *offset = o;
    *rate = 1.0 / u;
}

std::string Format(const char* format, double a, double b = 0.0, double c = 0.0)
{
    char text[256];
    snprintf(text, sizeof text, format, a, b, c);
    return text;
}

} // namespace

SyncFitResult FitClipToFlight(const std::vector<SrtCue>& cues, const FlightRows& rows, const SyncFitLimits& limits)
{
    SyncFitResult result;
    result.cues = cues.size();
    Plane plane;
    const FlightTrack track(rows, &plane);
    if (track.Empty())
    {
        result.why = "the flight has fewer than two positions";
        return result;
    }
    if (cues.size() < 2)
    {
        result.why = "the clip's telemetry has fewer than two positions";
        return result;
    }
    std::vector<ClipPoint> clip;
    for (const SrtCue& cue : cues)
        clip.push_back({cue.clipSeconds, plane.East(cue.longitude), plane.North(cue.latitude), cue.altitude, cue.speed});
    std::sort(clip.begin(), clip.end(), [](const ClipPoint& a, const ClipPoint& b) { return a.c < b.c; });
    // A clip's cues come once a frame: some hundreds spread over it tell the coarse search as much.
    const size_t most = 400, stride = (clip.size() + most - 1) / most;
    std::vector<ClipPoint> coarseClip;
    for (size_t i = 0; i < clip.size(); i += stride)
        coarseClip.push_back(clip[i]);

    // Every offset that leaves the clip's cues over the flight for long enough, at rate 1: half
    // the clip, or half the flight when the clip outlasts it (a camera left running).
    const double clipSpan = clip.back().c - clip.front().c, flightSpan = track.End() - track.Start();
    const double leastShare = clipSpan > 0.0 ? std::min(limits.leastOverlap, limits.leastOverlap * flightSpan / clipSpan) : limits.leastOverlap;
    // A log whose clock spans days (a glitched one) is searched more coarsely rather than for ever.
    const GriddedTrack grid(track, std::max(0.1, flightSpan / 5e5));
    const double first = track.Start() - clip.back().c, last = track.End() - clip.front().c;
    const double coarseStep = std::max(limits.coarseStep, (last - first) / 5e5);
    std::vector<Placing> placings;
    for (double offset = std::floor(first / coarseStep) * coarseStep; offset <= last; offset += coarseStep)
    {
        const Differences differences = Compare(coarseClip, grid, offset, 1.0);
        if (static_cast<double>(differences.matched) >= leastShare * static_cast<double>(coarseClip.size()) && differences.matched >= 2)
            placings.push_back({offset, differences.Rms(), differences.Score(limits.speedWeight)});
    }
    if (placings.empty())
    {
        result.why = "the clip and the flight never have half the shorter one's length in common";
        return result;
    }
    const Placing best = *std::min_element(placings.begin(), placings.end(), [](const Placing& a, const Placing& b) { return a.score < b.score; });

    // Refined: the best coarse placing's neighbourhood on the flight's own rows, then both together.
    double offset = best.offset, rate = 1.0, bestScore = INFINITY;
    for (double shift = -coarseStep; shift <= coarseStep + 1e-9; shift += coarseStep / 25.0)
    {
        const double score = Compare(clip, track, best.offset + shift, 1.0).Score(limits.speedWeight);
        if (score < bestScore)
        {
            bestScore = score;
            offset = best.offset + shift;
        }
    }
    Refine(clip, track, limits.speedWeight, &offset, &rate);
    const Differences fitted = Compare(clip, track, offset, rate);
    result.offset = offset;
    result.rate = rate;
    result.rmsMetres = fitted.Rms();
    result.heightBias = fitted.Bias();
    result.overlapShare = static_cast<double>(fitted.matched) / static_cast<double>(clip.size());
    result.overlapSeconds = fitted.matched ? fitted.lastClip - fitted.firstClip : 0.0;

    if (!(result.rmsMetres <= limits.noFitRms))
    {
        result.why = Format("the tracks stay %.0f m apart at their closest (more than %.0f m): no flight in common", result.rmsMetres, limits.noFitRms);
        return result;
    }
    // (The refined placing may lie a fraction of a second off the coarse one, and lose a cue or two.)
    if (result.overlapShare < leastShare * 0.9)
    {
        result.why = Format("only %.0f %% of the clip lies over the flight", 100.0 * result.overlapShare);
        return result;
    }
    // Another placing, well away from this one, that fits nearly as well: the clip's track
    // does not tell them apart.
    const double near = std::max(best.rms * limits.rivalShare, best.rms + limits.rivalMetres);
    const Placing* rival = nullptr;
    for (const Placing& placing : placings)
        if (std::fabs(placing.offset - best.offset) >= limits.distinctOffset && placing.rms <= near && (!rival || placing.rms < rival->rms))
            rival = &placing;
    if (rival)
    {
        result.verdict = SyncFitVerdict::Ambiguous;
        result.rivalOffset = rival->offset;
        result.rivalRms = rival->rms;
        result.why = Format("the clip fits as well at %.1f s (%.1f m) as at %.1f s: its track (a hover, a repeated path?) cannot place it", rival->offset, rival->rms, offset);
        return result;
    }
    result.verdict = SyncFitVerdict::Fitted;
    return result;
}
