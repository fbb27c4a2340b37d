#include "live/music_player.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>

#include "demo/music.h"

#ifdef TPL_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace {
Mix_Music* musicStream = nullptr;
bool audioOpen = false;
double loopSeconds = 0.0;  // the playing track's length; 0 when unknown

#ifdef TPL_HAVE_ALSA
// Without a sound card ALSA prints a screenful while SDL probes it; the one line
// saying the show is silent is enough.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif

}  // namespace

int mixerVolume(int streamVolume) {
    const int clamped = std::clamp(streamVolume, 0, fullStreamVolume);
    return clamped * MIX_MAX_VOLUME / fullStreamVolume;
}

bool startMusic(const std::string& path, float offsetSeconds, std::string& why) {
    if (musicStream) stopMusic();
    // The mixer "plays" a file of junk as silence: look before starting.
    if (!checkTrack(path, why)) return false;
#ifdef TPL_HAVE_ALSA
    snd_lib_error_set_handler(quietAlsa);
#endif
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        why = std::string("no audio: ") + SDL_GetError();
        return false;
    }
    if (Mix_OpenAudio(44100, AUDIO_S16SYS, 2, 1024) != 0) {
        why = std::string("no audio device: ") + Mix_GetError();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    audioOpen = true;
    musicStream = Mix_LoadMUS(path.c_str());
    if (!musicStream) {
        why = "cannot play " + path + ": " + Mix_GetError();
        stopMusic();
        return false;
    }
    Mix_VolumeMusic(MIX_MAX_VOLUME);
    loopSeconds = trackSeconds(path);
    // Starting and seeking in one call keeps the mixer thread from playing the
    // track's opening before the seek lands.
    if (Mix_FadeInMusicPos(musicStream, -1, 0, trackPosition(offsetSeconds, loopSeconds)) != 0) {
        why = "cannot play " + path + ": " + Mix_GetError();
        stopMusic();
        return false;
    }
    return true;
}

void setMusicVolume(int streamVolume) {
    if (musicStream) Mix_VolumeMusic(mixerVolume(streamVolume));
}

void pauseMusic() {
    if (musicStream) Mix_PauseMusic();
}

void resumeMusic() {
    if (musicStream) Mix_ResumeMusic();
}

void seekMusic(float showSeconds) {
    if (!musicStream) return;
    // From the track's start: the decoder reads up to the position again.
    Mix_SetMusicPosition(trackPosition(showSeconds, loopSeconds));
    Mix_VolumeMusic(mixerVolume(musicFadeVolume(showSeconds)));
}

bool musicPlaying() {
    return musicStream != nullptr && Mix_PlayingMusic() != 0;
}

void stopMusic() {
    if (musicStream) {
        Mix_HaltMusic();
        Mix_FreeMusic(musicStream);
        musicStream = nullptr;
    }
    if (audioOpen) {
        Mix_CloseAudio();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        audioOpen = false;
    }
}
