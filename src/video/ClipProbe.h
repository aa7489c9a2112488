#pragma once
#include <string>

// What a video clip's container says of it, read with libavformat without decoding a frame.
struct ClipProbe
{
    bool hasVideo = false;
    double seconds = 0.0;   // the clip's length; 0 when the container does not say
    int width = 0, height = 0;
    double frameRate = 0.0; // frames a second; 0 when unknown
    // The metadata's creation time (the container's `creation_time` tag), when there is one
    // that reads as a date and time.
    bool hasCreationTime = false;
    double creationUtc = 0.0; // seconds since 1970
    std::string creationTime; // as the tag writes it
};

// False with *error a line naming the file when it is missing or no container libavformat reads.
bool ProbeClip(const std::string& path, ClipProbe* probe, std::string* error);

// "2019-08-25T08:22:54.000000Z" (or with a space for the T, without the Z, with a zone
// "+02:00") as UTC seconds since 1970; false when the text is no such time.
bool ParseCreationTime(const std::string& text, double* utc);
