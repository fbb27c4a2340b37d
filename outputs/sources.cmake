# The headless jobs' outputs: stills, frames and videos, the farm's parts, the benchmark.
template_folder(outputs
  SOURCES
    image_writer.cpp
    video_format.cpp
    process.cpp
    video_encoder.cpp
    video_output.cpp
    video_sink.cpp
    interrupt.cpp
    headless_demo.cpp
    still.cpp
    capture_plan.cpp
    capture_parts.cpp
    progress_line.cpp
    capture.cpp
    capture_check.cpp
    assemble.cpp
    benchmark_mode.cpp
  LIBS ${FREEIMAGE_LIBRARY})
