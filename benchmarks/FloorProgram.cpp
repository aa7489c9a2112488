// The floor of start-up: run in a world directory, it does only the work that replaying
// that world cannot avoid (StartupFloor.h), then realises a window and draws one frame.
// The benchmark compares the whole process against the replay's command to first frame.
#include <cstdio>

#include <osgGA/TrackballManipulator>
#include <osgViewer/Viewer>

#include "StartupFloor.h"
#include "viewer/WindowingSystem.h"

int main()
{
    SetUpLibraryNotices();
    StartupFloorScene scene = BuildStartupFloorScene();
    if (scene.imageCount == 0)
    {
        fprintf(stderr, "floor: no imagery under ./img: run it in a world directory\n");
        return 1;
    }

    // The same window set-up as the replay's, so that both meet a busy display alike.
    InstallPatientWindowingSystem();
    osgViewer::Viewer viewer;
    viewer.setSceneData(scene.root.get());
    viewer.setCameraManipulator(new osgGA::TrackballManipulator);
    viewer.realize();
    if (!viewer.isRealized())
    {
        fprintf(stderr, "floor: no graphics window could be opened\n");
        return 1;
    }
    viewer.frame();
    return 0;
}
