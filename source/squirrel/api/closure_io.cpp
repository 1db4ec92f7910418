// Saving and loading compiled closures. The image is this implementation's own: a tag,
// a header naming the format version and the value sizes, then the function tree.
// Images come from files, so nothing read is trusted: every operand of every instruction
// is checked against the function it belongs to before a closure is made, and a failed
// check rejects the whole image.
#include <cstring>
#include <string>

#include "../compiler/opcodes.h"
#include "../vm/cstack.h"
#include "../vm/strings.h"
#include "api_internal.h"

using namespace nut;

namespace {

constexpr uint8_t kMagic[4] = {'N', 'U', 'T', 'I'};
constexpr uint32_t kFormatVersion = 1;
constexpr uint8_t kTrailer[4] = {'E', 'N', 'D', '.'};
constexpr uint32_t kNullString = 0xFFFFFFFFu;
constexpr uint32_t kMaxCount = 1u << 24; // entries of any one table

enum ConstTag : uint8_t { TagNull, TagFalse, TagTrue, TagInt, TagFloat, TagString };

struct IoError {};        // the stream failed or ended early
struct CorruptImage {};   // the bytes are not a valid image

class Writer {
public:
    Writer(SQWRITEFUNC fn, SQUserPointer up) : fn_(fn), up_(up) {}

    void Bytes(const void *p, size_t n)
    {
        if (n == 0) return;
        SQInteger want = static_cast<SQInteger>(n);
        if (fn_(up_, const_cast<void *>(p), want) != want) throw IoError();
    }
    void U8(uint8_t x) { Bytes(&x, 1); }
    void U32(uint32_t x)
    {
        uint8_t b[4] = {static_cast<uint8_t>(x), static_cast<uint8_t>(x >> 8), static_cast<uint8_t>(x >> 16),
                        static_cast<uint8_t>(x >> 24)};
        Bytes(b, 4);
    }
    void String(const Value &s)
    {
        if (!s.IsString()) {
            U32(kNullString);
            return;
        }
        Str *str = s.As<Str>();
        U32(static_cast<uint32_t>(str->len));
        Bytes(str->chars, static_cast<size_t>(str->len));
    }

    void Constant(const Value &k)
    {
        switch (k.kind()) {
        case Kind::Null: U8(TagNull); break;
        case Kind::Bool: U8(k.IsFalsy() ? TagFalse : TagTrue); break;
        case Kind::Int:
            U8(TagInt);
            U32(static_cast<uint32_t>(k.AsInt()));
            break;
        case Kind::Float: {
            U8(TagFloat);
            float f = k.AsFloat();
            uint32_t bits;
            memcpy(&bits, &f, 4);
            U32(bits);
            break;
        }
        case Kind::String:
            U8(TagString);
            String(k);
            break;
        default: throw CorruptImage(); // the compiler makes no other constants
        }
    }

    void Function(const Proto *p)
    {
        if (CStackLow()) throw CorruptImage(); // nested functions recurse here
        String(p->source);
        String(p->name);
        U8(p->maxStack);
        U8(static_cast<uint8_t>((p->varargs ? 1 : 0) | (p->generator ? 2 : 0)));
        U32(static_cast<uint32_t>(p->params.size()));
        for (const Value &n : p->params) String(n);
        U32(static_cast<uint32_t>(p->defaultRegs.size()));
        for (uint8_t r : p->defaultRegs) U8(r);
        U32(static_cast<uint32_t>(p->consts.size()));
        for (const Value &k : p->consts) Constant(k);
        U32(static_cast<uint32_t>(p->upvals.size()));
        for (const UpvalDesc &u : p->upvals) {
            String(u.name);
            U8(u.inParentRegs ? 1 : 0);
            U8(u.index);
        }
        U32(static_cast<uint32_t>(p->code.size()));
        for (uint32_t i : p->code) U32(i);
        U32(static_cast<uint32_t>(p->lines.size()));
        for (int32_t l : p->lines) U32(static_cast<uint32_t>(l));
        U32(static_cast<uint32_t>(p->locals.size()));
        for (const LocalInfo &l : p->locals) {
            String(l.name);
            U32(l.startPc);
            U32(l.endPc);
            U8(l.reg);
        }
        U32(static_cast<uint32_t>(p->protos.size()));
        for (const Value &c : p->protos) Function(c.As<Proto>());
    }

private:
    SQWRITEFUNC fn_;
    SQUserPointer up_;
};

class Reader {
public:
    Reader(Runtime *rt, SQREADFUNC fn, SQUserPointer up) : rt_(rt), fn_(fn), up_(up) {}

    void Bytes(void *p, size_t n)
    {
        if (n == 0) return;
        SQInteger want = static_cast<SQInteger>(n);
        if (fn_(up_, p, want) != want) throw IoError();
    }
    uint8_t U8()
    {
        uint8_t x;
        Bytes(&x, 1);
        return x;
    }
    uint32_t U32()
    {
        uint8_t b[4];
        Bytes(b, 4);
        return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
               static_cast<uint32_t>(b[3]) << 24;
    }
    uint32_t Count()
    {
        uint32_t n = U32();
        if (n > kMaxCount) throw CorruptImage();
        return n;
    }
    Value String()
    {
        uint32_t len = U32();
        if (len == kNullString) return Value();
        if (len > 0x7FFFFFFFu) throw CorruptImage();
        // Read in pieces so a forged length cannot demand memory the stream does not back.
        buf_.clear();
        char chunk[4096];
        for (uint32_t left = len; left > 0;) {
            uint32_t n = left < sizeof(chunk) ? left : static_cast<uint32_t>(sizeof(chunk));
            Bytes(chunk, n);
            buf_.append(chunk, n);
            left -= n;
        }
        return MakeString(rt_, buf_.data(), static_cast<SQInteger>(buf_.size()));
    }
    Value Name()
    {
        Value s = String();
        if (!s.IsString()) throw CorruptImage();
        return s;
    }

    Value Constant()
    {
        switch (U8()) {
        case TagNull: return Value();
        case TagFalse: return Value::Bool(false);
        case TagTrue: return Value::Bool(true);
        case TagInt: return Value::Int(static_cast<SQInteger>(U32()));
        case TagFloat: {
            uint32_t bits = U32();
            float f;
            memcpy(&f, &bits, 4);
            return Value::Float(f);
        }
        case TagString: return Name();
        default: throw CorruptImage();
        }
    }

    // Reads one function; `parent` (null for the main function) bounds what its captures
    // and default values may name. Nested functions recurse, as deep as the stack allows.
    Value Function(const Proto *parent)
    {
        if (CStackLow()) throw CorruptImage();
        Proto *p = Proto::New(rt_);
        Value hold = Value::Ref(Kind::Proto, p);
        p->source = String();
        p->name = String();
        p->maxStack = U8();
        uint8_t flags = U8();
        if (flags & ~3u) throw CorruptImage();
        p->varargs = (flags & 1) != 0;
        p->generator = (flags & 2) != 0;
        for (uint32_t n = Count(); n > 0; n--) p->params.push_back(Name());
        for (uint32_t n = Count(); n > 0; n--) p->defaultRegs.push_back(U8());
        for (uint32_t n = Count(); n > 0; n--) p->consts.push_back(Constant());
        for (uint32_t n = Count(); n > 0; n--) {
            UpvalDesc u;
            u.name = Name();
            uint8_t inRegs = U8();
            if (inRegs > 1) throw CorruptImage();
            u.inParentRegs = inRegs != 0;
            u.index = U8();
            p->upvals.push_back(u);
        }
        for (uint32_t n = Count(); n > 0; n--) p->code.push_back(U32());
        for (uint32_t n = Count(); n > 0; n--) p->lines.push_back(static_cast<int32_t>(U32()));
        for (uint32_t n = Count(); n > 0; n--) {
            LocalInfo l;
            l.name = Name();
            l.startPc = U32();
            l.endPc = U32();
            l.reg = U8();
            p->locals.push_back(l);
        }
        for (uint32_t n = Count(); n > 0; n--) p->protos.push_back(Function(p));
        Verify(p, parent);
        return hold;
    }

private:
    static void Check(bool ok)
    {
        if (!ok) throw CorruptImage();
    }

    static void Verify(const Proto *p, const Proto *parent)
    {
        const uint32_t regs = p->maxStack;
        auto reg = [&](uint32_t r) { Check(r < regs); };
        auto regRange = [&](uint32_t first, uint32_t count) { Check(first + count <= regs); };
        auto regOrNone = [&](uint32_t r) { Check(r == kNoReg || r < regs); };
        auto konst = [&](uint32_t k) { Check(k < p->consts.size()); };
        auto name = [&](uint32_t k) { Check(k < p->consts.size() && p->consts[k].IsString()); };

        Check(!p->params.empty() && p->params.size() <= regs);
        Check(p->lines.empty() || p->lines.size() == p->code.size());
        for (const LocalInfo &l : p->locals) reg(l.reg);
        if (parent) {
            for (const UpvalDesc &u : p->upvals)
                Check(u.inParentRegs ? u.index < parent->maxStack : u.index < parent->upvals.size());
            for (uint8_t r : p->defaultRegs) Check(r < parent->maxStack);
        } else {
            // The outermost function's defaults came from a frame that is gone: the loaded
            // closure gets null defaults and never reads these registers.
            Check(p->upvals.empty());
        }

        const size_t n = p->code.size();
        Check(n > 0);
        auto target = [&](size_t from, int32_t offset) {
            int64_t t = static_cast<int64_t>(from) + offset;
            Check(t >= 0 && t < static_cast<int64_t>(n));
        };
        auto followedByJump = [&](size_t pc) { Check(pc + 1 < n && OpOf(p->code[pc + 1]) == OP_JMP); };

        for (size_t pc = 0; pc < n; pc++) {
            uint32_t i = p->code[pc];
            Check(OpOf(i) < OP_COUNT);
            uint32_t a = ArgA(i), b = ArgB(i), c = ArgC(i);
            switch (OpOf(i)) {
            case OP_LOADI:
            case OP_LOADBOOL:
            case OP_LOADROOT:
            case OP_NEWTABLE:
            case OP_NEWARRAY:
            case OP_THROW:
            case OP_GETBASE:
            case OP_CLOSE: reg(a); break;
            case OP_LOADK:
                reg(a);
                konst(ArgBx(i));
                break;
            case OP_LOADNULL: regRange(a, b); break;
            case OP_GETUPVAL:
            case OP_SETUPVAL:
                reg(a);
                Check(b < p->upvals.size());
                break;
            case OP_GETFIELD:
                reg(a);
                reg(b);
                name(c);
                break;
            case OP_SETFIELD:
                reg(a);
                name(b);
                reg(c);
                break;
            case OP_METHOD:
                regRange(a, 2);
                reg(b);
                konst(c);
                break;
            case OP_METHODR:
                regRange(a, 2);
                reg(b);
                reg(c);
                break;
            case OP_NEWMEMBER:
                reg(a);
                reg(b);
                reg(c);
                Check(pc + 1 < n && OpOf(p->code[pc + 1]) == OP_EXTRA);
                regOrNone(ArgB(p->code[pc + 1]));
                break;
            case OP_CALL:
            case OP_TAILCALL: regRange(a, b + 1); break;
            case OP_RETURN:
            case OP_YIELD:
                if (b) reg(a);
                break;
            case OP_ADDI:
            case OP_UNM:
            case OP_NOT:
            case OP_BNOT:
            case OP_LTIV:
            case OP_LEIV:
            case OP_GTIV:
            case OP_GEIV:
            case OP_TYPEOF:
            case OP_CLONE:
            case OP_RESUME:
            case OP_APPEND:
            case OP_MOVE:
                reg(a);
                reg(b);
                break;
            case OP_ADDK:
            case OP_SUBK:
            case OP_MULK:
            case OP_DIVK:
            case OP_MODK:
            case OP_EQKV:
            case OP_NEKV:
            case OP_BANDK:
            case OP_BORK:
            case OP_BXORK:
            case OP_SHLK:
            case OP_SHRK:
            case OP_USHRK:
            case OP_LTKV:
            case OP_LEKV:
            case OP_GTKV:
            case OP_GEKV:
                reg(a);
                reg(b);
                konst(c);
                break;
            case OP_LT:
            case OP_LE:
            case OP_GT:
            case OP_GE:
            case OP_EQ:
                reg(a);
                reg(b);
                followedByJump(pc);
                break;
            case OP_LTI:
            case OP_LEI:
            case OP_GTI:
            case OP_GEI:
            case OP_TEST:
                reg(a);
                followedByJump(pc);
                break;
            case OP_INCLT:
                reg(a);
                reg(b);
                followedByJump(pc);
                break;
            case OP_INCLTI:
                reg(a);
                followedByJump(pc);
                break;
            case OP_EQK:
            case OP_INCLTK:
            case OP_LTK:
            case OP_LEK:
            case OP_GTK:
            case OP_GEK:
                reg(a);
                konst(b);
                followedByJump(pc);
                break;
            case OP_JMP: target(pc + 1, ArgSJ(i)); break;
            case OP_CLOSURE:
                reg(a);
                Check(ArgBx(i) < p->protos.size());
                break;
            case OP_NEWCLASS:
                reg(a);
                regOrNone(b);
                regOrNone(c);
                break;
            case OP_FOREACH:
                Check(b <= 1);
                if (b) {
                    regRange(a, 3);
                    reg(c);
                } else {
                    regRange(a, 4);
                }
                followedByJump(pc);
                break;
            case OP_PUSHTRAP:
                reg(a);
                followedByJump(pc);
                target(pc + 2, ArgSJ(p->code[pc + 1]));
                break;
            case OP_POPTRAP:
            case OP_LINE:
            case OP_EXTRA: break;
            default: // the three-register forms
                reg(a);
                reg(b);
                reg(c);
                break;
            }
        }
        // Execution must not run off the end of the code.
        OpCode last = OpOf(p->code[n - 1]);
        Check(last == OP_RETURN || last == OP_JMP || last == OP_THROW);
    }

    Runtime *rt_;
    SQREADFUNC fn_;
    SQUserPointer up_;
    std::string buf_;
};

void WriteHeader(Writer &w)
{
    w.U8(SQ_BYTECODE_STREAM_TAG & 0xFF);
    w.U8(SQ_BYTECODE_STREAM_TAG >> 8);
    w.Bytes(kMagic, sizeof(kMagic));
    w.U32(kFormatVersion);
    w.U8(sizeof(SQChar));
    w.U8(sizeof(SQInteger));
    w.U8(sizeof(SQFloat));
}

} // namespace

SQRESULT sq_writeclosure(HSQUIRRELVM v, SQWRITEFUNC writef, SQUserPointer up)
{
    if (sq_gettop(v) < 1) return ThrowApiError(v, "not enough params in the stack");
    Value &o = StackAt(v, -1);
    if (o.kind() != Kind::Closure)
        return ThrowApiError(v, "wrong argument type, expected 'function' got '%s'", KindName(o.kind()));
    Closure *c = o.As<Closure>();
    // Default parameter values live in the closure, not its function: the image keeps
    // only where they go, so a loaded closure's defaults read as null.
    if (c->nups > 0) return ThrowApiError(v, "a closure with free valiables bound it cannot be serialized");
    Writer w(writef, up);
    try {
        WriteHeader(w);
        w.Function(c->proto);
        w.Bytes(kTrailer, sizeof(kTrailer));
    } catch (IoError &) {
        return ThrowApiError(v, "io error");
    } catch (CorruptImage &) {
        return ThrowApiError(v, "cannot serialize a %s", "closure");
    }
    return SQ_OK;
}

SQRESULT sq_readclosure(HSQUIRRELVM v, SQREADFUNC readf, SQUserPointer up)
{
    Reader r(v->rt, readf, up);
    Value proto;
    try {
        uint8_t head[2];
        r.Bytes(head, 2);
        if ((head[0] | head[1] << 8) != SQ_BYTECODE_STREAM_TAG) return ThrowApiError(v, "invalid stream");
        uint8_t magic[4];
        r.Bytes(magic, 4);
        if (memcmp(magic, kMagic, 4) != 0 || r.U32() != kFormatVersion) return ThrowApiError(v, "invalid stream");
        if (r.U8() != sizeof(SQChar) || r.U8() != sizeof(SQInteger) || r.U8() != sizeof(SQFloat))
            return ThrowApiError(v, "invalid stream");
        proto = r.Function(nullptr);
        uint8_t trailer[4];
        r.Bytes(trailer, 4);
        if (memcmp(trailer, kTrailer, 4) != 0) throw CorruptImage();
    } catch (IoError &) {
        return ThrowApiError(v, "io error");
    } catch (CorruptImage &) {
        return ThrowApiError(v, "invalid or corrupted closure stream");
    }
    WeakRef *root = v->rootTable.kind() == Kind::Table ? GetWeakRef(v->rootTable) : nullptr;
    v->PushChecked(Value::Ref(Kind::Closure, Closure::New(v->rt, proto.As<Proto>(), root)));
    return SQ_OK;
}
