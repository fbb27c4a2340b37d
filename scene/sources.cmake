template_folder(scene
  SOURCES
    world.cpp
    presets.cpp
    figures.cpp
    bounds.cpp)
