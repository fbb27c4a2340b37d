# The program's entry: the command line, the console, the data folder; main.cpp
# is compiled into each program (CMakeLists.txt).
template_folder(entry
  SOURCES
    console.cpp
    options.cpp
    data_dir.cpp)
