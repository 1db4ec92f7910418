// The instruction set. An instruction is 32 bits: op (8), A (8), B (8), C (8); or op, A
// and a 16-bit Bx (unsigned) / sBx (signed); or op and a 24-bit signed jump offset sJ.
// R[x] is register x of the running frame (R[0] is `this`), K[x] constant x.
//
// Conditional jumps are a test followed by a JMP: the test either skips the JMP or the
// VM performs it at once, so the pair costs one dispatch.
#pragma once

#include <cstdint>

namespace nut {

// X(name, format, meaning)
#define NUT_OPCODES(X)                                                                                              \
    X(MOVE, ABC, "R[A] = R[B]")                                                                                     \
    X(LOADK, ABx, "R[A] = K[Bx]")                                                                                   \
    X(LOADI, AsBx, "R[A] = sBx")                                                                                    \
    X(LOADNULL, ABC, "R[A], ..., R[A+B-1] = null")                                                                  \
    X(LOADBOOL, ABC, "R[A] = B != 0")                                                                               \
    X(LOADROOT, ABC, "R[A] = the running closure's root table")                                                     \
    X(GETUPVAL, ABC, "R[A] = captured variable B")                                                                  \
    X(SETUPVAL, ABC, "captured variable B = R[A]")                                                                  \
    X(GETFIELD, ABC, "R[A] = R[B][K[C]]")                                                                           \
    X(GETINDEX, ABC, "R[A] = R[B][R[C]]")                                                                           \
    X(SETFIELD, ABC, "R[A][K[B]] = R[C]")                                                                           \
    X(SETINDEX, ABC, "R[A][R[B]] = R[C]")                                                                           \
    X(NEWSLOT, ABC, "R[A][R[B]] <- R[C]")                                                                           \
    X(NEWMEMBER, ABC, "class R[A] gets member R[B] = R[C]; the next word's A holds flags, B the attributes register") \
    X(DELETE, ABC, "R[A] = delete R[B][R[C]]")                                                                      \
    X(METHOD, ABC, "R[A+1] = R[B]; R[A] = R[B][K[C]]")                                                              \
    X(METHODR, ABC, "R[A+1] = R[B]; R[A] = R[B][R[C]]")                                                             \
    X(CALL, ABC, "R[A] = R[A](R[A+1], ..., R[A+B]); C = 0 discards the result")                                     \
    X(TAILCALL, ABC, "return R[A](R[A+1], ..., R[A+B]), reusing the frame for script callees")                     \
    X(RETURN, ABC, "return R[A] (B = 0: return null)")                                                              \
    X(ADD, ABC, "R[A] = R[B] + R[C]")                                                                               \
    X(SUB, ABC, "R[A] = R[B] - R[C]")                                                                               \
    X(MUL, ABC, "R[A] = R[B] * R[C]")                                                                               \
    X(DIV, ABC, "R[A] = R[B] / R[C]")                                                                               \
    X(MOD, ABC, "R[A] = R[B] % R[C]")                                                                               \
    X(ADDI, ABC, "R[A] = R[B] + sC")                                                                                \
    X(ADDK, ABC, "R[A] = R[B] + K[C]")                                                                              \
    X(SUBK, ABC, "R[A] = R[B] - K[C]")                                                                              \
    X(MULK, ABC, "R[A] = R[B] * K[C]")                                                                              \
    X(DIVK, ABC, "R[A] = R[B] / K[C]")                                                                              \
    X(MODK, ABC, "R[A] = R[B] % K[C]")                                                                              \
    X(UNM, ABC, "R[A] = -R[B]")                                                                                     \
    X(NOT, ABC, "R[A] = !R[B]")                                                                                     \
    X(BNOT, ABC, "R[A] = ~R[B]")                                                                                    \
    X(BAND, ABC, "R[A] = R[B] & R[C]")                                                                              \
    X(BOR, ABC, "R[A] = R[B] | R[C]")                                                                               \
    X(BXOR, ABC, "R[A] = R[B] ^ R[C]")                                                                              \
    X(SHL, ABC, "R[A] = R[B] << R[C]")                                                                              \
    X(SHR, ABC, "R[A] = R[B] >> R[C]")                                                                              \
    X(USHR, ABC, "R[A] = R[B] >>> R[C]")                                                                            \
    X(LTV, ABC, "R[A] = R[B] < R[C]")                                                                               \
    X(LEV, ABC, "R[A] = R[B] <= R[C]")                                                                              \
    X(GTV, ABC, "R[A] = R[B] > R[C]")                                                                               \
    X(GEV, ABC, "R[A] = R[B] >= R[C]")                                                                              \
    X(LTIV, ABC, "R[A] = R[B] < sC")                                                                                \
    X(LEIV, ABC, "R[A] = R[B] <= sC")                                                                               \
    X(GTIV, ABC, "R[A] = R[B] > sC")                                                                                \
    X(GEIV, ABC, "R[A] = R[B] >= sC")                                                                               \
    X(EQV, ABC, "R[A] = R[B] == R[C]")                                                                              \
    X(NEV, ABC, "R[A] = R[B] != R[C]")                                                                              \
    X(EQKV, ABC, "R[A] = R[B] == K[C]")                                                                             \
    X(NEKV, ABC, "R[A] = R[B] != K[C]")                                                                             \
    X(CMP3, ABC, "R[A] = R[B] <=> R[C]")                                                                            \
    X(LT, ABC, "if (R[A] < R[B]) != C skip the next jump")                                                         \
    X(LE, ABC, "if (R[A] <= R[B]) != C skip the next jump")                                                        \
    X(GT, ABC, "if (R[A] > R[B]) != C skip the next jump")                                                         \
    X(GE, ABC, "if (R[A] >= R[B]) != C skip the next jump")                                                        \
    X(LTI, ABC, "if (R[A] < sB) != C skip the next jump")                                                          \
    X(LEI, ABC, "if (R[A] <= sB) != C skip the next jump")                                                         \
    X(GTI, ABC, "if (R[A] > sB) != C skip the next jump")                                                          \
    X(GEI, ABC, "if (R[A] >= sB) != C skip the next jump")                                                         \
    X(EQ, ABC, "if (R[A] == R[B]) != C skip the next jump")                                                        \
    X(EQK, ABC, "if (R[A] == K[B]) != C skip the next jump")                                                       \
    X(TEST, ABC, "if truthy(R[A]) != B skip the next jump")                                                         \
    X(JMP, sJ, "pc += sJ")                                                                                          \
    X(IN, ABC, "R[A] = R[B] in R[C]")                                                                               \
    X(INSTANCEOF, ABC, "R[A] = R[B] instanceof R[C]")                                                               \
    X(TYPEOF, ABC, "R[A] = typeof R[B]")                                                                            \
    X(CLONE, ABC, "R[A] = clone R[B]")                                                                              \
    X(RESUME, ABC, "R[A] = resume R[B]")                                                                            \
    X(YIELD, ABC, "yield R[A] (B = 0: yield null)")                                                                 \
    X(CLOSURE, ABx, "R[A] = closure of nested function Bx")                                                         \
    X(NEWTABLE, ABx, "R[A] = {} with room for Bx slots")                                                            \
    X(NEWARRAY, ABx, "R[A] = [] with room for Bx items")                                                            \
    X(APPEND, ABC, "R[A].append(R[B])")                                                                             \
    X(NEWCLASS, ABC, "R[A] = class extends R[B] (255: none) with attributes R[C] (255: none)")                     \
    X(FOREACH, ABC, "B = 0: next of R[A] into R[A+1] (key), R[A+2] (value) with iterator R[A+3]; B = 1: next of R[C] into R[A], R[A+1], iterator R[A+2]; at the end take the next jump") \
    X(PUSHTRAP, ABC, "catch errors into R[A]; the next word is a jump to the handler")                              \
    X(POPTRAP, ABC, "drop A traps")                                                                                 \
    X(THROW, ABC, "throw R[A]")                                                                                     \
    X(GETBASE, ABC, "R[A] = base class of the running method")                                                     \
    X(CLOSE, ABC, "close captured variables at or above R[A]")                                                      \
    X(LINE, sJ, "line event for line sJ (debug info only)")                                                         \
    X(EXTRA, ABC, "operands for the previous instruction")                                                         \
    /* Constant-operand forms, added later: numbered after the rest so images stay valid. */                      \
    X(BANDK, ABC, "R[A] = R[B] & K[C]")                                                                             \
    X(BORK, ABC, "R[A] = R[B] | K[C]")                                                                              \
    X(BXORK, ABC, "R[A] = R[B] ^ K[C]")                                                                             \
    X(SHLK, ABC, "R[A] = R[B] << K[C]")                                                                             \
    X(SHRK, ABC, "R[A] = R[B] >> K[C]")                                                                             \
    X(USHRK, ABC, "R[A] = R[B] >>> K[C]")                                                                           \
    X(LTKV, ABC, "R[A] = R[B] < K[C]")                                                                              \
    X(LEKV, ABC, "R[A] = R[B] <= K[C]")                                                                             \
    X(GTKV, ABC, "R[A] = R[B] > K[C]")                                                                              \
    X(GEKV, ABC, "R[A] = R[B] >= K[C]")                                                                             \
    X(LTK, ABC, "if (R[A] < K[B]) != C skip the next jump")                                                        \
    X(LEK, ABC, "if (R[A] <= K[B]) != C skip the next jump")                                                       \
    X(GTK, ABC, "if (R[A] > K[B]) != C skip the next jump")                                                        \
    X(GEK, ABC, "if (R[A] >= K[B]) != C skip the next jump")                                                      \
    X(INCLT, ABC, "R[A] += sC; if R[A] < R[B] take the next jump, else skip it (a for loop's step and test)")      \
    X(INCLTI, ABC, "R[A] += sC; if R[A] < sB take the next jump, else skip it")                                   \
    X(INCLTK, ABC, "R[A] += sC; if R[A] < K[B] take the next jump, else skip it")

enum OpCode : uint8_t {
#define NUT_OP_ENUM(name, fmt, meaning) OP_##name,
    NUT_OPCODES(NUT_OP_ENUM)
#undef NUT_OP_ENUM
        OP_COUNT
};

constexpr int kMaxRegisters = 255; // registers 0..254; 255 means "none" in operands
constexpr uint8_t kNoReg = 255;
constexpr int kMaxBx = 0xFFFF;
constexpr int kSBxBias = 0x7FFF;
constexpr int kSJBias = 0x7FFFFF;
constexpr int kMaxSJ = 0x7FFFFF;

constexpr uint32_t MakeABC(OpCode op, uint32_t a, uint32_t b, uint32_t c)
{
    return static_cast<uint32_t>(op) | (a << 8) | (b << 16) | (c << 24);
}
inline uint32_t MakeABx(OpCode op, uint32_t a, uint32_t bx) { return static_cast<uint32_t>(op) | (a << 8) | (bx << 16); }
inline uint32_t MakeAsBx(OpCode op, uint32_t a, int32_t sbx)
{
    return MakeABx(op, a, static_cast<uint32_t>(sbx + kSBxBias));
}
inline uint32_t MakeSJ(OpCode op, int32_t sj) { return static_cast<uint32_t>(op) | (static_cast<uint32_t>(sj + kSJBias) << 8); }

inline OpCode OpOf(uint32_t i) { return static_cast<OpCode>(i & 0xFF); }
inline uint32_t ArgA(uint32_t i) { return (i >> 8) & 0xFF; }
inline uint32_t ArgB(uint32_t i) { return (i >> 16) & 0xFF; }
inline uint32_t ArgC(uint32_t i) { return i >> 24; }
inline int32_t ArgSB(uint32_t i) { return static_cast<int8_t>(ArgB(i)); }
inline int32_t ArgSC(uint32_t i) { return static_cast<int8_t>(ArgC(i)); }
inline uint32_t ArgBx(uint32_t i) { return i >> 16; }
inline int32_t ArgSBx(uint32_t i) { return static_cast<int32_t>(ArgBx(i)) - kSBxBias; }
inline int32_t ArgSJ(uint32_t i) { return static_cast<int32_t>(i >> 8) - kSJBias; }

inline uint32_t SetArgA(uint32_t i, uint32_t a) { return (i & ~0xFF00u) | (a << 8); }
inline uint32_t SetArgSJ(uint32_t i, int32_t sj) { return (i & 0xFFu) | (static_cast<uint32_t>(sj + kSJBias) << 8); }

const char *OpName(OpCode op);

} // namespace nut
