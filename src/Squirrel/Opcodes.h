// Bytecode of the register machine. R(n) is register n of the running frame (R(0) is `this`),
// K(n) literal n of the function.
#pragma once

#include <cstdint>

namespace Squirrel {

enum Op : uint8_t {
    OP_LOADK,       // R(a) = K(x)
    OP_LOADINT,     // R(a) = x
    OP_LOADFLOAT,   // R(a) = float with the bits of x
    OP_LOADNULL,    // R(a) .. R(a+x-1) = null
    OP_LOADBOOL,    // R(a) = b != 0
    OP_LOADROOT,    // R(a) = root table of the closure
    OP_MOVE,        // R(a) = R(b)
    OP_GETOUTER,    // R(a) = outer x
    OP_SETOUTER,    // outer x = R(b)
    OP_GETK,        // R(a) = R(b)[K(x)]; c: fall back to the root table
    OP_GET,         // R(a) = R(b)[R(c)]
    OP_SETK,        // R(a)[K(x)] = R(b); c: fall back to the root table
    OP_SET,         // R(a)[R(b)] = R(c)
    OP_NEWSLOTK,    // R(a)[K(x)] <- R(b)
    OP_NEWSLOT,     // R(a)[R(b)] <- R(c)
    OP_NEWMEMBER,   // class R(a): R(b) <- R(c); x & 0xFF attributes register (0xFF none), x & 0x100 static
    OP_DELETE,      // R(a) = delete R(b)[R(c)]
    OP_PREPCALLK,   // R(a) = R(b)[K(x)]; R(a+1) = R(b); c: fall back to the root table
    OP_PREPCALL,    // R(a) = R(b)[R(c)]; R(a+1) = R(b)
    OP_CALL,        // R(a) = R(b)(R(b+1) .. R(b+c))   c counts `this`
    OP_TAILCALL,    // return R(b)(R(b+1) .. R(b+c))
    OP_RETURN,      // return R(a) when b, else null
    OP_ADD,         // R(a) = R(b) + R(c)
    OP_SUB,
    OP_MUL,
    OP_DIV,
    OP_MOD,
    OP_ADDI,        // R(a) = R(b) + x
    OP_SUBI,        // R(a) = R(b) - x
    OP_PINC,        // R(a) = R(b); R(b) = R(b) + x   (postfix increment of a local)
    OP_BAND,
    OP_BOR,
    OP_BXOR,
    OP_SHL,
    OP_SHR,
    OP_USHR,
    OP_EQ,          // R(a) = R(b) == R(c)
    OP_NE,
    OP_LT,
    OP_LE,
    OP_GT,
    OP_GE,
    OP_CMP3,        // R(a) = R(b) <=> R(c)
    OP_CMPK,        // R(a) = R(b) <cmp c> K(x)   (kinds as OP_JCMP)
    OP_NOT,         // R(a) = !R(b)
    OP_NEG,         // R(a) = -R(b)
    OP_BNOT,        // R(a) = ~R(b)
    OP_TYPEOF,      // R(a) = typeof R(b)
    OP_CLONE,       // R(a) = clone R(b)
    OP_IN,          // R(a) = R(b) in R(c)
    OP_INSTANCEOF,  // R(a) = R(b) instanceof R(c)
    OP_JMP,         // pc += x
    OP_JZ,          // if !R(a) pc += x
    OP_JNZ,         // if R(a) pc += x
    OP_JCMP,        // if !(R(b) <cmp a> R(c)) pc += x ; a: 0 <, 1 <=, 2 >, 3 >=, 4 ==, 5 !=
    OP_JCMPK,       // if !(R(b) <cmp a> K(c)) pc += x
    OP_CLOSURE,     // R(a) = closure of function x
    OP_NEWTABLE,    // R(a) = {} with room for x slots
    OP_NEWARRAY,    // R(a) = [] with room for x items
    OP_APPEND,      // R(a).append(R(b))
    OP_NEWCLASS,    // R(a) = class extends R(b) (0xFF none) with attributes R(c) (0xFF none)
    OP_GETBASE,     // R(a) = base class of the running method
    OP_FOREACH,     // iterate R(a) with key R(a+1), value R(a+2), iterator R(a+3); done: pc += x
    OP_POSTFOREACH, // after a generator step: done when the generator R(a) died: pc += x
    OP_PUSHTRAP,    // on error: R(a) = error, pc = here + x
    OP_POPTRAP,     // drop x traps
    OP_THROW,       // throw R(a)
    OP_YIELD,       // yield R(a) when b, else null
    OP_RESUME,      // R(a) = resume R(b)
    OP_CLOSE,       // close outers at or above R(a)
    OP_LINE,        // a statement on line x starts (only with debug info, for the debug hook)
    OP_COUNT
};

// Every opcode, in enum order (used to build the dispatch table).
#define SQUIRREL_OPCODES(X) \
    X(OP_LOADK) \
    X(OP_LOADINT) \
    X(OP_LOADFLOAT) \
    X(OP_LOADNULL) \
    X(OP_LOADBOOL) \
    X(OP_LOADROOT) \
    X(OP_MOVE) \
    X(OP_GETOUTER) \
    X(OP_SETOUTER) \
    X(OP_GETK) \
    X(OP_GET) \
    X(OP_SETK) \
    X(OP_SET) \
    X(OP_NEWSLOTK) \
    X(OP_NEWSLOT) \
    X(OP_NEWMEMBER) \
    X(OP_DELETE) \
    X(OP_PREPCALLK) \
    X(OP_PREPCALL) \
    X(OP_CALL) \
    X(OP_TAILCALL) \
    X(OP_RETURN) \
    X(OP_ADD) \
    X(OP_SUB) \
    X(OP_MUL) \
    X(OP_DIV) \
    X(OP_MOD) \
    X(OP_ADDI) \
    X(OP_SUBI) \
    X(OP_PINC) \
    X(OP_BAND) \
    X(OP_BOR) \
    X(OP_BXOR) \
    X(OP_SHL) \
    X(OP_SHR) \
    X(OP_USHR) \
    X(OP_EQ) \
    X(OP_NE) \
    X(OP_LT) \
    X(OP_LE) \
    X(OP_GT) \
    X(OP_GE) \
    X(OP_CMP3) \
    X(OP_CMPK) \
    X(OP_NOT) \
    X(OP_NEG) \
    X(OP_BNOT) \
    X(OP_TYPEOF) \
    X(OP_CLONE) \
    X(OP_IN) \
    X(OP_INSTANCEOF) \
    X(OP_JMP) \
    X(OP_JZ) \
    X(OP_JNZ) \
    X(OP_JCMP) \
    X(OP_JCMPK) \
    X(OP_CLOSURE) \
    X(OP_NEWTABLE) \
    X(OP_NEWARRAY) \
    X(OP_APPEND) \
    X(OP_NEWCLASS) \
    X(OP_GETBASE) \
    X(OP_FOREACH) \
    X(OP_POSTFOREACH) \
    X(OP_PUSHTRAP) \
    X(OP_POPTRAP) \
    X(OP_THROW) \
    X(OP_YIELD) \
    X(OP_RESUME) \
    X(OP_CLOSE) \
    X(OP_LINE)

enum CmpKind : uint8_t { CMP_LT, CMP_LE, CMP_GT, CMP_GE, CMP_EQ, CMP_NE };

constexpr uint8_t kNoReg = 0xFF;

}  // namespace Squirrel
