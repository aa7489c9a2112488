#pragma once
#include <vector>

class PlaybackClock;

// The player's transport and plot keys. None of them is a key of the viewer the player shares with
// the replay: not a camera mode's (0 to 4), not space (home view), not q or a (the flight
// and drive modes), not the arrows up and down (the drive mode's pitch), not f, < or > (the
// window-size handler), not Escape (the viewer's end).

enum class PlayerAction
{
    None,
    TogglePause,
    Slower,
    Faster,
    StepBack,
    StepForward,
    Back10,
    Forward10,
    Back60,
    Forward60,
    ToStart,
    ToggleLoop,
    ToggleDisplay,
    TogglePlots,
    CycleSeries,
    ZoomIn,
    ZoomOut,
    NextFlight,
    TogglePlan,
    ToggleVideo,
    SwapVideo,
    VideoEarlier,
    VideoLater,
    ToggleCameraView,
};

// The action of an osgGA key code (GUIEventAdapter::getKey), None for any other key.
PlayerAction ActionOfKey(int key);

// Every key code ActionOfKey answers to.
std::vector<int> PlayerKeyCodes();

// The one line of the display that names the keys; with several flights, the one that also
// names the key that selects the next flight.
extern const char* const PlayerKeyLine;
extern const char* const SeveralFlightsKeyLine;
// The line the display shows: SeveralFlightsKeyLine once ShowFlightSelectionKey was called.
const char* ShownKeyLine();
void ShowFlightSelectionKey();
// Adds the video panel's keys to the line shown.
void ShowVideoKeys();

class VideoPanel;
// Carries out a video panel's action on it: shown or hidden, swapped with the scene, the clip
// nudged VideoNudgeSeconds earlier or later.
void ApplyVideoAction(PlayerAction action, VideoPanel& video);

// Carries out an action on the clock: seeks of 10 and 60 s of recorded time, steps of one
// row. The display's, the plots' and the flights' actions, and None, leave it alone.
void ApplyAction(PlayerAction action, PlaybackClock& clock);
