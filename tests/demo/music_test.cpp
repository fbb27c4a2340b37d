#include "demo/music.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "support/test_paths.h"

namespace {

constexpr long bytesPerSecond = 44100 * 4;  // S16LE stereo
constexpr long bufferBytes = 1024 * 4;

// Makes an MP3 of a 440 Hz tone at half scale with sox and lame, optionally after
// some silence. Empty when the tools are missing.
std::string makeTone(const std::string& dir, double seconds, double leadingSilence) {
    const std::string wav = dir + "/tone.wav", mp3 = dir + "/tone.mp3";
    char command[1024];
    std::snprintf(command, sizeof command,
                  "sox -n -r 44100 -c 2 -b 16 '%s' synth %g sine 440 vol 0.5 pad %g 0 >/dev/null 2>&1 && "
                  "lame --quiet -b 128 '%s' '%s' >/dev/null 2>&1",
                  wav.c_str(), seconds, leadingSilence, wav.c_str(), mp3.c_str());
    if (std::system(command) != 0) return "";
    return mp3;
}

// Points SDL's disk audio driver at a fresh file; delayMs paces it (23 is about real time).
std::string useDiskAudio(const std::string& dir, int delayMs) {
    const std::string out = dir + "/audio.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", out.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", std::to_string(delayMs).c_str(), 1);
    return out;
}

long fileSize(const std::string& path) {
    std::error_code ec;
    auto size = std::filesystem::file_size(path, ec);
    return ec ? 0 : static_cast<long>(size);
}

std::vector<int16_t> readSamples(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] =
            static_cast<int16_t>(static_cast<uint8_t>(bytes[2 * i]) | static_cast<uint8_t>(bytes[2 * i + 1]) << 8);
    return samples;
}

// Largest magnitude in the byte range [from, to) of the recording.
int peak(const std::vector<int16_t>& samples, long from, long to) {
    int best = 0;
    for (long i = std::max(0L, from / 2); i < std::min<long>(to / 2, static_cast<long>(samples.size())); ++i)
        best = std::max(best, std::abs(static_cast<int>(samples[i])));
    return best;
}

void sleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace

TEST(MusicFade, FullUntil96ThenDownTo0At106) {
    EXPECT_EQ(musicFadeVolume(0.0f), fullStreamVolume);
    EXPECT_EQ(musicFadeVolume(96.0f), fullStreamVolume);
    EXPECT_EQ(musicFadeVolume(96.5f), 9500);
    EXPECT_EQ(musicFadeVolume(101.0f), 5000);
    EXPECT_EQ(musicFadeVolume(106.0f), 0);
    EXPECT_EQ(musicFadeVolume(107.0f), 0);
    EXPECT_EQ(musicFadeVolume(1e12f), 0);
    // Linear onto the mixer's scale.
    EXPECT_EQ(mixerVolume(fullStreamVolume), 128);
    EXPECT_EQ(mixerVolume(5000), 64);
    EXPECT_EQ(mixerVolume(0), 0);
}

TEST(Music, MissingTrackIsReportedNotFatal) {
    const std::string dir = scratchDir("music_missing");
    useDiskAudio(dir, 0);
    std::string why;
    EXPECT_FALSE(startMusic(dir + "/nothing.mp3", 0.0f, why));
    EXPECT_NE(why.find("nothing.mp3"), std::string::npos) << why;
    EXPECT_FALSE(musicPlaying());
    setMusicVolume(5000);  // harmless without music
}

TEST(Music, PlaysLoopsAndFollowsTheVolume) {
    const std::string dir = scratchDir("music_volume");
    const std::string track = makeTone(dir, 0.5, 0.0);
    if (track.empty()) GTEST_SKIP() << "sox and lame are needed to make a test track";
    const std::string out = useDiskAudio(dir, 23);

    std::string why;
    ASSERT_TRUE(startMusic(track, 0.0f, why)) << why;
    EXPECT_TRUE(musicPlaying());
    // Each phase lasts longer than the half-second track, so later phases hear it looped.
    sleepMs(700);
    const long toHalf = fileSize(out);
    setMusicVolume(musicFadeVolume(101.0f));
    sleepMs(700);
    const long toSilent = fileSize(out);
    setMusicVolume(musicFadeVolume(106.0f));
    sleepMs(500);
    EXPECT_TRUE(musicPlaying());
    stopMusic();
    EXPECT_FALSE(musicPlaying());

    const std::vector<int16_t> samples = readSamples(out);
    const long margin = 4 * bufferBytes;  // the change lands within a buffer or two
    ASSERT_GT(toHalf, 2 * margin + bytesPerSecond / 4);
    ASSERT_GT(toSilent - toHalf, 2 * margin + bytesPerSecond / 4);
    ASSERT_GT(static_cast<long>(samples.size()) * 2 - toSilent, 2 * margin);

    const int full = peak(samples, 0, toHalf - margin);
    const int half = peak(samples, toHalf + margin, toSilent - margin);
    const int silent = peak(samples, toSilent + margin, static_cast<long>(samples.size()) * 2);
    EXPECT_GT(full, 12000);  // a half-scale tone is about 16384
    EXPECT_NEAR(static_cast<double>(half) / full, 0.5, 0.05) << full << " " << half;
    EXPECT_LT(silent, 50);
}

TEST(Music, StartsAtTheRequestedOffset) {
    const std::string dir = scratchDir("music_offset");
    // One second of silence, then one second of tone.
    const std::string track = makeTone(dir, 1.0, 1.0);
    if (track.empty()) GTEST_SKIP() << "sox and lame are needed to make a test track";

    auto firstHalfSecondPeak = [&](float offset) {
        // Real-time pace: as fast as possible, the device writes long stretches of
        // silence while the track is still being opened.
        const std::string out = useDiskAudio(dir, 23);
        std::filesystem::remove(out);
        std::string why;
        EXPECT_TRUE(startMusic(track, offset, why)) << why;
        for (int i = 0; i < 300 && fileSize(out) < bytesPerSecond * 6 / 10; ++i) sleepMs(10);
        stopMusic();
        std::vector<int16_t> samples = readSamples(out);
        EXPECT_GE(static_cast<long>(samples.size()) * 2, bytesPerSecond / 2);
        return peak(samples, 0, bytesPerSecond / 2);
    };
    EXPECT_LT(firstHalfSecondPeak(0.0f), 50);
    EXPECT_GT(firstHalfSecondPeak(1.0f), 12000);
}
