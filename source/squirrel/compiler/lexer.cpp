#include "lexer.h"

#include <cstdlib>
#include <cstring>

namespace nut {

namespace {

struct KeywordEntry {
    const char *text;
    int token;
};

const KeywordEntry kKeywords[] = {
    {"base", TOK_BASE},         {"break", TOK_BREAK},
    {"case", TOK_CASE},         {"catch", TOK_CATCH},
    {"class", TOK_CLASS},       {"clone", TOK_CLONE},
    {"const", TOK_CONST},       {"constructor", TOK_CONSTRUCTOR},
    {"continue", TOK_CONTINUE}, {"default", TOK_DEFAULT},
    {"delete", TOK_DELETE},     {"do", TOK_DO},
    {"else", TOK_ELSE},         {"enum", TOK_ENUM},
    {"extends", TOK_EXTENDS},   {"false", TOK_FALSE},
    {"for", TOK_FOR},           {"foreach", TOK_FOREACH},
    {"function", TOK_FUNCTION}, {"if", TOK_IF},
    {"in", TOK_IN},             {"instanceof", TOK_INSTANCEOF},
    {"local", TOK_LOCAL},       {"null", TOK_NULL},
    {"resume", TOK_RESUME},     {"return", TOK_RETURN},
    {"static", TOK_STATIC},     {"switch", TOK_SWITCH},
    {"this", TOK_THIS},         {"throw", TOK_THROW},
    {"true", TOK_TRUE},         {"try", TOK_TRY},
    {"typeof", TOK_TYPEOF},     {"while", TOK_WHILE},
    {"yield", TOK_YIELD},       {"__LINE__", TOK_LINE},
    {"__FILE__", TOK_FILE},
};

inline bool IsDigit(int c) { return c >= '0' && c <= '9'; }
inline bool IsOctal(int c) { return c >= '0' && c <= '7'; }
inline bool IsHex(int c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
inline bool IsLetter(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline int HexValue(int c) { return IsDigit(c) ? c - '0' : (c | 0x20) - 'a' + 10; }

} // namespace

Lexer::Lexer(SQLEXREADFUNC read, SQUserPointer source) : read_(read), source_(source) { Advance(); }

const char *Lexer::KeywordText(int token)
{
    for (const KeywordEntry &k : kKeywords)
        if (k.token == token) return k.text;
    return nullptr;
}

void Lexer::Advance()
{
    SQInteger c = read_(source_);
    if (c > 255) Fail("Invalid character");
    ch_ = c > 0 ? static_cast<int>(c) : 0;
    column_++;
}

int Lexer::Next()
{
    newlineBefore_ = false;
    token_ = Scan();
    return token_;
}

void Lexer::SkipLineComment()
{
    while (ch_ != '\n' && ch_ != 0) Advance();
}

void Lexer::SkipBlockComment()
{
    for (;;) {
        if (ch_ == 0) Fail("missing \"*/\" in comment");
        if (ch_ == '*') {
            Advance();
            if (ch_ == '/') {
                Advance();
                return;
            }
            continue;
        }
        if (ch_ == '\n') line_++;
        Advance();
    }
}

int Lexer::Scan()
{
    for (;;) {
        tokenLine_ = line_;
        int c = ch_;
        switch (c) {
        case 0: return TOK_EOF;
        case ' ':
        case '\t':
        case '\r': Advance(); continue;
        case '\n':
            line_++;
            newlineBefore_ = true;
            Advance();
            column_ = 1;
            continue;
        case '#': SkipLineComment(); continue;
        case '/':
            Advance();
            if (ch_ == '*') {
                Advance();
                SkipBlockComment();
                continue;
            }
            if (ch_ == '/') {
                SkipLineComment();
                continue;
            }
            if (ch_ == '=') {
                Advance();
                return TOK_DIVEQ;
            }
            if (ch_ == '>') {
                Advance();
                return TOK_ATTR_CLOSE;
            }
            return '/';
        case '=':
            Advance();
            if (ch_ == '=') {
                Advance();
                return TOK_EQ;
            }
            return '=';
        case '<':
            Advance();
            if (ch_ == '=') {
                Advance();
                if (ch_ == '>') {
                    Advance();
                    return TOK_CMP3;
                }
                return TOK_LE;
            }
            if (ch_ == '-') {
                Advance();
                return TOK_NEWSLOT;
            }
            if (ch_ == '<') {
                Advance();
                return TOK_SHL;
            }
            if (ch_ == '/') {
                Advance();
                return TOK_ATTR_OPEN;
            }
            return '<';
        case '>':
            Advance();
            if (ch_ == '=') {
                Advance();
                return TOK_GE;
            }
            if (ch_ == '>') {
                Advance();
                if (ch_ == '>') {
                    Advance();
                    return TOK_USHR;
                }
                return TOK_SHR;
            }
            return '>';
        case '!':
            Advance();
            if (ch_ == '=') {
                Advance();
                return TOK_NE;
            }
            return '!';
        case '@':
            Advance();
            if (ch_ != '"') return '@';
            return ScanString('"', true);
        case '"':
        case '\'': return ScanString(c, false);
        case '.':
            Advance();
            if (ch_ != '.') return '.';
            Advance();
            if (ch_ != '.') Fail("invalid token '..'");
            Advance();
            return TOK_ELLIPSIS;
        case '&':
            Advance();
            if (ch_ == '&') {
                Advance();
                return TOK_AND;
            }
            return '&';
        case '|':
            Advance();
            if (ch_ == '|') {
                Advance();
                return TOK_OR;
            }
            return '|';
        case ':':
            Advance();
            if (ch_ == ':') {
                Advance();
                return TOK_SCOPE;
            }
            return ':';
        case '*':
        case '%': {
            Advance();
            if (ch_ == '=') {
                Advance();
                return c == '*' ? TOK_MULEQ : TOK_MODEQ;
            }
            return c;
        }
        case '+':
        case '-': {
            Advance();
            if (ch_ == '=') {
                Advance();
                return c == '+' ? TOK_PLUSEQ : TOK_MINUSEQ;
            }
            if (ch_ == c) {
                Advance();
                return c == '+' ? TOK_INC : TOK_DEC;
            }
            return c;
        }
        case '{':
        case '}':
        case '(':
        case ')':
        case '[':
        case ']':
        case ';':
        case ',':
        case '?':
        case '^':
        case '~': Advance(); return c;
        default:
            if (IsDigit(c)) return ScanNumber();
            if (IsLetter(c) || c == '_') return ScanWord();
            if (c < 32 || c == 127) Fail("unexpected character(control)");
            Advance();
            return c;
        }
    }
}

int Lexer::ScanWord()
{
    text_.clear();
    do {
        text_.push_back(static_cast<char>(ch_));
        Advance();
    } while (IsLetter(ch_) || IsDigit(ch_) || ch_ == '_');
    for (const KeywordEntry &k : kKeywords)
        if (text_ == k.text) return k.token;
    return TOK_IDENT;
}

unsigned Lexer::ReadHexEscape(int maxDigits)
{
    Advance();
    if (!IsHex(ch_)) Fail("hexadecimal number expected");
    unsigned value = 0;
    for (int n = 0; n < maxDigits && IsHex(ch_); n++) {
        value = value * 16 + static_cast<unsigned>(HexValue(ch_));
        Advance();
    }
    return value;
}

void Lexer::AppendUtf8(unsigned cp)
{
    if (cp < 0x80) {
        text_.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        text_.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        text_.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        text_.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        text_.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        text_.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x110000) {
        text_.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        text_.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        text_.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        text_.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

int Lexer::ScanString(int quote, bool verbatim)
{
    text_.clear();
    Advance(); // opening quote
    for (;;) {
        int c = ch_;
        if (c == 0) Fail("unfinished string");
        if (c == quote) {
            Advance();
            if (verbatim && ch_ == '"') { // "" inside a verbatim string is one quote
                text_.push_back('"');
                Advance();
                continue;
            }
            break;
        }
        if (c == '\n') {
            if (!verbatim) Fail("newline in a constant");
            line_++;
            text_.push_back('\n');
            Advance();
            continue;
        }
        if (c == '\\' && !verbatim) {
            Advance();
            switch (ch_) {
            case 'x': text_.push_back(static_cast<char>(ReadHexEscape(2))); continue;
            case 'u': AppendUtf8(ReadHexEscape(4)); continue;
            case 'U': AppendUtf8(ReadHexEscape(8)); continue;
            case 't': text_.push_back('\t'); break;
            case 'a': text_.push_back('\a'); break;
            case 'b': text_.push_back('\b'); break;
            case 'n': text_.push_back('\n'); break;
            case 'r': text_.push_back('\r'); break;
            case 'v': text_.push_back('\v'); break;
            case 'f': text_.push_back('\f'); break;
            case '0': text_.push_back('\0'); break;
            case '\\': text_.push_back('\\'); break;
            case '"': text_.push_back('"'); break;
            case '\'': text_.push_back('\''); break;
            default: Fail("unrecognised escaper char");
            }
            Advance();
            continue;
        }
        text_.push_back(static_cast<char>(c));
        Advance();
    }
    if (quote == '\'') {
        if (text_.empty()) Fail("empty constant");
        if (text_.size() > 1) Fail("constant too long");
        int_ = static_cast<signed char>(text_[0]);
        return TOK_INT;
    }
    return TOK_STRING;
}

int Lexer::ScanNumber()
{
    std::string digits;
    uint32_t value = 0;
    int first = ch_;
    Advance();
    if (first == '0' && (ch_ == 'x' || ch_ == 'X')) {
        Advance();
        int n = 0;
        while (IsHex(ch_)) {
            value = value * 16 + static_cast<uint32_t>(HexValue(ch_));
            n++;
            Advance();
        }
        if (n > 8) Fail("too many digits for an Hex number");
        int_ = static_cast<SQInteger>(value);
        return TOK_INT;
    }
    if (first == '0' && IsOctal(ch_)) {
        while (IsOctal(ch_)) {
            value = value * 8 + static_cast<uint32_t>(ch_ - '0');
            Advance();
        }
        if (IsDigit(ch_)) Fail("invalid octal number");
        int_ = static_cast<SQInteger>(value);
        return TOK_INT;
    }
    digits.push_back(static_cast<char>(first));
    bool isFloat = false;
    // Every exponent makes a float, a second one too (`1e5e5`): the value is what strtod
    // reads of the token, which stops before the second.
    while (ch_ == '.' || IsDigit(ch_) || ch_ == 'e' || ch_ == 'E') {
        if (ch_ == 'e' || ch_ == 'E') {
            isFloat = true;
            digits.push_back(static_cast<char>(ch_));
            Advance();
            if (ch_ == '+' || ch_ == '-') {
                digits.push_back(static_cast<char>(ch_));
                Advance();
            }
            if (!IsDigit(ch_)) Fail("exponent expected");
            continue;
        }
        // A '.' after the exponent still belongs to the token (strtod stops before it):
        // `1e5.x` is a number followed by a name, not a malformed number.
        if (ch_ == '.') isFloat = true;
        digits.push_back(static_cast<char>(ch_));
        Advance();
    }
    if (isFloat) {
        float_ = static_cast<SQFloat>(strtod(digits.c_str(), nullptr));
        return TOK_FLOAT;
    }
    for (char d : digits) value = value * 10 + static_cast<uint32_t>(d - '0');
    int_ = static_cast<SQInteger>(value);
    return TOK_INT;
}

} // namespace nut
