#include <cmath>

#include <gtest/gtest.h>

#include "player/WindOnClock.h"

TEST(WindOnClock, TheLineSaysWhereTheWindComesFromAndTheArrowWhereTheAirGoesFromTheNose)
{
    const TimedWind westerly{0.0, 0.0, 6.0, "EKF"}; // from 270°, going east
    EXPECT_EQ(WindLine(westerly, 90.0), "wind from 270° 6.0 m/s ↑ (EKF)");   // a tail wind: along the nose
    EXPECT_EQ(WindLine(westerly, 270.0), "wind from 270° 6.0 m/s ↓ (EKF)");  // a head wind
    EXPECT_EQ(WindLine(westerly, 0.0), "wind from 270° 6.0 m/s → (EKF)");    // from the left
    EXPECT_EQ(WindLine(westerly, 245.0), "wind from 270° 6.0 m/s ↙ (EKF)");
    const TimedWind northerly{0.0, -3.0, 0.0, "circles"};
    EXPECT_EQ(WindLine(northerly, 0.0), "wind from 000° 3.0 m/s ↓ (circles)");
}

TEST(WindOnClock, TheSockStreamsDownwindAndDroopsInALightWind)
{
    Windsock sock(osg::Vec3d(10.0, 20.0, 5.0), 0.5);
    EXPECT_EQ(sock.Node()->getNodeMask(), 0u); // no wind known: not drawn
    const TimedWind strong{0.0, 0.0, 9.0, "EKF"}; // going east: the frame's +y
    sock.Show(&strong);
    EXPECT_NE(sock.Node()->getNodeMask(), 0u);
    EXPECT_NEAR(sock.Streaming().y(), 1.0, 1e-9);
    const TimedWind southward{0.0, -SockFullyOut / 2.0, 0.0, "EKF"}; // going south: the frame's +x
    sock.Show(&southward);
    EXPECT_GT(sock.Streaming().x(), 0.5);
    EXPECT_LT(sock.Streaming().z(), -0.5); // half out: well below the horizontal
    EXPECT_NEAR(std::atan2(-sock.Streaming().z(), sock.Streaming().x()), 40.0 * M_PI / 180.0, 1e-9);
    EXPECT_EQ(sock.Node()->getMatrix().getTrans(), osg::Vec3d(10.0, 20.0, 5.0));
}
