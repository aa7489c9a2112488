#pragma once
#include <osg/GraphicsContext>
#include <osg/ref_ptr>

// Set-up of the scene-graph library shared by every program of the project that uses it.
// SetUpLibraryNotices is called first thing in main; InstallPatientWindowingSystem before
// the first viewer is realised.

// Unless the user has set OSG_NOTIFY_LEVEL, the library reports only warnings and errors.
// Whatever the level, its messages go to standard error: standard output belongs to the
// program (the replay's transcript, the data tool's converted log).
void SetUpLibraryNotices();

// How often a failing display query or context creation is tried in all. The waits between
// tries double from 5 ms: 155 ms in all when every try fails.
const int DisplayAttempts = 6;

// A windowing system that passes every call on to `library` and tries again, up to
// DisplayAttempts times, when the display could not be reached: no screens counted, a
// screen of 0 x 0, no screen modes listed, or no valid graphics context made. A context
// asked for with a width or height of zero is refused (null) without asking `library`. The
// returned object holds a reference to `library`.
osg::ref_ptr<osg::GraphicsContext::WindowingSystemInterface> MakePatientWindowingSystem(osg::GraphicsContext::WindowingSystemInterface* library);

// Puts a patient windowing system (above) in front of the library's default one, under the
// same name, so that the library's own window set-up, unchanged, goes through it. A display
// that stays out of reach still ends in a viewer that is not realised. Returns false when
// the library has no windowing system at all. Calling it again changes nothing.
bool InstallPatientWindowingSystem();
