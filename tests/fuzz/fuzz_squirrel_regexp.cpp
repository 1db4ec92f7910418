// Compiles arbitrary bytes as a regular expression and runs it over text. Input: the
// pattern, a NUL byte, then the text (which may hold further NULs: the range search sees
// them, the script class stops at the first one after its start index). Bad patterns must
// be refused with an error; good ones must match, search and report captures inside the
// text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <squirrel.h>
#include <sqstdstring.h>

namespace {

// regexp(pattern).capture(text, start) through the script class: every range that took
// part must lie between the start and the first NUL after it.
void CaptureFromScript(const std::string &pattern, const std::string &text, SQInteger start)
{
    const char *from = text.c_str() + start;
    SQInteger limit = start + static_cast<SQInteger>(strnlen(from, text.size() - static_cast<size_t>(start)));
    HSQUIRRELVM v = sq_open(64);
    sq_pushroottable(v);
    sqstd_register_stringlib(v);
    sq_pushstring(v, "regexp", -1);
    if (SQ_FAILED(sq_get(v, -2))) abort();
    sq_pushroottable(v);
    sq_pushstring(v, pattern.c_str(), static_cast<SQInteger>(pattern.size()));
    if (SQ_FAILED(sq_call(v, 2, SQTrue, SQFalse))) abort(); // the pattern compiled through the C API
    sq_pushstring(v, "capture", -1);
    if (SQ_FAILED(sq_get(v, -2))) abort();
    sq_push(v, -2);
    sq_pushstring(v, text.data(), static_cast<SQInteger>(text.size()));
    sq_pushinteger(v, start);
    if (SQ_FAILED(sq_call(v, 3, SQTrue, SQFalse))) abort();
    if (sq_gettype(v, -1) == OT_ARRAY) {
        for (SQInteger i = 0; i < sq_getsize(v, -1); i++) {
            sq_pushinteger(v, i);
            if (SQ_FAILED(sq_get(v, -2))) abort();
            SQInteger range[2] = {-1, -1};
            const char *keys[2] = {"begin", "end"};
            for (int k = 0; k < 2; k++) {
                sq_pushstring(v, keys[k], -1);
                if (SQ_FAILED(sq_get(v, -2)) || SQ_FAILED(sq_getinteger(v, -1, &range[k]))) abort();
                sq_pop(v, 1);
            }
            bool none = range[0] == 0 && range[1] == 0;
            if (!none && (range[0] < start || range[1] < range[0] || range[1] > limit)) abort();
            sq_pop(v, 1);
        }
    }
    sq_close(v);
}

} // namespace

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
    CaptureFromScript(pattern, text, 0);
    if (nul && text.size() > 1) CaptureFromScript(pattern, text, static_cast<SQInteger>(data[size - 1] % text.size()));
    return 0;
}
