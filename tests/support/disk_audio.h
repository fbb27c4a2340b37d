#pragma once
// Reading back what SDL's disk audio driver records (SDL_AUDIODRIVER=disk):
// raw S16LE stereo at 44.1 kHz, at about real-time pace with SDL_DISKAUDIODELAY=23.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

constexpr long diskAudioSecond = 44100 * 4;  // bytes

inline long recordedBytes(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    return error ? 0 : static_cast<long>(size);
}

// Waits until `bytes` are recorded; false after a generous deadline.
inline bool waitForRecorded(const std::string& path, long bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (recordedBytes(path) < bytes) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct Recording {
    std::vector<int16_t> samples;
    explicit Recording(const std::string& path) : samples(static_cast<size_t>(recordedBytes(path)) / 2) {
        std::ifstream(path, std::ios::binary)
            .read(reinterpret_cast<char*>(samples.data()), static_cast<std::streamsize>(samples.size() * 2));
    }
    // The loudest sample between two byte offsets.
    int peak(long from, long to) const {
        int best = 0;
        for (long i = std::max(from, 0L) / 2; i < to / 2 && i < static_cast<long>(samples.size()); ++i)
            best = std::max(best, std::abs(static_cast<int>(samples[i])));
        return best;
    }
};

// Sends SDL's audio to the file, at about real-time pace when delayMs is 23.
inline void recordAudioTo(const std::string& path, int delayMs = 23) {
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", path.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", std::to_string(delayMs).c_str(), 1);
}

// dir/tone.mp3, 44.1 kHz stereo, of sox's `synth` effect arguments; false
// without sox and lame.
inline bool makeTrack(const std::string& dir, const std::string& synth) {
    const std::string wav = dir + "/tone.wav";
    return std::system(("sox -n -r 44100 -c 2 -b 16 " + wav + " synth " + synth + " && lame --quiet -b 128 " + wav +
                        " " + dir + "/tone.mp3 >/dev/null 2>&1")
                           .c_str()) == 0;
}
