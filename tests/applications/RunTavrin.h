#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

// One run of the built executable: its exit code and its output lines.
struct TavrinRun {
    int exitCode = -1;
    std::vector<std::string> lines;

    bool Has(const std::string& text) const
    {
        for (const std::string& line : lines) {
            if (line.find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    int Count(const std::string& text) const
    {
        int count = 0;
        for (const std::string& line : lines)
            count += line.find(text) != std::string::npos ? 1 : 0;
        return count;
    }
    // The script lines ("[S] " prefix removed), in order.
    std::vector<std::string> ScriptLines() const
    {
        std::vector<std::string> out;
        for (const std::string& line : lines) {
            if (line.rfind("[S] ", 0) == 0)
                out.push_back(line.substr(4));
        }
        return out;
    }
    std::string Text() const
    {
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        return text;
    }
};

// A run whose renderer found a GL error after a pass (the GL error check the
// test programs switch on) fails the test that started it.
inline void ExpectNoGLErrors(const TavrinRun& run)
{
    for (const std::string& line : run.lines) {
        if (line.find("zGL3Renderer::CheckPass") != std::string::npos)
            ADD_FAILURE() << line;
    }
}

inline std::string ShellQuote(const std::string& text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// Runs `program arguments...` in the directory with stdout and stderr joined.
// The program is taken as written (a bare name is looked up through PATH,
// which the prefix may set).
inline TavrinRun RunProgram(const std::string& directory, const std::string& prefix, const std::string& program,
                            const std::vector<std::string>& arguments)
{
    std::string command = "cd " + ShellQuote(directory) + " && " + prefix + " " + ShellQuote(program);
    for (const std::string& argument : arguments)
        command += " " + ShellQuote(argument);
    command += " 2>&1";
    TavrinRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    std::string line;
    for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe)) {
        if (c == '\n') {
            run.lines.push_back(line);
            line.clear();
        } else {
            line += char(c);
        }
    }
    if (!line.empty())
        run.lines.push_back(line);
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    ExpectNoGLErrors(run);
    return run;
}

inline TavrinRun RunTavrin(const std::string& directory, const std::vector<std::string>& arguments)
{
    return RunProgram(directory, "exec", TAVRIN_EXECUTABLE, arguments);
}

// The executable running in the background, its stdout and stderr joined into
// one pipe that the test reads line by line, so that it can act on what the
// run says (a signal once a script has started) instead of on time.
class TavrinProcess {
public:
    // How long any one wait may take before the run counts as hung: generous,
    // for sanitizer builds on a loaded machine.
    static constexpr int HungSeconds = 120;

    TavrinProcess(const std::string& directory, const std::vector<std::string>& arguments)
    {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC) != 0)
            return;
        std::vector<std::string> words = {TAVRIN_EXECUTABLE};
        words.insert(words.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        pid = fork();
        if (pid == 0) {
            dup2(ends[1], STDOUT_FILENO);
            dup2(ends[1], STDERR_FILENO);
            if (chdir(directory.c_str()) == 0)
                execv(argv[0], argv.data());
            _exit(127);
        }
        close(ends[1]);
        output = ends[0];
    }
    ~TavrinProcess()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (output >= 0)
            close(output);
    }
    TavrinProcess(const TavrinProcess&) = delete;
    TavrinProcess& operator=(const TavrinProcess&) = delete;

    bool Started() const { return pid > 0 && output >= 0; }

    // Reads until a line holding `text` has come; false at the end of the
    // output or when the run seems hung.
    bool WaitForLine(const std::string& text)
    {
        const auto deadline = Deadline();
        for (size_t seen = 0;; ++seen) {
            while (seen >= run.lines.size()) {
                if (!ReadMore(deadline))
                    return false;
            }
            if (run.lines[seen].find(text) != std::string::npos)
                return true;
        }
    }

    void Signal(int signal) const { kill(pid, signal); }

    // Reads the rest of the output and waits for the exit; a run still going
    // after the hung bound is killed and reads as exit code -2.
    TavrinRun Finish()
    {
        const auto deadline = Deadline();
        while (ReadMore(deadline)) {
        }
        if (!partial.empty())
            run.lines.push_back(partial);
        partial.clear();
        if (hung) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            run.exitCode = -2;
        } else {
            int status = 0;
            waitpid(pid, &status, 0);
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        pid = -1;
        ExpectNoGLErrors(run);
        return run;
    }

    const TavrinRun& SoFar() const { return run; }

private:
    using Clock = std::chrono::steady_clock;
    static Clock::time_point Deadline() { return Clock::now() + std::chrono::seconds(HungSeconds); }

    // One read into the lines; false at the end of the output or when hung.
    bool ReadMore(Clock::time_point deadline)
    {
        if (hung || output < 0)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd wait{output, POLLIN, 0};
        if (left <= 0 || poll(&wait, 1, int(left)) <= 0) {
            hung = true;
            return false;
        }
        char buffer[4096];
        const ssize_t n = read(output, buffer, sizeof(buffer));
        if (n <= 0)
            return false;
        for (ssize_t i = 0; i < n; ++i) {
            if (buffer[i] == '\n') {
                run.lines.push_back(partial);
                partial.clear();
            } else {
                partial += buffer[i];
            }
        }
        return true;
    }

    pid_t pid = -1;
    int output = -1;
    bool hung = false;
    std::string partial;
    TavrinRun run;
};
