#pragma once

#include "script/zScriptMaster.h"
#include "support/FileSystemGuard.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <squirrel.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

// A started script master whose log is captured, working in a scratch
// directory so scripts are named by short relative paths.
class ScriptFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::current_path(dir.Path());
        ASSERT_TRUE(master.StartVM());
        v = master.GetVM();
    }

    // Writes a script file and loads it through the master.
    bool Load(const std::string& name, const std::string& text)
    {
        dir.Write(name, text);
        return master.AddScript(name.c_str());
    }

    void Register(const char* name, SQFUNCTION function, const char* mask = nullptr)
    {
        sq_pushroottable(v);
        sq_pushstring(v, name, -1);
        sq_newclosure(v, function, 0);
        sq_setnativeclosurename(v, -1, name);
        if (mask != nullptr)
            sq_setparamscheck(v, SQ_MATCHTYPEMASKSTRING, mask);
        sq_newslot(v, -3, SQFalse);
        sq_pop(v, 1);
    }

    // Calls a root-table function with no arguments; false when it fails.
    bool Call(const char* name)
    {
        if (!master.SetupFunctionCall(name))
            return false;
        return master.DoFunctionCall(0);
    }

    // The captured lines, split at line feeds, with the code locations of
    // error and warning heads left out ("[!] Method (file:line) text" reads
    // "[!] Method text").
    std::vector<std::string> Lines() const
    {
        static const std::regex location(R"( \([^ ()]+:[0-9]+\))");
        std::vector<std::string> out;
        for (const std::string& chunk : log.lines) {
            size_t start = 0;
            while (start < chunk.size()) {
                size_t end = chunk.find('\n', start);
                if (end == std::string::npos)
                    end = chunk.size();
                out.push_back(std::regex_replace(chunk.substr(start, end - start), location, ""));
                start = end + 1;
            }
        }
        return out;
    }

    // The captured lines from index `from` on, joined with line feeds.
    std::string Text(size_t from = 0) const
    {
        std::string out;
        const std::vector<std::string> lines = Lines();
        for (size_t i = from; i < lines.size(); ++i)
            out += lines[i] + "\n";
        return out;
    }

    size_t Count(const std::string& text) const
    {
        size_t n = 0;
        for (const std::string& line : Lines())
            n += line.find(text) != std::string::npos;
        return n;
    }

    FileSystemGuard guard;
    TempDir dir;
    LogCapture log;
    zScriptMaster master;
    HSQUIRRELVM v = nullptr;
};
