template_folder(app
  SOURCES
    console.cpp
    fatal_error.cpp
    options.cpp
    data_dir.cpp
    # live show
    gl_display.cpp
    window.cpp
    show_loop.cpp
    show_keys.cpp
    show_controls.cpp
    frame_stats.cpp
    # headless jobs
    output_file.cpp
    image_writer.cpp
    png_writer.cpp
    video_format.cpp
    still.cpp
    video_encoder.cpp
    capture_plan.cpp
    capture_parts.cpp
    progress_line.cpp
    capture.cpp
    capture_check.cpp
    video_output.cpp
    interrupt.cpp
    assemble.cpp
    benchmark_mode.cpp
  LIBS PkgConfig::SDL OpenGL::GL ${X11_LIBRARIES} ${FREEIMAGE_LIBRARY})
