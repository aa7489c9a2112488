#include "viewer/WindowingSystem.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include <osg/Notify>

namespace
{

const int FirstWaitMilliseconds = 5; // doubled after every failed try

// Every message of the library, whatever its severity, on standard error.
class StandardErrorNotices : public osg::NotifyHandler
{
public:
    void notify(osg::NotifySeverity, const char* message) override
    {
        fputs(message, stderr);
    }
};

// Runs `attempt` until it reports success or DisplayAttempts tries are used up, waiting
// between tries. Returns the last try's result.
//
// Why: a busy X server refuses a connection now and then (the connect fails with EAGAIN or
// ECONNRESET while its queue of pending connections is full), and the library opens and
// closes several connections in quick succession while it sets up a window. The library
// takes a failed screen query for a screen of 0 x 0 and goes on to ask for a window of that
// size, which the server rejects, and the driver later fails on closing it. A moment later
// the same connection succeeds.
template <typename Attempt>
bool TryPatiently(const char* what, Attempt attempt)
{
    int waitMilliseconds = FirstWaitMilliseconds;
    for (int i = 1;; ++i)
    {
        if (attempt())
            return true;
        if (i == DisplayAttempts)
            return false;
        OSG_INFO << "windowing: " << what << " failed (try " << i << " of " << DisplayAttempts << "), trying again in " << waitMilliseconds << " ms" << std::endl;
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMilliseconds));
        waitMilliseconds *= 2;
    }
}

class PatientWindowingSystem : public osg::GraphicsContext::WindowingSystemInterface
{
public:
    using ScreenIdentifier = osg::GraphicsContext::ScreenIdentifier;
    using ScreenSettings = osg::GraphicsContext::ScreenSettings;

    explicit PatientWindowingSystem(osg::GraphicsContext::WindowingSystemInterface* library)
        : library(library)
    {
        setName(library->getName());
    }

    unsigned int getNumScreens(const ScreenIdentifier& screen) override
    {
        unsigned int count = 0;
        TryPatiently("counting the screens", [&] {
            count = library->getNumScreens(screen);
            return count > 0;
        });
        return count;
    }

    void getScreenSettings(const ScreenIdentifier& screen, ScreenSettings& settings) override
    {
        TryPatiently("reading the screen size", [&] {
            settings = ScreenSettings();
            library->getScreenSettings(screen, settings);
            return settings.width > 0 && settings.height > 0;
        });
    }

    bool setScreenSettings(const ScreenIdentifier& screen, const ScreenSettings& settings) override
    {
        return library->setScreenSettings(screen, settings);
    }

    void enumerateScreenSettings(const ScreenIdentifier& screen, osg::GraphicsContext::ScreenSettingsList& list) override
    {
        TryPatiently("listing the screen modes", [&] {
            list.clear();
            library->enumerateScreenSettings(screen, list);
            return !list.empty();
        });
    }

    void setDisplaySettings(osg::DisplaySettings* settings) override
    {
        library->setDisplaySettings(settings);
    }

    osg::DisplaySettings* getDisplaySettings() const override
    {
        return library->getDisplaySettings();
    }

    osg::GraphicsContext* createGraphicsContext(osg::GraphicsContext::Traits* traits) override
    {
        // Traits of no size come from a screen query that failed for good; the server would
        // reject such a window, and the driver does not survive closing it.
        if (!traits || traits->width <= 0 || traits->height <= 0)
            return nullptr;
        osg::ref_ptr<osg::GraphicsContext> context;
        TryPatiently("making the graphics context", [&] {
            context = library->createGraphicsContext(traits);
            return context.valid() && context->valid();
        });
        if (!context.valid() || !context->valid())
            return nullptr;
        return context.release();
    }

private:
    // Shared with the library's list of windowing systems, which holds it too.
    osg::ref_ptr<osg::GraphicsContext::WindowingSystemInterface> library;
};

} // namespace

void SetUpLibraryNotices()
{
    if (!getenv("OSG_NOTIFY_LEVEL"))
        osg::setNotifyLevel(osg::WARN);
    osg::setNotifyHandler(new StandardErrorNotices);
}

osg::ref_ptr<osg::GraphicsContext::WindowingSystemInterface> MakePatientWindowingSystem(osg::GraphicsContext::WindowingSystemInterface* library)
{
    return new PatientWindowingSystem(library);
}

bool InstallPatientWindowingSystem()
{
    osg::ref_ptr<osg::GraphicsContext::WindowingSystemInterfaces> systems = osg::GraphicsContext::getWindowingSystemInterfaces();
    if (!systems.valid())
        return false;
    // With no name asked for, the library takes the first system of its list.
    osg::GraphicsContext::WindowingSystemInterface* current = systems->getWindowingSystemInterface();
    if (!current)
        return false;
    if (dynamic_cast<PatientWindowingSystem*>(current))
        return true;
    osg::GraphicsContext::WindowingSystemInterfaces::Interfaces& list = systems->getInterfaces();
    list.insert(list.begin(), MakePatientWindowingSystem(current));
    return true;
}
