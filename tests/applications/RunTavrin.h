#pragma once

#include <sys/wait.h>

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
    return run;
}

inline TavrinRun RunTavrin(const std::string& directory, const std::vector<std::string>& arguments)
{
    return RunProgram(directory, "exec", TAVRIN_EXECUTABLE, arguments);
}
