#include "support/run_program.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

ProgramResult runProgram(const std::vector<std::string>& args, const std::vector<std::string>& env,
                         const std::string& workDir) {
    ProgramResult result;
    int pipeFds[2];
    // Close-on-exec: a program another thread starts meanwhile must not inherit
    // the write end and hold back this one's end of output until it exits itself.
    if (pipe2(pipeFds, O_CLOEXEC) != 0) return result;
    pid_t pid = fork();
    if (pid == 0) {
        dup2(pipeFds[1], 1);
        dup2(pipeFds[1], 2);
        close(pipeFds[0]);
        close(pipeFds[1]);
        if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(127);
        for (const auto& e : env) {
            const auto eq = e.find('=');
            const std::string name = e.substr(0, eq);
            const std::string value = eq == std::string::npos ? "" : e.substr(eq + 1);
            if (value.empty())
                unsetenv(name.c_str());
            else
                setenv(name.c_str(), value.c_str(), 1);
        }
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    return result;
}
