#pragma once
// The music: one looping MP3 stream and its volume, 0 (silent) to 10000 (full).
#include <string>

constexpr int fullStreamVolume = 10000;
constexpr float musicFadeStartSeconds = 96.0f;

// The fade-out: full until 96 s, then down by 1000 per second, reaching 0 at 106 s.
int musicFadeVolume(float t);
// The stream volume on the mixer's linear 0..128 scale.
int mixerVolume(int streamVolume);

// A cheap look at the track: a readable, non-empty file that starts with an
// MPEG audio frame (after an ID3 tag, if any). False with a one-line reason.
bool checkTrack(const std::string& path, std::string& why);
// Opens the audio device and starts the track looping at full volume, offsetSeconds
// into it. False with a one-line reason when there is no device or no playable track;
// the show then runs silently.
bool startMusic(const std::string& path, float offsetSeconds, std::string& why);
// Sets the stream volume; does nothing while no music plays.
void setMusicVolume(int streamVolume);
// Holds the track where it is and lets it go on from there; nothing while no music plays.
void pauseMusic();
void resumeMusic();
// Moves the track to where the show's music is at showSeconds (the track loops)
// and gives it that moment's fade volume. A paused track stays paused.
void seekMusic(float showSeconds);
// The playing length of an MP3 track from its frame headers (what one loop of
// the live show lasts); 0 when the file cannot be read or measured.
double trackSeconds(const std::string& path);
bool musicPlaying();
// Stops the music and closes the audio device.
void stopMusic();
