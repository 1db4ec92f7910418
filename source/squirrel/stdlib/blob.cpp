// The blob library: growable, zero-filled byte buffers with a read/write position.
#include <sqstdblob.h>

#include <cstdlib>
#include <cstring>

#include "register.h"
#include "stream.h"

namespace nutstd {

Blob::Blob(SQInteger size)
{
    // calloc: a large blob costs no memory until its pages are written.
    if (size > 0 && (data_ = static_cast<unsigned char *>(calloc(static_cast<size_t>(size), 1)))) {
        capacity_ = size;
        size_ = size;
    }
}

Blob::~Blob() { free(data_); }

bool Blob::Reserve(SQInteger capacity)
{
    if (capacity <= capacity_) return true;
    void *p = realloc(data_, static_cast<size_t>(capacity));
    if (!p) return false;
    data_ = static_cast<unsigned char *>(p);
    capacity_ = capacity;
    return true;
}

bool Blob::Resize(SQInteger size)
{
    if (size < 0) return false;
    // Growing only makes room: the length stays until something is written there.
    if (size > capacity_ && !Reserve(size)) return false;
    if (size < size_) size_ = size;
    if (pos_ > size_) pos_ = size_;
    return true;
}

SQInteger Blob::Read(void *buf, SQInteger size)
{
    SQInteger n = size_ - pos_;
    if (size < n) n = size;
    if (n <= 0) return 0;
    memcpy(buf, data_ + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

SQInteger Blob::Write(const void *buf, SQInteger size)
{
    if (size <= 0) return 0;
    // Sizes are 32-bit: a write that would end past the largest size fails as a whole.
    int64_t wide = static_cast<int64_t>(pos_) + size;
    if (wide > kMaxSize) return 0;
    SQInteger end = static_cast<SQInteger>(wide);
    if (end > capacity_) {
        // Doubling keeps a run of small writes linear.
        SQInteger cap = capacity_ > 0 ? capacity_ : 16;
        while (cap < end && cap < (1 << 30)) cap *= 2;
        if (cap < end) cap = end;
        if (!Reserve(cap)) return 0;
    }
    if (pos_ > size_) memset(data_ + size_, 0, static_cast<size_t>(pos_ - size_));
    memcpy(data_ + pos_, buf, static_cast<size_t>(size));
    pos_ = end;
    if (pos_ > size_) size_ = pos_;
    return size;
}

bool Blob::Seek(SQInteger offset, Origin origin)
{
    SQInteger base = origin == FromStart ? 0 : origin == FromCurrent ? pos_ : size_;
    int64_t target = static_cast<int64_t>(base) + offset;
    if (target < 0 || target > size_) return false;
    pos_ = static_cast<SQInteger>(target);
    return true;
}

namespace {

SQInteger ReleaseBlob(SQUserPointer p, SQInteger)
{
    delete static_cast<Blob *>(static_cast<Stream *>(p));
    return 1;
}

Blob *SelfBlob(HSQUIRRELVM v)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &p, const_cast<char *>(kBlobTag)))) return nullptr;
    if (!p) {
        sq_throwerror(v, "the blob is invalid");
        return nullptr;
    }
    return static_cast<Blob *>(static_cast<Stream *>(p));
}

bool Attach(HSQUIRRELVM v, SQInteger idx, Blob *b)
{
    if (SQ_FAILED(sq_setinstanceup(v, idx, static_cast<Stream *>(b)))) {
        delete b;
        return false;
    }
    sq_setreleasehook(v, idx, ReleaseBlob);
    return true;
}

SQInteger blob_constructor(HSQUIRRELVM v)
{
    SQInteger size = 0;
    if (sq_gettop(v) > 1) sq_getinteger(v, 2, &size);
    if (size < 0) return sq_throwerror(v, "cannot create blob with negative size");
    Blob *b = new Blob(size);
    if (b->Len() != size) {
        delete b;
        return sq_throwerror(v, "out of memory");
    }
    return Attach(v, 1, b) ? 0 : SQ_ERROR;
}

SQInteger blob_resize(HSQUIRRELVM v)
{
    Blob *b = SelfBlob(v);
    if (!b) return SQ_ERROR;
    SQInteger size;
    sq_getinteger(v, 2, &size);
    if (!b->Resize(size)) return sq_throwerror(v, "resize failed");
    return 0;
}

template <typename T>
T ByteSwap(T x)
{
    unsigned char bytes[sizeof(T)];
    memcpy(bytes, &x, sizeof(T));
    for (size_t i = 0; i < sizeof(T) / 2; i++) {
        unsigned char t = bytes[i];
        bytes[i] = bytes[sizeof(T) - 1 - i];
        bytes[sizeof(T) - 1 - i] = t;
    }
    memcpy(&x, bytes, sizeof(T));
    return x;
}

template <typename T>
SQInteger SwapUnits(HSQUIRRELVM v)
{
    Blob *b = SelfBlob(v);
    if (!b) return SQ_ERROR;
    SQInteger n = b->Len() / static_cast<SQInteger>(sizeof(T));
    unsigned char *p = b->Data();
    for (SQInteger i = 0; i < n; i++, p += sizeof(T)) {
        T x;
        memcpy(&x, p, sizeof(T));
        x = ByteSwap(x);
        memcpy(p, &x, sizeof(T));
    }
    return 0;
}

SQInteger blob_swap2(HSQUIRRELVM v) { return SwapUnits<uint16_t>(v); }
SQInteger blob_swap4(HSQUIRRELVM v) { return SwapUnits<uint32_t>(v); }

SQInteger blob__set(HSQUIRRELVM v)
{
    Blob *b = SelfBlob(v);
    if (!b) return SQ_ERROR;
    SQInteger idx, val;
    sq_getinteger(v, 2, &idx);
    sq_getinteger(v, 3, &val);
    if (idx < 0 || idx >= b->Len()) return sq_throwerror(v, "index out of range");
    b->Data()[idx] = static_cast<unsigned char>(val & 0xFF);
    sq_push(v, 3);
    return 1;
}

SQInteger blob__get(HSQUIRRELVM v)
{
    Blob *b = SelfBlob(v);
    if (!b) return SQ_ERROR;
    SQInteger idx;
    sq_getinteger(v, 2, &idx);
    if (idx < 0 || idx >= b->Len()) return sq_throwerror(v, "index out of range");
    sq_pushinteger(v, b->Data()[idx]);
    return 1;
}

SQInteger blob__nexti(HSQUIRRELVM v)
{
    Blob *b = SelfBlob(v);
    if (!b) return SQ_ERROR;
    SQInteger next;
    if (sq_gettype(v, 2) == OT_NULL) {
        next = 0;
    } else if (sq_gettype(v, 2) == OT_INTEGER) {
        sq_getinteger(v, 2, &next);
        next++;
    } else {
        return sq_throwerror(v, "internal error (_nexti) wrong argument type");
    }
    if (next < b->Len())
        sq_pushinteger(v, next);
    else
        sq_pushnull(v);
    return 1;
}

SQInteger blob__typeof(HSQUIRRELVM v)
{
    sq_pushstring(v, "blob", -1);
    return 1;
}

SQInteger blob__cloned(HSQUIRRELVM v)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 2, &p, const_cast<char *>(kBlobTag))) || !p) return SQ_ERROR;
    Blob *orig = static_cast<Blob *>(static_cast<Stream *>(p));
    Blob *copy = new Blob(orig->Len());
    if (orig->Len() > 0) memcpy(copy->Data(), orig->Data(), static_cast<size_t>(orig->Len()));
    copy->Seek(orig->Tell(), Stream::FromStart);
    return Attach(v, 1, copy) ? 0 : SQ_ERROR;
}

SQInteger bloblib_casti2f(HSQUIRRELVM v)
{
    SQInteger i;
    sq_getinteger(v, 2, &i);
    int32_t bits = static_cast<int32_t>(i);
    float f;
    memcpy(&f, &bits, sizeof(f));
    sq_pushfloat(v, f);
    return 1;
}

SQInteger bloblib_castf2i(HSQUIRRELVM v)
{
    SQFloat f = 0;
    sq_getfloat(v, 2, &f);
    float x = static_cast<float>(f);
    int32_t bits;
    memcpy(&bits, &x, sizeof(bits));
    sq_pushinteger(v, bits);
    return 1;
}

SQInteger bloblib_swap2(HSQUIRRELVM v)
{
    SQInteger i;
    sq_getinteger(v, 2, &i);
    // The swapped halves of the sign-extended 16-bit value, not masked back to 16 bits.
    int32_t s = static_cast<int16_t>(i);
    uint32_t r = (static_cast<uint32_t>(s) << 8) | static_cast<uint32_t>((s >> 8) & 0xFF);
    sq_pushinteger(v, static_cast<SQInteger>(r));
    return 1;
}

SQInteger bloblib_swap4(HSQUIRRELVM v)
{
    SQInteger i;
    sq_getinteger(v, 2, &i);
    sq_pushinteger(v, static_cast<SQInteger>(ByteSwap(static_cast<uint32_t>(i))));
    return 1;
}

SQInteger bloblib_swapfloat(HSQUIRRELVM v)
{
    SQFloat f = 0;
    sq_getfloat(v, 2, &f);
    sq_pushfloat(v, ByteSwap(static_cast<float>(f)));
    return 1;
}

const SQRegFunction kBlobMethods[] = {
    {"constructor", blob_constructor, -1, "xn"},
    {"resize", blob_resize, 2, "xn"},
    {"swap2", blob_swap2, 1, "x"},
    {"swap4", blob_swap4, 1, "x"},
    // Only numbers, keys included: setting a member name is a parameter error.
    {"_set", blob__set, 3, "xnn"},
    // Only numbers: a member name that is not a blob method (tostring included) is an error.
    {"_get", blob__get, 2, "xn"},
    {"_typeof", blob__typeof, 1, "x"},
    {"_nexti", blob__nexti, 2, "x"},
    {"_cloned", blob__cloned, 2, "xx"},
    {nullptr, nullptr, 0, nullptr},
};

const SQRegFunction kBlobGlobals[] = {
    {"casti2f", bloblib_casti2f, 2, ".n"},
    {"castf2i", bloblib_castf2i, 2, ".n"},
    {"swap2", bloblib_swap2, 2, ".n"},
    {"swap4", bloblib_swap4, 2, ".n"},
    {"swapfloat", bloblib_swapfloat, 2, ".n"},
    {nullptr, nullptr, 0, nullptr},
};

} // namespace

Blob *PushNewBlob(HSQUIRRELVM v, SQInteger size)
{
    SQInteger top = sq_gettop(v);
    sq_pushregistrytable(v);
    sq_pushstring(v, "std_blob", -1);
    if (SQ_SUCCEEDED(sq_rawget(v, -2))) {
        sq_remove(v, -2);
        sq_pushroottable(v);
        sq_pushinteger(v, size);
        if (SQ_SUCCEEDED(sq_call(v, 2, SQTrue, SQFalse))) {
            sq_remove(v, -2);
            SQUserPointer p = nullptr;
            if (SQ_SUCCEEDED(sq_getinstanceup(v, -1, &p, const_cast<char *>(kBlobTag))) && p)
                return static_cast<Blob *>(static_cast<Stream *>(p));
        }
    }
    sq_settop(v, top);
    return nullptr;
}

} // namespace nutstd

using nutstd::Blob;
using nutstd::Stream;

SQUserPointer sqstd_createblob(HSQUIRRELVM v, SQInteger size)
{
    Blob *b = nutstd::PushNewBlob(v, size);
    return b ? b->Data() : nullptr;
}

SQRESULT sqstd_getblob(HSQUIRRELVM v, SQInteger idx, SQUserPointer *ptr)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, const_cast<char *>(nutstd::kBlobTag)))) return SQ_ERROR;
    if (!p) return sq_throwerror(v, "the blob is invalid");
    *ptr = static_cast<Blob *>(static_cast<Stream *>(p))->Data();
    return SQ_OK;
}

SQInteger sqstd_getblobsize(HSQUIRRELVM v, SQInteger idx)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, const_cast<char *>(nutstd::kBlobTag)))) return -1;
    if (!p) return -1;
    return static_cast<Blob *>(static_cast<Stream *>(p))->Len();
}

SQRESULT sqstd_register_bloblib(HSQUIRRELVM v)
{
    return nutstd::DeclareStream(v, "blob", const_cast<char *>(nutstd::kBlobTag), "std_blob", nutstd::kBlobMethods,
                                 nutstd::kBlobGlobals);
}
