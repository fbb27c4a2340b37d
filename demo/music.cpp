#include "demo/music.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

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

// An MPEG audio frame header: 11 sync bits, then no reserved version, layer,
// bit rate or sample rate.
bool isFrameHeader(const unsigned char* h) {
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && (h[1] & 0x18) != 0x08 && (h[1] & 0x06) != 0 &&
           (h[2] & 0xF0) != 0xF0 && (h[2] & 0x0C) != 0x0C;
}
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

bool checkTrack(const std::string& path, std::string& why) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        why = errno == ENOENT ? "no music track at " + path : "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_size == 0) {
        why = path + (S_ISREG(info.st_mode) ? " is empty" : " is not a file");
        return false;
    }
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        why = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    // The first frame comes first, or right after an ID3v2 tag (its size is
    // stored 7 bits a byte, plus 10 for the header and 10 for a footer).
    unsigned char head[10] = {};
    bool found = std::fread(head, 1, sizeof head, file) == sizeof head && isFrameHeader(head);
    if (!found && std::memcmp(head, "ID3", 3) == 0) {
        long tagSize = head[5] & 0x10 ? 20 : 10;
        for (int i = 6; i < 10; ++i) tagSize += static_cast<long>(head[i] & 0x7F) << (7 * (9 - i));
        found = std::fseek(file, tagSize, SEEK_SET) == 0 && std::fread(head, 1, 4, file) == 4 && isFrameHeader(head);
    }
    std::fclose(file);
    if (!found) why = path + " is not an MP3 track";
    return found;
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
