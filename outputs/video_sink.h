#pragma once
// The video file a job encodes frames into, from the encoder's start to the
// file in place: ffmpeg writes into a hidden partial file of this run's own
// beside the name asked for ("dir/.show.mp4.k3Xq9a.partial.mp4"), the
// interrupt guard knows what a second Ctrl-C must kill and remove, and only a
// finished file that reads back is renamed to the name asked for. So neither a
// failed nor an abandoned encoding leaves a broken file under that name, and
// two runs making one video never write into each other's.
#include <cstdint>
#include <string>

#include "outputs/interrupt.h"
#include "outputs/video_encoder.h"

class VideoSink {
public:
    explicit VideoSink(InterruptGuard& guard) : guard_(guard) {}
    VideoSink(const VideoSink&) = delete;
    VideoSink& operator=(const VideoSink&) = delete;

    // Makes the partial file beside path and starts the encoder on it
    // (settings.outputPath is set to it); nothing is left when that fails.
    bool start(VideoSettings settings, const std::string& path, std::string& error);
    bool running() const { return encoder_.running(); }
    bool writeFrame(const uint32_t* pixels, int pitch, std::string& error) {
        return encoder_.writeFrame(pixels, pitch, error);
    }
    // Waits for the encoder to end (VideoEncoder::finish); from then on a
    // second signal has no process to kill.
    bool finish(std::string& error);
    const std::string& partialPath() const { return partial_; }
    // Probes the finished partial file and renames it to path; removes it
    // otherwise. Without replace nothing under path is replaced, not even a
    // video another run put there meanwhile.
    bool place(const std::string& path, bool replace, std::string& error);
    // Removes the partial file: nothing of the video is kept.
    void discard();

private:
    InterruptGuard& guard_;
    VideoEncoder encoder_;
    std::string partial_;
};
