# The live show: the only folder that opens a window, talks to OpenGL or plays sound.
template_folder(live
  SOURCES
    fatal_error.cpp
    gl_display.cpp
    window.cpp
    show_loop.cpp
    show_keys.cpp
    show_controls.cpp
    frame_stats.cpp
    music_player.cpp
  LIBS PkgConfig::SDL PkgConfig::SDL_MIXER OpenGL::GL ${X11_LIBRARIES} ${TPL_ALSA_LIBRARY}
  DEFINES ${TPL_ALSA_DEFINE})
