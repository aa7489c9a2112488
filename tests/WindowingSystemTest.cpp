// The patient windowing system in front of a stand-in for the library's own, which fails
// its first calls the way a busy X server makes the real one fail.
#include <gtest/gtest.h>

#include <osgViewer/GraphicsWindow>

#include "viewer/WindowingSystem.h"

namespace
{

using WindowingSystem = osg::GraphicsContext::WindowingSystemInterface;
using ScreenIdentifier = osg::GraphicsContext::ScreenIdentifier;
using ScreenSettings = osg::GraphicsContext::ScreenSettings;

// A context the X11 system gives when its connection failed half-way: made, not valid.
class BrokenWindow : public osgViewer::GraphicsWindowEmbedded
{
public:
    bool valid() const override { return false; }
};

// Fails the first `failures` calls of each kind: no screens, a screen of 0 x 0, no modes,
// a context that is not valid. Counts every call.
class FlakyWindowingSystem : public WindowingSystem
{
public:
    explicit FlakyWindowingSystem(int failures)
        : failures(failures)
    {
        setName("Flaky");
    }

    unsigned int getNumScreens(const ScreenIdentifier&) override
    {
        return ++screenCalls > failures ? 1 : 0;
    }

    void getScreenSettings(const ScreenIdentifier&, ScreenSettings& settings) override
    {
        if (++settingsCalls > failures)
            settings = ScreenSettings(1280, 1024);
    }

    void enumerateScreenSettings(const ScreenIdentifier&, osg::GraphicsContext::ScreenSettingsList& list) override
    {
        if (++modeCalls > failures)
            list.push_back(ScreenSettings(1280, 1024));
    }

    osg::GraphicsContext* createGraphicsContext(osg::GraphicsContext::Traits* traits) override
    {
        if (++contextCalls > failures)
            return new osgViewer::GraphicsWindowEmbedded(traits);
        return new BrokenWindow;
    }

    const int failures;
    int screenCalls = 0;
    int settingsCalls = 0;
    int modeCalls = 0;
    int contextCalls = 0;
};

osg::ref_ptr<osg::GraphicsContext::Traits> WindowTraits(int width, int height)
{
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = new osg::GraphicsContext::Traits;
    traits->width = width;
    traits->height = height;
    return traits;
}

TEST(WindowingSystemTest, FailuresShortOfTheLastTryAreRiddenOut)
{
    osg::ref_ptr<FlakyWindowingSystem> library = new FlakyWindowingSystem(DisplayAttempts - 1);
    osg::ref_ptr<WindowingSystem> patient = MakePatientWindowingSystem(library.get());
    EXPECT_EQ(patient->getName(), "Flaky");

    EXPECT_EQ(patient->getNumScreens(ScreenIdentifier(0)), 1u);
    ScreenSettings settings;
    patient->getScreenSettings(ScreenIdentifier(0), settings);
    EXPECT_EQ(settings.width, 1280);
    EXPECT_EQ(settings.height, 1024);
    osg::GraphicsContext::ScreenSettingsList modes;
    patient->enumerateScreenSettings(ScreenIdentifier(0), modes);
    EXPECT_EQ(modes.size(), 1u);
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = WindowTraits(640, 480);
    osg::ref_ptr<osg::GraphicsContext> context = patient->createGraphicsContext(traits.get());
    ASSERT_TRUE(context.valid());
    EXPECT_TRUE(context->valid());
    EXPECT_EQ(context->getTraits(), traits.get());

    EXPECT_EQ(library->screenCalls, DisplayAttempts);
    EXPECT_EQ(library->settingsCalls, DisplayAttempts);
    EXPECT_EQ(library->modeCalls, DisplayAttempts);
    EXPECT_EQ(library->contextCalls, DisplayAttempts);
}

TEST(WindowingSystemTest, LastingFailureIsPassedOnAfterTheLastTry)
{
    osg::ref_ptr<FlakyWindowingSystem> library = new FlakyWindowingSystem(DisplayAttempts);
    osg::ref_ptr<WindowingSystem> patient = MakePatientWindowingSystem(library.get());

    EXPECT_EQ(patient->getNumScreens(ScreenIdentifier(0)), 0u);
    ScreenSettings settings(800, 600);
    patient->getScreenSettings(ScreenIdentifier(0), settings);
    EXPECT_EQ(settings.width, 0);
    EXPECT_EQ(settings.height, 0);
    osg::GraphicsContext::ScreenSettingsList modes;
    patient->enumerateScreenSettings(ScreenIdentifier(0), modes);
    EXPECT_TRUE(modes.empty());
    osg::ref_ptr<osg::GraphicsContext::Traits> traits = WindowTraits(640, 480);
    EXPECT_EQ(patient->createGraphicsContext(traits.get()), nullptr);

    EXPECT_EQ(library->screenCalls, DisplayAttempts);
    EXPECT_EQ(library->settingsCalls, DisplayAttempts);
    EXPECT_EQ(library->modeCalls, DisplayAttempts);
    EXPECT_EQ(library->contextCalls, DisplayAttempts);
}

TEST(WindowingSystemTest, NoWindowOfZeroSizeIsAskedFor)
{
    osg::ref_ptr<FlakyWindowingSystem> library = new FlakyWindowingSystem(0);
    osg::ref_ptr<WindowingSystem> patient = MakePatientWindowingSystem(library.get());

    osg::ref_ptr<osg::GraphicsContext::Traits> noWidth = WindowTraits(0, 1024);
    osg::ref_ptr<osg::GraphicsContext::Traits> noHeight = WindowTraits(1280, 0);
    EXPECT_EQ(patient->createGraphicsContext(noWidth.get()), nullptr);
    EXPECT_EQ(patient->createGraphicsContext(noHeight.get()), nullptr);
    EXPECT_EQ(library->contextCalls, 0);

    osg::ref_ptr<osg::GraphicsContext::Traits> oneByOne = WindowTraits(1, 1);
    osg::ref_ptr<osg::GraphicsContext> context = patient->createGraphicsContext(oneByOne.get());
    EXPECT_TRUE(context.valid());
    EXPECT_EQ(library->contextCalls, 1);
}

TEST(WindowingSystemTest, InstalledOnceInFrontOfTheLibrarysOwnUnderItsName)
{
    osg::GraphicsContext::WindowingSystemInterfaces::Interfaces& list = osg::GraphicsContext::getWindowingSystemInterfaces()->getInterfaces();
    ASSERT_TRUE(InstallPatientWindowingSystem());
    ASSERT_GE(list.size(), 2u);
    const size_t installed = list.size();
    WindowingSystem* front = list[0].get();
    EXPECT_EQ(osg::GraphicsContext::getWindowingSystemInterface(), front);
    EXPECT_NE(front, list[1].get());
    EXPECT_EQ(front->getName(), list[1]->getName());
    EXPECT_EQ(osg::GraphicsContext::getWindowingSystemInterface(list[1]->getName()), front);

    ASSERT_TRUE(InstallPatientWindowingSystem());
    EXPECT_EQ(list.size(), installed);
    EXPECT_EQ(list[0].get(), front);
}

} // namespace
