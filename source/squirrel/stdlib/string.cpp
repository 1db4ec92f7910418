// The string library: format, trimming, splitting, escaping, prefix tests and the
// regexp class (see rex.cpp for the matcher).
#include <sqstdstring.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "register.h"

namespace {

bool IsFlag(char c) { return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0'; }

} // namespace

SQRESULT sqstd_format(HSQUIRRELVM v, SQInteger nformatstringidx, SQInteger *outlen, SQChar **output)
{
    const SQChar *fmt;
    if (SQ_FAILED(sq_getstring(v, nformatstringidx, &fmt))) return SQ_ERROR;
    SQInteger fmtlen = sq_getsize(v, nformatstringidx);
    SQInteger nparam = nformatstringidx + 1;
    std::string out;
    for (SQInteger n = 0; n < fmtlen;) {
        if (fmt[n] != '%') {
            out.push_back(fmt[n++]);
            continue;
        }
        if (n + 1 < fmtlen && fmt[n + 1] == '%') {
            out.push_back('%');
            n += 2;
            continue;
        }
        // %[flags][width][.precision]conversion; a missing argument is reported before
        // anything about the directive itself.
        if (nparam > sq_gettop(v)) return sq_throwerror(v, "not enough paramters for the given format string");
        SQInteger start = n++;
        const SQInteger flagsStart = n;
        while (n < fmtlen && IsFlag(fmt[n])) n++;
        const SQInteger flagsEnd = n;
        SQInteger digits = 0;
        int width = 0, precision = -1;
        while (n < fmtlen && isdigit(static_cast<unsigned char>(fmt[n]))) {
            width = width * 10 + (fmt[n] - '0');
            n++;
            if (++digits > 2) return sq_throwerror(v, "width format too long");
        }
        if (n < fmtlen && fmt[n] == '.') {
            n++;
            digits = 0;
            precision = 0;
            while (n < fmtlen && isdigit(static_cast<unsigned char>(fmt[n]))) {
                precision = precision * 10 + (fmt[n] - '0');
                n++;
                if (++digits > 2) return sq_throwerror(v, "precision format too long");
            }
        }
        // The directives written here rather than by snprintf: no flags but a lone '-'.
        const bool noFlags = flagsEnd == flagsStart;
        const bool leftOnly = flagsEnd == flagsStart + 1 && fmt[flagsStart] == '-';
        if (n >= fmtlen) return sq_throwerror(v, "invalid format");
        if (n - start + 1 > 20) return sq_throwerror(v, "format too long");
        char conv = fmt[n++];
        char spec[24]; // at most 20 characters, checked above
        memcpy(spec, fmt + start, static_cast<size_t>(n - start));
        spec[n - start] = '\0';
        bool plain = n - start == 2; // "%d", "%s": no flags, width or precision
        char buf[512];
        switch (conv) {
        case 'd':
        case 'i':
        case 'o':
        case 'u':
        case 'x':
        case 'X':
        case 'c': {
            SQInteger i;
            if (SQ_FAILED(sq_getinteger(v, nparam, &i)))
                return sq_throwerror(v, "integer expected for the specified format");
            if (plain && (conv == 'd' || conv == 'i')) {
                std::to_chars_result r = std::to_chars(buf, buf + sizeof(buf), static_cast<int>(i));
                out.append(buf, r.ptr);
                break;
            }
            if (plain && conv == 'c') {
                out.push_back(static_cast<char>(i)); // a zero byte included, as snprintf counts it
                break;
            }
            if (plain && (conv == 'x' || conv == 'X')) {
                static const char kLower[] = "0123456789abcdef", kUpper[] = "0123456789ABCDEF";
                const char *hex = conv == 'x' ? kLower : kUpper;
                uint32_t u = static_cast<uint32_t>(i);
                char *p = buf + 8;
                do {
                    *--p = hex[u & 15];
                    u >>= 4;
                } while (u);
                out.append(p, buf + 8);
                break;
            }
            // Counted, not read back as C text: %c of a zero byte writes a NUL that stays.
            int written = snprintf(buf, sizeof(buf), spec, static_cast<int>(i));
            if (written > 0) out.append(buf, static_cast<size_t>(written));
            break;
        }
        case 'f':
        case 'g':
        case 'G':
        case 'e':
        case 'E': {
            SQFloat f;
            if (SQ_FAILED(sq_getfloat(v, nparam, &f))) return sq_throwerror(v, "float expected for the specified format");
            // %f with a width and precision at most: to_chars rounds as printf does.
            const double d = static_cast<double>(f);
            if (conv == 'f' && noFlags && d - d == 0.0) {
                std::to_chars_result r =
                    std::to_chars(buf, buf + sizeof(buf), d, std::chars_format::fixed, precision < 0 ? 6 : precision);
                if (r.ec == std::errc()) {
                    const size_t len = static_cast<size_t>(r.ptr - buf);
                    if (len < static_cast<size_t>(width)) out.append(static_cast<size_t>(width) - len, ' ');
                    out.append(buf, len);
                    break;
                }
            }
            snprintf(buf, sizeof(buf), spec, d);
            out += buf;
            break;
        }
        case 's': {
            const SQChar *s;
            if (SQ_FAILED(sq_getstring(v, nparam, &s))) return sq_throwerror(v, "string expected for the specified format");
            if (plain) {
                out.append(s); // as %s would: up to the first NUL
                break;
            }
            if ((noFlags || leftOnly) && precision < 0) {
                // Padded to the width, on the right for '-'.
                const size_t len = strlen(s);
                const size_t pad = len < static_cast<size_t>(width) ? static_cast<size_t>(width) - len : 0;
                if (!leftOnly) out.append(pad, ' ');
                out.append(s, len);
                if (leftOnly) out.append(pad, ' ');
                break;
            }
            int needed = snprintf(buf, sizeof(buf), spec, s);
            if (needed < static_cast<int>(sizeof(buf))) {
                if (needed > 0) out.append(buf, static_cast<size_t>(needed));
                break;
            }
            std::string piece(static_cast<size_t>(needed), '\0');
            snprintf(&piece[0], piece.size() + 1, spec, s);
            out += piece;
            break;
        }
        default: return sq_throwerror(v, "invalid format");
        }
        nparam++;
    }
    *outlen = static_cast<SQInteger>(out.size());
    *output = sq_getscratchpad(v, *outlen + 1);
    memcpy(*output, out.data(), out.size());
    (*output)[out.size()] = '\0';
    return SQ_OK;
}

namespace {

SQInteger string_format(HSQUIRRELVM v)
{
    SQChar *dest = nullptr;
    SQInteger len = 0;
    if (SQ_FAILED(sqstd_format(v, 2, &len, &dest))) return SQ_ERROR;
    sq_pushstring(v, dest, len);
    return 1;
}

// Where the text as C would see it ends: at the first NUL from `from` on.
SQInteger TextEnd(const SQChar *s, SQInteger from, SQInteger len)
{
    const void *nul = memchr(s + from, 0, static_cast<size_t>(len - from));
    return nul ? static_cast<const SQChar *>(nul) - s : len;
}

void Trim(const SQChar *s, SQInteger len, bool left, bool right, SQInteger &start, SQInteger &end)
{
    start = 0;
    end = len;
    if (left)
        while (start < end && isspace(static_cast<unsigned char>(s[start]))) start++;
    if (right)
        while (end > start && isspace(static_cast<unsigned char>(s[end - 1]))) end--;
}

template <bool Left, bool Right> SQInteger string_trim(HSQUIRRELVM v)
{
    const SQChar *s;
    sq_getstring(v, 2, &s);
    SQInteger start, end;
    Trim(s, sq_getsize(v, 2), Left, Right, start, end);
    // A left-only trim keeps the rest as C text: up to its first NUL.
    if (Left && !Right) end = TextEnd(s, start, end);
    sq_pushstring(v, s + start, end - start);
    return 1;
}

SQInteger string_split(HSQUIRRELVM v)
{
    const SQChar *s, *seps;
    sq_getstring(v, 2, &s);
    sq_getstring(v, 3, &seps);
    SQInteger len = TextEnd(s, 0, sq_getsize(v, 2)); // the subject as C text
    SQInteger nseps = sq_getsize(v, 3);
    if (nseps == 0) return sq_throwerror(v, "empty separators string");
    bool isSep[256] = {};
    for (SQInteger i = 0; i < nseps; i++) isSep[static_cast<unsigned char>(seps[i])] = true;
    sq_newarray(v, 0);
    SQInteger start = 0;
    for (SQInteger i = 0; i < len; i++) {
        if (isSep[static_cast<unsigned char>(s[i])]) {
            sq_pushstring(v, s + start, i - start);
            sq_arrayappend(v, -2);
            start = i + 1;
        }
    }
    if (start < len) {
        sq_pushstring(v, s + start, len - start);
        sq_arrayappend(v, -2);
    }
    return 1;
}

SQInteger string_escape(HSQUIRRELVM v)
{
    const SQChar *s;
    sq_getstring(v, 2, &s);
    SQInteger len = sq_getsize(v, 2);
    std::string out;
    for (SQInteger i = 0; i < len; i++) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\'': out += "\\'"; break;
        case '\0': out += "\\0"; break;
        default:
            if (isprint(c)) {
                out.push_back(static_cast<char>(c));
            } else {
                // The byte as a (signed) C char widened to 32 bits: 0xE9 prints as ffffffe9.
                char hex[16];
                snprintf(hex, sizeof(hex), "\\x%02x", static_cast<unsigned>(static_cast<int>(static_cast<signed char>(c))));
                out += hex;
            }
        }
    }
    sq_pushstring(v, out.data(), static_cast<SQInteger>(out.size()));
    return 1;
}

SQInteger Affix(HSQUIRRELVM v, bool atStart)
{
    const SQChar *s, *p;
    sq_getstring(v, 2, &s);
    sq_getstring(v, 3, &p);
    SQInteger slen = sq_getsize(v, 2), plen = sq_getsize(v, 3);
    bool r = plen <= slen && memcmp(atStart ? s : s + (slen - plen), p, static_cast<size_t>(plen)) == 0;
    sq_pushbool(v, r ? SQTrue : SQFalse);
    return 1;
}

SQInteger string_startswith(HSQUIRRELVM v) { return Affix(v, true); }
SQInteger string_endswith(HSQUIRRELVM v) { return Affix(v, false); }

const SQRegFunction kString[] = {{"format", string_format, -2, ".s"},
                                 {"strip", string_trim<true, true>, 2, ".s"},
                                 {"lstrip", string_trim<true, false>, 2, ".s"},
                                 {"rstrip", string_trim<false, true>, 2, ".s"},
                                 {"split", string_split, 3, ".ss"},
                                 {"escape", string_escape, 2, ".s"},
                                 {"startswith", string_startswith, 3, ".ss"},
                                 {"endswith", string_endswith, 3, ".ss"},
                                 {nullptr, nullptr, 0, nullptr}};

} // namespace

void RegisterRegexpClass(HSQUIRRELVM v);

SQRESULT sqstd_register_stringlib(HSQUIRRELVM v)
{
    RegisterRegexpClass(v);
    nutstd::RegisterFunctions(v, kString);
    return SQ_OK;
}
