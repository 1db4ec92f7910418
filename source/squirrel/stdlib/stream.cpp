// The methods every stream shares. Multi-byte values are little-endian, as on the hosts
// the engine targets, so they are copied as they lie in memory.
#include "stream.h"

#include <cstring>

#include "register.h"

namespace nutstd {

const char kStreamTag[] = "std_stream";
const char kBlobTag[] = "std_blob";
const char kFileTag[] = "std_file";

Stream *SelfStream(HSQUIRRELVM v)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &p, const_cast<char *>(kStreamTag)))) return nullptr;
    Stream *s = static_cast<Stream *>(p);
    if (!s || !s->IsValid()) {
        sq_throwerror(v, "the stream is invalid");
        return nullptr;
    }
    return s;
}

namespace {

SQInteger stream_readblob(HSQUIRRELVM v)
{
    Stream *s = SelfStream(v);
    if (!s) return SQ_ERROR;
    SQInteger want;
    sq_getinteger(v, 2, &want);
    SQInteger len = s->Len();
    if (want > len) want = len;
    if (want < 0) want = 0;
    Blob *b = PushNewBlob(v, want);
    if (!b) return SQ_ERROR;
    SQInteger got = want > 0 ? s->Read(b->Data(), want) : 0;
    if (got <= 0) return sq_throwerror(v, "no data left to read");
    b->Resize(got);
    return 1;
}

template <typename T>
bool ReadValue(Stream *s, T &out)
{
    return s->Read(&out, sizeof(T)) == static_cast<SQInteger>(sizeof(T));
}

SQInteger stream_readn(HSQUIRRELVM v)
{
    Stream *s = SelfStream(v);
    if (!s) return SQ_ERROR;
    SQInteger format;
    sq_getinteger(v, 2, &format);
    bool ok = false;
    switch (format) {
    case 'l':
    case 'i': {
        int32_t x;
        if ((ok = ReadValue(s, x))) sq_pushinteger(v, x);
        break;
    }
    case 's': {
        int16_t x;
        if ((ok = ReadValue(s, x))) sq_pushinteger(v, x);
        break;
    }
    case 'w': {
        uint16_t x;
        if ((ok = ReadValue(s, x))) sq_pushinteger(v, x);
        break;
    }
    case 'c': {
        int8_t x;
        if ((ok = ReadValue(s, x))) sq_pushinteger(v, x);
        break;
    }
    case 'b': {
        uint8_t x;
        if ((ok = ReadValue(s, x))) sq_pushinteger(v, x);
        break;
    }
    case 'f': {
        float x;
        if ((ok = ReadValue(s, x))) sq_pushfloat(v, x);
        break;
    }
    case 'd': {
        double x;
        if ((ok = ReadValue(s, x))) sq_pushfloat(v, static_cast<SQFloat>(x));
        break;
    }
    default: return sq_throwerror(v, "invalid format");
    }
    if (!ok) return sq_throwerror(v, "io error");
    return 1;
}

template <typename T>
bool WriteValue(Stream *s, T x)
{
    return s->Write(&x, sizeof(T)) == static_cast<SQInteger>(sizeof(T));
}

SQInteger stream_writen(HSQUIRRELVM v)
{
    Stream *s = SelfStream(v);
    if (!s) return SQ_ERROR;
    SQInteger format;
    sq_getinteger(v, 3, &format);
    SQInteger i = 0;
    SQFloat f = 0;
    sq_getinteger(v, 2, &i);
    sq_getfloat(v, 2, &f);
    bool ok;
    switch (format) {
    case 'l':
    case 'i': ok = WriteValue(s, static_cast<int32_t>(i)); break;
    case 's': ok = WriteValue(s, static_cast<int16_t>(i)); break;
    case 'w': ok = WriteValue(s, static_cast<uint16_t>(i)); break;
    case 'c': ok = WriteValue(s, static_cast<int8_t>(i)); break;
    case 'b': ok = WriteValue(s, static_cast<uint8_t>(i)); break;
    case 'f': ok = WriteValue(s, static_cast<float>(f)); break;
    case 'd': ok = WriteValue(s, static_cast<double>(f)); break;
    default: return sq_throwerror(v, "invalid format");
    }
    if (!ok) return sq_throwerror(v, "io error");
    return 0;
}

SQInteger stream_writeblob(HSQUIRRELVM v)
{
    Stream *s = SelfStream(v);
    if (!s) return SQ_ERROR;
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 2, &p, const_cast<char *>(kBlobTag))) || !p)
        return sq_throwerror(v, "invalid parameter");
    Blob *b = static_cast<Blob *>(static_cast<Stream *>(p));
    SQInteger size = b->Len();
    if (size > 0 && s->Write(b->Data(), size) != size) return sq_throwerror(v, "io error");
    sq_pushinteger(v, size);
    return 1;
}

SQInteger stream_seek(HSQUIRRELVM v)
{
    Stream *s = SelfStream(v);
    if (!s) return SQ_ERROR;
    SQInteger offset, origin = 'b';
    sq_getinteger(v, 2, &offset);
    if (sq_gettop(v) > 2) sq_getinteger(v, 3, &origin);
    Stream::Origin o;
    switch (origin) {
    case 'b': o = Stream::FromStart; break;
    case 'c': o = Stream::FromCurrent; break;
    case 'e': o = Stream::FromEnd; break;
    default: return sq_throwerror(v, "invalid origin");
    }
    sq_pushinteger(v, s->Seek(offset, o) ? 0 : -1);
    return 1;
}

SQInteger stream_tell(HSQUIRRELVM v)
{
    Stream *s = SelfStream(v);
    if (!s) return SQ_ERROR;
    sq_pushinteger(v, s->Tell());
    return 1;
}

SQInteger stream_len(HSQUIRRELVM v)
{
    Stream *s = SelfStream(v);
    if (!s) return SQ_ERROR;
    sq_pushinteger(v, s->Len());
    return 1;
}

SQInteger stream_eos(HSQUIRRELVM v)
{
    Stream *s = SelfStream(v);
    if (!s) return SQ_ERROR;
    if (s->Eos())
        sq_pushinteger(v, 1);
    else
        sq_pushnull(v);
    return 1;
}

SQInteger stream_flush(HSQUIRRELVM v)
{
    Stream *s = SelfStream(v);
    if (!s) return SQ_ERROR;
    if (s->Flush())
        sq_pushinteger(v, 1);
    else
        sq_pushnull(v);
    return 1;
}

SQInteger stream__cloned(HSQUIRRELVM v) { return sq_throwerror(v, "this object cannot be cloned"); }

const SQRegFunction kStreamMethods[] = {
    {"readblob", stream_readblob, 2, "xn"},
    {"readn", stream_readn, 2, "xn"},
    {"writeblob", stream_writeblob, 2, "x."},
    {"writen", stream_writen, 3, "xnn"},
    {"seek", stream_seek, -2, "xnn"},
    {"tell", stream_tell, 1, "x"},
    {"len", stream_len, 1, "x"},
    {"eos", stream_eos, 1, "x"},
    {"flush", stream_flush, 1, "x"},
    {"_cloned", stream__cloned, 0, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// Pushes the class stored in the registry under `key`; false (nothing pushed) if absent.
bool PushRegistered(HSQUIRRELVM v, const SQChar *key)
{
    sq_pushregistrytable(v);
    sq_pushstring(v, key, -1);
    if (SQ_FAILED(sq_rawget(v, -2))) {
        sq_pop(v, 1);
        return false;
    }
    sq_remove(v, -2);
    return true;
}

void PushStreamClass(HSQUIRRELVM v)
{
    if (PushRegistered(v, "std_stream")) return;
    sq_pushregistrytable(v);
    sq_pushstring(v, "std_stream", -1);
    sq_newclass(v, SQFalse);
    sq_settypetag(v, -1, const_cast<char *>(kStreamTag));
    RegisterFunctions(v, kStreamMethods);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);

    sq_pushroottable(v);
    sq_pushstring(v, "stream", -1);
    PushRegistered(v, "std_stream");
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);

    PushRegistered(v, "std_stream");
}

} // namespace

SQRESULT DeclareStream(HSQUIRRELVM v, const SQChar *name, SQUserPointer typeTag, const SQChar *registryKey,
                       const SQRegFunction *methods, const SQRegFunction *globals)
{
    if (sq_gettype(v, -1) != OT_TABLE) return sq_throwerror(v, "table expected");
    SQInteger top = sq_gettop(v);
    sq_pushregistrytable(v);
    sq_pushstring(v, registryKey, -1);
    PushStreamClass(v);
    sq_newclass(v, SQTrue);
    sq_settypetag(v, -1, typeTag);
    RegisterFunctions(v, methods);
    sq_newslot(v, -3, SQFalse);
    sq_pop(v, 1);

    sq_pushstring(v, name, -1);
    PushRegistered(v, registryKey);
    sq_newslot(v, top, SQFalse);
    if (globals) RegisterFunctions(v, globals);
    sq_settop(v, top);
    return SQ_OK;
}

} // namespace nutstd
