#pragma once
// The show's music track: its fade, its length and a check that it is an MP3.
// The live show plays it (live/music_player.h), a video muxes it.
// Volumes run from 0 (silent) to 10000 (full).
#include <string>

constexpr int fullStreamVolume = 10000;
constexpr float musicFadeStartSeconds = 96.0f;

// The fade-out: full until 96 s, then down by 1000 per second, reaching 0 at 106 s.
int musicFadeVolume(float t);

// A cheap look at the track: a readable, non-empty file that starts with an
// MPEG audio frame (after an ID3 tag, if any). False with a one-line reason.
bool checkTrack(const std::string& path, std::string& why);
// The playing length of an MP3 track from its frame headers (what one loop of
// the live show lasts); 0 when the file cannot be read or measured.
double trackSeconds(const std::string& path);
// Where in a track of loopSeconds (0: unknown) the show's music is at showSeconds.
double trackPosition(float showSeconds, double loopSeconds);
