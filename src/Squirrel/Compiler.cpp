// Single-pass compiler: parses Squirrel source and emits register bytecode directly.
#include "Lexer.h"
#include "VM.h"

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

namespace Squirrel {

namespace {

struct CompileAbort {};

constexpr int kMaxRegisters = 250;
constexpr int kMaxNesting = 200;

// How an expression's value is available while it is being compiled.
enum class EK : uint8_t {
    Void,
    Null,
    True,
    False,
    Int,
    Float,
    Lit,    // literal `key`
    Local,  // named local in `reg`
    Temp,   // temporary register `reg` (the top of the register stack)
    Copy,   // value in the just-freed register `reg`, to be moved before anything else is emitted
    Reloc,  // instruction at pc `key` whose `a` is the destination, still to be set
    Outer,  // free variable `key`
    Field,  // R(reg)[R(key)]
    FieldK, // R(reg)[K(key)]
};

struct Exp {
    EK k = EK::Void;
    int reg = 0;
    int key = 0;
    Integer ival = 0;
    Float fval = 0;
    bool baseObj = false;  // field of `base`: a call passes the current `this`

    static Exp make(EK k, int reg = 0, int key = 0) {
        Exp e;
        e.k = k;
        e.reg = reg;
        e.key = key;
        return e;
    }
};

struct LocalVar {
    Value name;
    int reg;
    uint32_t startPc;
    bool captured = false;
    bool hidden = false;
};

struct Breakable {
    std::vector<int> breaks;
    std::vector<int> continues;
    int nlocals;    // active locals when the construct started
    int traps;      // try nesting when the construct started
    bool isSwitch;
};

struct FuncState {
    FuncState* parent = nullptr;
    FuncProto* proto = nullptr;
    Value protoVal;
    std::vector<LocalVar> actives;
    int freeReg = 0;
    int maxReg = 0;
    int traps = 0;
    std::vector<Breakable> breakables;
    std::map<std::pair<int, Integer>, int> literalIndex;
    int lastLine = -1;
    int ndefaults = 0;
};

class Compiler {
public:
    Compiler(VM* vm, const char* src, size_t len, const char* sourceName)
        : ss_(vm->ss), lex_(src, len) {
        source_ = makeString(ss_, sourceName ? sourceName : "unnamedbuffer");
    }

    bool run(Value& out, CompileError& err) {
        FuncState main;
        try {
            next();
            openFunction(main, nullptr);
            main.proto->name = makeString(ss_, "main");
            declareLocal(ss_->strThis, 0);
            main.proto->parameterNames.push_back(ss_->strThis);
            // the main chunk takes varargs
            declareLocal(ss_->strVargv, 0);
            main.proto->parameterNames.push_back(ss_->strVargv);
            main.proto->parameterNames.push_back(makeString(ss_, "..."));
            main.proto->varargs = true;
            main.proto->nparams = 1;
            while (lex_.token != TK_EOF) {
                statement();
                if (prevTok_ != '}' && prevTok_ != ';') optionalSemicolon();
            }
            emit(OP_RETURN, 0, 0);
            closeFunction(main);
            out = main.protoVal;
            return true;
        } catch (CompileAbort&) {
            err.message = errMsg_;
            err.line = errLine_;
            err.column = errCol_;
            // nested function states were owned by the frames that were unwound
            fs_ = nullptr;
            return false;
        }
    }

private:
    // ---------------------------------------------------------------------------------------
    // errors and tokens
    // ---------------------------------------------------------------------------------------
    [[noreturn]] void error(const std::string& msg) {
        errMsg_ = msg;
        errLine_ = lex_.line;
        errCol_ = lex_.column;
        throw CompileAbort();
    }
    void next() {
        prevTok_ = lex_.token;
        if (!lex_.lex()) error(lex_.error());
    }
    void expect(int tok) {
        if (lex_.token != tok) {
            if (tok < 256) {
                char buf[32];
                std::snprintf(buf, sizeof buf, "expected '%c'", tok);
                error(buf);
            }
            error(std::string("expected '") + Lexer::tokenName(tok) + "'");
        }
        next();
    }
    std::string expectIdentifier() {
        if (lex_.token != TK_IDENTIFIER) error("expected 'IDENTIFIER'");
        std::string s = lex_.str;
        next();
        return s;
    }
    bool isEndOfStatement() const {
        return lex_.newlineBefore || lex_.token == TK_EOF || lex_.token == '}' || lex_.token == ';';
    }
    void optionalSemicolon() {
        if (lex_.token == ';') {
            next();
            return;
        }
        if (!isEndOfStatement()) error("end of statement expected (; or lf)");
    }

    struct DepthGuard {
        Compiler& c;
        explicit DepthGuard(Compiler& comp) : c(comp) {
            if (++c.depth_ > kMaxNesting) c.error("script too deeply nested");
        }
        ~DepthGuard() { --c.depth_; }
    };

    // ---------------------------------------------------------------------------------------
    // function state, registers, literals
    // ---------------------------------------------------------------------------------------
    void openFunction(FuncState& f, FuncState* parent) {
        f.parent = parent;
        f.proto = ss_->newFuncProto();
        f.protoVal = Value(f.proto);
        f.proto->source = source_;
        fs_ = &f;
    }
    void closeFunction(FuncState& f) {
        // the remaining locals go out of scope at the end of the function
        uint32_t endPc = uint32_t(f.proto->code.size());
        for (int i = int(f.actives.size()) - 1; i >= 0; --i) {
            LocalVar& lv = f.actives[size_t(i)];
            if (lv.hidden) continue;
            f.proto->locals.push_back(LocalVarInfo{lv.name, uint32_t(lv.reg), lv.startPc, endPc});
        }
        f.actives.clear();
        f.proto->stackSize = uint32_t(f.maxReg < 2 ? 2 : f.maxReg);
        fs_ = f.parent;
    }

    int reserve(int n = 1) {
        int r = fs_->freeReg;
        fs_->freeReg += n;
        if (fs_->freeReg > kMaxRegisters) error("too many local variables");
        if (fs_->freeReg > fs_->maxReg) fs_->maxReg = fs_->freeReg;
        return r;
    }
    int nactive() const { return int(fs_->actives.size()); }
    void freeRegister(int r) {
        if (r >= nactive() && r == fs_->freeReg - 1) fs_->freeReg--;
    }
    void freeExp(const Exp& e) {
        if (e.k == EK::Temp) freeRegister(e.reg);
        else if (e.k == EK::Field) {
            if (e.key > e.reg) {
                freeRegister(e.key);
                freeRegister(e.reg);
            } else {
                freeRegister(e.reg);
                freeRegister(e.key);
            }
        } else if (e.k == EK::FieldK) {
            freeRegister(e.reg);
        }
    }
    void freeTwo(const Exp& a, const Exp& b) {
        int ra = a.k == EK::Temp ? a.reg : -1;
        int rb = b.k == EK::Temp ? b.reg : -1;
        if (ra > rb) {
            freeExp(a);
            freeExp(b);
        } else {
            freeExp(b);
            freeExp(a);
        }
    }

    int literal(const Value& v) {
        auto key = std::make_pair(int(v.type), v.i);
        auto it = fs_->literalIndex.find(key);
        if (it != fs_->literalIndex.end()) return it->second;
        int idx = int(fs_->proto->literals.size());
        fs_->proto->literals.push_back(v);
        fs_->literalIndex[key] = idx;
        return idx;
    }
    int stringLiteral(const std::string& s) { return literal(makeString(ss_, s)); }

    int pc() const { return int(fs_->proto->code.size()); }
    int emit(uint8_t op, int a = 0, int b = 0, int c = 0, int32_t x = 0) {
        Instr in;
        in.op = op;
        in.a = uint8_t(a);
        in.b = uint8_t(b);
        in.c = uint8_t(c);
        in.x = x;
        fs_->proto->code.push_back(in);
        return pc() - 1;
    }
    Instr& code(int at) { return fs_->proto->code[size_t(at)]; }
    void patchJump(int at, int target) { code(at).x = target - (at + 1); }
    void patchToHere(int at) {
        if (at >= 0) patchJump(at, pc());
    }
    void markLine(Integer line) {
        if (line != fs_->lastLine) {
            fs_->proto->lines.push_back(LineInfo{uint32_t(pc()), int32_t(line)});
            fs_->lastLine = int(line);
        }
    }

    // ---------------------------------------------------------------------------------------
    // locals and name resolution
    // ---------------------------------------------------------------------------------------
    int declareLocal(const Value& name, uint32_t startPc, bool hidden = false) {
        int r = nactive();
        if (fs_->freeReg <= r) reserve(r + 1 - fs_->freeReg);
        LocalVar lv;
        lv.name = name;
        lv.reg = r;
        lv.startPc = startPc;
        lv.hidden = hidden;
        fs_->actives.push_back(lv);
        return r;
    }
    void removeLocals(int downTo) {
        uint32_t endPc = uint32_t(pc());
        while (nactive() > downTo) {
            LocalVar& lv = fs_->actives.back();
            if (!lv.hidden)
                fs_->proto->locals.push_back(LocalVarInfo{lv.name, uint32_t(lv.reg), lv.startPc, endPc});
            fs_->actives.pop_back();
        }
        fs_->freeReg = nactive();
    }
    bool anyCaptured(int from) const {
        for (size_t i = size_t(from); i < fs_->actives.size(); ++i)
            if (fs_->actives[i].captured) return true;
        return false;
    }
    void beginScope(int& saved) { saved = nactive(); }
    void endScope(int saved) {
        if (anyCaptured(saved)) emit(OP_CLOSE, saved);
        removeLocals(saved);
    }

    static int findLocal(FuncState* f, const String* name) {
        for (int i = int(f->actives.size()) - 1; i >= 0; --i) {
            const LocalVar& lv = f->actives[size_t(i)];
            if (!lv.hidden && lv.name.s == name) return i;
        }
        return -1;
    }
    int findOuter(FuncState* f, String* name) {
        for (size_t i = 0; i < f->proto->outers.size(); ++i)
            if (f->proto->outers[i].name.s == name) return int(i);
        if (!f->parent) return -1;
        int li = findLocal(f->parent, name);
        if (li >= 0) {
            LocalVar& lv = f->parent->actives[size_t(li)];
            lv.captured = true;
            f->proto->outers.push_back(OuterInfo{lv.name, true, uint32_t(lv.reg)});
            return int(f->proto->outers.size() - 1);
        }
        int oi = findOuter(f->parent, name);
        if (oi < 0) return -1;
        f->proto->outers.push_back(OuterInfo{Value(name), false, uint32_t(oi)});
        return int(f->proto->outers.size() - 1);
    }

    Exp constantExp(const Value& v) {
        switch (v.type) {
        case ObjectType::Null: return Exp::make(EK::Null);
        case ObjectType::Bool: return Exp::make(v.b ? EK::True : EK::False);
        case ObjectType::Integer: {
            Exp e = Exp::make(EK::Int);
            e.ival = v.i;
            return e;
        }
        case ObjectType::Float: {
            Exp e = Exp::make(EK::Float);
            e.fval = v.f;
            return e;
        }
        default: return Exp::make(EK::Lit, 0, literal(v));
        }
    }

    Exp identifier(const std::string& nameStr) {
        Value name = makeString(ss_, nameStr);
        int li = findLocal(fs_, name.s);
        if (li >= 0) return Exp::make(EK::Local, fs_->actives[size_t(li)].reg);
        int oi = findOuter(fs_, name.s);
        if (oi >= 0) return Exp::make(EK::Outer, 0, oi);
        Value cval;
        if (ss_->consts.type == ObjectType::Table && ss_->consts.t->get(name, cval)) {
            if (cval.type == ObjectType::Table) {
                // enum: the member is resolved now
                expect('.');
                std::string member = expectIdentifier();
                Value mval;
                if (!cval.t->get(makeString(ss_, member), mval)) error("invalid enum member");
                return constantExp(mval);
            }
            return constantExp(cval);
        }
        // not a local: a member of `this`, falling back to the root table
        return Exp::make(EK::FieldK, 0, literal(name));
    }

    // ---------------------------------------------------------------------------------------
    // expression discharge
    // ---------------------------------------------------------------------------------------
    void loadInt(int reg, Integer v) {
        if (v >= INT32_MIN && v <= INT32_MAX)
            emit(OP_LOADINT, reg, 0, 0, int32_t(v));
        else
            emit(OP_LOADK, reg, 0, 0, literal(Value(v)));
    }
    // Puts the value of e into register reg (which is reserved).
    void exp2reg(Exp& e, int reg) {
        switch (e.k) {
        case EK::Void: error("expression expected");
        case EK::Null: emit(OP_LOADNULL, reg, 0, 0, 1); break;
        case EK::True: emit(OP_LOADBOOL, reg, 1); break;
        case EK::False: emit(OP_LOADBOOL, reg, 0); break;
        case EK::Int: loadInt(reg, e.ival); break;
        case EK::Float: {
            int32_t bits;
            std::memcpy(&bits, &e.fval, 4);
            emit(OP_LOADFLOAT, reg, 0, 0, bits);
            break;
        }
        case EK::Lit: emit(OP_LOADK, reg, 0, 0, e.key); break;
        case EK::Local:
        case EK::Temp:
        case EK::Copy:
            if (e.reg != reg) emit(OP_MOVE, reg, e.reg);
            break;
        case EK::Reloc: code(e.key).a = uint8_t(reg); break;
        case EK::Outer: emit(OP_GETOUTER, reg, 0, 0, e.key); break;
        case EK::Field: emit(OP_GET, reg, e.reg, e.key, e.reg == 0 ? 1 : 0); break;
        case EK::FieldK: emit(OP_GETK, reg, e.reg, e.reg == 0 ? 1 : 0, e.key); break;
        }
        e = Exp::make(EK::Temp, reg);
    }
    int exp2nextreg(Exp& e) {
        freeExp(e);
        int r = reserve();
        exp2reg(e, r);
        return r;
    }
    int exp2anyreg(Exp& e) {
        if (e.k == EK::Local || e.k == EK::Temp) return e.reg;
        return exp2nextreg(e);
    }
    bool isConstant(const Exp& e) const {
        return e.k == EK::Null || e.k == EK::True || e.k == EK::False || e.k == EK::Int ||
               e.k == EK::Float || e.k == EK::Lit;
    }
    // Evaluates e now unless it is a constant or a plain local (left operands).
    void prepareOperand(Exp& e) {
        if (!isConstant(e) && e.k != EK::Local) exp2anyreg(e);
    }
    // Emits the side effects of an unused expression.
    void discard(Exp& e) {
        if (e.k == EK::Reloc && code(e.key).op == OP_PINC) {
            Instr& in = code(e.key);
            in.op = OP_ADDI;
            in.a = in.b;
            return;
        }
        if (e.k == EK::Reloc || e.k == EK::Field || e.k == EK::FieldK || e.k == EK::Outer) {
            int r = exp2nextreg(e);
            freeRegister(r);
            return;
        }
        freeExp(e);
    }

    // ---------------------------------------------------------------------------------------
    // expressions
    // ---------------------------------------------------------------------------------------
    Exp commaExpr() {
        Exp e = expression();
        while (lex_.token == ',') {
            next();
            discard(e);
            e = expression();
        }
        return e;
    }

    static bool isAssignOp(int tok) {
        return tok == '=' || tok == TK_NEWSLOT || tok == TK_PLUSEQ || tok == TK_MINUSEQ ||
               tok == TK_MULEQ || tok == TK_DIVEQ || tok == TK_MODEQ;
    }
    static uint8_t compoundOp(int tok) {
        switch (tok) {
        case TK_PLUSEQ: return OP_ADD;
        case TK_MINUSEQ: return OP_SUB;
        case TK_MULEQ: return OP_MUL;
        case TK_DIVEQ: return OP_DIV;
        default: return OP_MOD;
        }
    }

    Exp expression() {
        DepthGuard guard(*this);
        Exp e = logicalOr();
        int tok = lex_.token;
        if (isAssignOp(tok)) {
            next();
            return assignment(e, tok);
        }
        if (tok == '?') {
            next();
            int jf = condJumpFalse(e);
            int target = reserve();
            Exp t = expression();
            freeExp(t);
            if (fs_->freeReg <= target) fs_->freeReg = target + 1;
            exp2reg(t, target);
            int jend = emit(OP_JMP);
            expect(':');
            patchToHere(jf);
            Exp f = expression();
            freeExp(f);
            if (fs_->freeReg <= target) fs_->freeReg = target + 1;
            exp2reg(f, target);
            patchToHere(jend);
            return Exp::make(EK::Temp, target);
        }
        return e;
    }

    Exp assignment(Exp& lhs, int tok) {
        if (tok == TK_NEWSLOT) {
            if (lhs.k != EK::Field && lhs.k != EK::FieldK) error("can't assign expression");
            Exp rhs = expression();
            int vr = exp2anyreg(rhs);
            if (lhs.k == EK::FieldK)
                emit(OP_NEWSLOTK, lhs.reg, vr, 0, lhs.key);
            else
                emit(OP_NEWSLOT, lhs.reg, lhs.key, vr);
            return finishStore(lhs, rhs, vr);
        }
        switch (lhs.k) {
        case EK::Local: {
            if (lhs.reg == 0) error("can't assign expression");  // register 0 is `this`
            Exp rhs = expression();
            if (tok == '=') {
                freeExp(rhs);
                exp2reg(rhs, lhs.reg);
            } else {
                int vr = exp2anyreg(rhs);
                emit(compoundOp(tok), lhs.reg, lhs.reg, vr);
                freeExp(rhs);
            }
            return Exp::make(EK::Local, lhs.reg);
        }
        case EK::Outer: {
            Exp rhs = expression();
            int vr;
            if (tok == '=') {
                vr = exp2anyreg(rhs);
            } else {
                int rr = exp2anyreg(rhs);
                int t = reserve();
                emit(OP_GETOUTER, t, 0, 0, lhs.key);
                emit(compoundOp(tok), t, t, rr);
                emit(OP_SETOUTER, 0, t, 0, lhs.key);
                freeRegister(t);
                freeExp(rhs);
                return Exp::make(EK::Copy, t);
            }
            emit(OP_SETOUTER, 0, vr, 0, lhs.key);
            return rhs;
        }
        case EK::Field:
        case EK::FieldK: {
            Exp rhs = expression();
            int vr;
            if (tok == '=') {
                vr = exp2anyreg(rhs);
            } else {
                int rr = exp2anyreg(rhs);
                int t = reserve();
                if (lhs.k == EK::FieldK)
                    emit(OP_GETK, t, lhs.reg, lhs.reg == 0 ? 1 : 0, lhs.key);
                else
                    emit(OP_GET, t, lhs.reg, lhs.key, lhs.reg == 0 ? 1 : 0);
                emit(compoundOp(tok), t, t, rr);
                if (lhs.k == EK::FieldK)
                    emit(OP_SETK, lhs.reg, t, lhs.reg == 0 ? 1 : 0, lhs.key);
                else
                    emit(OP_SET, lhs.reg, lhs.key, t, lhs.reg == 0 ? 1 : 0);
                freeRegister(t);
                freeExp(rhs);
                freeExp(lhs);
                return Exp::make(EK::Copy, t);
            }
            if (lhs.k == EK::FieldK)
                emit(OP_SETK, lhs.reg, vr, lhs.reg == 0 ? 1 : 0, lhs.key);
            else
                emit(OP_SET, lhs.reg, lhs.key, vr, lhs.reg == 0 ? 1 : 0);
            return finishStore(lhs, rhs, vr);
        }
        default:
            error("can't assign expression");
        }
    }
    // After a store into a field: frees the operands and leaves the stored value readable.
    Exp finishStore(Exp& lhs, Exp& rhs, int vr) {
        if (rhs.k == EK::Local) {
            freeExp(lhs);
            return rhs;
        }
        freeExp(rhs);
        freeExp(lhs);
        return Exp::make(EK::Copy, vr);
    }

    // Jump taken when e is false; returns the jump to patch.
    int condJumpFalse(Exp& e) {
        if (e.k == EK::Reloc && e.key == pc() - 1 && code(e.key).op == OP_CMPK) {
            Instr& in = code(e.key);
            int lit = in.x;
            in.op = OP_JCMPK;
            in.a = in.c;
            in.c = uint8_t(lit);
            in.x = 0;
            return e.key;
        }
        if (e.k == EK::Reloc && e.key == pc() - 1) {
            Instr& in = code(e.key);
            int kind = -1;
            switch (in.op) {
            case OP_LT: kind = CMP_LT; break;
            case OP_LE: kind = CMP_LE; break;
            case OP_GT: kind = CMP_GT; break;
            case OP_GE: kind = CMP_GE; break;
            case OP_EQ: kind = CMP_EQ; break;
            case OP_NE: kind = CMP_NE; break;
            default: break;
            }
            if (kind >= 0) {
                in.op = OP_JCMP;
                in.a = uint8_t(kind);
                in.x = 0;
                return e.key;
            }
        }
        int r = exp2anyreg(e);
        freeExp(e);
        return emit(OP_JZ, r);
    }
    // Jump taken when e is true.
    int condJumpTrue(Exp& e) {
        int r = exp2anyreg(e);
        freeExp(e);
        return emit(OP_JNZ, r);
    }

    Exp logicalOr() {
        Exp e = logicalAnd();
        while (lex_.token == TK_OR) {
            next();
            int r = exp2nextreg(e);
            int j = emit(OP_JNZ, r);
            Exp e2 = logicalAnd();
            freeExp(e2);
            exp2reg(e2, r);
            patchToHere(j);
            e = Exp::make(EK::Temp, r);
        }
        return e;
    }
    Exp logicalAnd() {
        Exp e = bitOr();
        while (lex_.token == TK_AND) {
            next();
            int r = exp2nextreg(e);
            int j = emit(OP_JZ, r);
            Exp e2 = bitOr();
            freeExp(e2);
            exp2reg(e2, r);
            patchToHere(j);
            e = Exp::make(EK::Temp, r);
        }
        return e;
    }

    bool foldInt(uint8_t op, Exp& a, const Exp& b) {
        if (a.k != EK::Int || b.k != EK::Int) return false;
        uint64_t x = uint64_t(a.ival), y = uint64_t(b.ival);
        switch (op) {
        case OP_ADD: a.ival = Integer(x + y); return true;
        case OP_SUB: a.ival = Integer(x - y); return true;
        case OP_MUL: a.ival = Integer(x * y); return true;
        case OP_BAND: a.ival = Integer(x & y); return true;
        case OP_BOR: a.ival = Integer(x | y); return true;
        case OP_BXOR: a.ival = Integer(x ^ y); return true;
        case OP_SHL: a.ival = Integer(x << (y & 63)); return true;
        default: return false;
        }
    }
    static int cmpKindOf(uint8_t op) {
        switch (op) {
        case OP_LT: return CMP_LT;
        case OP_LE: return CMP_LE;
        case OP_GT: return CMP_GT;
        case OP_GE: return CMP_GE;
        case OP_EQ: return CMP_EQ;
        case OP_NE: return CMP_NE;
        default: return -1;
        }
    }
    Exp binary(uint8_t op, Exp& a, Exp& b) {
        if (foldInt(op, a, b)) return a;
        bool aConst = isConstant(a);
        // integer immediates for + and -
        if ((op == OP_ADD || op == OP_SUB) && b.k == EK::Int && !aConst && b.ival >= INT32_MIN + 1 &&
            b.ival <= INT32_MAX) {
            int ra = exp2anyreg(a);
            freeExp(a);
            int at = emit(op == OP_ADD ? OP_ADDI : OP_SUBI, 0, ra, 0, int32_t(b.ival));
            return Exp::make(EK::Reloc, 0, at);
        }
        // comparisons with a constant on the right
        int kind = cmpKindOf(op);
        if (kind >= 0 && !aConst && (b.k == EK::Int || b.k == EK::Float || b.k == EK::Lit)) {
            Value kv;
            if (b.k == EK::Int) kv = Value(b.ival);
            else if (b.k == EK::Float) kv = Value(b.fval);
            else kv = fs_->proto->literals[size_t(b.key)];
            int lit = literal(kv);
            if (lit < 256) {
                int ra = exp2anyreg(a);
                freeExp(a);
                int at = emit(OP_CMPK, 0, ra, kind, lit);
                return Exp::make(EK::Reloc, 0, at);
            }
        }
        int rb = exp2anyreg(b);
        int ra = exp2anyreg(a);
        freeTwo(a, b);
        int at = emit(op, 0, ra, rb);
        return Exp::make(EK::Reloc, 0, at);
    }

    template <typename Next>
    Exp binaryLevel(Next nextLevel, uint8_t (*opFor)(int)) {
        Exp e = (this->*nextLevel)();
        for (;;) {
            uint8_t op = opFor(lex_.token);
            if (op == OP_COUNT) return e;
            next();
            prepareOperand(e);
            Exp e2 = (this->*nextLevel)();
            e = binary(op, e, e2);
        }
    }
    static uint8_t opBitOr(int t) { return t == '|' ? OP_BOR : OP_COUNT; }
    static uint8_t opBitXor(int t) { return t == '^' ? OP_BXOR : OP_COUNT; }
    static uint8_t opBitAnd(int t) { return t == '&' ? OP_BAND : OP_COUNT; }
    static uint8_t opEq(int t) {
        return t == TK_EQ ? OP_EQ : t == TK_NE ? OP_NE : t == TK_3WAYSCMP ? OP_CMP3 : OP_COUNT;
    }
    static uint8_t opComp(int t) {
        switch (t) {
        case '<': return OP_LT;
        case '>': return OP_GT;
        case TK_LE: return OP_LE;
        case TK_GE: return OP_GE;
        case TK_IN: return OP_IN;
        case TK_INSTANCEOF: return OP_INSTANCEOF;
        default: return OP_COUNT;
        }
    }
    static uint8_t opShift(int t) {
        return t == TK_SHIFTL ? OP_SHL : t == TK_SHIFTR ? OP_SHR : t == TK_USHIFTR ? OP_USHR : OP_COUNT;
    }
    static uint8_t opPlus(int t) { return t == '+' ? OP_ADD : t == '-' ? OP_SUB : OP_COUNT; }
    static uint8_t opMult(int t) {
        return t == '*' ? OP_MUL : t == '/' ? OP_DIV : t == '%' ? OP_MOD : OP_COUNT;
    }

    Exp bitOr() { return binaryLevel(&Compiler::bitXor, opBitOr); }
    Exp bitXor() { return binaryLevel(&Compiler::bitAnd, opBitXor); }
    Exp bitAnd() { return binaryLevel(&Compiler::eqExp, opBitAnd); }
    Exp eqExp() { return binaryLevel(&Compiler::compExp, opEq); }
    Exp compExp() { return binaryLevel(&Compiler::shiftExp, opComp); }
    Exp shiftExp() { return binaryLevel(&Compiler::plusExp, opShift); }
    Exp plusExp() { return binaryLevel(&Compiler::multExp, opPlus); }
    Exp multExp() { return binaryLevel(&Compiler::unary, opMult); }

    Exp unaryOp(uint8_t op, Exp& e) {
        int r = exp2anyreg(e);
        freeExp(e);
        int at = emit(op, 0, r);
        return Exp::make(EK::Reloc, 0, at);
    }

    Exp unary() {
        DepthGuard guard(*this);
        switch (lex_.token) {
        case '-': {
            next();
            Exp e = unary();
            if (e.k == EK::Int) {
                e.ival = Integer(0 - uint64_t(e.ival));
                return e;
            }
            if (e.k == EK::Float) {
                e.fval = -e.fval;
                return e;
            }
            return unaryOp(OP_NEG, e);
        }
        case '!': {
            next();
            Exp e = unary();
            return unaryOp(OP_NOT, e);
        }
        case '~': {
            next();
            Exp e = unary();
            if (e.k == EK::Int) {
                e.ival = ~e.ival;
                return e;
            }
            return unaryOp(OP_BNOT, e);
        }
        case TK_TYPEOF: {
            next();
            Exp e = unary();
            return unaryOp(OP_TYPEOF, e);
        }
        case TK_RESUME: {
            next();
            Exp e = unary();
            return unaryOp(OP_RESUME, e);
        }
        case TK_CLONE: {
            next();
            Exp e = unary();
            return unaryOp(OP_CLONE, e);
        }
        case TK_DELETE: {
            next();
            Exp e = unary();
            if (e.k == EK::FieldK) {
                int kr = reserve();
                emit(OP_LOADK, kr, 0, 0, e.key);
                freeRegister(kr);
                freeExp(e);
                int at = emit(OP_DELETE, 0, e.reg, kr);
                return Exp::make(EK::Reloc, 0, at);
            }
            if (e.k == EK::Field) {
                freeExp(e);
                int at = emit(OP_DELETE, 0, e.reg, e.key);
                return Exp::make(EK::Reloc, 0, at);
            }
            error("cannot delete an (outer) local");
        }
        case TK_PLUSPLUS:
        case TK_MINUSMINUS: {
            int delta = lex_.token == TK_PLUSPLUS ? 1 : -1;
            next();
            Exp e = unary();
            return increment(e, delta, true);
        }
        default:
            return postfix();
        }
    }

    Exp increment(Exp& e, int delta, bool prefix) {
        switch (e.k) {
        case EK::Local:
            if (e.reg == 0) error("can't '++' or '--' an expression");
            if (prefix) {
                emit(OP_ADDI, e.reg, e.reg, 0, delta);
                return e;
            } else {
                int at = emit(OP_PINC, 0, e.reg, 0, delta);
                return Exp::make(EK::Reloc, 0, at);
            }
        case EK::Outer: {
            int t = reserve();
            emit(OP_GETOUTER, t, 0, 0, e.key);
            if (prefix) {
                emit(OP_ADDI, t, t, 0, delta);
                emit(OP_SETOUTER, 0, t, 0, e.key);
            } else {
                int t2 = reserve();
                emit(OP_ADDI, t2, t, 0, delta);
                emit(OP_SETOUTER, 0, t2, 0, e.key);
                freeRegister(t2);
            }
            return Exp::make(EK::Temp, t);
        }
        case EK::Field:
        case EK::FieldK: {
            int t = reserve();
            int fb = e.reg == 0 ? 1 : 0;
            if (e.k == EK::FieldK)
                emit(OP_GETK, t, e.reg, fb, e.key);
            else
                emit(OP_GET, t, e.reg, e.key, fb);
            int vr = t;
            int t2 = -1;
            if (prefix) {
                emit(OP_ADDI, t, t, 0, delta);
            } else {
                t2 = reserve();
                emit(OP_ADDI, t2, t, 0, delta);
                vr = t2;
            }
            if (e.k == EK::FieldK)
                emit(OP_SETK, e.reg, vr, fb, e.key);
            else
                emit(OP_SET, e.reg, e.key, vr, fb);
            if (t2 >= 0) freeRegister(t2);
            freeRegister(t);
            freeExp(e);
            return Exp::make(EK::Copy, t);
        }
        default:
            error("can't '++' or '--' an expression");
        }
    }

    // Makes e the object of a member access with the given key expression.
    Exp fieldOf(Exp& obj, Exp& key) {
        bool baseObj = obj.baseObj;
        int objReg = exp2anyreg(obj);
        Exp r;
        if (key.k == EK::Lit || key.k == EK::Int || key.k == EK::Float || key.k == EK::True ||
            key.k == EK::False) {
            Value kv;
            switch (key.k) {
            case EK::Int: kv = Value(key.ival); break;
            case EK::Float: kv = Value(key.fval); break;
            case EK::True: kv = Value(true); break;
            case EK::False: kv = Value(false); break;
            default: kv = fs_->proto->literals[size_t(key.key)]; break;
            }
            r = Exp::make(EK::FieldK, objReg, literal(kv));
        } else {
            int kr = exp2anyreg(key);
            r = Exp::make(EK::Field, objReg, kr);
        }
        r.baseObj = baseObj;
        return r;
    }

    Exp postfix() {
        Exp e = primary();
        for (;;) {
            switch (lex_.token) {
            case '.': {
                next();
                std::string name;
                if (lex_.token == TK_CONSTRUCTOR) {
                    name = "constructor";
                    next();
                } else {
                    name = expectIdentifier();
                }
                Exp key = Exp::make(EK::Lit, 0, stringLiteral(name));
                e = fieldOf(e, key);
                break;
            }
            case '[': {
                if (lex_.newlineBefore)
                    error("cannot brake deref/or comma needed after [exp]=exp slot declaration");
                next();
                prepareObject(e);
                Exp key = commaExpr();
                expect(']');
                e = fieldOf(e, key);
                break;
            }
            case '(':
                next();
                e = call(e);
                break;
            case TK_PLUSPLUS:
            case TK_MINUSMINUS: {
                if (lex_.newlineBefore) return e;
                int delta = lex_.token == TK_PLUSPLUS ? 1 : -1;
                next();
                e = increment(e, delta, false);
                break;
            }
            default:
                return e;
            }
        }
    }
    // The object of `e[...]` must be evaluated before the key expression.
    void prepareObject(Exp& e) {
        bool baseObj = e.baseObj;
        if (e.k != EK::Local) exp2anyreg(e);
        e.baseObj = baseObj;
    }

    Exp call(Exp& f) {
        int base;
        if ((f.k == EK::FieldK || f.k == EK::Field) && !f.baseObj) {
            freeExp(f);
            base = reserve(2);
            if (f.k == EK::FieldK)
                emit(OP_PREPCALLK, base, f.reg, f.reg == 0 ? 1 : 0, f.key);
            else
                emit(OP_PREPCALL, base, f.reg, f.key, f.reg == 0 ? 1 : 0);
        } else {
            base = exp2nextreg(f);
            int t = reserve();
            emit(OP_MOVE, t, 0);
        }
        int nargs = 1;
        while (lex_.token != ')') {
            Exp a = expression();
            exp2nextreg(a);
            ++nargs;
            // commas between arguments are optional, as in the reference
            if (lex_.token == ',') {
                next();
                if (lex_.token == ')') error("expression expected, found ')'");
            }
        }
        next();
        fs_->freeReg = base;
        if (fs_->freeReg < nactive()) fs_->freeReg = nactive();
        int at = emit(OP_CALL, 0, base, nargs);
        return Exp::make(EK::Reloc, 0, at);
    }

    Exp primary() {
        switch (lex_.token) {
        case TK_IDENTIFIER: {
            std::string name = lex_.str;
            next();
            return identifier(name);
        }
        case TK_THIS:
            next();
            return Exp::make(EK::Local, 0);
        case TK_BASE: {
            next();
            int r = reserve();
            emit(OP_GETBASE, r);
            Exp e = Exp::make(EK::Temp, r);
            e.baseObj = true;
            return e;
        }
        case TK_DOUBLE_COLON: {
            next();
            int r = reserve();
            emit(OP_LOADROOT, r);
            std::string name = expectIdentifier();
            return Exp::make(EK::FieldK, r, stringLiteral(name));
        }
        case TK_INTEGER: {
            Exp e = Exp::make(EK::Int);
            e.ival = lex_.ival;
            next();
            return e;
        }
        case TK_FLOAT: {
            Exp e = Exp::make(EK::Float);
            e.fval = lex_.fval;
            next();
            return e;
        }
        case TK_STRING_LITERAL: {
            int k = stringLiteral(lex_.str);
            next();
            return Exp::make(EK::Lit, 0, k);
        }
        case TK_NULL: next(); return Exp::make(EK::Null);
        case TK_TRUE: next(); return Exp::make(EK::True);
        case TK_FALSE: next(); return Exp::make(EK::False);
        case TK_LINE: {
            Exp e = Exp::make(EK::Int);
            e.ival = lex_.tokenLine;
            next();
            return e;
        }
        case TK_FILE: {
            next();
            return Exp::make(EK::Lit, 0, literal(source_));
        }
        case '(': {
            next();
            Exp e = commaExpr();
            expect(')');
            return e;
        }
        case '[': {
            next();
            int r = reserve();
            int at = emit(OP_NEWARRAY, r);
            int n = 0;
            while (lex_.token != ']') {
                Exp v = expression();
                int vr = exp2anyreg(v);
                emit(OP_APPEND, r, vr);
                freeExp(v);
                ++n;
                if (lex_.token == ',') next();
            }
            next();
            code(at).x = n;
            return Exp::make(EK::Temp, r);
        }
        case '{': {
            next();
            int r = reserve();
            tableBody(r, '}', false);
            return Exp::make(EK::Temp, r);
        }
        case TK_FUNCTION: {
            next();
            return functionExp(Value(), false);
        }
        case '@': {
            next();
            return functionExp(Value(), true);
        }
        case TK_CLASS: {
            next();
            return classExp();
        }
        case '-':
        case '!':
        case '~':
        case TK_TYPEOF:
        case TK_RESUME:
        case TK_CLONE:
        case TK_DELETE:
        case TK_PLUSPLUS:
        case TK_MINUSMINUS:
            return unary();
        default:
            error("expression expected");
        }
    }

    // Table constructor body (after '{') or attribute list (after '</'), into register r.
    void tableBody(int r, int terminator, bool attributes) {
        int at = emit(OP_NEWTABLE, r);
        int n = 0;
        while (lex_.token != terminator) {
            DepthGuard guard(*this);
            Exp key;
            Exp val;
            if (lex_.token == TK_FUNCTION && !attributes) {
                next();
                std::string name = expectIdentifier();
                Value nameVal = makeString(ss_, name);
                key = Exp::make(EK::Lit, 0, literal(nameVal));
                val = functionExp(nameVal, false);
            } else if (lex_.token == '[') {
                next();
                key = commaExpr();
                expect(']');
                prepareOperand(key);
                expect('=');
                val = expression();
            } else if (lex_.token == TK_STRING_LITERAL) {
                key = Exp::make(EK::Lit, 0, stringLiteral(lex_.str));
                next();
                if (lex_.token == ':') next();
                else expect('=');
                val = expression();
            } else {
                std::string name = expectIdentifier();
                key = Exp::make(EK::Lit, 0, stringLiteral(name));
                expect('=');
                val = expression();
            }
            emitNewSlot(r, key, val);
            ++n;
            if (lex_.token == ',') next();
        }
        next();
        code(at).x = n;
    }
    void emitNewSlot(int r, Exp& key, Exp& val) {
        if (key.k == EK::Lit) {
            int vr = exp2anyreg(val);
            emit(OP_NEWSLOTK, r, vr, 0, key.key);
            freeExp(val);
        } else {
            int kr = exp2anyreg(key);
            int vr = exp2anyreg(val);
            emit(OP_NEWSLOT, r, kr, vr);
            freeTwo(key, val);
        }
    }

    Exp classExp() {
        int r;
        bool hasBase = false;
        if (lex_.token == TK_EXTENDS) {
            next();
            Exp b = postfix();
            r = exp2nextreg(b);
            hasBase = true;
        } else {
            r = reserve();
        }
        return classBody(r, hasBase);
    }
    // Class attributes and members; R(r) holds the base class when hasBase.
    Exp classBody(int r, bool hasBase) {
        int attrReg = kNoReg;
        if (lex_.token == TK_ATTR_OPEN) {
            next();
            attrReg = reserve();
            tableBody(attrReg, TK_ATTR_CLOSE, true);
        }
        emit(OP_NEWCLASS, r, hasBase ? r : kNoReg, attrReg);
        if (attrReg != kNoReg) freeRegister(attrReg);
        expect('{');
        while (lex_.token != '}') {
            DepthGuard guard(*this);
            int memberAttr = kNoReg;
            if (lex_.token == TK_ATTR_OPEN) {
                next();
                memberAttr = reserve();
                tableBody(memberAttr, TK_ATTR_CLOSE, true);
            }
            bool isStatic = false;
            if (lex_.token == TK_STATIC) {
                isStatic = true;
                next();
            }
            Exp key, val;
            if (lex_.token == TK_FUNCTION) {
                next();
                std::string name = expectIdentifier();
                Value nameVal = makeString(ss_, name);
                key = Exp::make(EK::Lit, 0, literal(nameVal));
                int kr = exp2nextreg(key);
                key = Exp::make(EK::Temp, kr);
                val = functionExp(nameVal, false);
            } else if (lex_.token == TK_CONSTRUCTOR) {
                next();
                Value nameVal = ss_->strConstructor;
                key = Exp::make(EK::Lit, 0, literal(nameVal));
                int kr = exp2nextreg(key);
                key = Exp::make(EK::Temp, kr);
                val = functionExp(nameVal, false);
            } else if (lex_.token == '[') {
                next();
                key = commaExpr();
                expect(']');
                exp2nextreg(key);
                expect('=');
                val = expression();
            } else {
                std::string name = expectIdentifier();
                key = Exp::make(EK::Lit, 0, stringLiteral(name));
                exp2nextreg(key);
                expect('=');
                val = expression();
            }
            int vr = exp2nextreg(val);
            emit(OP_NEWMEMBER, r, key.reg, vr, (memberAttr == kNoReg ? 0xFF : memberAttr) | (isStatic ? 0x100 : 0));
            freeRegister(vr);
            freeRegister(key.reg);
            if (memberAttr != kNoReg) freeRegister(memberAttr);
            if (lex_.token == ';' || lex_.token == ',') next();
        }
        next();
        return Exp::make(EK::Temp, r);
    }

    // function literal: after `function` or `@`
    Exp functionExp(const Value& name, bool lambda) {
        DepthGuard guard(*this);
        expect('(');
        FuncState* parent = fs_;
        auto child = std::make_unique<FuncState>();
        FuncState& f = *child;
        f.parent = parent;
        f.proto = ss_->newFuncProto();
        f.protoVal = Value(f.proto);
        f.proto->source = source_;
        f.proto->name = name;
        // parameters: declared in the child, defaults evaluated in the parent
        auto declareIn = [&](const Value& n) {
            FuncState* saved = fs_;
            fs_ = &f;
            declareLocal(n, 0);
            fs_ = saved;
        };
        declareIn(ss_->strThis);
        f.proto->parameterNames.push_back(ss_->strThis);
        int firstDefault = -1;
        while (lex_.token != ')') {
            if (lex_.token == TK_VARPARAMS) {
                if (f.ndefaults > 0)
                    error("function with default parameters cannot have variable number of parameters");
                next();
                f.proto->varargs = true;
                declareIn(ss_->strVargv);
                f.proto->parameterNames.push_back(ss_->strVargv);
                f.proto->parameterNames.push_back(makeString(ss_, "..."));
                if (lex_.token != ')') error("expected ')'");
                break;
            }
            std::string pname = expectIdentifier();
            Value pn = makeString(ss_, pname);
            declareIn(pn);
            f.proto->parameterNames.push_back(pn);
            f.proto->nparams++;
            if (lex_.token == '=') {
                next();
                Exp d = expression();
                int dr = exp2nextreg(d);
                if (firstDefault < 0) firstDefault = dr;
                f.proto->defaultParamRegs.push_back(uint8_t(dr));
                f.ndefaults++;
            } else if (f.ndefaults > 0) {
                error("expected '='");
            }
            if (lex_.token == ',') {
                next();
            } else if (lex_.token != ')') {
                error("expected ')' or ','");
            }
        }
        next();
        // body
        fs_ = &f;
        if (lambda) {
            markLine(lex_.tokenLine);
            Exp body = expression();
            int r = exp2anyreg(body);
            emit(OP_RETURN, r, 1);
        } else {
            statement();
            emit(OP_RETURN, 0, 0);
        }
        closeFunction(f);  // restores fs_ to the parent
        fs_ = parent;
        int fidx = int(parent->proto->functions.size());
        parent->proto->functions.push_back(f.protoVal);
        // the defaults are read by the closure instruction, then their registers are free
        if (firstDefault >= 0) fs_->freeReg = firstDefault;
        int at = emit(OP_CLOSURE, 0, 0, 0, fidx);
        return Exp::make(EK::Reloc, 0, at);
    }

    // ---------------------------------------------------------------------------------------
    // statements
    // ---------------------------------------------------------------------------------------
    void statements() {
        while (lex_.token != '}' && lex_.token != TK_CASE && lex_.token != TK_DEFAULT) {
            statement();
            if (prevTok_ != '}' && prevTok_ != ';') optionalSemicolon();
        }
    }

    void statement() {
        DepthGuard guard(*this);
        markLine(lex_.tokenLine);
        if (ss_->debugInfo) emit(OP_LINE, 0, 0, 0, int32_t(lex_.tokenLine));
        switch (lex_.token) {
        case ';': next(); break;
        case TK_IF: ifStatement(); break;
        case TK_WHILE: whileStatement(); break;
        case TK_DO: doWhileStatement(); break;
        case TK_FOR: forStatement(); break;
        case TK_FOREACH: foreachStatement(); break;
        case TK_SWITCH: switchStatement(); break;
        case TK_LOCAL: localStatement(); break;
        case TK_RETURN: returnStatement(); break;
        case TK_YIELD: yieldStatement(); break;
        case TK_BREAK: breakStatement(); break;
        case TK_CONTINUE: continueStatement(); break;
        case TK_FUNCTION: functionStatement(); break;
        case TK_CLASS: classStatement(); break;
        case TK_ENUM: enumStatement(); break;
        case TK_CONST: constStatement(); break;
        case TK_TRY: tryStatement(); break;
        case TK_THROW: {
            next();
            Exp e = commaExpr();
            int r = exp2anyreg(e);
            emit(OP_THROW, r);
            freeExp(e);
            break;
        }
        case '{': {
            next();
            int saved;
            beginScope(saved);
            statements();
            expect('}');
            endScope(saved);
            break;
        }
        default: {
            Exp e = commaExpr();
            discard(e);
            break;
        }
        }
        fs_->freeReg = nactive();
    }

    Exp condition() {
        expect('(');
        Exp e = commaExpr();
        expect(')');
        return e;
    }

    void ifStatement() {
        next();
        Exp c = condition();
        int jf = condJumpFalse(c);
        statement();
        if (lex_.token != '}' && lex_.token != TK_ELSE) optionalSemicolon();
        if (lex_.token == TK_ELSE) {
            next();
            int jend = emit(OP_JMP);
            patchToHere(jf);
            statement();
            if (prevTok_ != '}') optionalSemicolon();
            patchToHere(jend);
        } else {
            patchToHere(jf);
        }
    }

    void beginLoop(bool isSwitch) {
        Breakable b;
        b.nlocals = nactive();
        b.traps = fs_->traps;
        b.isSwitch = isSwitch;
        fs_->breakables.push_back(std::move(b));
    }
    void endLoop(int continueTarget, int breakTarget) {
        Breakable& b = fs_->breakables.back();
        for (int j : b.continues) patchJump(j, continueTarget);
        for (int j : b.breaks) patchJump(j, breakTarget);
        fs_->breakables.pop_back();
    }

    void whileStatement() {
        next();
        int start = pc();
        Exp c = condition();
        int jf = condJumpFalse(c);
        beginLoop(false);
        statement();
        int jback = emit(OP_JMP);
        patchJump(jback, start);
        patchToHere(jf);
        endLoop(start, pc());
    }

    void doWhileStatement() {
        next();
        int start = pc();
        beginLoop(false);
        statement();
        if (lex_.token == ';') next();
        expect(TK_WHILE);
        int condPc = pc();
        Exp c = condition();
        int jt = condJumpTrue(c);
        patchJump(jt, start);
        endLoop(condPc, pc());
    }

    void forStatement() {
        next();
        expect('(');
        int saved;
        beginScope(saved);
        if (lex_.token == TK_LOCAL) {
            localStatement();
        } else if (lex_.token != ';') {
            Exp e = commaExpr();
            discard(e);
        }
        expect(';');
        fs_->freeReg = nactive();
        int condStart = pc();
        int jf = -1;
        if (lex_.token != ';') {
            Exp c = commaExpr();
            jf = condJumpFalse(c);
        }
        expect(';');
        fs_->freeReg = nactive();
        // the increment is compiled here and moved after the body
        int incStart = pc();
        if (lex_.token != ')') {
            Exp e = commaExpr();
            discard(e);
        }
        expect(')');
        fs_->freeReg = nactive();
        std::vector<Instr> inc(fs_->proto->code.begin() + incStart, fs_->proto->code.end());
        fs_->proto->code.resize(size_t(incStart));
        beginLoop(false);
        statement();
        int contPc = pc();
        for (const Instr& in : inc) fs_->proto->code.push_back(in);
        int jback = emit(OP_JMP);
        patchJump(jback, condStart);
        if (jf >= 0) patchToHere(jf);
        endLoop(contPc, pc());
        endScope(saved);
    }

    void foreachStatement() {
        next();
        expect('(');
        std::string first = expectIdentifier();
        std::string keyName, valName;
        if (lex_.token == ',') {
            next();
            keyName = first;
            valName = expectIdentifier();
        } else {
            keyName = "@INDEX@";
            valName = first;
        }
        expect(TK_IN);
        Exp container = commaExpr();
        expect(')');
        int saved;
        beginScope(saved);
        int cr = exp2nextreg(container);
        fs_->freeReg = cr;
        declareLocal(Value(), 0, true);  // the container, not visible
        int kr = declareLocal(makeString(ss_, keyName), 0);
        declareLocal(makeString(ss_, valName), 0);
        declareLocal(makeString(ss_, "@ITERATOR@"), 0);
        emit(OP_LOADNULL, kr, 0, 0, 3);
        uint32_t start = uint32_t(pc());
        for (size_t i = fs_->actives.size() - 3; i < fs_->actives.size(); ++i) fs_->actives[i].startPc = start;
        int loop = emit(OP_FOREACH, cr);
        int post = emit(OP_POSTFOREACH, cr);
        beginLoop(false);
        statement();
        int jback = emit(OP_JMP);
        patchJump(jback, loop);
        patchToHere(loop);
        patchToHere(post);
        endLoop(loop, pc());
        endScope(saved);
    }

    void switchStatement() {
        next();
        Exp e = condition();
        expect('{');
        int saved;
        beginScope(saved);
        int r = exp2nextreg(e);
        fs_->freeReg = r;
        declareLocal(Value(), 0, true);
        beginLoop(true);
        int jnext = -1, jfall = -1;
        while (lex_.token == TK_CASE) {
            next();
            if (jnext >= 0) patchToHere(jnext);
            Exp v = expression();
            expect(':');
            int vr = exp2anyreg(v);
            freeExp(v);
            jnext = emit(OP_JCMP, CMP_EQ, r, vr);
            if (jfall >= 0) patchToHere(jfall);
            int caseScope;
            beginScope(caseScope);
            statements();
            endScope(caseScope);
            jfall = emit(OP_JMP);
        }
        if (lex_.token == TK_DEFAULT) {
            next();
            expect(':');
            if (jnext >= 0) patchToHere(jnext);
            jnext = -1;
            if (jfall >= 0) patchToHere(jfall);
            jfall = -1;
            int caseScope;
            beginScope(caseScope);
            statements();
            endScope(caseScope);
        }
        expect('}');
        if (jnext >= 0) patchToHere(jnext);
        if (jfall >= 0) patchToHere(jfall);
        endLoop(pc(), pc());
        endScope(saved);
    }

    void localStatement() {
        next();
        if (lex_.token == TK_FUNCTION) {
            next();
            std::string name = expectIdentifier();
            Value nameVal = makeString(ss_, name);
            Exp f = functionExp(nameVal, false);
            exp2nextreg(f);
            fs_->freeReg = nactive();
            declareLocal(nameVal, uint32_t(pc()));
            return;
        }
        for (;;) {
            std::string name = expectIdentifier();
            Value nameVal = makeString(ss_, name);
            if (lex_.token == '=') {
                next();
                Exp e = expression();
                int target = nactive();
                freeExp(e);
                fs_->freeReg = target;
                reserve();
                exp2reg(e, target);
            } else {
                int target = nactive();
                fs_->freeReg = target;
                reserve();
                emit(OP_LOADNULL, target, 0, 0, 1);
            }
            fs_->freeReg = nactive();
            declareLocal(nameVal, uint32_t(pc()));
            if (lex_.token != ',') break;
            next();
        }
    }

    void returnStatement() {
        next();
        if (isEndOfStatement()) {
            emit(OP_RETURN, 0, 0);
            return;
        }
        Exp e = commaExpr();
        // a call in return position reuses the frame (not in the main chunk, like the reference)
        if (e.k == EK::Reloc && code(e.key).op == OP_CALL && e.key == pc() - 1 && fs_->traps == 0 &&
            !fs_->proto->generator && fs_->parent) {
            code(e.key).op = OP_TAILCALL;
            return;
        }
        int r = exp2anyreg(e);
        emit(OP_RETURN, r, 1);
        freeExp(e);
    }

    void yieldStatement() {
        next();
        fs_->proto->generator = true;
        if (isEndOfStatement()) {
            emit(OP_YIELD, 0, 0);
            return;
        }
        Exp e = commaExpr();
        int r = exp2anyreg(e);
        emit(OP_YIELD, r, 1);
        freeExp(e);
    }

    void jumpOut(bool isContinue) {
        // find the target construct: continue skips switches
        int idx = int(fs_->breakables.size()) - 1;
        if (isContinue)
            while (idx >= 0 && fs_->breakables[size_t(idx)].isSwitch) --idx;
        if (idx < 0)
            error(isContinue ? "'continue' has to be in a loop block" : "'break' has to be in a loop block");
        Breakable& b = fs_->breakables[size_t(idx)];
        int ntraps = fs_->traps - b.traps;
        if (ntraps > 0) emit(OP_POPTRAP, 0, 0, 0, ntraps);
        if (anyCaptured(b.nlocals)) emit(OP_CLOSE, b.nlocals);
        int j = emit(OP_JMP);
        if (isContinue)
            b.continues.push_back(j);
        else
            b.breaks.push_back(j);
    }
    void breakStatement() {
        next();
        jumpOut(false);
    }
    void continueStatement() {
        next();
        jumpOut(true);
    }

    void functionStatement() {
        next();
        std::string name = expectIdentifier();
        Value nameVal = makeString(ss_, name);
        Exp target = Exp::make(EK::FieldK, 0, literal(nameVal));
        while (lex_.token == TK_DOUBLE_COLON) {
            next();
            int r = exp2nextreg(target);
            name = expectIdentifier();
            nameVal = makeString(ss_, name);
            target = Exp::make(EK::FieldK, r, literal(nameVal));
        }
        Exp f = functionExp(nameVal, false);
        int vr = exp2nextreg(f);
        emit(OP_NEWSLOTK, target.reg, vr, 0, target.key);
    }

    void classStatement() {
        next();
        Exp target = postfix();
        if (target.k != EK::Field && target.k != EK::FieldK) {
            if (target.k == EK::Local)
                error("cannot create a class in a local with the syntax(class <local>)");
            error("invalid class name");
        }
        // evaluate the base class (if any) into a fresh register
        int r;
        bool hasBase = false;
        if (lex_.token == TK_EXTENDS) {
            next();
            Exp b = postfix();
            r = exp2nextreg(b);
            hasBase = true;
        } else {
            r = reserve();
        }
        Exp cls = classBody(r, hasBase);
        if (target.k == EK::FieldK)
            emit(OP_NEWSLOTK, target.reg, cls.reg, 0, target.key);
        else
            emit(OP_NEWSLOT, target.reg, target.key, cls.reg);
    }

    Value scalarConstant() {
        Value v;
        switch (lex_.token) {
        case TK_INTEGER: v = Value(lex_.ival); break;
        case TK_FLOAT: v = Value(lex_.fval); break;
        case TK_STRING_LITERAL: v = makeString(ss_, lex_.str); break;
        case TK_TRUE:
        case TK_FALSE: v = Value(lex_.token == TK_TRUE); break;
        case '-':
            next();
            if (lex_.token == TK_INTEGER)
                v = Value(Integer(0 - uint64_t(lex_.ival)));
            else if (lex_.token == TK_FLOAT)
                v = Value(-lex_.fval);
            else
                error("scalar expected : integer, float");
            break;
        default: error("scalar expected : integer, float, or string");
        }
        next();
        return v;
    }

    void enumStatement() {
        next();
        std::string name = expectIdentifier();
        expect('{');
        Table* t = ss_->newTable();
        Value tv(t);
        Integer counter = 0;
        while (lex_.token != '}') {
            std::string key = expectIdentifier();
            Value val;
            if (lex_.token == '=') {
                next();
                val = scalarConstant();
            } else {
                val = Value(counter++);
            }
            t->newSlot(makeString(ss_, key), val);
            if (lex_.token == ',') next();
        }
        next();
        if (ss_->consts.type == ObjectType::Table) ss_->consts.t->newSlot(makeString(ss_, name), tv);
    }

    void constStatement() {
        next();
        std::string name = expectIdentifier();
        expect('=');
        Value v = scalarConstant();
        if (ss_->consts.type == ObjectType::Table) ss_->consts.t->newSlot(makeString(ss_, name), v);
    }

    void tryStatement() {
        next();
        int trapPc = emit(OP_PUSHTRAP, nactive());
        fs_->traps++;
        statement();
        fs_->traps--;
        emit(OP_POPTRAP, 0, 0, 0, 1);
        int jend = emit(OP_JMP);
        patchToHere(trapPc);
        expect(TK_CATCH);
        expect('(');
        std::string name = expectIdentifier();
        expect(')');
        int saved;
        beginScope(saved);
        int r = declareLocal(makeString(ss_, name), uint32_t(pc()));
        code(trapPc).a = uint8_t(r);
        statement();
        endScope(saved);
        patchToHere(jend);
    }

    SharedState* ss_;
    Lexer lex_;
    Value source_;
    FuncState* fs_ = nullptr;
    int prevTok_ = 0;
    int depth_ = 0;
    std::string errMsg_;
    Integer errLine_ = 0, errCol_ = 0;
};

}  // namespace

bool compileSource(VM* vm, const char* src, size_t len, const char* sourceName, Value& proto,
                   CompileError& err) {
    Compiler c(vm, src, len, sourceName);
    return c.run(proto, err);
}

}  // namespace Squirrel
