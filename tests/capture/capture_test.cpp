// Headless capture: the tick plan, the PNG writer, the ffmpeg encoder, and the
// whole job through the real program (a handful of frames, each about a
// second on the CPU backend).
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "outputs/capture_plan.h"
#include "outputs/image_writer.h"
#include "outputs/video_encoder.h"
#include "demo/demo.h"
#include "support/check.h"
#include "support/png_read.h"
#include "support/run_program.h"
#include "support/test_paths.h"

namespace fs = std::filesystem;

namespace {

// What ffprobe finds in a video: decoded video frames, and the lengths of the video and the music.
struct Probe {
    int frames = -1;
    double video = -1, audio = -1;
};

Probe probe(const std::string& path) {
    std::istringstream lines(runProgram({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                         "stream=codec_type,duration,nb_read_frames", "-of", "csv=p=0", path})
                                 .output);
    Probe p;
    for (std::string line; std::getline(lines, line);) {
        std::sscanf(line.c_str(), "video,%lf,%d", &p.video, &p.frames);
        std::sscanf(line.c_str(), "audio,%lf", &p.audio);
    }
    return p;
}

}  // namespace

TEST(CapturePlan, WholeShowEndsOnTheLastTickThatIsPresented) {
    for (int fps : {60, 30, 25, 10, 7}) {
        CapturePlan plan;
        std::string error;
        ASSERT_TRUE(planCapture(fps, 0.0, 106.0, showLengthSeconds, plan, error)) << error;
        EXPECT_EQ(plan.firstTick, 0);
        EXPECT_EQ(plan.lastTick, plan.lastShowTick);
        // The demo clock, accumulated in single precision as the show does: the
        // last frame is on it, the next tick is the one that ends the show.
        float clock = 0;
        for (int k = 0; k <= plan.lastTick; ++k) clock += plan.tickMs(k) * 0.001f;
        EXPECT_LE(clock, showLengthSeconds) << fps;
        EXPECT_GT(clock + plan.frameMs * 0.001f, showLengthSeconds) << fps;
        EXPECT_NEAR(plan.durationSeconds(), 106.0, 1.0 / fps + 1e-9) << fps;
    }
}

TEST(CapturePlan, PartsRunFromFromUpToToAndBadRequestsAreRefused) {
    CapturePlan plan;
    std::string error;
    // 12 s to 12.3 s at 10 per second is the part the program captures below.
    ASSERT_TRUE(planCapture(60, 1.001, 1.05, showLengthSeconds, plan, error)) << error;
    EXPECT_EQ(plan.firstTick, 61) << "a start between two ticks begins at the next";
    EXPECT_EQ(plan.lastTick, 62);
    EXPECT_DOUBLE_EQ(plan.durationSeconds(), 2.0 / 60);
    ASSERT_TRUE(planCapture(60, 105.95, 500.0, showLengthSeconds, plan, error)) << error;
    EXPECT_EQ(plan.lastTick, plan.lastShowTick);

    for (auto [fps, from, to] : {std::tuple{0, 0.0, 106.0},
                                 {-5, 0.0, 106.0},
                                 {60, 20.0, 10.0},
                                 {60, -1.0, 10.0},
                                 {10, 12.01, 12.09},
                                 {60, 107.0, 108.0},
                                 {60, 1e300, 1e301}}) {
        error.clear();
        EXPECT_FALSE(planCapture(fps, from, to, showLengthSeconds, plan, error)) << fps << " " << from << " " << to;
        EXPECT_FALSE(error.empty());
    }
}

TEST(PngWriter, RoundTripKeepsEveryPixelUprightAndLeavesOnlyTheFile) {
    const std::string dir = scratchDir("png_round_trip");
    // A source wider than the image (pitch > width) whose padding must not leak in.
    const int width = 37, height = 23, pitch = 40;
    std::vector<uint32_t> source(static_cast<size_t>(pitch) * height, 0xFFFFFFFFu);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            source[y * pitch + x] = uint32_t(x * 7) << 16 | uint32_t(y * 11) << 8 | (x * y & 0xFF);
    source[0] = 0x00FF0000u;
    std::string error;
    ASSERT_TRUE(
        writeStill((dir + "/f.png").c_str(), StillFormat::Png, source.data(), width, height, pitch, false, error))
        << error;
    int w = 0, h = 0;
    unsigned bpp = 0;
    const std::vector<uint32_t> back = readPng(dir + "/f.png", w, h, &bpp);
    ASSERT_EQ(w, width);
    ASSERT_EQ(h, height);
    EXPECT_EQ(bpp, 24u);
    int wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) wrong += back[y * width + x] != (source[y * pitch + x] | 0xFF000000u);
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"f.png"});

    // Unwritable paths: a reason naming the path on one line, and no partial file anywhere.
    { std::ofstream(dir + "/plain") << "x"; }
    for (const std::string& path : {dir + "/missing/f.png", dir + "/plain/f.png", dir}) {
        EXPECT_FALSE(writeStill(path.c_str(), StillFormat::Png, source.data(), 8, 8, 8, true, error)) << path;
        EXPECT_TRUE(contains(error, path));
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"f.png", "plain"}));

    // A pipe under the name is refused, not replaced, even when replacing.
    ASSERT_EQ(mkfifo((dir + "/pipe.png").c_str(), 0644), 0);
    EXPECT_FALSE(writeStill((dir + "/pipe.png").c_str(), StillFormat::Png, source.data(), 8, 8, 8, true, error));
    EXPECT_TRUE(contains(error, "not a regular file"));
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"f.png", "pipe.png", "plain"})) << "no temporary is left";
}

TEST(VideoEncoder, EncodesFramesWithTheLoopedFadedTrack) {
    const std::string dir = scratchDir("video_with_audio");
    // A 1.5 s tone, shorter than the video so that the loop is exercised.
    ASSERT_EQ(runProgram({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=1.5",
                          dir + "/tone.mp3"})
                  .exitCode,
              0);
    VideoSettings s;
    s.outputPath = dir + "/out.mp4";
    s.width = 64, s.height = 48, s.fps = 10, s.frameCount = 12;
    s.audioPath = dir + "/tone.mp3";
    s.audioStartSeconds = 2.0;  // the track has looped once by then
    s.fadeStartSeconds = 2.5;   // so the fade runs 0.5 s to 1.0 s into the video
    s.fadeSeconds = 0.5;
    VideoEncoder encoder;
    std::string error;
    ASSERT_TRUE(encoder.start(s, error)) << error;
    const std::vector<uint32_t> red(64 * 48, 0x00FF0000u);
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(encoder.writeFrame(red.data(), 64, error)) << error;
    ASSERT_TRUE(encoder.finish(error)) << error;

    const Probe facts = probe(s.outputPath);
    EXPECT_EQ(facts.frames, 12);
    EXPECT_NEAR(facts.video, 1.2, 0.03);
    EXPECT_NEAR(facts.audio, 1.2, 0.03);
    const std::string rgb = runProgram({"ffmpeg", "-v", "error", "-i", s.outputPath, "-frames:v", "1", "-f", "rawvideo",
                                        "-pix_fmt", "rgb24", "-"})
                                .output;
    ASSERT_EQ(rgb.size(), 64u * 48u * 3u);
    EXPECT_TRUE(uint8_t(rgb[3000]) > 230 && uint8_t(rgb[3001]) < 25 && uint8_t(rgb[3002]) < 25) << "channel order";

    // Loud before the fade, about half way down in its middle, silent after it.
    const std::string pcm = runProgram({"ffmpeg", "-v", "error", "-i", s.outputPath, "-map", "0:a", "-ac", "1", "-ar",
                                        "8000", "-f", "s16le", "-"})
                                .output;
    std::vector<int16_t> samples(pcm.size() / 2);
    std::memcpy(samples.data(), pcm.data(), samples.size() * 2);
    const auto rms = [&](double from, double to) {
        double sum = 0;
        for (size_t i = size_t(from * 8000); i < size_t(to * 8000) && i < samples.size(); ++i)
            sum += samples[i] * samples[i];
        return std::sqrt(sum / ((to - from) * 8000));
    };
    EXPECT_GT(rms(0.05, 0.45), 1000.0);
    EXPECT_NEAR(rms(0.72, 0.78) / rms(0.05, 0.45), 0.5, 0.1);
    EXPECT_LT(rms(1.05, 1.15), rms(0.05, 0.45) * 0.02);
}

TEST(VideoEncoder, ReportsAnEncoderThatDiesInsteadOfHanging) {
    VideoSettings s;  // 640 x 480: a frame larger than the pipe buffer, so a write must reach ffmpeg
    s.outputPath = scratchDir("video_dies") + "/out.mp4";
    s.frameCount = 50;
    s.videoCodec = {"-c:v", "no_such_codec"};
    VideoEncoder encoder;
    std::string error;
    ASSERT_TRUE(encoder.start(s, error)) << error;
    const std::vector<uint32_t> frame(640 * 480, 0u);
    bool failed = false;
    for (int i = 0; i < 50 && !failed; ++i) failed = !encoder.writeFrame(frame.data(), 640, error);
    EXPECT_TRUE(failed);
    EXPECT_TRUE(contains(error, "stopped reading"));
    EXPECT_FALSE(encoder.finish(error));
    EXPECT_TRUE(contains(error, "exited with status"));
    EXPECT_FALSE(encoder.running());
}

class CaptureProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (programPath().empty()) GTEST_SKIP() << "the program is not built";
    }
    ProgramResult run(const std::string& args, const std::vector<std::string>& env = {}) {
        return runProgram({"/bin/sh", "-c", "exec \"$0\" --data \"$1\" " + args, programPath(), sourceDir() + "/data"},
                          env, dir_);
    }
    ProgramResult capture(const std::string& args, const std::vector<std::string>& env = {}) {
        return run("--fps 10 " + args, env);
    }
    // dir_/data: the repository's images and a track of our own making.
    void makeDataFolder() {
        fs::create_directory(dir_ + "/data");
        for (const auto& entry : fs::directory_iterator(sourceDir() + "/data"))
            if (entry.path().extension() == ".png")
                fs::create_symlink(entry.path(), fs::path(dir_) / "data" / entry.path().filename());
    }
    // dir_/bin/ffmpeg: the real one, after `before` has run for the calls whose arguments match `pattern`.
    std::string ffmpegThatFirst(const std::string& pattern, const std::string& before) {
        return fakeOnPath(
            dir_, "ffmpeg",
            "case \"$*\" in " + pattern + ") " + before + ";; esac\nexec \"" + findOnPath("ffmpeg") + "\" \"$@\"");
    }
    const std::string dir_ = scratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
};

TEST_F(CaptureProgram, PartWritesFramesAndVideoAndTicksMatchFromAnotherStart) {
    const ProgramResult a = capture("--capture a --video part.mp4 --from 12 --to 12.3");
    ASSERT_EQ(a.exitCode, 0) << a.output;
    EXPECT_EQ(filesIn(dir_ + "/a"),
              (std::vector<std::string>{"frame_00120.png", "frame_00121.png", "frame_00122.png"}));
    const Probe facts = probe(dir_ + "/part.mp4");
    EXPECT_EQ(facts.frames, 3);
    EXPECT_NEAR(facts.video, 0.3, 0.03);
    EXPECT_NEAR(facts.audio, 0.3, 0.05) << "the music is muxed in, cut to the frames";

    const ProgramResult b = capture("--capture b --from 12.2 --to 12.25");
    ASSERT_EQ(b.exitCode, 0) << b.output;
    EXPECT_EQ(filesIn(dir_ + "/b"), std::vector<std::string>{"frame_00122.png"});
    int w = 0, h = 0;
    const std::vector<uint32_t> tick122 = readPng(dir_ + "/a/frame_00122.png", w, h);
    EXPECT_EQ(w * h, 640 * 480);
    EXPECT_EQ(tick122, readPng(dir_ + "/b/frame_00122.png", w, h)) << "the same tick from another start";
    EXPECT_NE(tick122, readPng(dir_ + "/a/frame_00121.png", w, h));
}

// A frame of several passes can take minutes: the progress line moves with
// its passes, and the frames are the picture size asked for.
TEST_F(CaptureProgram, ProgressCountsThePassesOfEachFrame) {
    // On a terminal (a log gets a line only every few seconds).
    const ProgramResult r = runProgram({"script", "-qec",
                                        "exec \"" + programPath() + "\" --data \"" + sourceDir() +
                                            "/data\" --fps 10 --capture f --from 13 --to 13.1 --passes 3 "
                                            "--size 800x450 --no-overlays",
                                        "/dev/null"},
                                       {}, dir_);
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_TRUE(contains(r.output, "frame 0/1, pass 1/3 of the next  "));
    EXPECT_TRUE(contains(r.output, "frame 1/1  "));
    int w = 0, h = 0;
    EXPECT_FALSE(readPng(dir_ + "/f/frame_00130.png", w, h).empty());
    EXPECT_EQ(w, 800);
    EXPECT_EQ(h, 450);
}

TEST_F(CaptureProgram, RefusesBeforeRenderingWithoutFfmpegOrAWritableFolder) {
    const ProgramResult noEncoder =
        capture("--video v.mp4 --capture frames --from 12 --to 12.3", {"PATH=/nonexistent"});
    EXPECT_TRUE(refused(noEncoder, "ffmpeg"));
    EXPECT_TRUE(filesIn(dir_ + "/frames").empty());
    EXPECT_FALSE(fs::exists(dir_ + "/v.mp4"));

    { std::ofstream(dir_ + "/plain") << "x"; }
    const ProgramResult badFolder = capture("--capture plain/frames --from 12 --to 12.3");
    EXPECT_TRUE(refused(badFolder, "plain/frames"));
}

// Ctrl-C or SIGTERM once the second frame is written: frames from 120 on
// without gaps, and a video of as many frames whose music is cut to them.
TEST_F(CaptureProgram, InterruptKeepsFinishedFramesAndAPlayableVideo) {
    for (const std::string signal : {"INT", "TERM"}) {
        fs::remove_all(dir_ + "/frames");
        fs::remove(dir_ + "/v.mp4");
        const ProgramResult r = capture(
            "--capture frames --video v.mp4 --from 12 --to 15 & "
            "while [ ! -e frames/frame_00121.png ] && kill -0 $!; do sleep 0.05; done; kill -" +
            signal + " $!; wait $!");
        EXPECT_EQ(r.exitCode, 130) << signal << "\n" << r.output;
        const std::vector<std::string> names = filesIn(dir_ + "/frames");
        ASSERT_GE(names.size(), 2u) << signal;
        EXPECT_LT(names.size(), 31u);
        for (size_t i = 0; i < names.size(); ++i) EXPECT_EQ(names[i], frameFileName(120 + int(i)));
        const Probe facts = probe(dir_ + "/v.mp4");
        EXPECT_EQ(facts.frames, int(names.size())) << signal;
        EXPECT_NEAR(facts.video, names.size() / 10.0, 0.05) << signal;
        EXPECT_NEAR(facts.audio, names.size() / 10.0, 0.05) << signal;
        EXPECT_TRUE(contains(r.output, "kept " + std::to_string(names.size()) + " of 30 frames"));
        EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"frames", "v.mp4"})) << "nothing else is left";
    }
}

// A second signal stops at once; a killed encoder fails the job, counting the
// frames it leaves. Neither leaves a video behind, nor the unfinished one under
// another name.
TEST_F(CaptureProgram, GivingUpOrLosingTheEncoderLeavesNoBrokenVideo) {
    const std::string waitForFirstFrame =
        "--capture frames --video v.mp4 --mute --from 12 --to 15 & "
        "while [ ! -e frames/frame_00120.png ] && kill -0 $!; do sleep 0.05; done; ";
    const ProgramResult twice = capture(waitForFirstFrame + "kill -INT $!; kill -TERM $!; wait $!");
    EXPECT_EQ(twice.exitCode, 130) << twice.output;
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{"frames"});

    fs::remove_all(dir_ + "/frames");
    const ProgramResult killed = capture(waitForFirstFrame + "kill -KILL $(pgrep -P $! -x ffmpeg); wait $!");
    EXPECT_TRUE(refused(killed, "ffmpeg was killed by signal 9"));
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{"frames"});
    // The frame whose video write failed is on disk all the same.
    const size_t kept = filesIn(dir_ + "/frames").size();
    ASSERT_GE(kept, 1u);
    EXPECT_TRUE(contains(killed.output, std::to_string(kept) + (kept == 1 ? " frame was" : " frames were") +
                                            " written to frames before that"));
}

// Everything here is refused with one line before a frame is rendered, and
// what the name held is left as it was.
TEST_F(CaptureProgram, RefusesOutputsThatAreNotRegularFilesAndNamesWithoutAVideoType) {
    { std::ofstream(dir_ + "/kept") << "kept"; }
    fs::create_symlink("kept", dir_ + "/link.mp4");
    fs::create_symlink("kept", dir_ + "/link.png");
    ASSERT_EQ(mkfifo((dir_ + "/pipe.mp4").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo((dir_ + "/pipe.png").c_str(), 0644), 0);
    fs::create_directory(dir_ + "/folder.mp4");
    const std::vector<std::string> before = filesIn(dir_);
    const std::pair<const char*, const char*> refusals[] = {{"--video link.mp4", "symbolic link"},
                                                            {"--video pipe.mp4", "not a regular file"},
                                                            {"--video folder.mp4", "folder"},
                                                            {"--video folder.mp4 --overwrite", "folder"},
                                                            {"--video noext", ".mp4, .mov, .mkv or .webm"},
                                                            {"--video v.avi", ".mp4, .mov, .mkv or .webm"},
                                                            {"--still 12 --out link.png", "symbolic link"},
                                                            {"--still 12 --out pipe.png", "not a regular file"}};
    for (auto [args, why] : refusals) {
        const bool still = std::string(args).rfind("--still", 0) == 0;
        const ProgramResult r = still ? run(args) : capture(std::string(args) + " --from 12 --to 12.3");
        EXPECT_TRUE(refused(r, why, true)) << args;
    }
    EXPECT_EQ(filesIn(dir_), before);
    EXPECT_TRUE(fs::is_symlink(dir_ + "/link.mp4") && fs::is_fifo(dir_ + "/pipe.png"));
    EXPECT_EQ(fs::file_size(dir_ + "/kept"), 4u);

    // A frame's name taken by a pipe, a link or a folder, among names that are free.
    fs::create_directory(dir_ + "/frames");
    for (int kind = 0; kind < 3; ++kind) {
        const std::string frame = dir_ + "/frames/frame_00121.png";
        fs::remove(frame);
        if (kind == 0) mkfifo(frame.c_str(), 0644);
        if (kind == 1) fs::create_symlink("../kept", frame);
        if (kind == 2) fs::create_directory(frame);
        ASSERT_TRUE(fs::exists(fs::symlink_status(frame)));
        const ProgramResult r = capture("--capture frames --from 12 --to 12.3");
        EXPECT_TRUE(refused(r, "frame_00121.png"));
        EXPECT_EQ(filesIn(dir_ + "/frames"), std::vector<std::string>{"frame_00121.png"}) << "refused before rendering";
    }
}

// ffmpeg exits with 0 after failing to finish the file, saying so on stderr or
// not at all: the job fails, and what was under the name stays.
TEST_F(CaptureProgram, AnEncoderThatFailsQuietlyFailsTheJob) {
    const std::string path =
        fakeOnPath(dir_, "ffmpeg",
                   "case \"$*\" in *-encoders*) printf ' ------\\n V....D libx264 H.264\\n'; exit 0;; esac\n"
                   "for last; do :; done\ncat >/dev/null\necho junk > \"${last#file:}\"\n"
                   "[ -n \"$QUIET\" ] || echo 'Error writing trailer: No space left on device' >&2");
    EXPECT_TRUE(refused(capture("--video v.mp4 --mute --from 12 --to 12.1", {path}), "No space left on device"));
    EXPECT_EQ(filesIn(dir_), std::vector<std::string>{"bin"});

    { std::ofstream(dir_ + "/v.mp4") << "an older video"; }
    const ProgramResult quiet = capture("--video v.mp4 --overwrite --mute --from 12 --to 12.1", {path, "QUIET=1"});
    EXPECT_TRUE(refused(quiet, "ffprobe"));
    EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"bin", "v.mp4"}));
    EXPECT_EQ(fs::file_size(dir_ + "/v.mp4"), 14u);
}

// The real thing: a disk with room for all but the end of the video.
TEST_F(CaptureProgram, AFullDiskFailsTheVideoAndLeavesNothing) {
    const ProgramResult good = capture("--video good.mp4 --from 12 --to 12.1");
    ASSERT_EQ(good.exitCode, 0) << good.output;
    EXPECT_TRUE(contains(good.output, "captured 1 frame ("));
    const uintmax_t size = fs::file_size(dir_ + "/good.mp4");

    char disk[] = "/tmp/template-full-XXXXXX";
    ASSERT_NE(mkdtemp(disk), nullptr);
    const std::string kb = std::to_string(size / 1024 + 256) + "k";
    if (mount("tmpfs", disk, "tmpfs", 0, ("size=" + kb).c_str()) != 0) {
        fs::remove(disk);
        GTEST_SKIP() << "cannot mount a small disk here: " << std::strerror(errno);
    }
    struct Unmount {
        const char* dir;
        ~Unmount() {
            std::error_code ignored;
            umount(dir);
            fs::remove(dir, ignored);
        }
    } unmount{disk};
    struct statvfs room {};
    ASSERT_EQ(statvfs(disk, &room), 0);
    const uintmax_t free = uintmax_t(room.f_bavail) * room.f_frsize;
    ASSERT_GT(free, size);
    { std::ofstream(std::string(disk) + "/filler") << std::string(free - size + 4096, 'x'); }

    const ProgramResult full = capture("--video " + std::string(disk) + "/v.mp4 --from 12 --to 12.1");
    EXPECT_TRUE(refused(full, "cannot encode"));
    EXPECT_EQ(filesIn(disk), std::vector<std::string>{"filler"});
}

// A track that is not one, or one that starts well and is damaged further
// in, leaves the video silent with a line saying why: the check before
// rendering decodes all of it, so neither the rendered frames nor the
// assembly of them are lost.
TEST_F(CaptureProgram, ABrokenTrackGivesASilentVideo) {
    makeDataFolder();
    const std::string track = dir_ + "/data/track.mp3";
    { std::ofstream(track) << std::string(4000, 'j'); }
    const ProgramResult junk = capture("--data data --video v.mp4 --from 12 --to 12.1");
    EXPECT_EQ(junk.exitCode, 0) << junk.output;
    EXPECT_TRUE(contains(junk.output, "capture: no music in the video: data/track.mp3 is not an MP3 track\n"));
    EXPECT_TRUE(contains(junk.output, "(no music)"));
    EXPECT_EQ(probe(dir_ + "/v.mp4").audio, -1) << "no audio stream";

    ASSERT_EQ(runProgram({"ffmpeg", "-nostdin", "-y", "-v", "error", "-f", "lavfi", "-i",
                          "sine=frequency=440:duration=4", "-b:a", "128k", track})
                  .exitCode,
              0);
    {
        std::fstream file(track, std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(static_cast<std::streamoff>(fs::file_size(track) / 2));
        for (int i = 0; i < 8000; ++i) file.put(static_cast<char>(i * 37));
    }
    // The first half second decodes cleanly: only a look at the whole finds the damage.
    ASSERT_EQ(runProgram({"ffmpeg", "-nostdin", "-v", "error", "-t", "0.5", "-i", track, "-f", "null", "-"}).output,
              "");
    for (const std::string job :
         {"--capture frames --video v.mp4 --size 32x24 --overwrite", "--assemble frames --video a.mp4"}) {
        const ProgramResult r = capture("--data data --from 0 --to 3 " + job);
        EXPECT_EQ(r.exitCode, 0) << r.output;
        EXPECT_TRUE(contains(r.output, "no music in the video: data/track.mp3 does not decode to its end"));
        const Probe facts = probe(dir_ + "/" + (job[2] == 'c' ? "v.mp4" : "a.mp4"));
        EXPECT_EQ(facts.frames, 30);
        EXPECT_EQ(facts.audio, -1) << "no audio stream";
    }
}

// A stop asked for while the checks before the first frame run (here while
// ffmpeg is asked for its encoders) ends the job as one between frames does:
// code 130, and nothing made.
TEST_F(CaptureProgram, AStopDuringTheChecksBeforeRenderingExits130) {
    const std::string path = ffmpegThatFirst("*-encoders*", "touch checking; sleep 1");
    const ProgramResult frames = capture("--capture frames --size 32x24 --from 13 --to 13.2");
    ASSERT_EQ(frames.exitCode, 0) << frames.output;
    const std::string stopWhileChecking =
        " & while [ ! -e checking ] && kill -0 $!; do sleep 0.02; done; kill -TERM $!; wait $!";
    const ProgramResult captured =
        capture("--video v.mp4 --size 32x24 --from 13 --to 13.2" + stopWhileChecking, {path});
    EXPECT_TRUE(refused(captured, "capture: interrupted before the first frame; nothing was kept", false, 130));
    fs::remove(dir_ + "/checking");
    const ProgramResult assembled =
        capture("--assemble frames --video v.mp4 --from 13 --to 13.2" + stopWhileChecking, {path});
    EXPECT_TRUE(refused(assembled, "assemble: interrupted; no video was made", false, 130));
    EXPECT_EQ(filesIn(dir_), (std::vector<std::string>{"bin", "checking", "frames"}));
}
