template_folder(reconstruct
  SOURCES
    history_break.cpp
    image_plane.cpp
    motion.cpp
  LIBS Threads::Threads)
