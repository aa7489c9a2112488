#include "player/PlayerKeys.h"

#include <string>

#include "player/VideoPanel.h"

#include <osgGA/GUIEventAdapter>

#include "player/PlaybackClock.h"

namespace
{
struct KeyBinding
{
    int key;
    PlayerAction action;
};

using Key = osgGA::GUIEventAdapter::KeySymbol;

// Two keys for some actions: '+' needs the shift key on most keyboards, '=' beside it does
// not; the number pad's own signs count too.
const KeyBinding Bindings[] = {
    {'p', PlayerAction::TogglePause},
    {'-', PlayerAction::Slower},
    {Key::KEY_KP_Subtract, PlayerAction::Slower},
    {'+', PlayerAction::Faster},
    {'=', PlayerAction::Faster},
    {Key::KEY_KP_Add, PlayerAction::Faster},
    {',', PlayerAction::StepBack},
    {'.', PlayerAction::StepForward},
    {Key::KEY_Left, PlayerAction::Back10},
    {Key::KEY_Right, PlayerAction::Forward10},
    {Key::KEY_Page_Down, PlayerAction::Back60},
    {Key::KEY_Page_Up, PlayerAction::Forward60},
    {Key::KEY_Home, PlayerAction::ToStart},
    {'l', PlayerAction::ToggleLoop},
    {'h', PlayerAction::ToggleDisplay},
    {'g', PlayerAction::TogglePlots},
    {'v', PlayerAction::CycleSeries},
    {']', PlayerAction::ZoomIn},
    {'[', PlayerAction::ZoomOut},
    {'n', PlayerAction::NextFlight},
    {'m', PlayerAction::TogglePlan},
    // The video panel's: shown, swapped with the scene, and the clip nudged either way.
    {'c', PlayerAction::ToggleVideo}, {'x', PlayerAction::SwapVideo},
    {'(', PlayerAction::VideoEarlier}, {')', PlayerAction::VideoLater},
    {'k', PlayerAction::ToggleCameraView},
};

const double ShortSeek = 10.0; // seconds of recorded time
const double LongSeek = 60.0;
} // namespace

const char* const PlayerKeyLine = "p pause  -/+ speed  ,/. step  \u2190/\u2192 10 s  PgDn/PgUp 60 s  Home start  l loop  h display  g plots  v series  [/] zoom  m plan  k view  0-4 cam  Esc quit";

const char* const SeveralFlightsKeyLine = "p pause  -/+ speed  ,/. step  \u2190/\u2192 10 s  PgDn/PgUp 60 s  Home start  l loop  h display  g plots  v series  [/] zoom  m plan  k view  n flight  0-4 cam  Esc quit";

static bool flightKeyShown = false;
static bool videoKeysShown = false;
static std::string shownKeyLine = PlayerKeyLine;

// The video's keys go before the cameras', as the flights' key does.
static void ComposeKeyLine()
{
    shownKeyLine = flightKeyShown ? SeveralFlightsKeyLine : PlayerKeyLine;
    if (videoKeysShown)
    {
        const size_t cameras = shownKeyLine.find("  0-4 cam");
        shownKeyLine.insert(cameras == std::string::npos ? shownKeyLine.size() : cameras, "  c video  x swap  (/) offset");
    }
}

const char* ShownKeyLine()
{
    return shownKeyLine.c_str();
}

void ShowFlightSelectionKey()
{
    flightKeyShown = true;
    ComposeKeyLine();
}

void ShowVideoKeys()
{
    videoKeysShown = true;
    ComposeKeyLine();
}

void ApplyVideoAction(PlayerAction action, VideoPanel& video)
{
    switch (action)
    {
    case PlayerAction::ToggleVideo: video.ToggleVisible(); break;
    case PlayerAction::SwapVideo: video.ToggleSwapped(); break;
    case PlayerAction::VideoEarlier: video.Nudge(-VideoNudgeSeconds); break;
    case PlayerAction::VideoLater: video.Nudge(VideoNudgeSeconds); break;
    default: break;
    }
}

PlayerAction ActionOfKey(int key)
{
    for (const KeyBinding& binding : Bindings)
        if (binding.key == key)
            return binding.action;
    return PlayerAction::None;
}

std::vector<int> PlayerKeyCodes()
{
    std::vector<int> keys;
    for (const KeyBinding& binding : Bindings)
        keys.push_back(binding.key);
    return keys;
}

void ApplyAction(PlayerAction action, PlaybackClock& clock)
{
    switch (action)
    {
    case PlayerAction::TogglePause: clock.TogglePause(); break;
    case PlayerAction::Slower: clock.Slower(); break;
    case PlayerAction::Faster: clock.Faster(); break;
    case PlayerAction::StepBack: clock.StepRows(-1); break;
    case PlayerAction::StepForward: clock.StepRows(1); break;
    case PlayerAction::Back10: clock.SeekSeconds(-ShortSeek); break;
    case PlayerAction::Forward10: clock.SeekSeconds(ShortSeek); break;
    case PlayerAction::Back60: clock.SeekSeconds(-LongSeek); break;
    case PlayerAction::Forward60: clock.SeekSeconds(LongSeek); break;
    case PlayerAction::ToStart: clock.ToStart(); break;
    case PlayerAction::ToggleLoop: clock.ToggleLoop(); break;
    case PlayerAction::ToggleDisplay:
    case PlayerAction::TogglePlots:
    case PlayerAction::CycleSeries:
    case PlayerAction::ZoomIn:
    case PlayerAction::ZoomOut:
    case PlayerAction::NextFlight:
    case PlayerAction::TogglePlan:
    case PlayerAction::ToggleVideo:
    case PlayerAction::SwapVideo:
    case PlayerAction::VideoEarlier:
    case PlayerAction::VideoLater:
    case PlayerAction::ToggleCameraView:
    case PlayerAction::None: break;
    }
}
