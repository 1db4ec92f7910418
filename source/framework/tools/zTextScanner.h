#pragma once

// Pointer-range routines over a text held whole in memory, shared by the
// metafile, markup and command-list parsers. None of them allocates.

const char* FindClosingQuote(const char* position, const char* end);
// minus: '-' belongs to tokens (true) or ends them (false).
const char* FindTokenEnd(const char* position, const char* end, bool minus);
const char* SkipLineComment(const char* position, const char* end);
const char* SkipBlockComment(const char* position, const char* end);
const char* SkipBlanksAndComments(const char* position, const char* end);
const char* SkipToken(const char* position, const char* end, bool minus);
bool IsFloatToken(const char* position, const char* end);
// The first ch outside parenthesised groups and comments, or null.
const char* FindDelimiter(const char* position, const char* end, char ch);
