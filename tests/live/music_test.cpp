#include "live/music_player.h"

#include "demo/music.h"
#include "live/show_loop.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "support/disk_audio.h"
#include "support/run_program.h"
#include "support/test_paths.h"
#include "support/check.h"

TEST(MusicFade, FullUntil96ThenDownTo0At106) {
    const std::pair<float, int> cases[] = {{0.0f, 10000}, {96.0f, 10000}, {96.5f, 9500}, {101.0f, 5000},
                                           {106.0f, 0},   {107.0f, 0},    {1e12f, 0}};
    for (auto [t, volume] : cases) EXPECT_EQ(musicFadeVolume(t), volume) << t;
    EXPECT_EQ(mixerVolume(fullStreamVolume), 128);
    EXPECT_EQ(mixerVolume(5000), 64);
}

TEST(Music, StartsAtTheOffsetLoopsAndFollowsTheVolume) {
    // A one-second track, half a second of silence and then a half-scale 440 Hz tone,
    // played from 0.5 s so that the tone comes first. SDL's disk driver records the
    // output at about real-time pace.
    const std::string dir = scratchDir("music_volume"), track = dir + "/tone.mp3", out = dir + "/audio.raw";
    if (!makeTrack(dir, "0.5 sine 440 vol 0.5 pad 0.5 0")) GTEST_SKIP() << "sox and lame make the test track";
    recordAudioTo(out);

    std::string why;
    ASSERT_TRUE(startMusic(track, 0.5f, why)) << why;
    // Each phase outlasts the track, so later ones hear it looped.
    std::vector<long> phaseEnds;
    for (int volume : {musicFadeVolume(101.0f), musicFadeVolume(106.0f), -1}) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        phaseEnds.push_back(static_cast<long>(std::filesystem::file_size(out)));
        if (volume >= 0) setMusicVolume(volume);
    }
    EXPECT_TRUE(musicPlaying());
    stopMusic();
    EXPECT_FALSE(musicPlaying());

    const Recording recording(out);
    const long margin = 4 * 1024 * 4;  // a volume change lands within a buffer or two
    auto peak = [&](long from, long to) {
        EXPECT_GT(to - from, diskAudioSecond / 4);
        return recording.peak(from, to);
    };
    EXPECT_GT(peak(0, diskAudioSecond * 4 / 10), 12000) << "the tone should start at once";
    const int full = peak(0, phaseEnds[0] - margin);
    const int half = peak(phaseEnds[0] + margin, phaseEnds[1] - margin);
    EXPECT_GT(full, 12000);  // a half-scale tone is about 16384
    EXPECT_NEAR(static_cast<double>(half) / full, 0.5, 0.05) << full << " " << half;
    EXPECT_LT(peak(phaseEnds[1] + margin, phaseEnds[2]), 50);
}

TEST(Music, RefusesTracksThatAreNotMp3BeforeTheMixerPlaysThemAsSilence) {
    const std::string dir = scratchDir("music_check");
    std::ifstream real(sourceDir() + "/data/track.mp3", std::ios::binary);
    std::string frames(4096, '\0');
    real.read(&frames[0], static_cast<std::streamsize>(frames.size()));
    // An ID3v2 tag of 2 + 128 bytes (sizes are stored 7 bits a byte) before the first frame.
    const std::string tag = std::string("ID3\x03\0\0\0\0\x01\x02", 10) + std::string(130, '\0');
    const std::pair<std::string, std::string> tracks[] = {{"empty.mp3", ""},
                                                          {"junk.mp3", std::string(4000, 'j')},
                                                          {"tagged-junk.mp3", tag + std::string(100, 'j')},
                                                          {"tagged.mp3", tag + frames},
                                                          {"short.mp3", frames.substr(0, 3)}};
    for (const auto& [name, bytes] : tracks) std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
    std::filesystem::create_directory(dir + "/folder.mp3");

    std::string why;
    EXPECT_TRUE(checkTrack(sourceDir() + "/data/track.mp3", why)) << why;
    EXPECT_TRUE(checkTrack(dir + "/tagged.mp3", why)) << why;
    const std::pair<std::string, std::string> refused[] = {{"missing.mp3", "no music track at " + dir + "/missing.mp3"},
                                                           {"empty.mp3", " is empty"},
                                                           {"folder.mp3", " is not a file"},
                                                           {"junk.mp3", " is not an MP3 track"},
                                                           {"tagged-junk.mp3", " is not an MP3 track"},
                                                           {"short.mp3", " is not an MP3 track"}};
    // The disk driver would play the junk as silence, and startMusic would succeed.
    recordAudioTo(dir + "/audio.raw", 0);
    for (const auto& [name, reason] : refused) {
        why.clear();
        EXPECT_FALSE(startMusic(dir + "/" + name, 0.0f, why)) << name;
        EXPECT_TRUE(contains(why, reason)) << name;
        EXPECT_FALSE(musicPlaying());
    }
    stopMusic();
}

TEST(MusicLength, CountsTheTracksFramesAndNothingElse) {
    const std::string dir = scratchDir("music_length"), track = dir + "/tone.mp3";
    if (!makeTrack(dir, "1.5 sine 440")) GTEST_SKIP() << "sox and lame make the test track";
    // The encoder adds its delay and pads to whole frames of 1152 samples.
    const double seconds = trackSeconds(track);
    EXPECT_GE(seconds, 1.5);
    EXPECT_LT(seconds, 1.5 + 3 * 1152 / 44100.0);
    // An ID3v1 tag after the frames and an ID3v2 tag before them add nothing.
    const std::string tagged = dir + "/tagged.mp3";
    std::ifstream in(track, std::ios::binary);
    const std::string frames((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream(tagged, std::ios::binary) << std::string("ID3\x03\0\0\0\0\x01\x02", 10) << std::string(130, '\0')
                                            << frames << "TAG" << std::string(125, ' ');
    EXPECT_DOUBLE_EQ(trackSeconds(tagged), seconds);
    // The show's own track, as ffprobe measures it.
    const std::string showTrack = sourceDir() + "/data/track.mp3";
    const ProgramResult probe =
        runProgram({"ffprobe", "-v", "error", "-show_entries", "format=duration", "-of", "csv=p=0", showTrack});
    if (probe.exitCode == 0) {
        EXPECT_NEAR(trackSeconds(showTrack), std::atof(probe.output.c_str()), 0.01);
    }
    std::ofstream(dir + "/junk.mp3") << std::string(5000, 'j');
    EXPECT_EQ(trackSeconds(dir + "/junk.mp3"), 0.0);
    EXPECT_EQ(trackSeconds(dir + "/missing.mp3"), 0.0);
}

TEST(Music, PauseFallsSilentAndAJumpLandsInTheLoopedTrackAtItsVolume) {
    // One second of tone, then one of silence. SDL's disk driver records at about real time.
    const std::string dir = scratchDir("music_pause"), track = dir + "/tone.mp3", out = dir + "/audio.raw";
    if (!makeTrack(dir, "1 sine 440 vol 0.5 pad 0 1")) GTEST_SKIP() << "sox and lame make the test track";
    recordAudioTo(out);
    const long second = diskAudioSecond;
    const double length = trackSeconds(track);
    ASSERT_GT(length, 2.0);

    std::string why;
    ASSERT_TRUE(startMusic(track, 0.0f, why)) << why;
    ASSERT_TRUE(waitForRecorded(out, second * 3 / 10));
    pauseMusic();
    const long pausedAt = recordedBytes(out);
    ASSERT_TRUE(waitForRecorded(out, pausedAt + second * 6 / 10));
    // Half a second into the third loop of the show's music; silent and turned down while it waits.
    setMusicVolume(0);
    seekMusic(static_cast<float>(2 * length + 1.5));
    resumeMusic();
    const long resumedAt = recordedBytes(out);
    ASSERT_TRUE(waitForRecorded(out, resumedAt + second * 3 / 2));
    EXPECT_TRUE(musicPlaying());
    stopMusic();

    const Recording recording(out);
    const auto peak = [&](long from, long to) { return recording.peak(from, to); };
    const long margin = 4 * 1024 * 4;  // a change lands within a buffer or two
    EXPECT_GT(peak(second / 20, second / 4), 12000) << "the track starts with its tone";
    EXPECT_LT(peak(pausedAt + margin, pausedAt + second * 6 / 10), 50) << "paused";
    // From 1.5 s: the rest of the silent second, the next loop's tone at full volume.
    EXPECT_LT(peak(resumedAt + margin, resumedAt + second * 45 / 100), 50) << "the jump landed early in the track";
    EXPECT_GT(peak(resumedAt + second * 8 / 10, resumedAt + second * 3 / 2), 12000) << "the tone after the loop";
}

// A missing track costs the live show one console line; with the music off
// it is not even looked for.
TEST(Music, AMissingTrackLeavesTheShowSilentWithOneLine) {
    DemoOptions options;
    options.dataDir = scratchDir("music_missing");
    testing::internal::CaptureStdout();
    startShowMusic(options, 13.0);
    options.music = false;
    startShowMusic(options, 13.0);
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, "music off: no music track at " + options.dataDir + "/track.mp3\n");
    EXPECT_FALSE(musicPlaying());
}
