// Splits source text into tokens. Single-character tokens are their character code;
// everything else is a Token value above 255.
#pragma once

#include <string>

#include <squirrel.h>

namespace nut {

enum Token : int {
    TOK_EOF = 0,
    TOK_IDENT = 256,
    TOK_STRING,
    TOK_INT,
    TOK_FLOAT,
    // keywords
    TOK_BASE,
    TOK_BREAK,
    TOK_CASE,
    TOK_CATCH,
    TOK_CLASS,
    TOK_CLONE,
    TOK_CONST,
    TOK_CONSTRUCTOR,
    TOK_CONTINUE,
    TOK_DEFAULT,
    TOK_DELETE,
    TOK_DO,
    TOK_ELSE,
    TOK_ENUM,
    TOK_EXTENDS,
    TOK_FALSE,
    TOK_FOR,
    TOK_FOREACH,
    TOK_FUNCTION,
    TOK_IF,
    TOK_IN,
    TOK_INSTANCEOF,
    TOK_LOCAL,
    TOK_NULL,
    TOK_RESUME,
    TOK_RETURN,
    TOK_STATIC,
    TOK_SWITCH,
    TOK_THIS,
    TOK_THROW,
    TOK_TRUE,
    TOK_TRY,
    TOK_TYPEOF,
    TOK_WHILE,
    TOK_YIELD,
    TOK_LINE,
    TOK_FILE,
    // operators
    TOK_EQ,        // ==
    TOK_NE,        // !=
    TOK_LE,        // <=
    TOK_GE,        // >=
    TOK_CMP3,      // <=>
    TOK_AND,       // &&
    TOK_OR,        // ||
    TOK_NEWSLOT,   // <-
    TOK_PLUSEQ,    // +=
    TOK_MINUSEQ,   // -=
    TOK_MULEQ,     // *=
    TOK_DIVEQ,     // /=
    TOK_MODEQ,     // %=
    TOK_INC,       // ++
    TOK_DEC,       // --
    TOK_SHL,       // <<
    TOK_SHR,       // >>
    TOK_USHR,      // >>>
    TOK_SCOPE,     // ::
    TOK_ELLIPSIS,  // ...
    TOK_ATTR_OPEN, // </
    TOK_ATTR_CLOSE // />
};

// Thrown by the lexer and the compiler; the message is final.
struct CompileError {
    std::string message;
};

class Lexer
{
public:
    Lexer(SQLEXREADFUNC read, SQUserPointer source);

    int Next(); // advances to the next token and returns it
    int token() const { return token_; }
    // True when a newline separated the current token from the previous one.
    bool AfterNewline() const { return newlineBefore_; }
    SQInteger line() const { return line_; }
    SQInteger column() const { return column_; }
    SQInteger tokenLine() const { return tokenLine_; }

    const std::string &text() const { return text_; } // identifier or string contents
    SQInteger intValue() const { return int_; }
    SQFloat floatValue() const { return float_; }

    [[noreturn]] void Fail(const char *message) const { throw CompileError{message}; }
    static const char *KeywordText(int token);

private:
    void Advance();
    int Scan();
    int ScanString(int quote, bool verbatim);
    int ScanNumber();
    int ScanWord();
    void SkipBlockComment();
    void SkipLineComment();
    unsigned ReadHexEscape(int maxDigits);
    void AppendUtf8(unsigned codepoint);

    SQLEXREADFUNC read_;
    SQUserPointer source_;
    int ch_ = 0; // current character, 0 at the end
    int token_ = TOK_EOF;
    bool newlineBefore_ = false;
    SQInteger line_ = 1;
    SQInteger column_ = 0;
    SQInteger tokenLine_ = 1;
    std::string text_;
    SQInteger int_ = 0;
    SQFloat float_ = 0;
};

} // namespace nut
