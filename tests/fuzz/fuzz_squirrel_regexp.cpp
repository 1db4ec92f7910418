// Compiles arbitrary bytes as a regular expression and runs it over text. Input: the
// pattern, a NUL byte, then the text (which may hold further NULs: the range search sees
// them). Bad patterns must be refused with an error; good ones must match, search and
// report captures inside the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <sqstdstring.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    const char *nul = static_cast<const char *>(memchr(bytes, 0, size));
    std::string pattern(bytes, nul ? static_cast<size_t>(nul - bytes) : size);
    std::string text = nul ? std::string(nul + 1, bytes + size) : std::string("abc aab 0x1F word");

    const SQChar *error = nullptr;
    SQRex *rex = sqstd_rex_compile(pattern.c_str(), &error);
    if (!rex) {
        if (!error) abort(); // a refusal always says why
        return 0;
    }
    const char *begin = text.c_str(), *end = begin + text.size();
    sqstd_rex_match(rex, begin);
    SQInteger groups = sqstd_rex_getsubexpcount(rex);
    const SQChar *from = begin, *mb = nullptr, *me = nullptr;
    for (int round = 0; round < 64 && from <= end; round++) {
        if (!sqstd_rex_searchrange(rex, from, end, &mb, &me)) break;
        if (mb < from || me < mb || me > end) abort();
        for (SQInteger g = 0; g < groups; g++) {
            SQRexMatch m;
            if (sqstd_rex_getsubexp(rex, g, &m) && m.len > 0 && (m.begin < begin || m.begin + m.len > end)) abort();
        }
        from = me > mb ? me : mb + 1;
    }
    sqstd_rex_free(rex);
    return 0;
}
