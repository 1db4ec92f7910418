#include "framework/tools/zString.h"
#include "framework/tools/zTextScanner.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Every scanner routine must stay inside [begin, end) on any input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<char> text(data, data + size);
    const char* begin = text.data();
    const char* end = begin + text.size();

    for (const char* p = begin; p < end;) {
        const char* next = SkipToken(p, end, (size & 1) != 0);
        if (next < p || next > end)
            __builtin_trap();
        IsFloatToken(p, end);
        FindClosingQuote(p, end);
        p = next == p ? p + 1 : next;
    }
    FindDelimiter(begin, end, '>');
    ParseFloat(begin, end, true);

    std::vector<char> path(text);
    path.push_back('\0');
    zString s(path.data());
    s.NormalizePath();
    PathStripDirectoryAndExtension(path.data());
    return 0;
}
