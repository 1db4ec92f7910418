// Runs string formatting over arbitrary format strings and arguments. Input: one byte
// giving the argument count (low 3 bits), then per argument a kind byte and up to 4
// value bytes, then the format string. Bad formats and mismatched arguments must end in
// an error; good ones must produce exactly the reported length.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <squirrel.h>
#include <sqstdstring.h>

namespace {

struct Reader {
    const uint8_t *data;
    size_t size;
    size_t pos = 0;
    uint8_t Byte() { return pos < size ? data[pos++] : 0; }
    uint32_t Word()
    {
        uint32_t w = 0;
        for (int i = 0; i < 4; i++) w |= static_cast<uint32_t>(Byte()) << (8 * i);
        return w;
    }
};

} // namespace

struct Arg {
    uint8_t kind;
    uint32_t word;
    size_t at, len; // string bytes
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Reader in{data, size};
    int nargs = in.Byte() & 7;
    Arg args[8];
    for (int a = 0; a < nargs; a++) {
        Arg &g = args[a];
        g.kind = in.Byte() % 6;
        g.word = in.Word();
        g.at = in.pos;
        g.len = 0;
        if (g.kind == 2) {
            g.len = g.word % 64;
            if (g.len > size - in.pos) g.len = size - in.pos;
            in.pos += g.len;
        }
    }
    HSQUIRRELVM v = sq_open(64);
    SQInteger fmtIdx = sq_gettop(v) + 1;
    sq_pushstring(v, reinterpret_cast<const SQChar *>(data + in.pos), static_cast<SQInteger>(size - in.pos));
    for (int a = 0; a < nargs; a++) {
        const Arg &g = args[a];
        switch (g.kind) {
        case 0: sq_pushinteger(v, static_cast<SQInteger>(g.word)); break;
        case 1: {
            float f;
            memcpy(&f, &g.word, sizeof(f));
            sq_pushfloat(v, f);
            break;
        }
        case 2: sq_pushstring(v, reinterpret_cast<const SQChar *>(data + g.at), static_cast<SQInteger>(g.len)); break;
        case 3: sq_pushbool(v, g.word & 1); break;
        case 4: sq_newtable(v); break;
        default: sq_pushnull(v); break;
        }
    }

    SQInteger len = -1;
    SQChar *out = nullptr;
    if (SQ_SUCCEEDED(sqstd_format(v, fmtIdx, &len, &out))) {
        if (len < 0 || !out) abort();
        volatile char sink = 0;
        for (SQInteger i = 0; i < len; i++) sink = static_cast<char>(sink ^ out[i]);
    }
    sq_close(v);
    return 0;
}
