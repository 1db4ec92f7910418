// Loading scripts from files. A UTF-8 byte order mark is skipped; UTF-16 text (either
// byte order) is converted to the UTF-8 the compiler reads.
#include <sqstdio.h>

#include <cstdio>
#include <string>

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
    if (at(0) == 0xFA && at(1) == 0xFA) return sq_throwerror(v, "invalid stream");
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
