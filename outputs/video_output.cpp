#include "outputs/video_output.h"

#include "anim/show_state.h"
#include "base/output_file.h"
#include "outputs/video_format.h"
#include "demo/music.h"
#include "render/frame_driver.h"

namespace {

std::string sizeText(int width, int height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

// "use --size 32x24 or 34x26, or --codec vp9 or av1, which take any size"
std::string evenSizeAdvice(bool fromFrames, const std::string& container, int width, int height) {
    const std::string codecs = codecsTakingAnySize(container);
    const std::string other = codecs.empty() ? "" : "--codec " + codecs + ", which take any size";
    if (fromFrames) return "and the frames are " + sizeText(width, height) + ": use " + other;
    std::string sizes = sizeText(width & ~1, height & ~1);
    const int upWidth = width + (width & 1), upHeight = height + (height & 1);
    if (static_cast<long long>(upWidth) * upHeight <= maxFramePixels) sizes += " or " + sizeText(upWidth, upHeight);
    return "not " + sizeText(width, height) + ": use --size " + sizes + (other.empty() ? "" : ", or " + other);
}

}  // namespace

bool planVideo(const VideoRequest& request, bool overwrite, bool music, bool fromFrames, const std::string& dataDir,
               const CapturePlan& plan, int width, int height, VideoSettings& video, std::string& warning,
               std::string& error) {
    warning.clear();
    VideoFormat format;
    if (!videoFormatFor(request.path, request.codec, request.crf, format, error)) return false;
    std::string why;
    if (!videoSizeFits(format, width, height, why)) {
        error = "cannot write " + request.path + ": " + why + ", " +
                evenSizeAdvice(fromFrames, format.container, width, height);
        return false;
    }
    if (findOnPath(video.program).empty()) {
        error = "ffmpeg was not found on PATH; it is needed to write " + request.path;
        return false;
    }
    if (!checkNewOutputFile(request.path, overwrite, error)) return false;
    video.videoCodec = format.videoArguments;
    video.audioCodec = format.audioArguments;
    video.containerOptions = format.containerArguments;
    video.outputPath.clear();
    video.width = width;
    video.height = height;
    video.fps = plan.fps;
    video.frameCount = plan.frameCount();
    video.audioStartSeconds = plan.startSeconds();
    video.fadeStartSeconds = musicFadeStartSeconds;
    video.fadeSeconds = showLengthSeconds - musicFadeStartSeconds;
    video.audioPath.clear();
    if (music) {
        const std::string track = dataDir + "/track.mp3";
        if (!checkTrack(track, why))
            warning = "no music in the video: " + why;
        else if (!checkAudioDecodes(video.program, track, why))
            warning = "no music in the video: " + track + " does not decode to its end (" + why + ")";
        else
            video.audioPath = track;
    }
    return checkEncoders(video.program, format, !video.audioPath.empty(), error);
}
