#pragma once
// Encodes frames into a video file through an ffmpeg child process: raw BGRA
// frames go down a pipe, the music (looping, faded like the show) is muxed in.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "outputs/process.h"
#include "kernel/frame_data.h"

struct VideoSettings {
    std::string program = "ffmpeg";
    std::string outputPath;
    int width = frameWidth;
    int height = frameHeight;
    int fps = 60;
    int frameCount = 0;              // the video lasts exactly frameCount / fps seconds
    std::string audioPath;           // empty: no audio track
    double audioStartSeconds = 0.0;  // show time of the first frame
    double fadeStartSeconds = 96.0;  // show time the music starts to fade out
    double fadeSeconds = 10.0;       // linear fade to silence
    std::vector<std::string> videoCodec = {"-c:v", "libx264", "-preset",  "veryfast",
                                           "-crf", "20",      "-pix_fmt", "yuv420p"};
    std::vector<std::string> audioCodec = {"-c:a", "aac", "-b:a", "192k"};
    std::vector<std::string> containerOptions = {"-movflags", "+faststart"};  // after -t, before the file
};

// The full command line, program name first.
std::vector<std::string> ffmpegArguments(const VideoSettings& settings);

// Seconds as ffmpeg reads them, to the microsecond: "12.3", "0.016667".
std::string secondsText(double seconds);

class VideoEncoder {
public:
    VideoEncoder() = default;
    VideoEncoder(const VideoEncoder&) = delete;
    VideoEncoder& operator=(const VideoEncoder&) = delete;
    ~VideoEncoder();

    // Starts ffmpeg. Ignores SIGPIPE for the whole process so that a dead
    // encoder shows up as a failed write.
    bool start(const VideoSettings& settings, std::string& error);
    // One frame of width x height pixels (pitch in pixels). False once ffmpeg
    // has stopped reading; finish() then tells why.
    bool writeFrame(const uint32_t* pixels, int pitch, std::string& error);
    // Closes the pipe and waits for ffmpeg. False unless it exited with 0 and
    // printed nothing (it runs with -loglevel error).
    bool finish(std::string& error);
    bool running() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

private:
    VideoSettings settings_;
    pid_t pid_ = -1;
    int pipe_ = -1;
    int output_ = -1;  // what ffmpeg prints
};

// Reads a finished video back with ffprobe, when there is one on PATH: a video
// whose trailer never reached the disk fails here.
bool probeVideo(const std::string& path, std::string& error);
// Decodes the whole of the track's audio: the video loops it, so any part may
// be muxed, and a track damaged anywhere would otherwise fail the encoding
// only once every frame has been sent.
bool checkAudioDecodes(const std::string& program, const std::string& path, std::string& error);

// Cuts a finished video down to its first seconds without re-encoding (used
// when a capture stops early and the audio would run on past the pictures).
bool trimVideo(const std::string& program, const std::string& path, double seconds, std::string& error);
