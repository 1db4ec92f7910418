#include "compiler.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "../vm/cstack.h"
#include "../vm/fiber.h"
#include "../vm/strings.h"
#include "../vm/table.h"
#include "lexer.h"
#include "opcodes.h"

namespace nut {

namespace {

// Where an expression's value is, or how to get it, before code commits to a register.
enum class EK : uint8_t {
    Void,
    Null,
    True,
    False,
    Int,    // ival, not loaded yet
    Float,  // fval, not loaded yet
    K,      // constant a
    Local,  // local variable in register a
    Upval,  // captured variable a
    Field,  // R[a][K[b]], not fetched yet
    Index,  // R[a][R[b]], not fetched yet
    Base,   // `base`, loaded into register a
    Reg,    // value in register a
    Reloc,  // instruction at pc a computes it; its target register is still open
    Call,   // call instruction at pc a; the result lands in its A register
    PostInc, // local a, then add b to it (x++ / x--); the old value is the result
    Cond     // `&&` and `||` in a condition, as jumps: falls through when true, takes the
             // jumps of list a (FuncState::jumpLists) when false; list b, or -1, holds
             // those taken when true until they are patched
};

struct Exp {
    EK k = EK::Void;
    int32_t a = 0;
    int32_t b = 0;
    SQInteger ival = 0;
    SQFloat fval = 0;
    bool fromBase = false; // a slot of `base`: calls pass the caller's this
};

Exp MakeExp(EK k, int32_t a = 0, int32_t b = 0)
{
    Exp e;
    e.k = k;
    e.a = a;
    e.b = b;
    return e;
}

struct LocalVar {
    Value name;
    uint8_t reg;
    bool captured = false;
    bool debug = true; // listed by stack inspection
    uint32_t startPc;
};

struct Loop {
    std::vector<int> breaks;
    std::vector<int> continues;
    uint32_t regBase; // registers at and above belong to the body
    int traps;
    bool isSwitch;
};

struct FuncState {
    FuncState *parent = nullptr;
    Proto *p = nullptr;
    Value hold;     // keeps p alive
    Value kindex;   // table: constant -> index
    std::vector<LocalVar> actives;
    uint32_t freeReg = 0;
    std::vector<Loop> loops;
    int traps = 0;
    bool isMain = false;
    int32_t line = 1;
    int32_t lineEventLine = 0;
    // The pending jumps of Cond expressions (their JMP words' pcs), by the ids the
    // expressions hold: kept here so that an expression stays small on the C stack.
    std::vector<std::vector<int32_t>> jumpLists;
    std::vector<int> freeJumpLists; // ids of lists done with, to use again
};

// Binary operator precedences: higher binds tighter.
enum BinOp {
    OPR_NONE,
    OPR_OR,
    OPR_AND,
    OPR_BOR,
    OPR_BXOR,
    OPR_BAND,
    OPR_EQ,
    OPR_NE,
    OPR_CMP3,
    OPR_LT,
    OPR_LE,
    OPR_GT,
    OPR_GE,
    OPR_IN,
    OPR_INSTANCEOF,
    OPR_SHL,
    OPR_SHR,
    OPR_USHR,
    OPR_ADD,
    OPR_SUB,
    OPR_MUL,
    OPR_DIV,
    OPR_MOD
};

int Priority(BinOp op)
{
    switch (op) {
    case OPR_OR: return 1;
    case OPR_AND: return 2;
    case OPR_BOR: return 3;
    case OPR_BXOR: return 4;
    case OPR_BAND: return 5;
    case OPR_EQ:
    case OPR_NE:
    case OPR_CMP3: return 6;
    case OPR_LT:
    case OPR_LE:
    case OPR_GT:
    case OPR_GE:
    case OPR_IN:
    case OPR_INSTANCEOF: return 7;
    case OPR_SHL:
    case OPR_SHR:
    case OPR_USHR: return 8;
    case OPR_ADD:
    case OPR_SUB: return 9;
    case OPR_MUL:
    case OPR_DIV:
    case OPR_MOD: return 10;
    default: return 0;
    }
}
constexpr int kUnaryPriority = 11;

BinOp TokenToBinOp(int t)
{
    switch (t) {
    case TOK_OR: return OPR_OR;
    case TOK_AND: return OPR_AND;
    case '|': return OPR_BOR;
    case '^': return OPR_BXOR;
    case '&': return OPR_BAND;
    case TOK_EQ: return OPR_EQ;
    case TOK_NE: return OPR_NE;
    case TOK_CMP3: return OPR_CMP3;
    case '<': return OPR_LT;
    case TOK_LE: return OPR_LE;
    case '>': return OPR_GT;
    case TOK_GE: return OPR_GE;
    case TOK_IN: return OPR_IN;
    case TOK_INSTANCEOF: return OPR_INSTANCEOF;
    case TOK_SHL: return OPR_SHL;
    case TOK_SHR: return OPR_SHR;
    case TOK_USHR: return OPR_USHR;
    case '+': return OPR_ADD;
    case '-': return OPR_SUB;
    case '*': return OPR_MUL;
    case '/': return OPR_DIV;
    case '%': return OPR_MOD;
    default: return OPR_NONE;
    }
}

class Parser
{
public:
    Parser(Fiber *f, SQLEXREADFUNC read, SQUserPointer src, const char *sourceName)
        : rt_(f->rt), lex_(read, src)
    {
        source_ = rt_->String(sourceName);
    }

    Value CompileMain();
    const Lexer &lexer() const { return lex_; }

private:
    // Tokens
    void Next()
    {
        prevTok_ = lex_.token();
        prevTokLine_ = static_cast<int32_t>(lex_.tokenLine());
        lex_.Next();
    }
    int tok() const { return lex_.token(); }
    [[noreturn]] void Error(const char *fmt, ...);
    Value ExpectName();
    void Expect(int t);
    bool EndOfStatement() const
    {
        return lex_.AfterNewline() || tok() == TOK_EOF || tok() == '}' || tok() == ';';
    }
    void OptionalSemicolon()
    {
        if (tok() == ';') {
            Next();
            return;
        }
        if (!EndOfStatement()) Error("end of statement expected (; or lf)");
    }

    // Code emission
    int Pc() const { return static_cast<int>(fs_->p->code.size()); }
    int Emit(uint32_t ins)
    {
        fs_->p->code.push_back(ins);
        fs_->p->lines.push_back(fs_->line);
        return Pc() - 1;
    }
    int EmitABC(OpCode op, int a, int b, int c) { return Emit(MakeABC(op, static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c))); }
    int EmitJump() { return Emit(MakeSJ(OP_JMP, 0)); }
    void PatchJump(int at, int target)
    {
        if (at < 0) return;
        int offset = target - (at + 1);
        if (offset > kMaxSJ || offset < -kMaxSJ) Error("internal compiler error: jump too long");
        fs_->p->code[static_cast<size_t>(at)] = SetArgSJ(fs_->p->code[static_cast<size_t>(at)], offset);
    }
    void PatchHere(int at) { PatchJump(at, Pc()); }
    void PatchList(const std::vector<int32_t> &jumps, int target)
    {
        for (int32_t at : jumps) PatchJump(at, target);
    }
    void PatchListHere(const std::vector<int32_t> &jumps) { PatchList(jumps, Pc()); }
    int NewJumpList()
    {
        if (!fs_->freeJumpLists.empty()) {
            const int id = fs_->freeJumpLists.back();
            fs_->freeJumpLists.pop_back();
            return id;
        }
        fs_->jumpLists.emplace_back();
        return static_cast<int>(fs_->jumpLists.size() - 1);
    }
    // Patches the list's jumps to `target` and gives the list back.
    void PatchJumpList(int id, int target)
    {
        std::vector<int32_t> &jumps = JumpList(id);
        PatchList(jumps, target);
        jumps.clear();
        fs_->freeJumpLists.push_back(id);
    }
    // Takes the list's jumps out and gives the list back.
    std::vector<int32_t> TakeJumpList(int id)
    {
        std::vector<int32_t> jumps;
        jumps.swap(JumpList(id));
        fs_->freeJumpLists.push_back(id);
        return jumps;
    }
    std::vector<int32_t> &JumpList(int id) { return fs_->jumpLists[static_cast<size_t>(id)]; }
    // The one jump of a list, or -1 when it holds none or several.
    static int SingleJump(const std::vector<int32_t> &jumps) { return jumps.size() == 1 ? jumps[0] : -1; }
    void EmitJumpBack(int target) { PatchJump(EmitJump(), target); }

    // Constants
    int AddConstant(const Value &v);
    int StringConstant(const Value &s) { return AddConstant(s); }

    // Registers
    uint32_t ActiveRegs() const { return fs_->actives.empty() ? 0 : fs_->actives.back().reg + 1u; }
    int AllocReg()
    {
        if (fs_->freeReg >= static_cast<uint32_t>(kMaxRegisters)) Error("internal compiler error: too many locals");
        int r = static_cast<int>(fs_->freeReg++);
        if (fs_->freeReg > fs_->p->maxStack) fs_->p->maxStack = static_cast<uint8_t>(fs_->freeReg);
        return r;
    }
    void FreeReg(int r)
    {
        if (r >= static_cast<int>(ActiveRegs()) && r == static_cast<int>(fs_->freeReg) - 1) fs_->freeReg--;
    }
    void FreeExp(const Exp &e);
    void FreeExps(const Exp &e1, const Exp &e2);
    void Discharge(Exp &e);
    void ToReg(Exp &e, int reg);
    int ToNextReg(Exp &e);
    int ToAnyReg(Exp &e);
    void Discard(Exp &e);
    bool ConstOperand(const Exp &e, int &k);
    int CondJump(Exp &e, bool jumpIfTrue);
    // CondJump for any expression, a Cond included: the jumps taken when its truth is
    // `jumpIfTrue`, for PatchList.
    std::vector<int32_t> CondJumps(Exp &e, bool jumpIfTrue);

    // Scopes
    void DeclareLocal(const Value &name, int reg, bool debug = true);
    size_t EnterScope() const { return fs_->actives.size(); }
    void LeaveScope(size_t mark, bool close = true);
    void CloseFunction();
    Exp SingleVar(const Value &name);
    int FindLocal(FuncState *fs, const Value &name);
    int FindUpval(FuncState *fs, const Value &name);

    // Expressions
    // `cond`: the value only decides a branch, so `&&` and `||` at its top compile to jumps.
    Exp CommaExpr(bool cond = false);
    Exp Expression(bool cond = false);
    Exp SubExpr(int limit, bool cond = false);
    Exp SimpleExp();
    Exp PrimaryExp();
    void Suffixes(Exp &e, bool allowCalls);
    void Infix(BinOp op, Exp &e);
    void Posfix(BinOp op, Exp &e1, Exp &e2);
    // Out of line: SubExpr recurses, and its frame stays as small as before.
    [[gnu::noinline]] void InfixCond(BinOp op, Exp &e);
    [[gnu::noinline]] void PosfixCond(BinOp op, Exp &e1, Exp &e2);
    int EmitArith(char op, int lhsReg, Exp &rhs);
    Exp Assign(Exp &lhs, int op, Exp &rhs, int start);
    int LowestTemp(const Exp &target) const;
    int AssignStart(const Exp &target) const;
    Exp AssignValue(int start, Exp value);
    Exp IncDec(Exp &e, int delta, bool postfix);
    void CallArgs(Exp &fn);
    Exp FieldOf(int objReg, const Value &name);
    Exp TableLiteral(int terminator);
    Exp ArrayLiteral();
    Exp ClassExpr();
    Exp FunctionExpr(bool lambda);
    void CreateFunction(const Value &name, bool lambda, int &outReg);
    Value ExpectScalar();

    // Statements
    void Statements();
    void EmitFinalLine();
    void Statement(bool closeFrame = true);
    void Block(bool close);
    void IfBlock();
    void IfStatement();
    void WhileStatement();
    void DoWhileStatement();
    void ForStatement();
    void ForeachStatement();
    void SwitchStatement();
    void LocalStatement();
    void ReturnStatement(bool yield);
    void EmitReturn(Exp &e);
    void BreakContinue(bool isBreak);
    void FunctionStatement();
    void ClassStatement();
    void EnumStatement();
    void ConstStatement();
    void TryStatement();
    Loop &PushLoop(bool isSwitch);
    void PopLoop(int continueTarget);
    bool EmitBottomTest(int condStart, int jf);
    bool EmitCountingLoopEnd(int condStart, int jf, const std::vector<uint32_t> &stepCode);

    // Nesting guard: the parser recurses per nested expression and statement, and hostile
    // input must end in an error before the C stack does. The bound is the stack left, so
    // a deep script compiles wherever the stack allows it.
    struct Nesting {
        explicit Nesting(Parser *parser)
        {
            if (CStackLow()) parser->Error("expression or statement nested too deeply");
        }
    };

    Runtime *rt_;
    Lexer lex_;
    Value source_;
    FuncState *fs_ = nullptr;
    int prevTok_ = TOK_EOF;
    int32_t prevTokLine_ = 1;
};

void Parser::Error(const char *fmt, ...)
{
    char buf[512];
    va_list vl;
    va_start(vl, fmt);
    vsnprintf(buf, sizeof(buf), fmt, vl);
    va_end(vl);
    throw CompileError{buf};
}

void Parser::Expect(int t)
{
    if (tok() == t) {
        Next();
        return;
    }
    if (t < 256) Error("expected '%c'", t);
    const char *name;
    switch (t) {
    case TOK_IDENT: name = "IDENTIFIER"; break;
    case TOK_STRING: name = "STRING_LITERAL"; break;
    case TOK_INT: name = "INTEGER"; break;
    case TOK_FLOAT: name = "FLOAT"; break;
    default: name = Lexer::KeywordText(t); break;
    }
    Error("expected '%s'", name ? name : "?");
}

Value Parser::ExpectName()
{
    if (tok() != TOK_IDENT && tok() != TOK_CONSTRUCTOR) Expect(TOK_IDENT);
    Value name = rt_->String(lex_.text().data(), static_cast<SQInteger>(lex_.text().size()));
    Next();
    return name;
}

int Parser::AddConstant(const Value &v)
{
    Table *t = fs_->kindex.As<Table>();
    Value idx;
    if (t->Get(v, idx)) return idx.AsInt();
    int n = static_cast<int>(fs_->p->consts.size());
    if (n > kMaxBx) Error("internal compiler error: too many literals");
    fs_->p->consts.push_back(v);
    t->NewSlot(v, Value::Int(n));
    return n;
}

// Registers

void Parser::FreeExp(const Exp &e)
{
    switch (e.k) {
    case EK::Reg: FreeReg(e.a); break;
    case EK::Field: FreeReg(e.a); break;
    case EK::Index:
        if (e.a > e.b) {
            FreeReg(e.a);
            FreeReg(e.b);
        } else {
            FreeReg(e.b);
            FreeReg(e.a);
        }
        break;
    default: break;
    }
}

void Parser::FreeExps(const Exp &e1, const Exp &e2)
{
    int r1 = (e1.k == EK::Reg) ? e1.a : -1;
    int r2 = (e2.k == EK::Reg) ? e2.a : -1;
    if (r1 > r2) {
        FreeExp(e1);
        FreeExp(e2);
    } else {
        FreeExp(e2);
        FreeExp(e1);
    }
}

void Parser::Discharge(Exp &e)
{
    switch (e.k) {
    case EK::Cond: Error("internal compiler error: a condition's jumps used as a value");
    case EK::Upval: e = MakeExp(EK::Reloc, EmitABC(OP_GETUPVAL, 0, e.a, 0)); break;
    case EK::Field:
        FreeReg(e.a);
        e = MakeExp(EK::Reloc, EmitABC(OP_GETFIELD, 0, e.a, e.b));
        break;
    case EK::Index:
        if (e.a > e.b) {
            FreeReg(e.a);
            FreeReg(e.b);
        } else {
            FreeReg(e.b);
            FreeReg(e.a);
        }
        e = MakeExp(EK::Reloc, EmitABC(OP_GETINDEX, 0, e.a, e.b));
        break;
    case EK::Call: e = MakeExp(EK::Reg, static_cast<int32_t>(ArgA(fs_->p->code[static_cast<size_t>(e.a)]))); break;
    case EK::Base: e = MakeExp(EK::Reg, e.a); break;
    case EK::PostInc: {
        int t = AllocReg();
        EmitABC(OP_MOVE, t, e.a, 0);
        EmitABC(OP_ADDI, e.a, e.a, e.b & 0xFF);
        e = MakeExp(EK::Reg, t);
        break;
    }
    default: break;
    }
}

void Parser::ToReg(Exp &e, int reg)
{
    Discharge(e);
    switch (e.k) {
    case EK::Null: EmitABC(OP_LOADNULL, reg, 1, 0); break;
    case EK::True:
    case EK::False: EmitABC(OP_LOADBOOL, reg, e.k == EK::True ? 1 : 0, 0); break;
    case EK::Int:
        if (e.ival >= -kSBxBias && e.ival <= kSBxBias)
            Emit(MakeAsBx(OP_LOADI, static_cast<uint32_t>(reg), e.ival));
        else
            Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(reg), static_cast<uint32_t>(AddConstant(Value::Int(e.ival)))));
        break;
    case EK::Float:
        Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(reg), static_cast<uint32_t>(AddConstant(Value::Float(e.fval)))));
        break;
    case EK::K: Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(reg), static_cast<uint32_t>(e.a))); break;
    case EK::Reloc:
        fs_->p->code[static_cast<size_t>(e.a)] = SetArgA(fs_->p->code[static_cast<size_t>(e.a)], static_cast<uint32_t>(reg));
        break;
    case EK::Reg:
    case EK::Local:
        if (e.a != reg) EmitABC(OP_MOVE, reg, e.a, 0);
        break;
    default: Error("expression expected");
    }
    e = MakeExp(EK::Reg, reg);
}

int Parser::ToNextReg(Exp &e)
{
    Discharge(e);
    FreeExp(e);
    int r = AllocReg();
    ToReg(e, r);
    return r;
}

int Parser::ToAnyReg(Exp &e)
{
    Discharge(e);
    if (e.k == EK::Reg || e.k == EK::Local) return e.a;
    return ToNextReg(e);
}

void Parser::Discard(Exp &e)
{
    switch (e.k) {
    case EK::Cond:
        if (e.b >= 0) PatchJumpList(e.b, Pc());
        PatchJumpList(e.a, Pc());
        break;
    case EK::Call: {
        uint32_t &ins = fs_->p->code[static_cast<size_t>(e.a)];
        ins = MakeABC(OpOf(ins), ArgA(ins), ArgB(ins), 0);
        break;
    }
    case EK::PostInc: EmitABC(OP_ADDI, e.a, e.a, e.b & 0xFF); break;
    case EK::Reloc:
        // An unused assignment value waits in a move of its own: drop it.
        if (e.a == Pc() - 1 && OpOf(fs_->p->code[static_cast<size_t>(e.a)]) == OP_MOVE) {
            fs_->p->code.pop_back();
            fs_->p->lines.pop_back();
            break;
        }
        ToAnyReg(e);
        FreeExp(e);
        break;
    case EK::Void:
    case EK::Null:
    case EK::True:
    case EK::False:
    case EK::Int:
    case EK::Float:
    case EK::K:
    case EK::Local: break;
    default: {
        ToAnyReg(e);
        FreeExp(e);
        break;
    }
    }
    e = Exp();
}

// A constant usable as a K operand (index fits in 8 bits).
bool Parser::ConstOperand(const Exp &e, int &k)
{
    switch (e.k) {
    case EK::Int: k = AddConstant(Value::Int(e.ival)); break;
    case EK::Float: k = AddConstant(Value::Float(e.fval)); break;
    case EK::K: k = e.a; break;
    default: return false;
    }
    return k <= 255;
}

int Parser::CondJump(Exp &e, bool jumpIfTrue)
{
    switch (e.k) {
    case EK::Null:
    case EK::False: return jumpIfTrue ? -1 : EmitJump();
    case EK::True:
    case EK::K: return jumpIfTrue ? EmitJump() : -1;
    case EK::Int: return ((e.ival != 0) == jumpIfTrue) ? EmitJump() : -1;
    case EK::Float: return ((e.fval != 0.0f) == jumpIfTrue) ? EmitJump() : -1;
    default: break;
    }
    Discharge(e);
    if (e.k == EK::Reloc && e.a == Pc() - 1) {
        uint32_t &ins = fs_->p->code[static_cast<size_t>(e.a)];
        uint32_t b = ArgB(ins), c = ArgC(ins);
        uint32_t k = jumpIfTrue ? 1 : 0;
        OpCode op = OpOf(ins);
        OpCode jop = OP_COUNT;
        switch (op) {
        case OP_LTV: jop = OP_LT; break;
        case OP_LEV: jop = OP_LE; break;
        case OP_GTV: jop = OP_GT; break;
        case OP_GEV: jop = OP_GE; break;
        case OP_LTIV: jop = OP_LTI; break;
        case OP_LEIV: jop = OP_LEI; break;
        case OP_GTIV: jop = OP_GTI; break;
        case OP_GEIV: jop = OP_GEI; break;
        case OP_LTKV: jop = OP_LTK; break;
        case OP_LEKV: jop = OP_LEK; break;
        case OP_GTKV: jop = OP_GTK; break;
        case OP_GEKV: jop = OP_GEK; break;
        case OP_EQV: jop = OP_EQ; break;
        case OP_NEV:
            jop = OP_EQ;
            k ^= 1;
            break;
        case OP_EQKV: jop = OP_EQK; break;
        case OP_NEKV:
            jop = OP_EQK;
            k ^= 1;
            break;
        case OP_NOT:
            ins = MakeABC(OP_TEST, b, k ^ 1, 0);
            return EmitJump();
        default: break;
        }
        if (jop != OP_COUNT) {
            ins = MakeABC(jop, b, c, k);
            return EmitJump();
        }
    }
    int r = ToAnyReg(e);
    EmitABC(OP_TEST, r, jumpIfTrue ? 1 : 0, 0);
    FreeExp(e);
    return EmitJump();
}

std::vector<int32_t> Parser::CondJumps(Exp &e, bool jumpIfTrue)
{
    std::vector<int32_t> jumps;
    if (e.k == EK::Cond) {
        if (jumpIfTrue) {
            jumps.push_back(EmitJump());
            PatchJumpList(e.a, Pc());
        } else {
            jumps = TakeJumpList(e.a);
        }
        e = Exp();
        return jumps;
    }
    int j = CondJump(e, jumpIfTrue);
    if (j >= 0) jumps.push_back(j);
    return jumps;
}

// `a && b` and `a || b` in a condition: a is tested where it stands, and the whole falls
// through when true. `||` keeps a's jumps taken when true until b is compiled.
void Parser::InfixCond(BinOp op, Exp &e)
{
    std::vector<int32_t> jumps = CondJumps(e, op == OPR_OR);
    const int id = NewJumpList();
    e = MakeExp(EK::Cond, id, -1);
    if (op == OPR_AND) {
        JumpList(id) = std::move(jumps);
    } else {
        e.b = NewJumpList();
        JumpList(e.b) = std::move(jumps);
    }
}

void Parser::PosfixCond(BinOp op, Exp &e1, Exp &e2)
{
    std::vector<int32_t> f = CondJumps(e2, false);
    std::vector<int32_t> &fj = JumpList(e1.a);
    fj.insert(fj.end(), f.begin(), f.end());
    if (op == OPR_OR) {
        PatchJumpList(e1.b, Pc()); // a was true: so is the whole
        e1.b = -1;
    }
}

// Scopes and variables

void Parser::DeclareLocal(const Value &name, int reg, bool debug)
{
    LocalVar v;
    v.name = name;
    v.reg = static_cast<uint8_t>(reg);
    v.debug = debug;
    v.startPc = static_cast<uint32_t>(Pc());
    fs_->actives.push_back(v);
    if (fs_->freeReg < static_cast<uint32_t>(reg) + 1) fs_->freeReg = static_cast<uint32_t>(reg) + 1;
    if (fs_->freeReg > fs_->p->maxStack) fs_->p->maxStack = static_cast<uint8_t>(fs_->freeReg);
}

void Parser::LeaveScope(size_t mark, bool close)
{
    bool anyCaptured = false;
    int lowest = -1;
    while (fs_->actives.size() > mark) {
        LocalVar &v = fs_->actives.back();
        if (v.captured) anyCaptured = true;
        lowest = v.reg;
        if (v.debug) {
            LocalInfo info;
            info.name = v.name;
            info.startPc = v.startPc;
            info.endPc = static_cast<uint32_t>(Pc());
            info.reg = v.reg;
            fs_->p->locals.push_back(info);
        }
        fs_->actives.pop_back();
    }
    if (anyCaptured && close) EmitABC(OP_CLOSE, lowest, 0, 0);
    fs_->freeReg = ActiveRegs();
}

int Parser::FindLocal(FuncState *fs, const Value &name)
{
    for (size_t i = fs->actives.size(); i-- > 0;)
        if (fs->actives[i].name.SameAs(name)) return static_cast<int>(i);
    return -1;
}

int Parser::FindUpval(FuncState *fs, const Value &name)
{
    std::vector<UpvalDesc> &ups = fs->p->upvals;
    for (size_t i = 0; i < ups.size(); i++)
        if (ups[i].name.SameAs(name)) return static_cast<int>(i);
    if (!fs->parent) return -1;
    UpvalDesc d;
    d.name = name;
    int l = FindLocal(fs->parent, name);
    if (l >= 0) {
        fs->parent->actives[static_cast<size_t>(l)].captured = true;
        d.inParentRegs = true;
        d.index = fs->parent->actives[static_cast<size_t>(l)].reg;
    } else {
        int u = FindUpval(fs->parent, name);
        if (u < 0) return -1;
        d.inParentRegs = false;
        d.index = static_cast<uint8_t>(u);
    }
    if (ups.size() >= 255) Error("internal compiler error: too many free variables");
    ups.push_back(d);
    return static_cast<int>(ups.size() - 1);
}

Exp Parser::FieldOf(int objReg, const Value &name)
{
    int k = StringConstant(name);
    if (k <= 255) return MakeExp(EK::Field, objReg, k);
    int kr = AllocReg();
    Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(kr), static_cast<uint32_t>(k)));
    return MakeExp(EK::Index, objReg, kr);
}

Exp Parser::SingleVar(const Value &name)
{
    int l = FindLocal(fs_, name);
    if (l >= 0) return MakeExp(EK::Local, fs_->actives[static_cast<size_t>(l)].reg);
    int u = FindUpval(fs_, name);
    if (u >= 0) return MakeExp(EK::Upval, u);
    Value c;
    if (rt_->consts.kind() == Kind::Table && rt_->consts.As<Table>()->Get(name, c)) {
        if (c.kind() == Kind::Table) {
            Expect('.');
            Value entry = ExpectName();
            if (!c.As<Table>()->Get(entry, c))
                Error("invalid constant [%s.%s]", name.As<Str>()->chars, entry.As<Str>()->chars);
        }
        Exp e;
        switch (c.kind()) {
        case Kind::Int:
            e.k = EK::Int;
            e.ival = c.AsInt();
            break;
        case Kind::Float:
            e.k = EK::Float;
            e.fval = c.AsFloat();
            break;
        case Kind::Bool: e.k = c.AsBool() ? EK::True : EK::False; break;
        case Kind::Null: e.k = EK::Null; break;
        default: e = MakeExp(EK::K, AddConstant(c)); break;
        }
        return e;
    }
    return FieldOf(0, name); // a slot of `this`, falling back to the root table
}

// Expressions

Exp Parser::CommaExpr(bool cond)
{
    Exp e = Expression(cond);
    while (tok() == ',') {
        Next();
        Discard(e);
        e = Expression(cond);
    }
    return e;
}

Exp Parser::Expression(bool cond)
{
    Exp e = SubExpr(0, cond);
    switch (tok()) {
    case '?': {
        Nesting guard(this); // `a ? b ? ...` recurses here
        Next();
        // A Cond's jumps taken when false stay in their list: this frame, which every
        // nested expression pays for, keeps no list of its own.
        int jf = -1, falseList = -1;
        if (e.k == EK::Cond)
            falseList = e.a;
        else
            jf = CondJump(e, false);
        Exp x = Expression();
        int r = ToNextReg(x);
        int jend = EmitJump();
        if (falseList >= 0)
            PatchJumpList(falseList, Pc());
        else
            PatchHere(jf);
        Expect(':');
        Exp y = Expression();
        Discharge(y);
        FreeExp(y);
        ToReg(y, r);
        PatchHere(jend);
        fs_->freeReg = static_cast<uint32_t>(r) + 1;
        return MakeExp(EK::Reg, r);
    }
    case '=':
    case TOK_NEWSLOT:
    case TOK_PLUSEQ:
    case TOK_MINUSEQ:
    case TOK_MULEQ:
    case TOK_DIVEQ:
    case TOK_MODEQ: {
        int op = tok();
        if (e.k == EK::Base) Error("'base' cannot be modified");
        if ((e.k != EK::Local && e.k != EK::Upval && e.k != EK::Field && e.k != EK::Index) || e.fromBase)
            Error("can't assign expression");
        Nesting guard(this); // so does `x = y = ...`
        Next();
        const int start = AssignStart(e);
        Exp rhs = Expression();
        return Assign(e, op, rhs, start);
    }
    default: return e;
    }
}

// The lowest scratch register an assignment target holds (its object or key), or -1 when
// it holds none.
int Parser::LowestTemp(const Exp &target) const
{
    int low = -1;
    auto consider = [&](int r) {
        if (r >= static_cast<int>(ActiveRegs()) && r < static_cast<int>(fs_->freeReg) && (low < 0 || r < low)) low = r;
    };
    if (target.k == EK::Field || target.k == EK::Index) consider(target.a);
    if (target.k == EK::Index) consider(target.b);
    return low;
}

// Where an assignment to `target` leaves its value: the lowest scratch register the target
// holds, else the first free one, which is where an enclosing call argument, operand or
// literal item expects the value of the expression that began there.
int Parser::AssignStart(const Exp &target) const
{
    const int low = LowestTemp(target);
    return low >= 0 ? low : static_cast<int>(fs_->freeReg);
}

// An assignment's value, in register `value` (a Reg, or the Local the right side was),
// brought to `start` with every register above it released. Anywhere else it is copied:
// also out of a local, so that a later change of that local in the same expression leaves
// the value alone. A copy nobody uses is dropped (Discard).
Exp Parser::AssignValue(int start, Exp value)
{
    fs_->freeReg = static_cast<uint32_t>(start);
    if (value.k == EK::Reg && value.a == start) {
        AllocReg();
        return value;
    }
    if (value.k != EK::Reg && value.k != EK::Local) Error("internal compiler error: an assignment's value not in a register");
    return MakeExp(EK::Reloc, EmitABC(OP_MOVE, 0, value.a, 0));
}

Exp Parser::Assign(Exp &lhs, int op, Exp &rhs, int start)
{
    if (op == TOK_NEWSLOT) {
        if (lhs.k != EK::Field && lhs.k != EK::Index) Error("can't 'create' a local slot");
        int key;
        if (lhs.k == EK::Field) {
            key = AllocReg();
            Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(key), static_cast<uint32_t>(lhs.b)));
        } else {
            key = lhs.b;
        }
        int v = ToAnyReg(rhs);
        EmitABC(OP_NEWSLOT, lhs.a, key, v);
        return AssignValue(start, rhs);
    }
    if (op == '=') {
        switch (lhs.k) {
        case EK::Local:
            Discharge(rhs);
            FreeExp(rhs);
            ToReg(rhs, lhs.a);
            return MakeExp(EK::Local, lhs.a);
        case EK::Upval: {
            int r = ToAnyReg(rhs);
            EmitABC(OP_SETUPVAL, r, lhs.a, 0);
            return AssignValue(start, rhs);
        }
        case EK::Field: {
            int r = ToAnyReg(rhs);
            EmitABC(OP_SETFIELD, lhs.a, lhs.b, r);
            return AssignValue(start, rhs);
        }
        default: {
            int r = ToAnyReg(rhs);
            EmitABC(OP_SETINDEX, lhs.a, lhs.b, r);
            return AssignValue(start, rhs);
        }
        }
    }
    char opc = op == TOK_PLUSEQ ? '+' : op == TOK_MINUSEQ ? '-' : op == TOK_MULEQ ? '*' : op == TOK_DIVEQ ? '/' : '%';
    if (lhs.k == EK::Local) {
        int pc = EmitArith(opc, lhs.a, rhs);
        fs_->p->code[static_cast<size_t>(pc)] = SetArgA(fs_->p->code[static_cast<size_t>(pc)], static_cast<uint32_t>(lhs.a));
        return MakeExp(EK::Local, lhs.a);
    }
    // The right side goes first, whole: what it left to do (a field or index read, a
    // local's `++`) comes before the target's slot and key are read. Constants wait for
    // the arithmetic, which takes them as operands.
    int k;
    if (!(opc == '+' && rhs.k == EK::Int && rhs.ival >= -128 && rhs.ival <= 127) && !ConstOperand(rhs, k)) ToAnyReg(rhs);
    int t = AllocReg();
    if (lhs.k == EK::Upval)
        EmitABC(OP_GETUPVAL, t, lhs.a, 0);
    else
        EmitABC(lhs.k == EK::Field ? OP_GETFIELD : OP_GETINDEX, t, lhs.a, lhs.b);
    int pc = EmitArith(opc, t, rhs);
    fs_->p->code[static_cast<size_t>(pc)] = SetArgA(fs_->p->code[static_cast<size_t>(pc)], static_cast<uint32_t>(t));
    if (lhs.k == EK::Upval)
        EmitABC(OP_SETUPVAL, t, lhs.a, 0);
    else
        EmitABC(lhs.k == EK::Field ? OP_SETFIELD : OP_SETINDEX, lhs.a, lhs.b, t);
    return AssignValue(start, MakeExp(EK::Reg, t));
}

// Emits `R[?] = R[lhsReg] op rhs` choosing immediate and constant forms; returns its pc.
int Parser::EmitArith(char op, int lhsReg, Exp &rhs)
{
    // Only `+` has an immediate form: `-` must keep its own error for non-numbers.
    if (op == '+' && rhs.k == EK::Int && rhs.ival >= -128 && rhs.ival <= 127)
        return EmitABC(OP_ADDI, 0, lhsReg, static_cast<int>(rhs.ival) & 0xFF);
    int k;
    if (ConstOperand(rhs, k)) {
        OpCode kop = op == '+' ? OP_ADDK : op == '-' ? OP_SUBK : op == '*' ? OP_MULK : op == '/' ? OP_DIVK : OP_MODK;
        return EmitABC(kop, 0, lhsReg, k);
    }
    int r = ToAnyReg(rhs);
    OpCode rop = op == '+' ? OP_ADD : op == '-' ? OP_SUB : op == '*' ? OP_MUL : op == '/' ? OP_DIV : OP_MOD;
    int pc = EmitABC(rop, 0, lhsReg, r);
    FreeExp(rhs);
    return pc;
}

Exp Parser::IncDec(Exp &e, int delta, bool postfix)
{
    switch (e.k) {
    case EK::Local:
        if (postfix) return MakeExp(EK::PostInc, e.a, delta);
        EmitABC(OP_ADDI, e.a, e.a, delta & 0xFF);
        return e;
    case EK::Upval:
    case EK::Field:
    case EK::Index: {
        if (e.fromBase) Error("can't '++' or '--' an expression");
        const int start = AssignStart(e);
        int t = AllocReg();
        int cur = postfix ? AllocReg() : t;
        if (e.k == EK::Upval)
            EmitABC(OP_GETUPVAL, cur, e.a, 0);
        else
            EmitABC(e.k == EK::Field ? OP_GETFIELD : OP_GETINDEX, cur, e.a, e.b);
        if (postfix) EmitABC(OP_MOVE, t, cur, 0);
        EmitABC(OP_ADDI, cur, cur, delta & 0xFF);
        if (e.k == EK::Upval)
            EmitABC(OP_SETUPVAL, cur, e.a, 0);
        else
            EmitABC(e.k == EK::Field ? OP_SETFIELD : OP_SETINDEX, e.a, e.b, cur);
        if (postfix) FreeReg(cur);
        return AssignValue(start, MakeExp(EK::Reg, t));
    }
    default: Error("can't '++' or '--' an expression");
    }
}

Exp Parser::SubExpr(int limit, bool cond)
{
    Nesting guard(this);
    Exp e;
    switch (tok()) {
    case '-':
        Next();
        if (tok() == TOK_INT) {
            e.k = EK::Int;
            e.ival = static_cast<SQInteger>(0u - static_cast<uint32_t>(lex_.intValue()));
            Next();
        } else if (tok() == TOK_FLOAT) {
            e.k = EK::Float;
            e.fval = -lex_.floatValue();
            Next();
        } else {
            e = SubExpr(kUnaryPriority);
            int r = ToAnyReg(e);
            FreeExp(e);
            e = MakeExp(EK::Reloc, EmitABC(OP_UNM, 0, r, 0));
        }
        break;
    case '~':
    case '!':
    case TOK_TYPEOF:
    case TOK_CLONE:
    case TOK_RESUME: {
        int t = tok();
        Next();
        if (t == '~' && tok() == TOK_INT) {
            e.k = EK::Int;
            e.ival = ~lex_.intValue();
            Next();
            break;
        }
        e = SubExpr(kUnaryPriority);
        int r = ToAnyReg(e);
        FreeExp(e);
        OpCode op = t == '~' ? OP_BNOT : t == '!' ? OP_NOT : t == TOK_TYPEOF ? OP_TYPEOF : t == TOK_CLONE ? OP_CLONE : OP_RESUME;
        e = MakeExp(EK::Reloc, EmitABC(op, 0, r, 0));
        break;
    }
    case TOK_DELETE: {
        Next();
        e = SimpleExp();
        if (e.k == EK::Local || e.k == EK::Upval) Error("cannot delete an (outer) local");
        if ((e.k != EK::Field && e.k != EK::Index) || e.fromBase) Error("can't delete an expression");
        int key;
        if (e.k == EK::Field) {
            key = AllocReg();
            Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(key), static_cast<uint32_t>(e.b)));
        } else {
            key = e.b;
        }
        int pc = EmitABC(OP_DELETE, 0, e.a, key);
        FreeReg(key);
        FreeReg(e.a);
        e = MakeExp(EK::Reloc, pc);
        break;
    }
    case TOK_INC:
    case TOK_DEC: {
        int delta = tok() == TOK_INC ? 1 : -1;
        Next();
        Exp target = SimpleExp();
        e = IncDec(target, delta, false);
        break;
    }
    default: e = SimpleExp(); break;
    }
    for (BinOp op = TokenToBinOp(tok()); op != OPR_NONE && Priority(op) > limit; op = TokenToBinOp(tok())) {
        Next();
        const bool jumps = cond && (op == OPR_AND || op == OPR_OR);
        if (jumps)
            InfixCond(op, e);
        else
            Infix(op, e);
        Exp e2 = SubExpr(Priority(op), jumps);
        if (jumps)
            PosfixCond(op, e, e2);
        else
            Posfix(op, e, e2);
    }
    return e;
}

void Parser::Infix(BinOp op, Exp &e)
{
    if (op == OPR_AND || op == OPR_OR) {
        int r = ToNextReg(e);
        EmitABC(OP_TEST, r, op == OPR_OR ? 1 : 0, 0);
        e = MakeExp(EK::Reg, r, EmitJump()); // b holds the jump over the right operand
        return;
    }
    ToAnyReg(e);
}

void Parser::Posfix(BinOp op, Exp &e1, Exp &e2)
{
    switch (op) {
    case OPR_AND:
    case OPR_OR: {
        int r = e1.a;
        int jump = e1.b;
        Discharge(e2);
        FreeExp(e2);
        ToReg(e2, r);
        PatchHere(jump);
        fs_->freeReg = static_cast<uint32_t>(r) + 1;
        e1 = MakeExp(EK::Reg, r);
        return;
    }
    case OPR_ADD:
    case OPR_SUB:
    case OPR_MUL:
    case OPR_DIV:
    case OPR_MOD: {
        char c = op == OPR_ADD ? '+' : op == OPR_SUB ? '-' : op == OPR_MUL ? '*' : op == OPR_DIV ? '/' : '%';
        int pc = EmitArith(c, e1.a, e2);
        FreeExp(e1);
        e1 = MakeExp(EK::Reloc, pc);
        return;
    }
    case OPR_LT:
    case OPR_LE:
    case OPR_GT:
    case OPR_GE: {
        if (e2.k == EK::Int && e2.ival >= -128 && e2.ival <= 127) {
            OpCode iop = op == OPR_LT ? OP_LTIV : op == OPR_LE ? OP_LEIV : op == OPR_GT ? OP_GTIV : OP_GEIV;
            int pc = EmitABC(iop, 0, e1.a, static_cast<int>(e2.ival) & 0xFF);
            FreeExp(e1);
            e1 = MakeExp(EK::Reloc, pc);
            return;
        }
        int k;
        if (ConstOperand(e2, k)) {
            OpCode kop = op == OPR_LT ? OP_LTKV : op == OPR_LE ? OP_LEKV : op == OPR_GT ? OP_GTKV : OP_GEKV;
            int pc = EmitABC(kop, 0, e1.a, k);
            FreeExp(e1);
            e1 = MakeExp(EK::Reloc, pc);
            return;
        }
        int r2 = ToAnyReg(e2);
        OpCode vop = op == OPR_LT ? OP_LTV : op == OPR_LE ? OP_LEV : op == OPR_GT ? OP_GTV : OP_GEV;
        int pc = EmitABC(vop, 0, e1.a, r2);
        FreeExps(e1, e2);
        e1 = MakeExp(EK::Reloc, pc);
        return;
    }
    case OPR_EQ:
    case OPR_NE: {
        int k;
        if (ConstOperand(e2, k)) {
            int pc = EmitABC(op == OPR_EQ ? OP_EQKV : OP_NEKV, 0, e1.a, k);
            FreeExp(e1);
            e1 = MakeExp(EK::Reloc, pc);
            return;
        }
        int r2 = ToAnyReg(e2);
        int pc = EmitABC(op == OPR_EQ ? OP_EQV : OP_NEV, 0, e1.a, r2);
        FreeExps(e1, e2);
        e1 = MakeExp(EK::Reloc, pc);
        return;
    }
    default: {
        int k;
        bool bitwise = op == OPR_BAND || op == OPR_BOR || op == OPR_BXOR || op == OPR_SHL || op == OPR_SHR || op == OPR_USHR;
        if (bitwise) {
            if (ConstOperand(e2, k)) {
                OpCode ko = op == OPR_BAND ? OP_BANDK : op == OPR_BOR ? OP_BORK : op == OPR_BXOR ? OP_BXORK
                          : op == OPR_SHL ? OP_SHLK : op == OPR_SHR ? OP_SHRK : OP_USHRK;
                int pc = EmitABC(ko, 0, e1.a, k);
                FreeExp(e1);
                e1 = MakeExp(EK::Reloc, pc);
                return;
            }
        }
        int r2 = ToAnyReg(e2);
        OpCode o;
        switch (op) {
        case OPR_CMP3: o = OP_CMP3; break;
        case OPR_BAND: o = OP_BAND; break;
        case OPR_BOR: o = OP_BOR; break;
        case OPR_BXOR: o = OP_BXOR; break;
        case OPR_SHL: o = OP_SHL; break;
        case OPR_SHR: o = OP_SHR; break;
        case OPR_USHR: o = OP_USHR; break;
        case OPR_IN: o = OP_IN; break;
        default: o = OP_INSTANCEOF; break;
        }
        int pc = EmitABC(o, 0, e1.a, r2);
        FreeExps(e1, e2);
        e1 = MakeExp(EK::Reloc, pc);
        return;
    }
    }
}

Exp Parser::SimpleExp()
{
    Exp e = PrimaryExp();
    Suffixes(e, true);
    return e;
}

void Parser::Suffixes(Exp &e, bool allowCalls)
{
    for (;;) {
        switch (tok()) {
        case '.': {
            Next();
            Value name = ExpectName();
            bool fromBase = e.k == EK::Base;
            int r = ToAnyReg(e);
            e = FieldOf(r, name);
            e.fromBase = fromBase;
            break;
        }
        case '[': {
            if (lex_.AfterNewline()) Error("cannot brake deref/or comma needed after [exp]=exp slot declaration");
            Next();
            bool fromBase = e.k == EK::Base;
            int r = ToAnyReg(e);
            Exp key = CommaExpr();
            Expect(']');
            int k = ToAnyReg(key);
            e = MakeExp(EK::Index, r, k);
            e.fromBase = fromBase;
            break;
        }
        case '(':
            if (!allowCalls) return;
            Next();
            CallArgs(e);
            break;
        case TOK_INC:
        case TOK_DEC: {
            if (EndOfStatement() || !allowCalls) return;
            int delta = tok() == TOK_INC ? 1 : -1;
            Next();
            e = IncDec(e, delta, true);
            return;
        }
        default: return;
        }
    }
}

void Parser::CallArgs(Exp &fn)
{
    int base;
    if ((fn.k == EK::Field || fn.k == EK::Index) && !fn.fromBase) {
        int obj = fn.a;
        int key = fn.b;
        bool isField = fn.k == EK::Field;
        FreeExp(fn);
        base = AllocReg();
        AllocReg();
        EmitABC(isField ? OP_METHOD : OP_METHODR, base, obj, key);
    } else {
        base = ToNextReg(fn);
        int self = AllocReg();
        EmitABC(OP_MOVE, self, 0, 0);
    }
    int nargs = 1;
    while (tok() != ')') {
        Exp a = Expression();
        ToNextReg(a);
        nargs++;
        if (tok() == ',') {
            Next();
            if (tok() == ')') Error("expression expected, found ')'");
        }
    }
    Next();
    fs_->freeReg = static_cast<uint32_t>(base) + 1;
    fn = MakeExp(EK::Call, EmitABC(OP_CALL, base, nargs, 1));
}

Exp Parser::PrimaryExp()
{
    Exp e;
    switch (tok()) {
    case TOK_IDENT:
    case TOK_CONSTRUCTOR:
    case TOK_THIS: {
        // `this.x` reads register 0 as a bare `x` does, so it falls back to the root table
        // the same way; a copy of `this` in another variable does not.
        Value name = tok() == TOK_THIS ? rt_->String("this")
                                       : rt_->String(lex_.text().data(), static_cast<SQInteger>(lex_.text().size()));
        Next();
        return SingleVar(name);
    }
    case TOK_SCOPE: {
        Next();
        int r = AllocReg();
        EmitABC(OP_LOADROOT, r, 0, 0);
        Value name = ExpectName();
        return FieldOf(r, name);
    }
    case TOK_BASE: {
        Next();
        int r = AllocReg();
        EmitABC(OP_GETBASE, r, 0, 0);
        return MakeExp(EK::Base, r);
    }
    case TOK_STRING:
        e = MakeExp(EK::K, StringConstant(rt_->String(lex_.text().data(), static_cast<SQInteger>(lex_.text().size()))));
        Next();
        return e;
    case TOK_INT:
        e.k = EK::Int;
        e.ival = lex_.intValue();
        Next();
        return e;
    case TOK_FLOAT:
        e.k = EK::Float;
        e.fval = lex_.floatValue();
        Next();
        return e;
    case TOK_NULL: Next(); return MakeExp(EK::Null);
    case TOK_TRUE: Next(); return MakeExp(EK::True);
    case TOK_FALSE: Next(); return MakeExp(EK::False);
    case TOK_LINE:
        e.k = EK::Int;
        e.ival = lex_.line();
        Next();
        return e;
    case TOK_FILE: Next(); return MakeExp(EK::K, StringConstant(source_));
    case '[': return ArrayLiteral();
    case '{': return TableLiteral('}');
    case TOK_FUNCTION: return FunctionExpr(false);
    case '@': return FunctionExpr(true);
    case TOK_CLASS: Next(); return ClassExpr();
    case '(': {
        Next();
        e = CommaExpr();
        Expect(')');
        Discharge(e);
        if (e.k == EK::Local) e.k = EK::Reg; // a parenthesized variable is a value, not a target
        return e;
    }
    default: Error("expression expected");
    }
}

Exp Parser::ArrayLiteral()
{
    Next();
    int r = AllocReg();
    int pc = Emit(MakeABx(OP_NEWARRAY, static_cast<uint32_t>(r), 0));
    int n = 0;
    while (tok() != ']') {
        Exp v = Expression();
        if (tok() == ',') Next();
        int vr = ToAnyReg(v);
        EmitABC(OP_APPEND, r, vr, 0);
        FreeExp(v);
        n++;
    }
    Next();
    fs_->p->code[static_cast<size_t>(pc)] = MakeABx(OP_NEWARRAY, static_cast<uint32_t>(r), static_cast<uint32_t>(n > kMaxBx ? kMaxBx : n));
    return MakeExp(EK::Reg, r);
}

Exp Parser::TableLiteral(int terminator)
{
    Next();
    int r = AllocReg();
    int pc = Emit(MakeABx(OP_NEWTABLE, static_cast<uint32_t>(r), 0));
    int n = 0;
    while (tok() != terminator) {
        int key, val;
        if (tok() == TOK_FUNCTION || tok() == TOK_CONSTRUCTOR) {
            // `constructor` opens a method here as in a class body: `constructor = 1` is an error.
            bool isCtor = tok() == TOK_CONSTRUCTOR;
            Next();
            Value name = isCtor ? rt_->String("constructor") : ExpectName();
            key = AllocReg();
            Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(key), static_cast<uint32_t>(StringConstant(name))));
            Expect('(');
            CreateFunction(name, false, val);
        } else if (tok() == '[') {
            Next();
            Exp k = CommaExpr();
            Expect(']');
            key = ToNextReg(k);
            Expect('=');
            Exp v = Expression();
            val = ToAnyReg(v);
        } else if (tok() == TOK_STRING) {
            Value s = rt_->String(lex_.text().data(), static_cast<SQInteger>(lex_.text().size()));
            Next();
            key = AllocReg();
            Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(key), static_cast<uint32_t>(StringConstant(s))));
            Expect(':');
            Exp v = Expression();
            val = ToAnyReg(v);
        } else {
            Value name = ExpectName();
            key = AllocReg();
            Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(key), static_cast<uint32_t>(StringConstant(name))));
            Expect('=');
            Exp v = Expression();
            val = ToAnyReg(v);
        }
        if (tok() == ',') Next();
        EmitABC(OP_NEWSLOT, r, key, val);
        fs_->freeReg = static_cast<uint32_t>(r) + 1;
        n++;
    }
    Next();
    fs_->p->code[static_cast<size_t>(pc)] = MakeABx(OP_NEWTABLE, static_cast<uint32_t>(r), static_cast<uint32_t>(n > kMaxBx ? kMaxBx : n));
    return MakeExp(EK::Reg, r);
}

Exp Parser::ClassExpr()
{
    int base = kNoReg, attrs = kNoReg;
    if (tok() == TOK_EXTENDS) {
        Next();
        Exp b = Expression();
        base = ToNextReg(b);
    }
    if (tok() == TOK_ATTR_OPEN) {
        Exp a = TableLiteral(TOK_ATTR_CLOSE);
        attrs = a.a;
    }
    Expect('{');
    int r = AllocReg();
    EmitABC(OP_NEWCLASS, r, base, attrs);
    while (tok() != '}') {
        int memberAttrs = kNoReg;
        bool isStatic = false;
        if (tok() == TOK_ATTR_OPEN) {
            Exp a = TableLiteral(TOK_ATTR_CLOSE);
            memberAttrs = a.a;
        }
        if (tok() == TOK_STATIC) {
            isStatic = true;
            Next();
        }
        int key, val;
        if (tok() == TOK_FUNCTION || tok() == TOK_CONSTRUCTOR) {
            bool isCtor = tok() == TOK_CONSTRUCTOR;
            Next();
            Value name = isCtor ? rt_->String("constructor") : ExpectName();
            key = AllocReg();
            Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(key), static_cast<uint32_t>(StringConstant(name))));
            Expect('(');
            CreateFunction(name, false, val);
        } else if (tok() == '[') {
            Next();
            Exp k = CommaExpr();
            Expect(']');
            key = ToNextReg(k);
            Expect('=');
            Exp v = Expression();
            val = ToAnyReg(v);
        } else {
            Value name = ExpectName();
            key = AllocReg();
            Emit(MakeABx(OP_LOADK, static_cast<uint32_t>(key), static_cast<uint32_t>(StringConstant(name))));
            Expect('=');
            Exp v = Expression();
            val = ToAnyReg(v);
        }
        if (tok() == ';') Next();
        EmitABC(OP_NEWMEMBER, r, key, val);
        EmitABC(OP_EXTRA, isStatic ? 1 : 0, memberAttrs, 0);
        fs_->freeReg = static_cast<uint32_t>(r) + 1;
    }
    Next();
    return MakeExp(EK::Reg, r);
}

Exp Parser::FunctionExpr(bool lambda)
{
    Next();
    Expect('(');
    int r;
    CreateFunction(Value(), lambda, r);
    return MakeExp(EK::Reg, r);
}

void Parser::CreateFunction(const Value &name, bool lambda, int &outReg)
{
    FuncState child;
    child.parent = fs_;
    child.p = Proto::New(rt_);
    child.hold = Value::Ref(Kind::Proto, child.p);
    child.kindex = Value::Ref(Kind::Table, Table::New(rt_, 0));
    child.p->name = name;
    child.p->source = source_;
    child.line = fs_->line;
    int32_t headerLine = static_cast<int32_t>(lex_.tokenLine());
    FuncState *parent = fs_;
    uint32_t firstDefault = parent->freeReg;

    fs_ = &child;
    Value thisName = rt_->String("this");
    DeclareLocal(thisName, AllocReg());
    child.p->params.push_back(thisName);
    fs_ = parent;

    int ndefaults = 0;
    while (tok() != ')') {
        if (tok() == TOK_ELLIPSIS) {
            if (ndefaults > 0) Error("function with default parameters cannot have variable number of parameters");
            Next();
            fs_ = &child;
            Value vargv = rt_->String("vargv");
            DeclareLocal(vargv, AllocReg());
            child.p->params.push_back(vargv);
            child.p->varargs = true;
            fs_ = parent;
            if (tok() != ')') Error("expected ')'");
            break;
        }
        Value pname = ExpectName();
        fs_ = &child;
        DeclareLocal(pname, AllocReg());
        child.p->params.push_back(pname);
        fs_ = parent;
        if (tok() == '=') {
            Next();
            Exp d = Expression(); // evaluated by the enclosing function when the closure is made
            int r = ToNextReg(d);
            child.p->defaultRegs.push_back(static_cast<uint8_t>(r));
            ndefaults++;
        } else if (ndefaults > 0) {
            Error("expected '='");
        }
        if (tok() == ',')
            Next();
        else if (tok() != ')')
            Error("expected ')' or ','");
    }
    Expect(')');

    fs_ = &child;
    if (lambda) {
        fs_->line = static_cast<int32_t>(lex_.tokenLine());
        Exp body = Expression();
        EmitReturn(body);
    } else {
        // The header's line gets no line event: the first one is the first statement's.
        child.lineEventLine = headerLine;
        Statement(false);
        // Falling off the end reports the closing brace's line, then returns from it.
        fs_->line = prevTokLine_;
        EmitFinalLine();
    }
    CloseFunction();
    fs_ = parent;
    if (child.p->protos.size() > static_cast<size_t>(kMaxBx)) Error("internal compiler error: too many functions");
    fs_->p->protos.push_back(child.hold);
    fs_->freeReg = firstDefault;
    outReg = AllocReg();
    Emit(MakeABx(OP_CLOSURE, static_cast<uint32_t>(outReg), static_cast<uint32_t>(fs_->p->protos.size() - 1)));
}

// A line event at fs_->line even when the previous one had the same line.
void Parser::EmitFinalLine()
{
    if (!rt_->debugInfo) return;
    Emit(MakeSJ(OP_LINE, fs_->line));
    fs_->lineEventLine = fs_->line;
}

// True for the instructions whose handler reads the word after them (a test's or a
// loop step's jump, a trap's handler, a member's extra operands).
static bool ReadsNextWord(OpCode op)
{
    switch (op) {
    case OP_LT: case OP_LE: case OP_GT: case OP_GE: case OP_EQ: case OP_EQK:
    case OP_LTI: case OP_LEI: case OP_GTI: case OP_GEI:
    case OP_LTK: case OP_LEK: case OP_GTK: case OP_GEK:
    case OP_TEST: case OP_INCLT: case OP_INCLTI: case OP_INCLTK:
    case OP_FOREACH: case OP_PUSHTRAP: case OP_NEWMEMBER: return true;
    default: return false;
    }
}

// Returns reached through a forward jump, or right after a move into the returned
// register, are done in place: `c ? x : y` as a function's result then returns without
// the move and the jump. Only where a debug hook could not tell: the same line, the same
// named locals in scope, and the moved-into register no named local's.
static void ShortenReturns(Proto *p)
{
    std::vector<uint32_t> &code = p->code;
    const size_t n = code.size();
    // Each candidate looks at every named local: past this many the function keeps its
    // code, so that compiling stays linear in its size.
    constexpr size_t kMaxLocalsLooked = 256;
    if (p->lines.size() != n || p->locals.size() > kMaxLocalsLooked) return;
    auto sameScope = [p](size_t a, size_t b) {
        for (const LocalInfo &l : p->locals)
            if ((l.startPc <= a && a < l.endPc) != (l.startPc <= b && b < l.endPc)) return false;
        return true;
    };
    auto localReg = [p](size_t at, uint32_t reg) {
        for (const LocalInfo &l : p->locals)
            if (l.reg == reg && l.startPc <= at && at < l.endPc) return true;
        return false;
    };
    for (size_t j = 0; j < n; j++) {
        if (OpOf(code[j]) != OP_JMP || (j > 0 && ReadsNextWord(OpOf(code[j - 1])))) continue;
        const int32_t off = ArgSJ(code[j]);
        if (off < 0) continue; // a backward jump takes a step from the budget
        const size_t t = j + 1 + static_cast<size_t>(off);
        if (t < n && OpOf(code[t]) == OP_RETURN && p->lines[t] == p->lines[j] && sameScope(j, t)) code[j] = code[t];
    }
    for (size_t m = 0; m + 1 < n; m++) {
        const uint32_t mv = code[m], ret = code[m + 1];
        if (OpOf(mv) != OP_MOVE || OpOf(ret) != OP_RETURN || ArgB(ret) == 0 || ArgA(ret) != ArgA(mv)) continue;
        if ((m > 0 && ReadsNextWord(OpOf(code[m - 1]))) || p->lines[m] != p->lines[m + 1] || !sameScope(m, m + 1) ||
            localReg(m, ArgA(mv)))
            continue;
        code[m] = MakeABC(OP_RETURN, ArgB(mv), ArgB(ret), ArgC(ret));
    }
}

void Parser::CloseFunction()
{
    EmitABC(OP_RETURN, 0, 0, 0);
    LeaveScope(0, false);
    ShortenReturns(fs_->p);
}

// Statements

void Parser::Statements()
{
    while (tok() != '}' && tok() != TOK_DEFAULT && tok() != TOK_CASE) {
        // Inside braces the end of the source is where a statement should start.
        if (tok() == TOK_EOF) Error("expression expected");
        Statement();
        if (prevTok_ != '}' && prevTok_ != ';') OptionalSemicolon();
    }
}

void Parser::Block(bool close)
{
    size_t mark = EnterScope();
    Next();
    Statements();
    Expect('}');
    LeaveScope(mark, close);
}

void Parser::Statement(bool closeFrame)
{
    Nesting guard(this);
    fs_->line = static_cast<int32_t>(lex_.tokenLine());
    // A function's body statement (closeFrame false) starts on its header: no line event.
    if (rt_->debugInfo && closeFrame && fs_->line != fs_->lineEventLine) {
        Emit(MakeSJ(OP_LINE, fs_->line));
        fs_->lineEventLine = fs_->line;
    }
    switch (tok()) {
    case ';': Next(); break;
    case TOK_IF: IfStatement(); break;
    case TOK_WHILE: WhileStatement(); break;
    case TOK_DO: DoWhileStatement(); break;
    case TOK_FOR: ForStatement(); break;
    case TOK_FOREACH: ForeachStatement(); break;
    case TOK_SWITCH: SwitchStatement(); break;
    case TOK_LOCAL: LocalStatement(); break;
    case TOK_RETURN: ReturnStatement(false); break;
    case TOK_YIELD: ReturnStatement(true); break;
    case TOK_BREAK: BreakContinue(true); break;
    case TOK_CONTINUE: BreakContinue(false); break;
    case TOK_FUNCTION: FunctionStatement(); break;
    case TOK_CLASS: ClassStatement(); break;
    case TOK_ENUM: EnumStatement(); break;
    case TOK_CONST: ConstStatement(); break;
    case '{': Block(closeFrame); break;
    case TOK_TRY: TryStatement(); break;
    case TOK_THROW: {
        Next();
        Exp e = CommaExpr();
        int r = ToAnyReg(e);
        EmitABC(OP_THROW, r, 0, 0);
        break;
    }
    default: {
        Exp e = CommaExpr();
        Discard(e);
        break;
    }
    }
    fs_->freeReg = ActiveRegs();
}

void Parser::IfBlock()
{
    if (tok() == '{') {
        Block(true);
        return;
    }
    size_t mark = EnterScope();
    Statement();
    if (prevTok_ != '}' && prevTok_ != ';') OptionalSemicolon();
    LeaveScope(mark);
}

void Parser::IfStatement()
{
    Next();
    Expect('(');
    Exp c = CommaExpr(true);
    Expect(')');
    std::vector<int32_t> jf = CondJumps(c, false);
    IfBlock();
    if (tok() == TOK_ELSE) {
        int jend = EmitJump();
        PatchListHere(jf);
        Next();
        IfBlock();
        PatchHere(jend);
    } else {
        PatchListHere(jf);
    }
}

Loop &Parser::PushLoop(bool isSwitch)
{
    Loop l;
    l.regBase = ActiveRegs();
    l.traps = fs_->traps;
    l.isSwitch = isSwitch;
    fs_->loops.push_back(l);
    return fs_->loops.back();
}

void Parser::PopLoop(int continueTarget)
{
    Loop &l = fs_->loops.back();
    for (int b : l.breaks) PatchHere(b);
    for (int c : l.continues) PatchJump(c, continueTarget);
    fs_->loops.pop_back();
}

// Loops test their condition again at the bottom, so that an iteration takes one jump
// instead of two: a condition compiled to straight-line code ending in one test (the
// usual `i < n`) is emitted once more after the body, testing the other way and jumping
// back to the body, which starts right after the exit jump `jf`. False when the
// condition has jumps of its own (`a && b`) or none was compiled.
bool Parser::EmitBottomTest(int condStart, int jf)
{
    if (jf < 0 || jf - 1 < condStart) return false;
    std::vector<uint32_t> &code = fs_->p->code;
    uint32_t test = code[static_cast<size_t>(jf - 1)];
    OpCode op = OpOf(test);
    switch (op) {
    case OP_LT: case OP_LE: case OP_GT: case OP_GE: case OP_EQ: case OP_EQK:
    case OP_LTI: case OP_LEI: case OP_GTI: case OP_GEI:
    case OP_LTK: case OP_LEK: case OP_GTK: case OP_GEK:
    case OP_TEST: break;
    default: return false;
    }
    for (int pc = condStart; pc < jf - 1; pc++) {
        switch (OpOf(code[static_cast<size_t>(pc)])) {
        case OP_LT: case OP_LE: case OP_GT: case OP_GE: case OP_EQ: case OP_EQK:
        case OP_LTI: case OP_LEI: case OP_GTI: case OP_GEI:
        case OP_LTK: case OP_LEK: case OP_GTK: case OP_GEK:
        case OP_TEST: case OP_JMP: case OP_FOREACH: case OP_PUSHTRAP: case OP_LINE: return false;
        default: break;
        }
    }
    for (int pc = condStart; pc < jf - 1; pc++) {
        uint32_t ins = code[static_cast<size_t>(pc)];
        int32_t line = fs_->p->lines[static_cast<size_t>(pc)];
        code.push_back(ins);
        fs_->p->lines.push_back(line);
    }
    uint32_t flipped = op == OP_TEST ? MakeABC(op, ArgA(test), ArgB(test) ^ 1, ArgC(test))
                                     : MakeABC(op, ArgA(test), ArgB(test), ArgC(test) ^ 1);
    int32_t line = fs_->p->lines[static_cast<size_t>(jf - 1)];
    code.push_back(flipped);
    fs_->p->lines.push_back(line);
    EmitJumpBack(jf + 1);
    return true;
}

// The commonest for loop, `for (...; i < limit; i++)`, ends in one instruction that steps
// and tests: the step's last instruction adds a constant to the register the condition
// (one `<` test, nothing else) compares. The step must have no jumps of its own, so that
// nothing can target the place between the two.
bool Parser::EmitCountingLoopEnd(int condStart, int jf, const std::vector<uint32_t> &stepCode)
{
    if (jf < 0 || jf - 1 != condStart || stepCode.empty()) return false;
    std::vector<uint32_t> &code = fs_->p->code;
    uint32_t test = code[static_cast<size_t>(condStart)];
    OpCode top = OpOf(test);
    OpCode fused = top == OP_LT ? OP_INCLT : top == OP_LTI ? OP_INCLTI : top == OP_LTK ? OP_INCLTK : OP_COUNT;
    if (fused == OP_COUNT || ArgC(test) != 0) return false;
    uint32_t step = stepCode.back();
    if (OpOf(step) != OP_ADDI || ArgA(step) != ArgA(test) || ArgB(step) != ArgA(test)) return false;
    for (uint32_t ins : stepCode) {
        switch (OpOf(ins)) {
        case OP_LT: case OP_LE: case OP_GT: case OP_GE: case OP_EQ: case OP_EQK:
        case OP_LTI: case OP_LEI: case OP_GTI: case OP_GEI:
        case OP_LTK: case OP_LEK: case OP_GTK: case OP_GEK:
        case OP_TEST: case OP_JMP: case OP_FOREACH: case OP_PUSHTRAP: return false;
        default: break;
        }
    }
    // The step's add becomes the fused instruction, in the same place (where `continue`
    // may jump), followed by the jump back to the body.
    code.back() = MakeABC(fused, ArgA(test), ArgB(test), ArgC(step));
    EmitJumpBack(jf + 1);
    return true;
}

void Parser::WhileStatement()
{
    int start = Pc();
    Next();
    Expect('(');
    Exp c = CommaExpr(true);
    Expect(')');
    std::vector<int32_t> jf = CondJumps(c, false);
    PushLoop(false);
    size_t mark = EnterScope();
    Statement();
    LeaveScope(mark);
    if (!EmitBottomTest(start, SingleJump(jf))) EmitJumpBack(start);
    PatchListHere(jf);
    PopLoop(start);
}

void Parser::DoWhileStatement()
{
    Next();
    int start = Pc();
    PushLoop(false);
    size_t mark = EnterScope();
    Statement();
    LeaveScope(mark);
    Expect(TOK_WHILE);
    int condStart = Pc();
    Expect('(');
    Exp c = CommaExpr(true);
    Expect(')');
    PatchList(CondJumps(c, true), start);
    PopLoop(condStart);
}

void Parser::ForStatement()
{
    Next();
    size_t mark = EnterScope();
    Expect('(');
    if (tok() == TOK_LOCAL) {
        LocalStatement();
    } else if (tok() != ';') {
        Exp init = CommaExpr();
        Discard(init);
    }
    fs_->freeReg = ActiveRegs();
    Expect(';');
    int condStart = Pc();
    std::vector<int32_t> jf;
    if (tok() != ';') {
        Exp c = CommaExpr(true);
        jf = CondJumps(c, false);
    }
    Expect(';');
    int stepStart = Pc();
    if (tok() != ')') {
        Exp step = CommaExpr();
        Discard(step);
    }
    fs_->freeReg = ActiveRegs();
    Expect(')');
    // The step runs after the body: lift its code out and append it later.
    std::vector<uint32_t> stepCode(fs_->p->code.begin() + stepStart, fs_->p->code.end());
    std::vector<int32_t> stepLines(fs_->p->lines.begin() + stepStart, fs_->p->lines.end());
    fs_->p->code.resize(static_cast<size_t>(stepStart));
    fs_->p->lines.resize(static_cast<size_t>(stepStart));
    PushLoop(false);
    Statement();
    int continueTarget = Pc();
    fs_->p->code.insert(fs_->p->code.end(), stepCode.begin(), stepCode.end());
    fs_->p->lines.insert(fs_->p->lines.end(), stepLines.begin(), stepLines.end());
    if (!EmitCountingLoopEnd(condStart, SingleJump(jf), stepCode) && !EmitBottomTest(condStart, SingleJump(jf)))
        EmitJumpBack(condStart);
    PatchListHere(jf);
    PopLoop(continueTarget);
    LeaveScope(mark);
}

void Parser::ForeachStatement()
{
    Next();
    Expect('(');
    Value valName = ExpectName();
    Value keyName;
    if (tok() == ',') {
        Next();
        keyName = valName;
        valName = ExpectName();
    }
    Expect(TOK_IN);
    size_t mark = EnterScope();
    Exp c = Expression();
    Expect(')');
    int kr, vr, ir;
    uint32_t step;
    const bool named = c.k == EK::Local;
    if (named) {
        // A named local is the container itself: each step reads it again, so the body
        // may switch the loop to another collection.
        fs_->freeReg = ActiveRegs();
        kr = AllocReg();
        vr = AllocReg();
        ir = AllocReg();
        step = MakeABC(OP_FOREACH, static_cast<uint32_t>(kr), 1, static_cast<uint32_t>(c.a));
    } else {
        int cr = static_cast<int>(ActiveRegs());
        Discharge(c);
        FreeExp(c);
        fs_->freeReg = static_cast<uint32_t>(cr) + 1;
        if (fs_->freeReg > fs_->p->maxStack) fs_->p->maxStack = static_cast<uint8_t>(fs_->freeReg);
        ToReg(c, cr);
        DeclareLocal(rt_->String("@CONTAINER@"), cr, false);
        kr = AllocReg();
        vr = AllocReg();
        ir = AllocReg();
        step = MakeABC(OP_FOREACH, static_cast<uint32_t>(cr), 0, 0);
    }
    EmitABC(OP_LOADNULL, kr, 3, 0);
    DeclareLocal(keyName.IsNull() ? rt_->String("@INDEX@") : keyName, kr);
    DeclareLocal(valName, vr);
    // Stack inspection lists the hidden iterator only beside a named container.
    DeclareLocal(rt_->String("@ITERATOR@"), ir, named);
    int loopStart = Emit(step);
    int jexit = EmitJump();
    PushLoop(false);
    Statement();
    EmitJumpBack(loopStart);
    PatchHere(jexit);
    PopLoop(loopStart);
    LeaveScope(mark);
}

void Parser::SwitchStatement()
{
    Next();
    Expect('(');
    Exp e = CommaExpr();
    Expect(')');
    Expect('{');
    size_t mark = EnterScope();
    int sr = static_cast<int>(ActiveRegs());
    Discharge(e);
    FreeExp(e);
    fs_->freeReg = static_cast<uint32_t>(sr) + 1;
    if (fs_->freeReg > fs_->p->maxStack) fs_->p->maxStack = static_cast<uint8_t>(fs_->freeReg);
    ToReg(e, sr);
    DeclareLocal(rt_->String("@SWITCH@"), sr, false);
    PushLoop(true);
    int nextCase = -1;
    while (tok() == TOK_CASE) {
        int skipCond = -1;
        if (nextCase >= 0) {
            skipCond = EmitJump(); // falling through from the previous case skips this test
            PatchHere(nextCase);
        }
        Next();
        Exp v = Expression();
        Expect(':');
        int k;
        if (ConstOperand(v, k)) {
            EmitABC(OP_EQK, sr, k, 0);
        } else {
            int vreg = ToAnyReg(v);
            EmitABC(OP_EQ, sr, vreg, 0);
            FreeExp(v);
        }
        nextCase = EmitJump();
        PatchHere(skipCond);
        size_t caseMark = EnterScope();
        Statements();
        LeaveScope(caseMark);
    }
    PatchHere(nextCase);
    if (tok() == TOK_DEFAULT) {
        Next();
        Expect(':');
        size_t defMark = EnterScope();
        Statements();
        LeaveScope(defMark);
    }
    Expect('}');
    PopLoop(0);
    LeaveScope(mark);
}

void Parser::LocalStatement()
{
    Next();
    if (tok() == TOK_FUNCTION) {
        Next();
        Value name = ExpectName();
        Expect('(');
        int r;
        CreateFunction(name, false, r);
        DeclareLocal(name, r);
        return;
    }
    for (;;) {
        Value name = ExpectName();
        int want = static_cast<int>(ActiveRegs());
        if (tok() == '=') {
            Next();
            Exp e = Expression();
            Discharge(e);
            FreeExp(e);
            fs_->freeReg = static_cast<uint32_t>(want);
            AllocReg();
            ToReg(e, want);
        } else {
            fs_->freeReg = static_cast<uint32_t>(want);
            AllocReg();
            EmitABC(OP_LOADNULL, want, 1, 0);
        }
        DeclareLocal(name, want);
        if (tok() != ',') break;
        Next();
    }
}

void Parser::ReturnStatement(bool yield)
{
    Next();
    if (yield) fs_->p->generator = true;
    if (EndOfStatement()) {
        if (!yield && fs_->traps > 0) EmitABC(OP_POPTRAP, fs_->traps, 0, 0);
        EmitABC(yield ? OP_YIELD : OP_RETURN, 0, 0, 0);
        return;
    }
    Exp e = CommaExpr();
    if (yield) {
        EmitABC(OP_YIELD, ToAnyReg(e), 1, 0);
        return;
    }
    EmitReturn(e);
}

// `return e`, where returning a call outside `try` (and outside the main chunk) reuses the
// frame: a lambda's body returns this way too.
void Parser::EmitReturn(Exp &e)
{
    if (e.k == EK::Call && fs_->traps == 0 && !fs_->isMain) {
        uint32_t &ins = fs_->p->code[static_cast<size_t>(e.a)];
        ins = MakeABC(OP_TAILCALL, ArgA(ins), ArgB(ins), 1);
        EmitABC(OP_RETURN, static_cast<int>(ArgA(ins)), 1, 0);
        return;
    }
    int r = ToAnyReg(e);
    if (fs_->traps > 0) EmitABC(OP_POPTRAP, fs_->traps, 0, 0);
    EmitABC(OP_RETURN, r, 1, 0);
}

void Parser::BreakContinue(bool isBreak)
{
    Loop *target = nullptr;
    for (size_t i = fs_->loops.size(); i-- > 0;) {
        if (isBreak || !fs_->loops[i].isSwitch) {
            target = &fs_->loops[i];
            break;
        }
    }
    if (!target) Error(isBreak ? "'break' has to be in a loop block" : "'continue' has to be in a loop block");
    if (fs_->traps > target->traps) EmitABC(OP_POPTRAP, fs_->traps - target->traps, 0, 0);
    for (const LocalVar &v : fs_->actives) {
        if (v.captured && v.reg >= target->regBase) {
            EmitABC(OP_CLOSE, static_cast<int>(target->regBase), 0, 0);
            break;
        }
    }
    int j = EmitJump();
    (isBreak ? target->breaks : target->continues).push_back(j);
    Next();
}

void Parser::FunctionStatement()
{
    Next();
    Value name = ExpectName();
    Exp target = FieldOf(0, name);
    while (tok() == TOK_SCOPE) {
        Next();
        name = ExpectName();
        int r = ToAnyReg(target);
        target = FieldOf(r, name);
    }
    Expect('(');
    const int start = AssignStart(target);
    int val;
    CreateFunction(name, false, val);
    Exp v = MakeExp(EK::Reg, val);
    Exp done = Assign(target, TOK_NEWSLOT, v, start);
    Discard(done);
}

void Parser::ClassStatement()
{
    Next();
    Exp target = PrimaryExp();
    if (target.k == EK::Local) Error("cannot create a class in a local with the syntax(class <local>)");
    Suffixes(target, false);
    if (target.k != EK::Field && target.k != EK::Index) Error("invalid class name");
    const int start = AssignStart(target);
    Exp cls = ClassExpr();
    Exp done = Assign(target, TOK_NEWSLOT, cls, start);
    Discard(done);
}

Value Parser::ExpectScalar()
{
    Value v;
    switch (tok()) {
    case TOK_INT: v = Value::Int(lex_.intValue()); break;
    case TOK_FLOAT: v = Value::Float(lex_.floatValue()); break;
    case TOK_STRING: v = rt_->String(lex_.text().data(), static_cast<SQInteger>(lex_.text().size())); break;
    case TOK_TRUE:
    case TOK_FALSE: v = Value::Bool(tok() == TOK_TRUE); break;
    case '-':
        Next();
        if (tok() == TOK_INT)
            v = Value::Int(static_cast<SQInteger>(0u - static_cast<uint32_t>(lex_.intValue())));
        else if (tok() == TOK_FLOAT)
            v = Value::Float(-lex_.floatValue());
        else
            Error("scalar expected : integer,float");
        break;
    default: Error("scalar expected : integer,float or string");
    }
    Next();
    return v;
}

void Parser::ConstStatement()
{
    Next();
    Value name = ExpectName();
    Expect('=');
    Value v = ExpectScalar();
    OptionalSemicolon();
    if (rt_->consts.kind() == Kind::Table) rt_->consts.As<Table>()->NewSlot(name, v);
}

void Parser::EnumStatement()
{
    Next();
    Value name = ExpectName();
    Expect('{');
    Table *t = Table::New(rt_, 0);
    Value hold = Value::Ref(Kind::Table, t);
    SQInteger counter = 0;
    while (tok() != '}') {
        Value key = ExpectName();
        Value v;
        if (tok() == '=') {
            Next();
            v = ExpectScalar();
        } else {
            v = Value::Int(counter++);
        }
        t->NewSlot(key, v);
        if (tok() == ',') Next();
    }
    if (rt_->consts.kind() == Kind::Table) rt_->consts.As<Table>()->NewSlot(name, hold);
    Next();
}

void Parser::TryStatement()
{
    Next();
    int errReg = static_cast<int>(ActiveRegs());
    EmitABC(OP_PUSHTRAP, errReg, 0, 0);
    int jhandler = EmitJump();
    fs_->traps++;
    size_t mark = EnterScope();
    Statement();
    LeaveScope(mark);
    fs_->traps--;
    EmitABC(OP_POPTRAP, 1, 0, 0);
    int jend = EmitJump();
    PatchHere(jhandler);
    Expect(TOK_CATCH);
    Expect('(');
    Value name = ExpectName();
    Expect(')');
    size_t catchMark = EnterScope();
    fs_->freeReg = static_cast<uint32_t>(errReg);
    AllocReg();
    DeclareLocal(name, errReg);
    Statement();
    LeaveScope(catchMark);
    PatchHere(jend);
}

Value Parser::CompileMain()
{
    FuncState main;
    main.p = Proto::New(rt_);
    main.hold = Value::Ref(Kind::Proto, main.p);
    main.kindex = Value::Ref(Kind::Table, Table::New(rt_, 0));
    main.isMain = true;
    main.p->name = rt_->String("main");
    main.p->source = source_;
    main.p->varargs = true;
    fs_ = &main;
    Value thisName = rt_->String("this"), vargvName = rt_->String("vargv");
    DeclareLocal(thisName, AllocReg());
    DeclareLocal(vargvName, AllocReg());
    main.p->params.push_back(thisName);
    main.p->params.push_back(vargvName);
    Next();
    while (tok() != TOK_EOF) {
        Statement();
        if (prevTok_ != '}' && prevTok_ != ';') OptionalSemicolon();
    }
    fs_->line = static_cast<int32_t>(lex_.line());
    EmitFinalLine();
    CloseFunction();
    fs_ = nullptr;
    return main.hold;
}

} // namespace

bool Compile(Fiber *f, SQLEXREADFUNC read, SQUserPointer source, const char *sourceName, bool raiseError,
             Value &proto)
{
    Runtime *rt = f->rt;
    SQInteger line = 1, column = 1;
    std::string message;
    try {
        Parser parser(f, read, source, sourceName);
        try {
            proto = parser.CompileMain();
            return true;
        } catch (CompileError &e) {
            message = e.message;
            line = parser.lexer().line();
            column = parser.lexer().column();
        }
    } catch (CompileError &e) {
        message = e.message; // the first character was already invalid
    }
    if (raiseError && rt->compilerErrorHandler)
        rt->compilerErrorHandler(static_cast<SQVM *>(f), message.c_str(), sourceName ? sourceName : "unknown", line,
                                 column);
    f->lastError = rt->String(message.data(), static_cast<SQInteger>(message.size()));
    return false;
}

} // namespace nut
