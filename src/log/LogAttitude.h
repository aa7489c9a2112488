#pragma once
#include <cstdint>

// What the log's angle columns mean, as numbers: gps_curheading, pyro_curroll and
// pyro_curpitch in radians, against the angles a pilot states. Everything that writes logs
// (the conversion of flight files, the demo world) and everything that shows them as a
// pilot reads them (the player's figures) goes through here; scene/AttitudeConvention.h
// turns the same angles into the aircraft's rotation and shows why they mean this.
// - heading: the nose points east at 0 and north at pi/2, counter-clockwise seen from
//   above, so the log holds pi/2 minus the compass course;
// - pitch: positive raises the nose, as the pilot counts it;
// - roll: positive raises the right wing, so the log holds the bank angle negated
//   (a pilot's bank is positive with the right wing down).

// course: compass bearing of the direction of flight, radians clockwise from north.
// Returns the logged heading, radians, wrapped to (-pi, pi].
double LogHeading(double course);

// The compass course (radians in [0, 2 pi)) a logged heading stands for.
double CourseOfLogHeading(double heading);

// bank: radians, positive with the right wing down. Returns the logged roll.
double LogRoll(double bank);

// pitch: radians, positive nose up. Returns the logged pitch.
double LogPitch(double pitch);

// The bank (radians, positive with the right wing down) a logged roll stands for.
double BankOfLogRoll(double roll);

// The pitch (radians, positive nose up) a logged pitch stands for.
double PitchOfLogPitch(double pitch);

struct SampleRow;

// Whether the heading of `count` rows is only the course over the ground, as a conversion
// writes it for a track that recorded no attitude: wherever the aircraft moves at 2 m/s or
// more between the rows either side (consecutive sample numbers), the heading is the
// direction of that move within about a degree, at nine rows in ten of at least ten such
// rows. A logged nose differs from the course by the wind's drift, a multirotor's sideways
// flight and the sensors' own errors. A log that never moves cannot tell, and is taken as
// logging the nose.
bool HeadingIsCourse(const SampleRow* rows, int32_t count);
