template_folder(reconstruct
  SOURCES
    image_plane.cpp
    motion.cpp
  LIBS Threads::Threads)
