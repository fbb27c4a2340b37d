template_folder(demo
  SOURCES
    game.cpp
    live_quality.cpp
    image_file.cpp
    png_layout.cpp
    sprite.cpp
    scaled_image_part.cpp
    overlays.cpp
    music.cpp
    readout_font.cpp
    letterbox.cpp
  LIBS PkgConfig::SDL PkgConfig::SDL_MIXER ${FREEIMAGE_LIBRARY} ${TPL_ALSA_LIBRARY}
  DEFINES ${TPL_ALSA_DEFINE})
