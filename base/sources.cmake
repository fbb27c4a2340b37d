# Pieces that need nothing but the C++ standard library and POSIX, for every
# folder: the command-line reader the program and engine-check share, the exit
# codes, output-file checks, number text, timing statistics.
template_folder(base
  SOURCES
    command_line.cpp
    decimal_text.cpp
    output_file.cpp)
