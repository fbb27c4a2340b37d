#pragma once
// The live show's music: the track looping through SDL_mixer, at the show's
// fade volume (demo/music.h).
#include <string>

// The stream volume (0 to fullStreamVolume) on the mixer's linear 0..128 scale.
int mixerVolume(int streamVolume);

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
bool musicPlaying();
// Stops the music and closes the audio device.
void stopMusic();
