// Loads arbitrary bytes as a compiled Squirrel closure image. Corrupt, truncated or
// foreign images must be refused with an error; an image that loads must write back
// to exactly the bytes it was read from.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <squirrel.h>

namespace {

struct Input {
    const uint8_t *data;
    size_t size;
    size_t pos;
};

SQInteger Read(SQUserPointer up, SQUserPointer buf, SQInteger size)
{
    Input *in = static_cast<Input *>(up);
    size_t n = static_cast<size_t>(size);
    if (n > in->size - in->pos) n = in->size - in->pos;
    memcpy(buf, in->data + in->pos, n);
    in->pos += n;
    return static_cast<SQInteger>(n);
}

SQInteger Write(SQUserPointer up, SQUserPointer buf, SQInteger size)
{
    auto *out = static_cast<std::vector<uint8_t> *>(up);
    const uint8_t *p = static_cast<const uint8_t *>(buf);
    out->insert(out->end(), p, p + size);
    return size;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    HSQUIRRELVM v = sq_open(256);
    Input in{data, size, 0};
    if (SQ_SUCCEEDED(sq_readclosure(v, Read, &in))) {
        std::vector<uint8_t> out;
        if (SQ_FAILED(sq_writeclosure(v, Write, &out))) __builtin_trap();
        if (out.size() != in.pos || memcmp(out.data(), data, in.pos) != 0) __builtin_trap();
    }
    sq_close(v);
    return 0;
}
