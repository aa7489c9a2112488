#include "player/VideoPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include <osg/Texture2D>

#include "batch/AtomicFile.h"
#include "player/FlightsOnClock.h"
#include "player/HudShapes.h"

namespace
{
// Drawn before the display's boxes, so the figures stay readable over a swapped video.
const int VideoPictureBin = HudBackingBin - 2;
const int VideoBackingBin = HudBackingBin - 3;
const osg::Vec4 VideoBackingColour(0.0f, 0.0f, 0.0f, 0.85f);
// A frame further than this from the clock is another moment's, left from before a seek:
// the panel waits dark for the decoder rather than show it.
const double StaleFrameSeconds = 1.0;

bool Within(const PanelRect& outer, double x, double y)
{
    return x >= outer.left && x <= outer.Right() && y >= outer.bottom && y <= outer.Top();
}

// The rectangle `whole` less `hole`, as the cells of the grid their edges cut (at most eight),
// each as two triangles with the texture's coordinates across `whole` (its top row first).
void AddRectLessHole(std::vector<osg::Vec3>& vertices, std::vector<osg::Vec2>& texture, const PanelRect& whole, const PanelRect* hole)
{
    const double right = whole.Right();
    const double top = whole.Top();
    std::vector<double> xs{whole.left, right};
    std::vector<double> ys{whole.bottom, top};
    if (hole)
    {
        for (double x : {hole->left, hole->Right()})
            xs.push_back(std::clamp(x, whole.left, right));
        for (double y : {hole->bottom, hole->Top()})
            ys.push_back(std::clamp(y, whole.bottom, top));
    }
    std::sort(xs.begin(), xs.end());
    std::sort(ys.begin(), ys.end());
    for (size_t i = 0; i + 1 < xs.size(); ++i)
        for (size_t j = 0; j + 1 < ys.size(); ++j)
        {
            const double x0 = xs[i], x1 = xs[i + 1], y0 = ys[j], y1 = ys[j + 1];
            if (x1 - x0 <= 0.0 || y1 - y0 <= 0.0 || (hole && Within(*hole, (x0 + x1) / 2, (y0 + y1) / 2)))
                continue;
            for (auto [x, y] : {std::pair{x0, y0}, {x1, y0}, {x1, y1}, {x0, y0}, {x1, y1}, {x0, y1}})
            {
                vertices.emplace_back(x, y, 0.0);
                texture.emplace_back((x - whole.left) / whole.width, (top - y) / whole.height);
            }
        }
}

osg::ref_ptr<osg::Geometry> MakeGeometry(int bin)
{
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    geometry->setDataVariance(osg::Object::DYNAMIC);
    geometry->getOrCreateStateSet()->setRenderBinDetails(bin, "RenderBin");
    return geometry;
}

void SetTriangles(osg::Geometry& geometry, const std::vector<osg::Vec3>& vertices, const std::vector<osg::Vec2>* texture, const osg::Vec4& colour)
{
    geometry.setVertexArray(new osg::Vec3Array(vertices.begin(), vertices.end()));
    if (texture)
        geometry.setTexCoordArray(0, new osg::Vec2Array(texture->begin(), texture->end()));
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(colour);
    geometry.setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    geometry.removePrimitiveSet(0, geometry.getNumPrimitiveSets());
    geometry.addPrimitiveSet(new osg::DrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size())));
    geometry.dirtyBound();
}

} // namespace

double FlightSecondsAtRow(const FlightRows& rows, double row)
{
    if (rows.empty())
        return std::numeric_limits<double>::quiet_NaN();
    const double first = rows[0].gps_time;
    const int32_t below = std::clamp(static_cast<int32_t>(std::floor(row)), 0, rows.count - 1);
    const int32_t above = std::min(below + 1, rows.count - 1);
    const double share = std::clamp(row - below, 0.0, 1.0);
    return rows[below].gps_time + (rows[above].gps_time - rows[below].gps_time) * share - first;
}

PanelRect VideoPanelRect(double width, double height, double aspect)
{
    PanelRect rect;
    rect.width = std::max(1.0, width * VideoPanelShare);
    rect.height = rect.width / (aspect > 0.0 ? aspect : 16.0 / 9.0);
    // A picture taller than the window's upper half is held to it, narrower.
    if (rect.height > height / 2.0)
    {
        rect.height = std::max(1.0, height / 2.0);
        rect.width = rect.height * aspect;
    }
    rect.left = width - VideoPanelMargin - rect.width;
    rect.bottom = height - VideoPanelMargin - rect.height;
    return rect;
}

osg::ref_ptr<VideoPanel> VideoPanel::Open(const std::string& clip, bool offsetGiven, double offset, const LoadedFlight& flight, osgText::Font* font)
{
    std::string error;
    std::unique_ptr<ClipDecoder> decoder = ClipDecoder::Open(clip, VideoDecodeWidth, &error);
    if (!decoder)
    {
        fprintf(stderr, "--video: %s %s; the replay goes on without the video\n", clip.c_str(), error.c_str());
        return nullptr;
    }
    ClipSync sync;
    const std::string syncPath = ClipSyncPath(clip);
    ClipSync fitted;
    std::string why;
    if (ReadClipSync(syncPath, &fitted, &why))
    {
        double startUtc = -1.0;
        if (!flight.rows.empty() && !RowUtcSeconds(flight.rows.front(), &startUtc))
            startUtc = -1.0;
        if (!SyncForFlight(fitted, flight.name, startUtc, &sync, &why) && !offsetGiven)
            fprintf(stderr, "--video: %s does not apply to %s: %s; the clip starts at the flight's first row\n", syncPath.c_str(), flight.name.c_str(), why.c_str());
    }
    else if (!why.empty())
        fprintf(stderr, "--video: %s; the clip starts at the flight's first row\n", why.c_str());
    else if (!offsetGiven)
        fprintf(stderr, "--video: no %s beside the clip: it starts at the flight's first row (flightreplay-data sync finds its offset, --video-offset sets it)\n",
                syncPath.c_str());
    if (offsetGiven)
    {
        sync.offset = offset;
        sync.method = "by hand";
    }
    const double flightSpan = flight.rows.empty() ? 0.0 : flight.rows.back().gps_time - flight.rows.front().gps_time;
    const double clipEnd = sync.FlightSecondsAt(decoder->Duration());
    if (!(clipEnd > 0.0 && sync.offset <= flightSpan))
    {
        fprintf(stderr, "--video: %s lies outside the flight: its %.1f s begin at the flight's second %.1f, and the flight lasts %.1f s; the replay goes on without the video\n",
                clip.c_str(), decoder->Duration(), sync.offset, flightSpan);
        return nullptr;
    }
    return new VideoPanel(std::move(decoder), sync, FileNameOf(clip), font);
}

VideoPanel::VideoPanel(std::unique_ptr<ClipDecoder> decoder, const ClipSync& sync, const std::string& name, osgText::Font* font)
    : decoder(std::move(decoder)), sync(sync), name(name)
{
    root = new osg::Geode;
    backing = MakeGeometry(VideoBackingBin);
    picture = MakeGeometry(VideoPictureBin);
    image = new osg::Image;
    image->allocateImage(this->decoder->Width(), this->decoder->Height(), 1, GL_RGB, GL_UNSIGNED_BYTE);
    image->setInternalTextureFormat(GL_RGB8);
    std::fill(image->data(), image->data() + image->getTotalSizeInBytes(), 0);
    image->setDataVariance(osg::Object::DYNAMIC);
    osg::ref_ptr<osg::Texture2D> texture = new osg::Texture2D(image.get());
    texture->setResizeNonPowerOfTwoHint(false);
    texture->setFilter(osg::Texture::MIN_FILTER, osg::Texture::LINEAR);
    texture->setFilter(osg::Texture::MAG_FILTER, osg::Texture::LINEAR);
    texture->setWrap(osg::Texture::WRAP_S, osg::Texture::CLAMP_TO_EDGE);
    texture->setWrap(osg::Texture::WRAP_T, osg::Texture::CLAMP_TO_EDGE);
    osg::StateSet* state = picture->getOrCreateStateSet();
    state->setTextureAttributeAndModes(0, texture.get());
    state->setMode(GL_BLEND, osg::StateAttribute::OFF);
    state->setDataVariance(osg::Object::DYNAMIC);
    note = MakeHudText(font);
    note->setAlignment(osgText::Text::CENTER_CENTER);
    note->setDataVariance(osg::Object::DYNAMIC);
    root->addDrawable(backing.get());
    root->addDrawable(picture.get());
    root->addDrawable(note.get());
}

PanelRect VideoPanel::SceneRect(int width, int height) const
{
    if (!Swapped())
        return PanelRect{0.0, 0.0, static_cast<double>(width), static_cast<double>(height)};
    return VideoPanelRect(width, height, static_cast<double>(width) / std::max(1, height));
}

void VideoPanel::Show(double seconds, int width, int height)
{
    hasFlight = std::isfinite(seconds);
    flightSeconds = seconds;
    clipSeconds = hasFlight ? sync.ClipSecondsAt(seconds) : std::numeric_limits<double>::quiet_NaN();
    root->setNodeMask(visible ? ~0u : 0u);
    if (!visible)
        return;
    const bool inClip = hasFlight && clipSeconds >= 0.0 && clipSeconds < decoder->Duration();
    ClipFrame next;
    if (!inClip)
        frame = ClipFrame();
    else if (exact)
        decoder->FrameAt(clipSeconds, &frame);
    else
    {
        decoder->Request(clipSeconds);
        if (decoder->Take(&next))
            frame = std::move(next);
        if (frame.inside && std::fabs(frame.seconds - clipSeconds) > StaleFrameSeconds)
            frame = ClipFrame();
    }
    if (frame.inside && frame.rgb.size() == image->getTotalSizeInBytes())
    {
        std::copy(frame.rgb.begin(), frame.rgb.end(), image->data());
        image->dirty();
    }
    Lay(width, height);
}

void VideoPanel::Lay(int width, int height)
{
    const bool inside = frame.inside;
    if (width == laidWidth && height == laidHeight && Swapped() == laidSwapped && inside == laidInside && (inside || !note->getText().empty()))
    {
        if (!inside)
            SetTextIfChanged(*note, Where());
        return;
    }
    laidWidth = width;
    laidHeight = height;
    laidSwapped = Swapped();
    laidInside = inside;
    const double w = width, h = height;
    std::vector<osg::Vec3> vertices;
    std::vector<osg::Vec2> texture;
    PanelRect area; // where the picture goes
    if (laidSwapped)
    {
        // The whole window, the picture at its own shape in the middle, the scene's inset left
        // open.
        const PanelRect scene = SceneRect(width, height);
        const PanelRect window{0.0, 0.0, w, h};
        AddRectLessHole(vertices, texture, window, &scene);
        SetTriangles(*backing, vertices, nullptr, osg::Vec4(0.0f, 0.0f, 0.0f, 1.0f));
        area.width = std::min(w, h * decoder->Aspect());
        area.height = area.width / decoder->Aspect();
        area.left = (w - area.width) / 2.0;
        area.bottom = (h - area.height) / 2.0;
        vertices.clear();
        texture.clear();
        AddRectLessHole(vertices, texture, area, &scene);
    }
    else
    {
        area = VideoPanelRect(w, h, decoder->Aspect());
        AddRectLessHole(vertices, texture, area, nullptr);
        SetTriangles(*backing, vertices, nullptr, VideoBackingColour);
    }
    SetTriangles(*picture, vertices, &texture, osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f));
    picture->setNodeMask(inside ? ~0u : 0u);
    note->setNodeMask(inside ? 0u : ~0u);
    note->setCharacterSize(static_cast<float>(std::clamp(area.height / 10.0, 10.0, 22.0)));
    note->setPosition(osg::Vec3(area.left + area.width / 2.0, area.bottom + area.height / 2.0, 0.0));
    note->setMaximumWidth(static_cast<float>(area.width * 0.9));
    SetTextIfChanged(*note, inside ? "" : Where());
}

std::string VideoPanel::Where() const
{
    char where[160];
    const double duration = decoder->Duration();
    if (!hasFlight)
        snprintf(where, sizeof where, "the first flight has no data at the clock");
    else if (clipSeconds < 0.0)
        snprintf(where, sizeof where, "the clip starts in %.1f s", -clipSeconds / sync.rate);
    else if (clipSeconds >= duration)
        snprintf(where, sizeof where, "the clip ended %.1f s ago", (clipSeconds - duration) / sync.rate);
    else
        snprintf(where, sizeof where, "%.2f s of %.1f s", frame.inside ? frame.seconds : clipSeconds, duration);
    return where;
}

std::string VideoPanel::Line() const
{
    char line[400];
    char rate[48] = "";
    if (std::fabs(sync.rate - 1.0) > 1e-9)
        snprintf(rate, sizeof rate, ", rate %.5f", sync.rate);
    // A fitted offset a hair below zero reads as +0.0, not -0.0.
    const double offset = std::fabs(sync.offset) < 0.05 ? 0.0 : sync.offset;
    snprintf(line, sizeof line, "video %s: %s  offset %+.1f s (%s%s)", name.c_str(), Where().c_str(), offset, sync.method.c_str(), rate);
    return line;
}

double VideoPanel::DecodeSecondsPerFrame() const
{
    const int64_t frames = decoder->FramesDecoded();
    return frames > 0 ? decoder->DecodeSeconds() / frames : 0.0;
}
