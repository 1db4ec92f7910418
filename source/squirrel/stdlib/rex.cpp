// Regular expressions as the string library documents them: greedy repeats that stop as
// soon as the next element can match (no backtracking into a repeat), alternatives tried
// in order, and a pattern compiled to a small tree.
#include <sqstdstring.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

enum class NodeKind { Char, Any, Set, Bol, Eol, WordBoundary, NotWordBoundary, Balanced, Group, Repeat };

struct Node;
using Sequence = std::vector<Node>;

struct Node {
    NodeKind kind;
    unsigned char ch = 0;     // Char; Balanced: opening char
    unsigned char close = 0;  // Balanced: closing char
    bool set[256] = {};       // Set (negation already applied)
    int capture = -1;         // Group: capture index, -1 for (?: )
    std::vector<Sequence> alternatives; // Group
    std::vector<Node> child;            // Repeat: one node
    int min = 0, max = -1;              // Repeat: max -1 is unbounded
};

constexpr int kMaxDepth = 64; // pattern nesting bound: keeps matcher recursion bounded

bool ClassMatches(char cls, unsigned char c)
{
    switch (cls) {
    case 'a': return isalpha(c) != 0;
    case 'A': return !isalpha(c);
    case 'w': return isalnum(c) || c == '_';
    case 'W': return !(isalnum(c) || c == '_');
    case 's': return isspace(c) != 0;
    case 'S': return !isspace(c);
    case 'd': return isdigit(c) != 0;
    case 'D': return !isdigit(c);
    case 'x': return isxdigit(c) != 0;
    case 'X': return !isxdigit(c);
    case 'c': return iscntrl(c) != 0;
    case 'C': return !iscntrl(c);
    case 'p': return ispunct(c) != 0;
    case 'P': return !ispunct(c);
    case 'l': return islower(c) != 0;
    case 'u': return isupper(c) != 0;
    default: return false;
    }
}

bool IsClassLetter(char c) { return strchr("aAwWsSdDxXcCpPlu", c) != nullptr && c != 0; }

unsigned char EscapedChar(char c)
{
    switch (c) {
    case 't': return '\t';
    case 'n': return '\n';
    case 'r': return '\r';
    case 'f': return '\f';
    case 'v': return '\v';
    default: return static_cast<unsigned char>(c);
    }
}

struct CompileError {
    const char *message;
};

// Pattern syntax as scripts expect it: an element is required wherever one can start, and
// there any printable character is literal ('*', '+', '?', '{', '|' and ')' included);
// after an element, '|', ')', '*', '+' or the end stop the sequence. A non-printable byte
// (the end of the pattern included) where a literal is needed is "letter expected".
class Compiler
{
public:
    explicit Compiler(const char *p) : p_(p) {}
    std::vector<Sequence> Compile(int &groups)
    {
        std::vector<Sequence> top = Alternation(0);
        if (*p_) Fail("unexpected character");
        groups = groups_;
        return top;
    }

private:
    [[noreturn]] void Fail(const char *m) { throw CompileError{m}; }

    void Expect(char c)
    {
        if (*p_ != c) Fail("expected paren");
        p_++;
    }

    std::vector<Sequence> Alternation(int depth)
    {
        if (depth > kMaxDepth) Fail("expected paren");
        std::vector<Sequence> alts;
        alts.push_back(Seq(depth));
        while (*p_ == '|') {
            p_++;
            alts.push_back(Seq(depth));
        }
        return alts;
    }

    Sequence Seq(int depth)
    {
        Sequence seq;
        if (*p_ == '^') {
            p_++;
            Node bol;
            bol.kind = NodeKind::Bol;
            seq.push_back(std::move(bol));
        }
        for (;;) {
            Node atom = Atom(depth);
            Quantify(atom, seq);
            char c = *p_;
            if (c == '|' || c == ')' || c == '*' || c == '+' || c == '\0') return seq;
        }
    }

    // Decimal digits read into 16 bits (so 65535 means "no upper bound"); ten digits or
    // more overflow.
    int Number()
    {
        if (!isdigit(static_cast<unsigned char>(*p_))) Fail("number expected");
        int64_t n = *p_++ - '0'; // ten digits do not fit an int before the check below
        int digits = 1;
        while (isdigit(static_cast<unsigned char>(*p_))) {
            n = n * 10 + (*p_++ - '0');
            if (++digits >= 10) Fail("overflow in numeric constant");
        }
        return static_cast<int>(n & 0xFFFF);
    }

    void Quantify(Node &atom, Sequence &seq)
    {
        int min, max;
        switch (*p_) {
        case '*': min = 0; max = kUnbounded; p_++; break;
        case '+': min = 1; max = kUnbounded; p_++; break;
        case '?': min = 0; max = 1; p_++; break;
        case '{':
            p_++;
            min = Number();
            if (*p_ == '}') {
                max = min;
                p_++;
            } else if (*p_ == ',') {
                p_++;
                max = isdigit(static_cast<unsigned char>(*p_)) ? Number() : kUnbounded;
                Expect('}');
            } else {
                Fail(", or } expected");
            }
            break;
        default: seq.push_back(std::move(atom)); return;
        }
        Node r;
        r.kind = NodeKind::Repeat;
        r.min = min;
        r.max = max == kUnbounded ? -1 : max;
        r.child.push_back(std::move(atom));
        seq.push_back(std::move(r));
    }

    Node Atom(int depth)
    {
        Node n;
        switch (*p_) {
        case '(':
            p_++;
            n.kind = NodeKind::Group;
            if (*p_ == '?') {
                p_++;
                Expect(':');
            } else {
                n.capture = groups_++;
            }
            n.alternatives = Alternation(depth + 1);
            Expect(')');
            return n;
        case '[':
            p_++;
            n = Class();
            Expect(']');
            return n;
        case '.': p_++; n.kind = NodeKind::Any; return n;
        case '$': p_++; n.kind = NodeKind::Eol; return n;
        default: return Literal(false);
        }
    }

    // One character, an escape or a class letter; in a class, \b and \B are letters and
    // a balanced-run escape adds nothing.
    Node Literal(bool inClass)
    {
        Node n;
        n.kind = NodeKind::Char;
        if (*p_ == '\\') {
            p_++;
            char c = *p_;
            if (c == '\0') return n; // a trailing backslash: a NUL, which text never holds here
            p_++;
            if ((c == 'b' || c == 'B') && !inClass) {
                n.kind = c == 'b' ? NodeKind::WordBoundary : NodeKind::NotWordBoundary;
                return n;
            }
            if (c == 'm') {
                if (!p_[0] || !p_[1]) Fail("balanced chars expected");
                if (p_[0] == p_[1]) Fail("open/close char can't be the same");
                n.kind = NodeKind::Balanced;
                n.ch = static_cast<unsigned char>(p_[0]);
                n.close = static_cast<unsigned char>(p_[1]);
                p_ += 2;
                return n;
            }
            if (IsClassLetter(c)) {
                n.kind = NodeKind::Set;
                for (int i = 0; i < 256; i++) n.set[i] = ClassMatches(c, static_cast<unsigned char>(i));
                return n;
            }
            n.ch = EscapedChar(c);
            return n;
        }
        if (!isprint(static_cast<unsigned char>(*p_))) Fail("letter expected");
        n.ch = static_cast<unsigned char>(*p_++);
        return n;
    }

    // The end of a range: an escape gives its control character or the letter itself.
    unsigned char RangeEnd()
    {
        char c = *p_;
        if (c == '\\') {
            p_++;
            c = *p_;
            if (c) p_++;
            return EscapedChar(c);
        }
        if (c) p_++;
        return static_cast<unsigned char>(c);
    }

    Node Class()
    {
        Node n;
        n.kind = NodeKind::Set;
        bool negate = false;
        if (*p_ == '^') {
            negate = true;
            p_++;
        }
        if (*p_ == ']') Fail("empty class");
        bool havePending = false;
        Node pending;
        auto add = [&](const Node &item) {
            if (item.kind == NodeKind::Set) {
                for (int i = 0; i < 256; i++) n.set[i] = n.set[i] || item.set[i];
            } else if (item.kind == NodeKind::Char) {
                n.set[item.ch] = true;
            }
        };
        while (*p_ != ']') {
            if (*p_ == '-' && havePending) {
                p_++;
                // Bounds compare as signed chars; a class letter never starts a range.
                signed char first = static_cast<signed char>(pending.ch);
                if (pending.kind != NodeKind::Char || first > static_cast<signed char>(*p_)) Fail("invalid range");
                signed char last = static_cast<signed char>(RangeEnd());
                for (int i = 0; i < 256; i++) {
                    signed char c = static_cast<signed char>(i);
                    if (c >= first && c <= last) n.set[i] = true;
                }
                havePending = false;
                continue;
            }
            if (havePending) add(pending);
            pending = Literal(true);
            havePending = true;
        }
        if (havePending) add(pending);
        if (negate)
            for (bool &b : n.set) b = !b;
        return n;
    }

    static constexpr int kUnbounded = 0xFFFF;
    const char *p_;
    int groups_ = 0;
};

} // namespace

struct SQRex {
    std::vector<Sequence> top;
    int groups = 0;
    std::vector<SQRexMatch> matches; // 0: whole match, then each group
    const char *bol = nullptr;
    const char *eol = nullptr;
    // A script's subject ends at its first NUL. Finding that NUL up front would make a loop
    // of searches along a long text scan the rest of it on every call, so while `open` is
    // set `eol` only marks how far the text is known to be free of NULs, up to `limit`.
    const char *limit = nullptr;
    bool open = false;

    bool Inside(const char *p)
    {
        if (p < eol) [[likely]]
            return true;
        return open && Extend(p);
    }
    bool Extend(const char *p);
};

// Moves a provisional end on until `p` is inside or the real end is known.
bool SQRex::Extend(const char *p)
{
    while (open && p >= eol) {
        // Each step scans at least as far again as the text seen so far: linear overall.
        size_t step = static_cast<size_t>(eol - bol) + 256;
        const char *stop = static_cast<size_t>(limit - eol) > step ? eol + step : limit;
        if (const void *nul = memchr(eol, 0, static_cast<size_t>(stop - eol))) {
            eol = static_cast<const char *>(nul);
            open = false;
        } else {
            eol = stop;
            open = stop != limit;
        }
    }
    return p < eol;
}

namespace {

// The rest of the pattern after the current element, used by repeats to stop early.
struct Continuation {
    const Sequence *seq;
    size_t index;
    const Continuation *outer;
};

// Matching without backtracking into repeats. A repeat stops as soon as the element after
// it (looking out of enclosing groups, but not out of an alternation) matches; that check
// runs after every round. Groups record captures in pattern order only: a group captures
// when its number is the next one expected, and entering it moves that number on even
// when it then fails. A group that matches puts the number back to where it stood after
// its own capture, so numbers that look-aheads inside it used up count again once it
// ends: after "(\d+)" the next group captures, while in "a+(c)" (no enclosing group) a
// look-ahead that tried "(c)" leaves it 0-0. A repeated group keeps its first round.
class Matcher
{
public:
    explicit Matcher(SQRex *r) : r_(r) {}

    // Matches `seq` from element `i` at `s`; nullptr when it does not match.
    const char *MatchSeq(const Sequence &seq, size_t i, const char *s, const Continuation *outer)
    {
        for (; i < seq.size(); i++) {
            Continuation next{&seq, i + 1, outer};
            s = MatchNode(seq[i], s, &next);
            if (!s) return nullptr;
        }
        return s;
    }

    const char *MatchGroup(const Node &g, const char *s, const Continuation *next)
    {
        SQRexMatch *m = nullptr;
        if (g.capture >= 0 && g.capture == nextCapture_) {
            m = &r_->matches[static_cast<size_t>(g.capture) + 1];
            m->begin = s;
            m->len = 0;
            nextCapture_++;
            if (nextCapture_ > reached_) reached_ = nextCapture_;
        }
        int resume = nextCapture_;
        // Alternatives end where they end: what follows the group cannot stop their repeats.
        const Continuation *inner = g.alternatives.size() == 1 ? next : nullptr;
        for (const Sequence &alt : g.alternatives) {
            if (const char *e = MatchSeq(alt, 0, s, inner)) {
                if (m) m->len = static_cast<SQInteger>(e - s);
                nextCapture_ = resume;
                return e;
            }
        }
        if (m) {
            m->begin = nullptr;
            m->len = 0;
        }
        return nullptr;
    }

    // The continuation whose next element a repeat checks before taking another round.
    const Continuation *Following(const Continuation *c)
    {
        for (; c; c = c->outer)
            if (c->index < c->seq->size()) return c;
        return nullptr;
    }

    bool IsSpaceAt(const char *p) const
    {
        return p >= r_->bol && r_->Inside(p) && isspace(static_cast<unsigned char>(*p));
    }

    const char *MatchNode(const Node &n, const char *s, const Continuation *next)
    {
        // Matching never moves past the end, so a position that is not inside is the end.
        switch (n.kind) {
        case NodeKind::Char: return (r_->Inside(s) && static_cast<unsigned char>(*s) == n.ch) ? s + 1 : nullptr;
        case NodeKind::Any: return r_->Inside(s) ? s + 1 : nullptr;
        case NodeKind::Set: return (r_->Inside(s) && n.set[static_cast<unsigned char>(*s)]) ? s + 1 : nullptr;
        case NodeKind::Bol: return s == r_->bol ? s : nullptr;
        case NodeKind::Eol: return r_->Inside(s) ? nullptr : s;
        case NodeKind::WordBoundary:
        case NodeKind::NotWordBoundary: {
            // Whitespace-based and one character early: at the start if the current
            // character is not a space, at the end if the previous one is not, elsewhere
            // where exactly one of the current and the next character is a space.
            bool inside = r_->Inside(s);
            bool boundary = (s == r_->bol && !IsSpaceAt(s)) || (!inside && s > r_->bol && !IsSpaceAt(s - 1)) ||
                            (inside && IsSpaceAt(s) != IsSpaceAt(s + 1));
            return (boundary == (n.kind == NodeKind::WordBoundary)) ? s : nullptr;
        }
        case NodeKind::Balanced: {
            if (!r_->Inside(s) || static_cast<unsigned char>(*s) != n.ch) return nullptr;
            int depth = 1;
            for (const char *p = s + 1; r_->Inside(p); p++) {
                unsigned char c = static_cast<unsigned char>(*p);
                if (c == n.close) {
                    if (--depth == 0) return p + 1;
                } else if (c == n.ch) {
                    depth++;
                }
            }
            return nullptr;
        }
        case NodeKind::Group: return MatchGroup(n, s, next);
        case NodeKind::Repeat: {
            const Node &item = n.child[0];
            const Continuation *stopAt = Following(next);
            const Node *following = stopAt ? &(*stopAt->seq)[stopAt->index] : nullptr;
            // A following repeat that accepts nothing would always stop this one at once.
            if (following && following->kind == NodeKind::Repeat && following->min == 0) following = nullptr;
            int count = 0;
            while (n.max < 0 || count < n.max) {
                const char *e = MatchNode(item, s, next);
                if (!e) break;
                bool progressed = e != s;
                s = e;
                count++;
                if (following) {
                    // The look-ahead's own repeats look further ahead in turn; a long run of
                    // repeats must not turn that into deep recursion, so the chain is cut.
                    Continuation after{stopAt->seq, stopAt->index + 1, stopAt->outer};
                    lookahead_++;
                    const char *stop = MatchNode(*following, s, lookahead_ <= kMaxDepth ? &after : nullptr);
                    lookahead_--;
                    if (stop && count >= n.min) break;
                }
                if (!progressed || !r_->Inside(s)) break; // an empty round would repeat forever
            }
            return count >= n.min ? s : nullptr;
        }
        }
        return nullptr;
    }

    int Reached() const { return reached_; }

private:
    SQRex *r_;
    int nextCapture_ = 0;
    int reached_ = 0; // groups 1..reached_ may hold a capture
    int lookahead_ = 0; // nested look-ahead checks in progress
};

void ClearMatches(SQRex *r, size_t count)
{
    for (size_t i = 0; i < count; i++) r->matches[i] = SQRexMatch{nullptr, 0};
}

// Tries the whole pattern at `s`, all matches clear; fills match 0 on success. A failed
// try clears what it wrote again: only the groups it reached.
bool MatchAt(SQRex *r, const char *s, const char **end)
{
    Matcher m(r);
    for (const Sequence &alt : r->top) {
        const char *e = m.MatchSeq(alt, 0, s, nullptr);
        if (e) {
            r->matches[0].begin = s;
            r->matches[0].len = static_cast<SQInteger>(e - s);
            *end = e;
            return true;
        }
    }
    for (int i = 1; i <= m.Reached(); i++) r->matches[static_cast<size_t>(i)] = SQRexMatch{nullptr, 0};
    return false;
}

// The first match starting in [begin, end); with `nulEnds` the text also ends at its first NUL.
bool SearchRange(SQRex *r, const char *begin, const char *end, bool nulEnds, const char **outBegin,
                 const char **outEnd)
{
    r->bol = begin;
    r->eol = nulEnds ? begin : end;
    r->limit = end;
    r->open = nulEnds && begin < end;
    ClearMatches(r, r->matches.size());
    // The end only ever moves on, so positions before one seen already need no check.
    const char *known = r->eol;
    for (const char *s = begin;; s++) {
        if (s >= known) {
            if (!r->Inside(s)) break;
            known = r->eol;
        }
        const char *e;
        if (MatchAt(r, s, &e)) {
            if (outBegin) *outBegin = s;
            if (outEnd) *outEnd = e;
            return true;
        }
    }
    return false;
}

} // namespace

SQRex *sqstd_rex_compile(const SQChar *pattern, const SQChar **error)
{
    std::unique_ptr<SQRex> r(new SQRex());
    try {
        Compiler c(pattern);
        r->top = c.Compile(r->groups);
    } catch (CompileError &e) {
        if (error) *error = e.message;
        return nullptr;
    }
    r->matches.resize(static_cast<size_t>(r->groups) + 1);
    return r.release();
}

void sqstd_rex_free(SQRex *exp) { delete exp; }

SQBool sqstd_rex_match(SQRex *exp, const SQChar *text)
{
    exp->bol = text;
    exp->eol = text + strlen(text);
    exp->open = false;
    ClearMatches(exp, exp->matches.size());
    const char *end;
    return (MatchAt(exp, text, &end) && end == exp->eol) ? SQTrue : SQFalse;
}

SQBool sqstd_rex_searchrange(SQRex *exp, const SQChar *text_begin, const SQChar *text_end, const SQChar **out_begin,
                             const SQChar **out_end)
{
    return SearchRange(exp, text_begin, text_end, false, out_begin, out_end) ? SQTrue : SQFalse;
}

SQBool sqstd_rex_search(SQRex *exp, const SQChar *text, const SQChar **out_begin, const SQChar **out_end)
{
    return sqstd_rex_searchrange(exp, text, text + strlen(text), out_begin, out_end);
}

SQInteger sqstd_rex_getsubexpcount(SQRex *exp) { return static_cast<SQInteger>(exp->matches.size()); }

SQBool sqstd_rex_getsubexp(SQRex *exp, SQInteger n, SQRexMatch *subexp)
{
    if (n < 0 || n >= static_cast<SQInteger>(exp->matches.size())) return SQFalse;
    *subexp = exp->matches[static_cast<size_t>(n)];
    return SQTrue;
}

// The script class

namespace {

const int kRexTag = 0;

SQRex *Self(HSQUIRRELVM v)
{
    SQUserPointer p = nullptr;
    if (SQ_FAILED(sq_getinstanceup(v, 1, &p, const_cast<int *>(&kRexTag)))) return nullptr;
    return static_cast<SQRex *>(p);
}

SQInteger rex_constructor(HSQUIRRELVM v)
{
    const SQChar *pattern;
    sq_getstring(v, 2, &pattern);
    const SQChar *error = nullptr;
    SQRex *r = sqstd_rex_compile(pattern, &error);
    if (!r) return sq_throwerror(v, error);
    sq_setinstanceup(v, 1, r);
    sq_setreleasehook(v, 1, [](SQUserPointer p, SQInteger) -> SQInteger {
        sqstd_rex_free(static_cast<SQRex *>(p));
        return 0;
    });
    return 0;
}

void PushRange(HSQUIRRELVM v, SQInteger begin, SQInteger end)
{
    sq_newtable(v);
    sq_pushstring(v, "begin", -1);
    sq_pushinteger(v, begin);
    sq_newslot(v, -3, SQFalse);
    sq_pushstring(v, "end", -1);
    sq_pushinteger(v, end);
    sq_newslot(v, -3, SQFalse);
}

SQInteger rex_match(HSQUIRRELVM v)
{
    SQRex *r = Self(v);
    if (!r) return SQ_ERROR;
    const SQChar *s;
    sq_getstring(v, 2, &s);
    sq_pushbool(v, sqstd_rex_match(r, s));
    return 1;
}

// Searches from the optional start index up to the first NUL after it; false when nothing
// matched.
bool Search(HSQUIRRELVM v, SQRex *r, const SQChar *&text, const SQChar *&begin, const SQChar *&end)
{
    sq_getstring(v, 2, &text);
    SQInteger len = sq_getsize(v, 2);
    SQInteger start = 0;
    if (sq_gettop(v) > 2) sq_getinteger(v, 3, &start);
    if (start < 0 || start > len) return false;
    return SearchRange(r, text + start, text + len, true, &begin, &end);
}

SQInteger rex_search(HSQUIRRELVM v)
{
    SQRex *r = Self(v);
    if (!r) return SQ_ERROR;
    const SQChar *text, *begin, *end;
    if (!Search(v, r, text, begin, end)) return 0;
    PushRange(v, static_cast<SQInteger>(begin - text), static_cast<SQInteger>(end - text));
    return 1;
}

SQInteger rex_capture(HSQUIRRELVM v)
{
    SQRex *r = Self(v);
    if (!r) return SQ_ERROR;
    const SQChar *text, *begin, *end;
    if (!Search(v, r, text, begin, end)) return 0;
    SQInteger n = sqstd_rex_getsubexpcount(r);
    sq_newarray(v, 0);
    for (SQInteger i = 0; i < n; i++) {
        SQRexMatch m = {nullptr, 0};
        sqstd_rex_getsubexp(r, i, &m);
        if (m.begin)
            PushRange(v, static_cast<SQInteger>(m.begin - text), static_cast<SQInteger>(m.begin - text + m.len));
        else
            PushRange(v, 0, 0);
        sq_arrayappend(v, -2);
    }
    return 1;
}

SQInteger rex_subexpcount(HSQUIRRELVM v)
{
    SQRex *r = Self(v);
    if (!r) return SQ_ERROR;
    sq_pushinteger(v, sqstd_rex_getsubexpcount(r));
    return 1;
}

SQInteger rex_typeof(HSQUIRRELVM v)
{
    sq_pushstring(v, "regexp", -1);
    return 1;
}

} // namespace

void RegisterRegexpClass(HSQUIRRELVM v)
{
    sq_pushstring(v, "regexp", -1);
    sq_newclass(v, SQFalse);
    sq_settypetag(v, -1, const_cast<int *>(&kRexTag));
    const SQRegFunction methods[] = {{"constructor", rex_constructor, 2, ".s"},
                                     {"search", rex_search, -2, "xsn"},
                                     {"match", rex_match, 2, "xs"},
                                     {"capture", rex_capture, -2, "xsn"},
                                     {"subexpcount", rex_subexpcount, 1, "x"},
                                     {"_typeof", rex_typeof, 1, "x"},
                                     {nullptr, nullptr, 0, nullptr}};
    for (const SQRegFunction *f = methods; f->name; f++) {
        sq_pushstring(v, f->name, -1);
        sq_newclosure(v, f->f, 0);
        sq_setparamscheck(v, f->nparamscheck, f->typemask);
        sq_setnativeclosurename(v, -1, f->name);
        sq_newslot(v, -3, SQFalse);
    }
    sq_newslot(v, -3, SQFalse);
}
