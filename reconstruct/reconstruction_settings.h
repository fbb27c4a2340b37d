#pragma once
// The reconstruction's knobs, one plain record with the values it is tuned to.

struct ReconstructionSettings {
    // History at the render size: the new frame's least weight, and the least
    // for pixels seen through mirror or glass, whose history smears what they show.
    float alpha = 0.1f;
    // Where the surface stood still in the view (the camera and the object
    // unmoved, the jitter aside) and the light neither moved nor dimmed, the
    // new frame's least weight is stillAlpha; it grows to alpha as the
    // surface moves by up to movingPixels output pixels a frame (a moving
    // history is resampled every frame, and blurs). At the rungs the show
    // holds, against 0.1 everywhere: the spheres (4, 9 s) +0.1 dB and SSIM
    // +0.002, the closed room +0.03 and -0.02 dB, the pedestal scene 0 to
    // -0.12 dB where the camera moves slowly. Lower everywhere (0.05), the
    // pedestal lost up to 0.5 dB while the light moved.
    float stillAlpha = 0.05f;
    float movingPixels = 1.0f;
    float specularAlpha = 0.3f;
    float momentsAlpha = 0.2f;
    // While the light moves, the new light's least weight where a surface sees
    // part of the light (or its taps saw other parts): the edges of its
    // shadows move with it, and their penumbrae kept the old shadow. At the
    // rungs the show holds, 0.7 gained 0.8-1.5 dB at 30, 60 and 75 s (the
    // light rising and falling; 0.5: 0.65-1.25), the other moments unchanged;
    // frame to frame over 74-75 s the picture changed a little more (50.5 to
    // 48.5 dB between successive frames; each frame filtered alone: 35.4).
    float penumbraAlpha = 0.7f;
    int longestHistory = 32;
    // Light is taken at most this bright (1 is the display's white). The light
    // is thousands of times brighter than anything else: one sample of it,
    // caught by a pixel whose guide sees the sky beside it, would keep that
    // pixel white for many frames (a trail behind the moving light). Taken at
    // most 1, the light around the light's glow and the light bounced into
    // shadows were lost (3 gained up to 4.5 dB over 1). At the rungs this
    // 2-core machine holds (one sample at 320 x 240, 272 x 204 in the room),
    // 5 gained 1.2-1.4 dB in the closed room, whose light comes mostly
    // bounced, and 0.2-0.3 dB in the spheres, against 3 (0.26 dB less at 22.5 s,
    // the rest the same); more gains the room yet more and costs the spheres.
    float brightestLight = 5.0f;
    // What the clamp takes off is given back, spread over the object within
    // cells of this many render pixels (reconstruct/clamped_light.h), except
    // in cells where more than denseExcessShare of the pixels were clamped.
    // At the rungs the show holds, against the clamped light alone: the closed
    // room +2.8 and +3.3 dB at 97 and 102 s (against 512 passes; SSIM +0.003),
    // the spheres +0.4 and +0.7 dB, the pedestal the same. Cells of 8 pixels
    // lost 0.1-0.2 dB and up to 0.007 SSIM in the room, of 32 pixels up to
    // 2.7 dB in the spheres; 0.25 for the dense share lost 1.6 dB at 22.5 s
    // (the top of the pedestal's dome, right under the light, is bright all
    // over), 0.05 up to 0.3 dB in the spheres.
    bool returnClampedLight = true;
    int excessCellPixels = 16;
    float denseExcessShare = 0.1f;
    // Below this many frames the variance is estimated from the neighbourhood.
    int spatialVarianceBelow = 4;
    // A previous tap is the same surface when its first-hit distance is within
    // this fraction of the expected one (plus the local slope) and its normal
    // within this cosine.
    float depthAgreement = 0.03f;
    float normalAgreement = 0.9f;
    // Direct light that changed by more than this fraction cuts the history
    // to about lightChangeFrames / (fraction) frames, so the picture follows.
    float lightChangeThreshold = 0.05f;
    float lightChangeFrames = 0.25f;
    // A history at least outOfRangeFrames long that lies outside the new
    // frame's range around the pixel, widened by this fraction, is cut to
    // that many frames (reconstruct/history_range.h). At the rungs the show
    // holds, 0.5 and 4 gained up to 0.75 dB in the pedestal scene and 0.3 in
    // the spheres, the room the same; without the widening the room lost 1 dB.
    float outOfRangeMargin = 0.5f;
    float outOfRangeFrames = 4.0f;
    // The variance-guided filter, and the least surface colour light is divided by.
    // A second pass costs about 1 ms a frame, so the live show holds a rung
    // lower in the spheres and the closed room; at the rungs it then holds,
    // the PSNR is the same and the SSIM 0.005 to 0.014 higher.
    int filterPasses = 2;
    // When more than a quarter of the pixels have gathered fewer than
    // youngHistory frames, the plain filter's youngFilterPasses passes are
    // blended in where the history is that young (0: never).
    float youngHistory = 4.0f;
    int youngFilterPasses = 3;
    // Whether the filter's first pass becomes the history instead of the light
    // as accumulated. Fed back, the filter's blur piles up frame after frame: a
    // still 48 x 36 picture after 24 frames had a squared byte error of 80
    // against many passes that way, 36 without (the plain mean of the frames: 9).
    bool filteredHistory = false;
    float phi = 4.0f;
    // Vectors of pixels whose filter deviation (phi times the noise) is below
    // this share of their brightness skip the filter's taps. At 0.1 the live
    // look moved by at most 0.016 dB at eleven moments over the three scenes,
    // and the taps cost about a third less; at 0.2 the spheres lost 0.05 dB.
    float settledDeviation = 0.1f;
    // The filter's taps across a shadow's edge (the guide's share of the
    // light seen) count as if their brightness differed by this many
    // deviations more per whole light: a shadow's young history is noisy,
    // and brightness alone let the lit light around it in. At the rungs the
    // show holds, 5 against none: the pedestal +0.24 to +0.66 dB (50 and 88 s
    // the most), the closed room +0.1 to +0.2 dB, the spheres -0.01 dB; 2 and
    // 10 gained a little less.
    float shadowStop = 5.0f;
    float smallestAlbedo = 0.05f;
    // History at the output size: the new frame's least weight, and how many
    // deviations of the new neighbourhood the history may stray.
    float outputAlpha = 0.1f;
    float clampGamma = 2.0f;
    // The new sample counts 1 - this x (its distance from the output pixel
    // in render pixels, squared): a quarter at the farthest (0.3 dB more than
    // reading the render bilinearly at 4, 60 and 75 s, the same elsewhere).
    float sampleDistanceWeight = 1.5f;
    // Worker threads, 0 for one per core.
    int threads = 0;
};
