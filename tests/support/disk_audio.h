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
