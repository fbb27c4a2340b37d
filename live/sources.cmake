# The live show: the only folder that opens a window or talks to OpenGL.
template_folder(live
  SOURCES
    fatal_error.cpp
    gl_display.cpp
    window.cpp
    show_loop.cpp
    show_keys.cpp
    show_controls.cpp
    frame_stats.cpp
  LIBS PkgConfig::SDL OpenGL::GL ${X11_LIBRARIES})
