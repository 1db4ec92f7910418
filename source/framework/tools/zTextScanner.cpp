#include "framework/tools/zTextScanner.h"

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsTokenStop(char c, bool minus)
{
    switch (c) {
    case ' ': case '\t': case '\r': case '\n': case '"':
    case '(': case ')': case '*': case '+': case ',': case '/':
    case ':': case ';': case '<': case '=': case '>':
        return true;
    case '-':
        return !minus;
    default:
        return false;
    }
}

} // namespace

const char* FindClosingQuote(const char* position, const char* end)
{
    while (position < end) {
        if (*position == '\\') {
            position += 2;
            continue;
        }
        if (*position == '"')
            return position;
        ++position;
    }
    return end;
}

const char* FindTokenEnd(const char* position, const char* end, bool minus)
{
    while (position < end && !IsTokenStop(*position, minus))
        ++position;
    return position;
}

const char* SkipLineComment(const char* position, const char* end)
{
    for (position += 2; position < end; ++position) {
        if (*position == '\r' || *position == '\n')
            return position;
    }
    return end;
}

const char* SkipBlockComment(const char* position, const char* end)
{
    for (position += 2; position + 1 < end; ++position) {
        if (position[0] == '*' && position[1] == '/')
            return position + 2;
    }
    return end;
}

const char* SkipBlanksAndComments(const char* position, const char* end)
{
    while (position < end) {
        const char c = *position;
        if (c == '\r' && position + 1 < end && position[1] == '\n') {
            position += 2;
        } else if (IsBlank(c)) {
            ++position;
        } else if (c == '/' && position + 1 < end && position[1] == '/') {
            position = SkipLineComment(position, end);
        } else if (c == '/' && position + 1 < end && position[1] == '*') {
            position = SkipBlockComment(position, end);
        } else {
            break;
        }
    }
    return position;
}

const char* SkipToken(const char* position, const char* end, bool minus)
{
    return SkipBlanksAndComments(FindTokenEnd(position, end, minus), end);
}

bool IsFloatToken(const char* position, const char* end)
{
    const char* tokenEnd = FindTokenEnd(position, end, false);
    if (position < end && *position == '-') {
        ++position;
        tokenEnd = FindTokenEnd(position, end, false);
    }
    for (; position < tokenEnd; ++position) {
        if (*position == '.' || *position == 'f')
            return true;
    }
    return false;
}

const char* FindDelimiter(const char* position, const char* end, char ch)
{
    for (;;) {
        position = SkipBlanksAndComments(position, end);
        if (position >= end)
            return nullptr;
        if (*position == '(') {
            // Skip the group; the search goes on at its closing parenthesis.
            int depth = 1;
            while (depth > 0) {
                if (++position >= end)
                    return nullptr;
                if (*position == '(')
                    ++depth;
                else if (*position == ')')
                    --depth;
            }
        }
        if (*position == ch)
            return position;
        ++position;
    }
}
