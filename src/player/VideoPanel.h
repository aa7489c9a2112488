#pragma once
#include <memory>
#include <string>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Image>
#include <osg/Referenced>
#include <osg/ref_ptr>
#include <osgText/Font>
#include <osgText/Text>

#include "flight/LoadedFlight.h"
#include "video/ClipDecoder.h"
#include "video/ClipSync.h"

// The onboard video beside the replay: the clip (`--video CLIP`) in a panel at the top right of
// the window, over the scene, showing the frame of the replay's moment. The clip stands on the
// first flight's clock through its sync (ClipSync.h): `--video-offset`, else the sync file
// beside the clip, else its start at the flight's first row, which the player says.
//
// Swapped, the video fills the window and the scene takes the panel's place, at the window's
// own shape. Outside the clip's span the panel is dark and says where the clip lies; it never
// holds a frame of another moment.

// A rectangle of the window in pixels, origin at the bottom left.
struct PanelRect
{
    double left = 0.0;
    double bottom = 0.0;
    double width = 0.0;
    double height = 0.0;

    double Right() const { return left + width; }
    double Top() const { return bottom + height; }
};

// The panel's share of the window's width, and its margin from the window's edges.
const double VideoPanelShare = 0.32;
const double VideoPanelMargin = 8.0; // pixels
// How far the offset keys move the clip against the flight.
const double VideoNudgeSeconds = 0.1;
// Frames are decoded no wider than this: the panel, swapped, fills a window of this width.
const int VideoDecodeWidth = 960;

// Where the panel lies in a window of width x height for a picture of `aspect` (width over
// height): VideoPanelShare of the width across, at the top right within the margin.
PanelRect VideoPanelRect(double width, double height, double aspect);

// The log's seconds from the first row at a fractional row of `rows` (not a number for none).
double FlightSecondsAtRow(const FlightRows& rows, double row);

class VideoPanel : public osg::Referenced
{
public:
    // Opens `clip` against `flight` (the first), with the offset given on the command line when
    // `offsetGiven`. Null when there is no panel to show, with one line on stderr saying why:
    // a clip that cannot be read or holds no video, or one that lies wholly outside the flight.
    // A sync file that does not apply is said, and the clip lined up at the flight's start.
    static osg::ref_ptr<VideoPanel> Open(const std::string& clip, bool offsetGiven, double offset, const LoadedFlight& flight,
                                         osgText::Font* font);

    // The drawing, for the display's camera (window pixels), beneath the display's own parts.
    osg::Node* Node() const { return root.get(); }

    // A recording waits for each frame so that every run shows the same ones; the player
    // shows what the decoder's thread has ready.
    void SetExact(bool exact) { this->exact = exact; }

    // Shows the frame at the first flight's `flightSeconds` (the log's seconds from its first
    // row; not a number: the flight has no data at the clock) in a window of width x height.
    void Show(double flightSeconds, int width, int height);

    void ToggleVisible() { visible = !visible; }
    bool Visible() const { return visible; }
    void ToggleSwapped() { swapped = !swapped; }
    bool Swapped() const { return visible && swapped; }
    // Moves the clip `seconds` later against the flight.
    void Nudge(double seconds) { sync.offset += seconds; }
    const ClipSync& Sync() const { return sync; }

    // Where the scene is drawn in a window of width x height: the whole window, or swapped the
    // panel's place at the window's shape.
    PanelRect SceneRect(int width, int height) const;

    // The display's line: where the clip stands and its offset against the flight.
    std::string Line() const;
    // The clip second shown (or asked for, outside the clip), and whether it lies inside.
    double ClipSeconds() const { return clipSeconds; }
    bool Inside() const { return frame.inside; }

    // The decoder's time per frame so far (seconds), and the frames it decoded.
    double DecodeSecondsPerFrame() const;

private:
    // Where the clip stands at the clock, for the display and the dark panel.
    std::string Where() const;
    VideoPanel(std::unique_ptr<ClipDecoder> decoder, const ClipSync& sync, const std::string& name, osgText::Font* font);
    void Lay(int width, int height);

    std::unique_ptr<ClipDecoder> decoder;
    ClipSync sync;
    std::string name; // the clip's file name, for the display
    osg::ref_ptr<osg::Geode> root;
    osg::ref_ptr<osg::Geometry> picture; // the frame, textured
    osg::ref_ptr<osg::Geometry> backing; // dark, behind the picture and the note
    osg::ref_ptr<osg::Image> image;
    osg::ref_ptr<osgText::Text> note;    // outside the clip: where it lies
    ClipFrame frame;
    double clipSeconds = 0.0;
    double flightSeconds = 0.0;
    bool hasFlight = true;
    bool exact = false;
    bool visible = true;
    bool swapped = false;
    bool laidSwapped = false;
    int laidWidth = 0;
    int laidHeight = 0;
    bool laidInside = false;
};
