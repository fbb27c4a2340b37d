#pragma once
// Child processes of the headless jobs (ffmpeg, ffprobe): started from PATH,
// waited for, and judged by their exit status and what they printed.
#include <sys/types.h>

#include <string>
#include <vector>

// The executable that execvp would run for name, or empty when PATH has none.
std::string findOnPath(const std::string& name);

// Spawns arguments[0] from PATH in a process group of its own, so that a
// Ctrl-C at the terminal reaches only us and we decide how the child ends.
// Its stdin is stdinFd (/dev/null when negative); its stdout and stderr go
// to outputFd.
bool spawn(const std::vector<std::string>& arguments, int stdinFd, int outputFd, pid_t& pid, std::string& error);
// The child's wait status; -1 when it cannot be waited for.
int waitFor(pid_t pid);

// ffmpeg runs with -loglevel error and still exits with 0 after some failures
// (a full disk while the trailer is written), so whatever it prints is taken as
// a failure. Its output goes to a file in memory: a pipe could fill up while we
// block writing frames to it. -1 with error when there is none.
int makeOutputFile(std::string& error);
// False, with why, unless the program exited with 0 and printed nothing into outputFd.
bool judge(const std::string& program, int status, int outputFd, std::string& error);

// Runs a program to completion (stdin closed). False with its exit status and
// first line of output unless it exited with 0 and printed nothing.
bool runProgram(const std::vector<std::string>& arguments, std::string& error);

// Runs a program to completion (stdin closed) and keeps what it printed. False
// with its exit status and first line of output unless it exited with 0.
bool readProgramOutput(const std::vector<std::string>& arguments, std::string& output, std::string& error);
