template_folder(demo
  SOURCES
    demo.cpp
    live_quality.cpp
    image_file.cpp
    png_layout.cpp
    sprite.cpp
    scaled_image_part.cpp
    overlays.cpp
    music.cpp
    readout_font.cpp
    letterbox.cpp
  LIBS ${FREEIMAGE_LIBRARY})
