#pragma once
// The video file a job encodes frames into, from the encoder's start to the
// file in place: ffmpeg writes under the hidden partial name (whatever was left
// there is removed first, as ffmpeg would write through a link), the interrupt
// guard knows what a second Ctrl-C must kill and remove, and only a finished
// file that reads back is renamed to the name asked for.
#include <cstdint>
#include <string>

#include "outputs/interrupt.h"
#include "outputs/video_encoder.h"

// The video is encoded beside its place under a hidden name with the same
// extension ("dir/.show.mp4.partial.mp4") and only renamed into place once it
// reads back, so neither a failed nor an abandoned encoding leaves a broken
// file under the name asked for.
std::string partialVideoPath(const std::string& path);

class VideoSink {
public:
    explicit VideoSink(InterruptGuard& guard) : guard_(guard) {}
    VideoSink(const VideoSink&) = delete;
    VideoSink& operator=(const VideoSink&) = delete;

    // Starts the encoder on settings.outputPath (the partial name).
    bool start(const VideoSettings& settings, std::string& error);
    bool running() const { return encoder_.running(); }
    bool writeFrame(const uint32_t* pixels, int pitch, std::string& error) {
        return encoder_.writeFrame(pixels, pitch, error);
    }
    // Waits for the encoder to end (VideoEncoder::finish); from then on a
    // second signal has no process to kill.
    bool finish(std::string& error);
    const std::string& partialPath() const { return partial_; }
    // Probes the finished partial file and renames it to path; removes it otherwise.
    bool place(const std::string& path, std::string& error);
    // Removes the partial file: nothing of the video is kept.
    void discard();

private:
    InterruptGuard& guard_;
    VideoEncoder encoder_;
    std::string partial_;
};
