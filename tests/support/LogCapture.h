#pragma once

#include "framework/system/zLogStream.h"

#include <string>
#include <vector>

// Collects the lines the global log prints while it lives, with every category enabled.
class LogCapture : public zLogSink {
public:
    LogCapture() : previous(GlobalLog.SetSink(this)), previousMask(GlobalLog.VerbosityMask)
    {
        GlobalLog.VerbosityMask = 0xFF;
    }
    ~LogCapture() override
    {
        GlobalLog.SetSink(previous);
        GlobalLog.VerbosityMask = previousMask;
    }

    void Write(const char* line) override { lines.emplace_back(line); }

    // True when some line holds the text.
    bool Contains(const std::string& text) const
    {
        for (const std::string& line : lines) {
            if (line.find(text) != std::string::npos)
                return true;
        }
        return false;
    }

    std::vector<std::string> lines;

private:
    zLogSink* previous;
    uint8_t previousMask;
};
