template_folder(reconstruct
  SOURCES
    image_plane.cpp
  LIBS Threads::Threads)
