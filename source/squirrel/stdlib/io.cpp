// The io library: C files as streams, and loading scripts from files. A UTF-8 byte order
// mark is skipped; UTF-16 text (either byte order) is converted to the UTF-8 the compiler
// reads; files starting with the bytecode tag are read as compiled closures.
#include <sqstdio.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "register.h"
#include "stream.h"

namespace {

struct Source {
    std::string bytes;
    size_t pos = 0;
};

SQInteger ReadByte(SQUserPointer p)
{
    Source *s = static_cast<Source *>(p);
    if (s->pos >= s->bytes.size()) return 0;
    return static_cast<unsigned char>(s->bytes[s->pos++]);
}

SQInteger ReadBytes(SQUserPointer p, SQUserPointer buf, SQInteger size)
{
    Source *s = static_cast<Source *>(p);
    size_t left = s->bytes.size() - s->pos;
    size_t n = size < 0 ? 0 : static_cast<size_t>(size);
    if (n > left) n = left;
    memcpy(buf, s->bytes.data() + s->pos, n);
    s->pos += n;
    return static_cast<SQInteger>(n);
}

bool ReadWholeFile(const SQChar *path, std::string &out)
{
    FILE *f = fopen(path, "rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) out.append(buf, n);
    bool ok = !ferror(f);
    fclose(f);
    return ok;
}

void AppendUtf8(std::string &out, unsigned cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

SQRESULT sqstd_loadfile(HSQUIRRELVM v, const SQChar *filename, SQBool printerror)
{
    Source src;
    if (!ReadWholeFile(filename, src.bytes)) return sq_throwerror(v, "cannot open the file");
    const std::string &b = src.bytes;
    auto at = [&](size_t i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0u; };
    if (at(0) == 0xFA && at(1) == 0xFA) return sq_readclosure(v, ReadBytes, &src);
    if (at(0) == 0xEF && at(1) == 0xBB) {
        if (b.size() < 3) return sq_throwerror(v, "io error");
        if (at(2) != 0xBF) return sq_throwerror(v, "Unrecognozed ecoding");
        src.pos = 3;
    } else if ((at(0) == 0xFF && at(1) == 0xFE) || (at(0) == 0xFE && at(1) == 0xFF)) {
        bool bigEndian = at(0) == 0xFE;
        std::string utf8;
        for (size_t i = 2; i + 1 < b.size(); i += 2) {
            unsigned c = bigEndian ? (at(i) << 8 | at(i + 1)) : (at(i + 1) << 8 | at(i));
            if (c == 0) break;
            AppendUtf8(utf8, c);
        }
        src.bytes.swap(utf8);
    }
    return sq_compile(v, ReadByte, &src, filename, printerror);
}

SQRESULT sqstd_dofile(HSQUIRRELVM v, const SQChar *filename, SQBool retval, SQBool printerror)
{
    if (sq_gettop(v) == 0) return sq_throwerror(v, "environment table expected");
    if (SQ_FAILED(sqstd_loadfile(v, filename, printerror))) return SQ_ERROR;
    sq_push(v, -2);
    if (SQ_SUCCEEDED(sq_call(v, 1, retval, SQTrue))) {
        sq_remove(v, retval ? -2 : -1);
        return 1;
    }
    sq_pop(v, 1);
    return SQ_ERROR;
}

namespace nutstd {
namespace {

class File : public Stream {
public:
    File(FILE *f, bool owns) : handle_(f), owns_(owns) {}
    ~File() override { Close(); }
    File(const File &) = delete;
    File &operator=(const File &) = delete;

    SQInteger Read(void *buf, SQInteger size) override
    {
        return static_cast<SQInteger>(fread(buf, 1, static_cast<size_t>(size), handle_));
    }
    SQInteger Write(const void *buf, SQInteger size) override
    {
        return static_cast<SQInteger>(fwrite(buf, 1, static_cast<size_t>(size), handle_));
    }
    bool Flush() override { return fflush(handle_) == 0; }
    SQInteger Tell() override { return static_cast<SQInteger>(ftell(handle_)); }
    SQInteger Len() override
    {
        long here = ftell(handle_);
        fseek(handle_, 0, SEEK_END);
        long size = ftell(handle_);
        fseek(handle_, here, SEEK_SET);
        return static_cast<SQInteger>(size);
    }
    bool Seek(SQInteger offset, Origin origin) override
    {
        int whence = origin == FromStart ? SEEK_SET : origin == FromCurrent ? SEEK_CUR : SEEK_END;
        return fseek(handle_, offset, whence) == 0;
    }
    bool IsValid() override { return handle_ != nullptr; }
    // At the end when the position reaches the length (an empty file starts there);
    // streams without positions (pipes, terminals) go by the end-of-file flag.
    bool Eos() override
    {
        long here = ftell(handle_);
        if (here < 0) return feof(handle_) != 0;
        return static_cast<SQInteger>(here) == Len();
    }

    FILE *Handle() const { return handle_; }
    void Close()
    {
        if (handle_ && owns_) fclose(handle_);
        handle_ = nullptr;
    }

private:
    FILE *handle_;
    bool owns_;
};

SQInteger ReleaseFile(SQUserPointer p, SQInteger)
{
    delete static_cast<File *>(static_cast<Stream *>(p));
    return 1;
}

SQInteger file_constructor(HSQUIRRELVM v)
{
    FILE *f = nullptr;
    bool owns = true;
    if (sq_gettype(v, 2) == OT_STRING && sq_gettype(v, 3) == OT_STRING) {
        const SQChar *path, *mode;
        sq_getstring(v, 2, &path);
        sq_getstring(v, 3, &mode);
        f = fopen(path, mode);
        if (!f) return sq_throwerror(v, "cannot open file");
    } else if (sq_gettype(v, 2) == OT_USERPOINTER) {
        SQUserPointer p;
        sq_getuserpointer(v, 2, &p);
        f = static_cast<FILE *>(p);
        SQBool b = SQFalse;
        if (sq_gettype(v, 3) == OT_BOOL) sq_getbool(v, 3, &b);
        owns = b != SQFalse;
    } else {
        return sq_throwerror(v, "wrong parameter");
    }
    File *file = new File(f, owns);
    if (SQ_FAILED(sq_setinstanceup(v, 1, static_cast<Stream *>(file)))) {
        delete file;
        return SQ_ERROR;
    }
    sq_setreleasehook(v, 1, ReleaseFile);
    return 0;
}

SQInteger file_close(HSQUIRRELVM v)
{
    SQUserPointer p = nullptr;
    if (SQ_SUCCEEDED(sq_getinstanceup(v, 1, &p, const_cast<char *>(kFileTag))) && p)
        static_cast<File *>(static_cast<Stream *>(p))->Close();
    return 0;
}

SQInteger file__typeof(HSQUIRRELVM v)
{
    sq_pushstring(v, "file", -1);
    return 1;
}

const SQRegFunction kFileMethods[] = {
    {"constructor", file_constructor, 3, "x"},
    {"close", file_close, 1, "x"},
    {"_typeof", file__typeof, 1, "x"},
    {nullptr, nullptr, 0, nullptr},
};

SQInteger WriteToFile(SQUserPointer file, SQUserPointer buf, SQInteger size)
{
    return static_cast<SQInteger>(fwrite(buf, 1, static_cast<size_t>(size), static_cast<FILE *>(file)));
}

SQInteger io_loadfile(HSQUIRRELVM v)
{
    const SQChar *path;
    SQBool raise = SQFalse;
    sq_getstring(v, 2, &path);
    if (sq_gettop(v) >= 3) sq_getbool(v, 3, &raise);
    return SQ_SUCCEEDED(sqstd_loadfile(v, path, raise)) ? 1 : SQ_ERROR;
}

SQInteger io_dofile(HSQUIRRELVM v)
{
    const SQChar *path;
    SQBool raise = SQFalse;
    sq_getstring(v, 2, &path);
    if (sq_gettop(v) >= 3) sq_getbool(v, 3, &raise);
    sq_push(v, 1); // the caller's `this` runs the file
    return SQ_SUCCEEDED(sqstd_dofile(v, path, SQTrue, raise)) ? 1 : SQ_ERROR;
}

SQInteger io_writeclosuretofile(HSQUIRRELVM v)
{
    const SQChar *path;
    sq_getstring(v, 2, &path);
    sq_push(v, 3);
    return SQ_SUCCEEDED(sqstd_writeclosuretofile(v, path)) ? 0 : SQ_ERROR;
}

const SQRegFunction kIoGlobals[] = {
    {"loadfile", io_loadfile, -2, ".sb"},
    {"dofile", io_dofile, -2, ".sb"},
    {"writeclosuretofile", io_writeclosuretofile, 3, ".sc"},
    {nullptr, nullptr, 0, nullptr},
};

void PushStdFile(HSQUIRRELVM v, const SQChar *name, FILE *f)
{
    sq_pushstring(v, name, -1);
    sqstd_createfile(v, f, SQFalse);
    sq_newslot(v, -3, SQFalse);
}

} // namespace
} // namespace nutstd

SQRESULT sqstd_createfile(HSQUIRRELVM v, SQFILE file, SQBool own)
{
    SQInteger top = sq_gettop(v);
    sq_pushregistrytable(v);
    sq_pushstring(v, "std_file", -1);
    if (SQ_SUCCEEDED(sq_rawget(v, -2))) {
        sq_remove(v, -2);
        sq_pushroottable(v);
        sq_pushuserpointer(v, file);
        sq_pushbool(v, own);
        if (SQ_SUCCEEDED(sq_call(v, 3, SQTrue, SQFalse))) {
            sq_remove(v, -2);
            return SQ_OK;
        }
    }
    sq_settop(v, top);
    return SQ_ERROR;
}

SQRESULT sqstd_getfile(HSQUIRRELVM v, SQInteger idx, SQFILE *file)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, idx, &p, const_cast<char *>(nutstd::kFileTag)))) return SQ_ERROR;
    if (!p) return sq_throwerror(v, "not a file");
    *file = static_cast<nutstd::File *>(static_cast<nutstd::Stream *>(p))->Handle();
    return SQ_OK;
}

SQRESULT sqstd_writeclosuretofile(HSQUIRRELVM v, const SQChar *filename)
{
    // Refuse what cannot be written before creating the file.
    if (sq_gettype(v, -1) == OT_NATIVECLOSURE) return sq_throwerror(v, "wrong argument type, expected 'function' got 'function'");
    FILE *f = fopen(filename, "wb+");
    if (!f) return sq_throwerror(v, "cannot open the file");
    SQRESULT r = sq_writeclosure(v, nutstd::WriteToFile, f);
    if (fclose(f) != 0 && SQ_SUCCEEDED(r)) r = sq_throwerror(v, "io error");
    return r;
}

SQRESULT sqstd_register_iolib(HSQUIRRELVM v)
{
    SQInteger top = sq_gettop(v);
    if (SQ_FAILED(nutstd::DeclareStream(v, "file", const_cast<char *>(nutstd::kFileTag), "std_file",
                                        nutstd::kFileMethods, nutstd::kIoGlobals)))
        return SQ_ERROR;
    nutstd::PushStdFile(v, "stdout", stdout);
    nutstd::PushStdFile(v, "stdin", stdin);
    nutstd::PushStdFile(v, "stderr", stderr);
    sq_settop(v, top);
    return SQ_OK;
}
