#include "demo/music.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <algorithm>
#include <cstdio>

#ifdef TPL_HAVE_ALSA
#include <alsa/asoundlib.h>
#endif

namespace {
Mix_Music* musicStream = nullptr;
bool audioOpen = false;

#ifdef TPL_HAVE_ALSA
// Without a sound card ALSA prints a screenful while SDL probes it; the one line
// saying the show is silent is enough.
void quietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
}  // namespace

int musicFadeVolume(float t) {
    if (!(t > musicFadeStartSeconds)) return fullStreamVolume;
    const float fallen = (t - musicFadeStartSeconds) * 1000.0f;
    // Compare before converting: far past the end the product no longer fits an int.
    if (fallen >= static_cast<float>(fullStreamVolume)) return 0;
    return std::max(0, fullStreamVolume - static_cast<int>(fallen));
}

int mixerVolume(int streamVolume) {
    const int clamped = std::clamp(streamVolume, 0, fullStreamVolume);
    return clamped * MIX_MAX_VOLUME / fullStreamVolume;
}

bool startMusic(const std::string& path, float offsetSeconds, std::string& why) {
    if (musicStream) stopMusic();
    if (std::FILE* probe = std::fopen(path.c_str(), "rb")) {
        std::fclose(probe);
    } else {
        why = "no music track at " + path;
        return false;
    }
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
    // Starting and seeking in one call keeps the mixer thread from playing the
    // track's opening before the seek lands.
    if (Mix_FadeInMusicPos(musicStream, -1, 0, offsetSeconds > 0.0f ? offsetSeconds : 0.0) != 0) {
        why = "cannot play " + path + ": " + Mix_GetError();
        stopMusic();
        return false;
    }
    return true;
}

void setMusicVolume(int streamVolume) {
    if (musicStream) Mix_VolumeMusic(mixerVolume(streamVolume));
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
