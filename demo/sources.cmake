template_folder(demo
  SOURCES
    game.cpp
    image_file.cpp
    sprite.cpp
    overlays.cpp
    music.cpp
  LIBS PkgConfig::SDL PkgConfig::SDL_MIXER ${FREEIMAGE_LIBRARY} ${TPL_ALSA_LIBRARY}
  DEFINES ${TPL_ALSA_DEFINE})
