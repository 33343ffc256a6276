// Core operations of the virtual machine: indexing, arithmetic, comparisons, conversions,
// calls and the interpreter loop.
#include "VM.h"

#include <cinttypes>
#include <cmath>
#include <cstdarg>
#include <cstdio>

namespace Squirrel {

namespace {
constexpr int kMaxNestedCalls = 200;
constexpr uint32_t kMaxStackSlots = 1u << 22;
constexpr uint32_t kStackSlack = 32;
constexpr Integer kSuspendFlag = -666;
constexpr Integer kTailCallFlag = -777;
}  // namespace

// ----------------------------------------------------------------------------------------------
// formatting
// ----------------------------------------------------------------------------------------------
void formatInteger(std::string& out, Integer v) {
    char buf[32];
    int n = std::snprintf(buf, sizeof buf, "%" PRId64, v);
    out.append(buf, size_t(n));
}

void formatFloat(std::string& out, Float f) {
    char buf[64];
    int n = std::snprintf(buf, sizeof buf, "%g", double(f));
    out.append(buf, size_t(n));
}

std::string printableKey(const Value& v) {
    char buf[64];
    switch (v.type) {
    case ObjectType::String: {
        std::string s(v.s->data, std::strlen(v.s->data));
        if (s.size() > 50) s.resize(50);
        return s;
    }
    case ObjectType::Integer: std::snprintf(buf, sizeof buf, "%" PRId64, v.i); return buf;
    case ObjectType::Float: std::snprintf(buf, sizeof buf, "%.14g", double(v.f)); return buf;
    default: return typeNameOf(v.type);
    }
}

// ----------------------------------------------------------------------------------------------
// stack
// ----------------------------------------------------------------------------------------------
bool VM::growStack(uint32_t needed) {
    if (needed > kMaxStackSlots) return raise("stack overflow");
    uint32_t newCap = stackCap ? stackCap : 64;
    while (newCap < needed) newCap *= 2;
    if (newCap > kMaxStackSlots) newCap = kMaxStackSlots;
    Value* ns = static_cast<Value*>(ss->alloc(sizeof(Value) * newCap));
    if (stackCap) std::memcpy(static_cast<void*>(ns), stack, sizeof(Value) * stackCap);
    for (uint32_t i = stackCap; i < newCap; ++i) new (&ns[i]) Value();
    if (stack) ss->dealloc(stack, sizeof(Value) * stackCap);
    stack = ns;
    stackCap = newCap;
    for (Outer* o = openOuters; o; o = o->nextOpen) o->valptr = &stack[o->stackIdx];
    return true;
}

void VM::settop(uint32_t newTop) {
    if (newTop > top) {
        ensureStack(newTop);
    } else {
        while (top > newTop) stack[--top].setNull();
    }
    top = newTop;
}

// ----------------------------------------------------------------------------------------------
// errors
// ----------------------------------------------------------------------------------------------
bool VM::raise(const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) n = 0;
    if (size_t(n) >= sizeof buf) n = int(sizeof buf) - 1;
    lastError = makeString(ss, buf, size_t(n));
    return false;
}

bool VM::raiseIndexError(const Value& key) {
    return raise("the index '%s' does not exist", printableKey(key).c_str());
}

bool VM::raiseArithError(char op, const Value& a, const Value& b) {
    return raise("arith op %c on between '%s' and '%s'", op, typeNameOf(a.type), typeNameOf(b.type));
}

bool VM::raiseCompareError(const Value& a, const Value& b) {
    return raise("comparison between '%s' and '%s'", typeNameOf(a.type), typeNameOf(b.type));
}

std::string typeMaskString(uint32_t mask) {
    std::string s;
    for (int bit = 0; bit < 18; ++bit) {
        if (!(mask & (1u << bit))) continue;
        static const char* names[] = {"null",     "integer",  "float",       "bool",    "string",
                                      "table",    "array",    "userdata",    "function", "function",
                                      "generator", "userpointer", "thread",  "function", "class",
                                      "instance", "weakref",  "outer"};
        if (!s.empty()) s += '|';
        s += names[bit];
    }
    return s;
}

uint32_t typeBit(ObjectType t) {
    switch (t) {
    case ObjectType::Null: return MaskNull;
    case ObjectType::Integer: return MaskInteger;
    case ObjectType::Float: return MaskFloat;
    case ObjectType::Bool: return MaskBool;
    case ObjectType::String: return MaskString;
    case ObjectType::Table: return MaskTable;
    case ObjectType::Array: return MaskArray;
    case ObjectType::UserData: return MaskUserData;
    case ObjectType::Closure: return MaskClosure;
    case ObjectType::NativeClosure: return MaskNativeClosure;
    case ObjectType::Generator: return MaskGenerator;
    case ObjectType::UserPointer: return MaskUserPointer;
    case ObjectType::Thread: return MaskThread;
    case ObjectType::FuncProto: return MaskFuncProto;
    case ObjectType::Class: return MaskClass;
    case ObjectType::Instance: return MaskInstance;
    case ObjectType::WeakRef: return MaskWeakRef;
    case ObjectType::Outer: return MaskOuter;
    }
    return 0;
}

bool VM::raiseParamTypeError(Integer param, uint32_t mask, ObjectType got) {
    return raise("parameter %d has an invalid type '%s' ; expected: '%s'", int(param), typeNameOf(got),
                 typeMaskString(mask).c_str());
}

// ----------------------------------------------------------------------------------------------
// helpers
// ----------------------------------------------------------------------------------------------
Table* VM::currentRoot() {
    for (size_t i = frames.size(); i-- > 0;) {
        const Value& f = frames[i].func;
        if (f.type == ObjectType::Closure) return f.c->root;
    }
    return root.type == ObjectType::Table ? root.t : nullptr;
}

Value* VM::defaultDelegate(ObjectType t) {
    Value* v = nullptr;
    switch (t) {
    case ObjectType::Table: v = &ss->tableDelegate; break;
    case ObjectType::Array: v = &ss->arrayDelegate; break;
    case ObjectType::String: v = &ss->stringDelegate; break;
    case ObjectType::Integer:
    case ObjectType::Float:
    case ObjectType::Bool: v = &ss->numberDelegate; break;
    case ObjectType::Closure:
    case ObjectType::NativeClosure: v = &ss->closureDelegate; break;
    case ObjectType::Generator: v = &ss->generatorDelegate; break;
    case ObjectType::Thread: v = &ss->threadDelegate; break;
    case ObjectType::Class: v = &ss->classDelegate; break;
    case ObjectType::Instance: v = &ss->instanceDelegate; break;
    case ObjectType::WeakRef: v = &ss->weakrefDelegate; break;
    default: return nullptr;
    }
    return v->type == ObjectType::Table ? v : nullptr;
}

bool VM::getDelegateMethod(const Value& self, int mm, Value& out) {
    switch (self.type) {
    case ObjectType::Table:
        if (self.t->delegate) return self.t->delegate->get(ss->metaNames[mm], out);
        return false;
    case ObjectType::UserData:
        if (self.ud->delegate) return self.ud->delegate->get(ss->metaNames[mm], out);
        return false;
    case ObjectType::Instance:
        if (self.inst->cls->metamethods[mm].isNull()) return false;
        out = self.inst->cls->metamethods[mm];
        return true;
    default: return false;
    }
}

bool VM::callWith(const Value& func, const Value& self, int nargs, const Value* args, Value& result,
                  bool raiseError) {
    uint32_t base = top;
    if (!ensureStack(top + uint32_t(nargs) + 1 + kStackSlack)) return false;
    stack[top++] = self;
    for (int i = 0; i < nargs; ++i) stack[top++] = args[i];
    bool ok = call(func, base, uint32_t(nargs + 1), result, raiseError);
    settop(base);
    return ok;
}

bool VM::callMetaMethod(const Value& func, const Value& self, int nargs, const Value* args, Value& out) {
    return callWith(func, self, nargs, args, out, false);
}

// ----------------------------------------------------------------------------------------------
// get / set / newslot / delete
// ----------------------------------------------------------------------------------------------
int VM::callGetMeta(const Value& mm, const Value& self, const Value& key, Value& out) {
    Value res;
    if (callWith(mm, self, 1, &key, res, false)) {
        out = std::move(res);
        return 1;
    }
    if (lastError.isNull()) return 0;  // throwing null means "no such index"
    return -1;
}

int VM::getDelegated(const Value& self, Table* delegate, const Value& key, Value& out) {
    if (++delegateDepth > 200) {
        --delegateDepth;
        return 0;
    }
    Value d(delegate);
    int r = getImpl(d, key, out, 0);
    if (r == 0) {
        Value mm;
        if (delegate->get(ss->metaNames[MM_GET], mm)) r = callGetMeta(mm, self, key, out);
    }
    --delegateDepth;
    return r;
}

int VM::getImpl(const Value& self, const Value& key, Value& out, int flags) {
    switch (self.type) {
    case ObjectType::Table:
        if (self.t->get(key, out)) return 1;
        break;
    case ObjectType::Array:
        if (key.isNumeric()) {
            Integer i = key.toInteger();
            if (i >= 0 && i < Integer(self.a->size)) {
                const Value& v = self.a->data[i];
                if (v.type == ObjectType::WeakRef)
                    out = v.w->get();
                else
                    out = v;
                return 1;
            }
            return 0;
        }
        break;
    case ObjectType::Instance:
        if (self.inst->get(key, out)) return 1;
        break;
    case ObjectType::Class:
        if (self.cls->get(key, out)) return 1;
        break;
    case ObjectType::String:
        if (key.isNumeric()) {
            Integer i = key.toInteger();
            Integer len = self.s->len;
            if (i < 0) i += len;
            if (i >= 0 && i < len) {
                out.setInteger(Integer((signed char)self.s->data[i]));
                return 1;
            }
            return 0;
        }
        break;
    default:
        break;
    }
    if (!(flags & GET_RAW)) {
        if (self.type == ObjectType::Table || self.type == ObjectType::UserData) {
            Table* d = self.type == ObjectType::Table ? self.t->delegate : self.ud->delegate;
            if (d) {
                int r = getDelegated(self, d, key, out);
                if (r != 0) return r;
            }
        } else if (self.type == ObjectType::Instance) {
            const Value& mm = self.inst->cls->metamethods[MM_GET];
            if (!mm.isNull()) {
                Value m(mm);
                int r = callGetMeta(m, self, key, out);
                if (r != 0) return r;
            }
        }
        Value* dd = defaultDelegate(self.type);
        if (dd && dd->t->get(key, out)) return 1;
    }
    if (flags & GET_ROOT_FALLBACK) {
        Table* r = currentRoot();
        if (r && r->get(key, out)) return 1;
    }
    return 0;
}

bool VM::get(const Value& self, const Value& key, Value& out, int flags) {
    int r = getImpl(self, key, out, flags);
    if (r == 1) return true;
    if (r == 0) {
        if (flags & GET_NO_ERROR) {
            lastError.setNull();
            return false;
        }
        return raiseIndexError(key);
    }
    return false;
}

int VM::setFallback(const Value& self, const Value& key, const Value& val) {
    switch (self.type) {
    case ObjectType::Table:
    case ObjectType::UserData: {
        Table* d = self.type == ObjectType::Table ? self.t->delegate : self.ud->delegate;
        if (!d) return 0;
        if (++delegateDepth > 200) {
            --delegateDepth;
            return 0;
        }
        int r = 0;
        if (d->set(key, val)) {
            r = 1;
        } else {
            Value dv(d);
            r = setFallback(dv, key, val);
        }
        if (r == 0) {
            Value mm;
            if (d->get(ss->metaNames[MM_SET], mm)) {
                Value args[2] = {key, val};
                Value res;
                if (callWith(mm, self, 2, args, res, false))
                    r = 1;
                else
                    r = lastError.isNull() ? 0 : -1;
            }
        }
        --delegateDepth;
        return r;
    }
    case ObjectType::Instance: {
        const Value& mmr = self.inst->cls->metamethods[MM_SET];
        if (mmr.isNull()) return 0;
        Value mm(mmr);
        Value args[2] = {key, val};
        Value res;
        if (callWith(mm, self, 2, args, res, false)) return 1;
        return lastError.isNull() ? 0 : -1;
    }
    default: return 0;
    }
}

bool VM::set(const Value& self, const Value& key, const Value& val, bool rootFallback) {
    switch (self.type) {
    case ObjectType::Table:
        if (self.t->set(key, val)) return true;
        break;
    case ObjectType::Instance:
        if (self.inst->set(key, val)) return true;
        break;
    case ObjectType::Array: {
        if (!key.isNumeric())
            return raise("indexing %s with %s", typeNameOf(self.type), typeNameOf(key.type));
        Integer i = key.toInteger();
        if (i >= 0 && i < Integer(self.a->size)) {
            self.a->data[i] = val;
            return true;
        }
        return raiseIndexError(key);
    }
    case ObjectType::UserData:
        break;
    default:
        return raise("trying to set '%s'", typeNameOf(self.type));
    }
    int r = setFallback(self, key, val);
    if (r == 1) return true;
    if (r < 0) return false;
    if (rootFallback) {
        Table* rt = currentRoot();
        if (rt && rt->set(key, val)) return true;
    }
    return raiseIndexError(key);
}

bool VM::newSlot(const Value& self, const Value& key, const Value& val, bool isStatic) {
    if (key.isNull()) return raise("null cannot be used as index");
    switch (self.type) {
    case ObjectType::Table: {
        Table* t = self.t;
        TableNode* n = t->find(key);
        if (n) {
            n->val = val;
            return true;
        }
        if (t->delegate) {
            Value mm;
            if (t->delegate->get(ss->metaNames[MM_NEWSLOT], mm)) {
                Value args[2] = {key, val};
                Value res;
                return callWith(mm, self, 2, args, res, false);
            }
        }
        if (ss->overBudget(sizeof(TableNode) * (t->mask + 1))) return raise("out of memory");
        t->newSlot(key, val);
        return true;
    }
    case ObjectType::Class:
        // `<-` adds the member directly: _newmember only sees declarations and newmember()
        if (!newMember(self, key, val, Value(), isStatic, true)) {
            if (self.cls->locked) return raise("trying to modify a class that has already been instantiated");
            return false;
        }
        return true;
    case ObjectType::Instance:
        return raise("class instances do not support the new slot operator");
    case ObjectType::UserData: {
        Value mm;
        if (getDelegateMethod(self, MM_NEWSLOT, mm)) {
            Value args[2] = {key, val};
            Value res;
            return callWith(mm, self, 2, args, res, false);
        }
        return raise("indexing %s with %s", typeNameOf(self.type), typeNameOf(key.type));
    }
    default:
        return raise("indexing %s with %s", typeNameOf(self.type), typeNameOf(key.type));
    }
}

static int metaMethodIndex(SharedState* ss, const Value& key) {
    if (key.type != ObjectType::String) return -1;
    for (int i = 0; i < MM_COUNT; ++i)
        if (ss->metaNames[i].s == key.s) return i;
    return -1;
}

bool VM::newMember(const Value& clsv, const Value& key, const Value& val, const Value& attrs,
                   bool isStatic, bool raw) {
    if (clsv.type != ObjectType::Class) return raise("trying to add a member to a '%s'", typeNameOf(clsv.type));
    Class* c = clsv.cls;
    if (!raw && !c->metamethods[MM_NEWMEMBER].isNull()) {
        Value mm(c->metamethods[MM_NEWMEMBER]);
        Value args[4] = {key, val, attrs, Value(isStatic)};
        Value res;
        return callWith(mm, clsv, 4, args, res, false);
    }
    if (key.isNull()) return raise("null cannot be used as index");
    bool isMethod = val.type == ObjectType::Closure || val.type == ObjectType::NativeClosure;
    bool shared = isMethod || isStatic;
    if (c->locked && !shared) return raise("trying to modify a class that has already been instantiated");
    TableNode* n = c->members->find(key);
    if (n && memberIsField(n->val.i)) {
        ClassMember& m = c->fields[memberIndex(n->val.i)];
        m.val = val;
        if (!attrs.isNull()) m.attrs = attrs;
        return true;
    }
    if (shared) {
        int mmi = isMethod ? metaMethodIndex(ss, key) : -1;
        if (mmi >= 0) {
            c->metamethods[mmi] = val;
            return true;
        }
        Value theval = val;
        if (c->base && val.type == ObjectType::Closure) {
            // methods of a derived class know their base class
            Closure* src = val.c;
            Closure* cl = ss->newClosure(src->proto, src->root);
            theval = Value(cl);
            for (uint32_t i = 0; i < src->nouters + src->ndefaults; ++i) cl->outers[i] = src->outers[i];
            if (src->env) {
                cl->env = src->env;
                addref(cl->env);
            }
            cl->base = c->base;
            addref(cl->base);
        }
        if (n) {
            ClassMember& m = c->methods[memberIndex(n->val.i)];
            m.val = theval;
            if (!attrs.isNull()) m.attrs = attrs;
        } else {
            uint32_t idx = uint32_t(c->methods.size());
            c->members->newSlot(key, Value(Integer(idx) << 1));
            c->methods.push_back(ClassMember{theval, attrs});
            if (key.type == ObjectType::String && key.s == ss->strConstructor.s) c->constructorIdx = int32_t(idx);
        }
        return true;
    }
    uint32_t idx = uint32_t(c->fields.size());
    c->members->newSlot(key, Value((Integer(idx) << 1) | 1));
    c->fields.push_back(ClassMember{val, attrs});
    return true;
}

bool VM::deleteSlot(const Value& self, const Value& key, Value& out) {
    switch (self.type) {
    case ObjectType::Table:
    case ObjectType::Instance:
    case ObjectType::UserData: {
        Value mm;
        if (getDelegateMethod(self, MM_DELSLOT, mm)) return callWith(mm, self, 1, &key, out, false);
        if (self.type == ObjectType::Table) {
            TableNode* n = self.t->find(key);
            if (!n) return raiseIndexError(key);
            out = n->val;
            self.t->remove(key);
            return true;
        }
        return raise("cannot delete a slot from %s", typeNameOf(self.type));
    }
    default:
        return raise("attempt to delete a slot from a %s", typeNameOf(self.type));
    }
}

bool VM::rawGet(const Value& self, const Value& key, Value& out) {
    int r = getImpl(self, key, out, GET_RAW);
    if (r == 1) return true;
    return raise("the index doesn't exist");
}

bool VM::rawSet(const Value& self, const Value& key, const Value& val) {
    switch (self.type) {
    case ObjectType::Table:
        if (key.isNull()) return raise("null cannot be used as index");
        self.t->newSlot(key, val);
        return true;
    case ObjectType::Instance:
        if (self.inst->set(key, val)) return true;
        return raiseIndexError(key);
    case ObjectType::Class:
        return newMember(self, key, val, Value(), false, true);
    case ObjectType::Array:
        return set(self, key, val, false);
    default:
        return raise("rawset works only on array/table/class and instance");
    }
}

// ----------------------------------------------------------------------------------------------
// arithmetic and comparisons
// ----------------------------------------------------------------------------------------------
static int arithMeta(char op) {
    switch (op) {
    case '+': return MM_ADD;
    case '-': return MM_SUB;
    case '*': return MM_MUL;
    case '/': return MM_DIV;
    default: return MM_MODULO;
    }
}

bool VM::arith(int op, const Value& a, const Value& b, Value& out) {
    if (a.type == ObjectType::Integer && b.type == ObjectType::Integer) {
        uint64_t x = uint64_t(a.i), y = uint64_t(b.i);
        switch (op) {
        case '+': out.setInteger(Integer(x + y)); return true;
        case '-': out.setInteger(Integer(x - y)); return true;
        case '*': out.setInteger(Integer(x * y)); return true;
        case '/':
            if (b.i == 0) return raise("division by zero");
            if (b.i == -1) {
                out.setInteger(Integer(0 - x));
                return true;
            }
            out.setInteger(a.i / b.i);
            return true;
        default:
            if (b.i == 0) return raise("division by zero");
            if (b.i == -1) {
                out.setInteger(0);
                return true;
            }
            out.setInteger(a.i % b.i);
            return true;
        }
    }
    if (a.isNumeric() && b.isNumeric()) {
        Float x = a.toFloat(), y = b.toFloat();
        switch (op) {
        case '+': out.setFloat(x + y); return true;
        case '-': out.setFloat(x - y); return true;
        case '*': out.setFloat(x * y); return true;
        case '/': out.setFloat(x / y); return true;
        default: out.setFloat(std::fmod(x, y)); return true;
        }
    }
    if (op == '+' && (a.type == ObjectType::String || b.type == ObjectType::String)) return concat(a, b, out);
    if (a.type == ObjectType::Table || a.type == ObjectType::Instance || a.type == ObjectType::UserData) {
        Value mm;
        if (getDelegateMethod(a, arithMeta(char(op)), mm)) {
            Value self(a), other(b);
            return callWith(mm, self, 1, &other, out, false);
        }
    }
    return raiseArithError(char(op), a, b);
}

bool VM::bitwise(int op, const Value& a, const Value& b, Value& out) {
    if (a.type != ObjectType::Integer || b.type != ObjectType::Integer)
        return raise("bitwise op between '%s' and '%s'", typeNameOf(a.type), typeNameOf(b.type));
    uint64_t x = uint64_t(a.i), y = uint64_t(b.i);
    switch (op) {
    case OP_BAND: out.setInteger(Integer(x & y)); break;
    case OP_BOR: out.setInteger(Integer(x | y)); break;
    case OP_BXOR: out.setInteger(Integer(x ^ y)); break;
    case OP_SHL: out.setInteger(Integer(x << (y & 63))); break;
    case OP_SHR: out.setInteger(a.i >> (y & 63)); break;
    default: out.setInteger(Integer(x >> (y & 63))); break;
    }
    return true;
}

bool VM::equals(const Value& a, const Value& b) {
    if (a.type == b.type) return a.type == ObjectType::Float ? a.f == b.f : a.i == b.i;
    if (a.isNumeric() && b.isNumeric()) return a.toFloat() == b.toFloat();
    return false;
}

bool VM::compare(const Value& a, const Value& b, Integer& result) {
    if (a.type == b.type) {
        if (a.i == b.i) {
            result = 0;
            return true;
        }
        switch (a.type) {
        case ObjectType::String: {
            int c = std::strcmp(a.s->data, b.s->data);
            if (c == 0) {
                result = 0;
            } else {
                // the difference of the first differing bytes
                const unsigned char* p = reinterpret_cast<const unsigned char*>(a.s->data);
                const unsigned char* q = reinterpret_cast<const unsigned char*>(b.s->data);
                while (*p && *p == *q) ++p, ++q;
                result = Integer(*p) - Integer(*q);
            }
            return true;
        }
        case ObjectType::Integer: result = a.i < b.i ? -1 : 1; return true;
        case ObjectType::Float: result = a.f < b.f ? -1 : 1; return true;
        case ObjectType::Table:
        case ObjectType::UserData:
        case ObjectType::Instance: {
            Value mm;
            if (getDelegateMethod(a, MM_CMP, mm)) {
                Value self(a), other(b), res;
                if (!callWith(mm, self, 1, &other, res, false)) return false;
                if (res.type != ObjectType::Integer) return raise("_cmp must return an integer");
                result = res.i;
                return true;
            }
            result = uintptr_t(a.p) < uintptr_t(b.p) ? -1 : 1;
            return true;
        }
        default:
            result = uint64_t(a.i) < uint64_t(b.i) ? -1 : 1;
            return true;
        }
    }
    if (a.isNumeric() && b.isNumeric()) {
        Float x = a.toFloat(), y = b.toFloat();
        result = x == y ? 0 : x < y ? -1 : 1;
        return true;
    }
    if (a.type == ObjectType::Null) {
        result = -1;
        return true;
    }
    if (b.type == ObjectType::Null) {
        result = 1;
        return true;
    }
    return raiseCompareError(a, b);
}

bool VM::compareOp(int kind, const Value& a, const Value& b, bool& result) {
    if (kind == CMP_EQ) {
        result = equals(a, b);
        return true;
    }
    if (kind == CMP_NE) {
        result = !equals(a, b);
        return true;
    }
    Integer r;
    if (a.type == ObjectType::Integer && b.type == ObjectType::Integer) {
        r = a.i == b.i ? 0 : a.i < b.i ? -1 : 1;
    } else if (!compare(a, b, r)) {
        return false;
    }
    switch (kind) {
    case CMP_LT: result = r < 0; break;
    case CMP_LE: result = r <= 0; break;
    case CMP_GT: result = r > 0; break;
    default: result = r >= 0; break;
    }
    return true;
}

bool VM::negate(const Value& a, Value& out) {
    switch (a.type) {
    case ObjectType::Integer: out.setInteger(Integer(0 - uint64_t(a.i))); return true;
    case ObjectType::Float: out.setFloat(-a.f); return true;
    case ObjectType::Table:
    case ObjectType::Instance:
    case ObjectType::UserData: {
        Value mm;
        if (getDelegateMethod(a, MM_UNM, mm)) {
            Value self(a);
            return callWith(mm, self, 0, nullptr, out, false);
        }
        break;
    }
    default: break;
    }
    return raise("attempt to negate a %s", typeNameOf(a.type));
}

bool VM::toString(const Value& v, Value& out) {
    std::string s;
    switch (v.type) {
    case ObjectType::String: out = v; return true;
    case ObjectType::Integer: formatInteger(s, v.i); break;
    case ObjectType::Float: formatFloat(s, v.f); break;
    case ObjectType::Bool: s = v.b ? "true" : "false"; break;
    case ObjectType::Null: s = "null"; break;
    case ObjectType::Table:
    case ObjectType::Instance:
    case ObjectType::UserData: {
        Value mm;
        if (getDelegateMethod(v, MM_TOSTRING, mm)) {
            Value self(v), res;
            if (!callWith(mm, self, 0, nullptr, res, false)) return false;
            if (res.type == ObjectType::String) {
                out = std::move(res);
                return true;
            }
        }
    }
        // fall through
    default: {
        char buf[96];
        std::snprintf(buf, sizeof buf, "(%s : 0x%p)", typeNameOf(v.type), v.p);
        s = buf;
        break;
    }
    }
    out = makeString(ss, s);
    return true;
}

bool VM::typeOf(const Value& v, Value& out) {
    if (v.type == ObjectType::Table || v.type == ObjectType::Instance || v.type == ObjectType::UserData) {
        Value mm;
        if (getDelegateMethod(v, MM_TYPEOF, mm)) {
            Value self(v);
            return callWith(mm, self, 0, nullptr, out, false);
        }
    }
    out = makeString(ss, typeNameOf(v.type));
    return true;
}

bool VM::concat(const Value& a, const Value& b, Value& out) {
    Value sa, sb;
    if (!toString(a, sa) || !toString(b, sb)) return false;
    size_t la = sa.s->len, lb = sb.s->len;
    if (la + lb > 0x7fffffffu) return raise("string too long");
    if (ss->overBudget(la + lb)) return raise("out of memory");
    if (lb == 0) {
        out = std::move(sa);
        return true;
    }
    if (la == 0) {
        out = std::move(sb);
        return true;
    }
    out = Value(ss->internConcat(sa.s->data, la, sb.s->data, lb));
    return true;
}

bool VM::instanceOf(const Value& a, const Value& b, bool& result) {
    if (b.type != ObjectType::Class)
        return raise("cannot apply instanceof between a %s and a %s", typeNameOf(a.type), typeNameOf(b.type));
    result = a.type == ObjectType::Instance && a.inst->instanceOf(b.cls);
    return true;
}

bool VM::exists(const Value& container, const Value& key, bool& result) {
    Value tmp;
    result = getImpl(container, key, tmp, GET_RAW) == 1;
    return true;
}

bool VM::clone(const Value& self, Value& out) {
    switch (self.type) {
    case ObjectType::Table: {
        Table* src = self.t;
        Table* t = ss->newTable(src->count);
        Value tv(t);
        if (src->nodes)
            for (uint32_t i = 0; i <= src->mask; ++i)
                if (!src->nodes[i].key.isNull()) t->newSlot(src->nodes[i].key, src->nodes[i].val);
        if (src->delegate) {
            t->delegate = src->delegate;
            addref(t->delegate);
        }
        Value mm;
        if (getDelegateMethod(tv, MM_CLONED, mm)) {
            Value res;
            if (!callWith(mm, tv, 1, &self, res, false)) return false;
        }
        out = std::move(tv);
        return true;
    }
    case ObjectType::Array: {
        Array* src = self.a;
        if (ss->overBudget(sizeof(Value) * src->size)) return raise("out of memory");
        Array* a = ss->newArray(0);
        Value av(a);
        a->reserve(src->size);
        for (uint32_t i = 0; i < src->size; ++i) a->append(src->data[i]);
        out = std::move(av);
        return true;
    }
    case ObjectType::Instance: {
        Instance* src = self.inst;
        Instance* in = ss->newInstance(src->cls);
        Value iv(in);
        for (uint32_t i = 0; i < in->nvalues && i < src->nvalues; ++i) in->values[i] = src->values[i];
        Value mm;
        if (getDelegateMethod(iv, MM_CLONED, mm)) {
            Value res;
            if (!callWith(mm, iv, 1, &self, res, false)) return false;
        }
        out = std::move(iv);
        return true;
    }
    default:
        return raise("cloning a %s", typeNameOf(self.type));
    }
}

// ----------------------------------------------------------------------------------------------
// calls
// ----------------------------------------------------------------------------------------------
Outer* VM::findOuter(uint32_t stackIdx) {
    Outer** pp = &openOuters;
    while (*pp && (*pp)->stackIdx > Integer(stackIdx)) pp = &(*pp)->nextOpen;
    if (*pp && (*pp)->stackIdx == Integer(stackIdx)) return *pp;
    Outer* o = ss->newOuter();
    addref(o);  // the open list owns a reference until the outer is closed
    o->stackIdx = stackIdx;
    o->valptr = &stack[stackIdx];
    o->nextOpen = *pp;
    *pp = o;
    return o;
}

void VM::closeOuters(uint32_t fromIndex) {
    while (openOuters && openOuters->stackIdx >= Integer(fromIndex)) {
        Outer* o = openOuters;
        openOuters = o->nextOpen;
        o->nextOpen = nullptr;
        o->value = *o->valptr;
        o->valptr = &o->value;
        o->stackIdx = -1;
        decref(o);
    }
}

bool VM::prepareArgs(Closure* c, uint32_t base, uint32_t nargs) {
    FuncProto* p = c->proto;
    uint32_t np = p->nparams;
    if (nargs != np) {
        if (p->varargs) {
            if (nargs < np)
                return raise("wrong number of parameters (%d passed, at least %d required)", int(nargs), int(np));
        } else if (nargs < np && nargs + c->ndefaults >= np) {
            for (uint32_t i = nargs; i < np; ++i) stack[base + i] = c->defaults[c->ndefaults - (np - i)];
        } else {
            return raise("wrong number of parameters (%d passed, %d required)", int(nargs), int(np));
        }
    }
    if (p->varargs) {
        Array* va = ss->newArray(0);
        Value vav(va);
        if (nargs > np) {
            va->reserve(nargs - np);
            for (uint32_t i = np; i < nargs; ++i) {
                va->append(stack[base + i]);
                stack[base + i].setNull();
            }
        }
        stack[base + np] = std::move(vav);
    }
    if (c->env) stack[base] = c->env->get();
    return true;
}

bool VM::startScriptCall(Closure* c, uint32_t base, uint32_t nargs, int32_t target, uint8_t flags) {
    FuncProto* p = c->proto;
    if (SQ_UNLIKELY(frames.size() >= size_t(ss->maxCallDepth))) return raise("stack overflow");
    uint32_t newTop = base + p->stackSize;
    if (SQ_UNLIKELY(newTop + kStackSlack > stackCap) && !growStack(newTop + kStackSlack)) return false;
    if (SQ_UNLIKELY(nargs != p->nparams || p->varargs || c->env) && !prepareArgs(c, base, nargs)) return false;
    frames.emplace_back();
    CallFrame& f = frames.back();
    f.ip = p->code.data();
    f.func = Value(c);
    f.base = base;
    f.top = newTop;
    f.target = target;
    f.flags = flags;
    top = newTop;
    return true;
}

bool VM::makeGenerator(Closure* c, uint32_t base, uint32_t nargs, Value& out) {
    FuncProto* p = c->proto;
    uint32_t size = p->stackSize;
    if (!ensureStack(base + size + kStackSlack)) return false;
    if (!prepareArgs(c, base, nargs)) return false;
    Generator* g = ss->newGenerator(Value(c));
    Value gv(g);
    g->saved.resize(size);
    for (uint32_t i = 0; i < size; ++i) g->saved[i] = std::move(stack[base + i]);
    g->ip = p->code.data();
    g->state = GenState::Suspended;
    out = std::move(gv);
    return true;
}

bool VM::resumeGenerator(Generator* g, int32_t target, uint8_t flags) {
    if (g->state == GenState::Dead) return raise("resuming dead generator");
    if (g->state == GenState::Running) return raise("resuming active generator");
    if (frames.size() >= size_t(ss->maxCallDepth)) return raise("stack overflow");
    uint32_t base = frames.empty() ? top : frames.back().top;
    if (top > base) base = top;
    uint32_t size = uint32_t(g->saved.size());
    if (!ensureStack(base + size + kStackSlack)) return false;
    for (uint32_t i = 0; i < size; ++i) stack[base + i] = std::move(g->saved[i]);
    frames.emplace_back();
    CallFrame& f = frames.back();
    f.ip = g->ip;
    f.func = g->closure;
    f.base = base;
    f.top = base + size;
    f.target = target;
    f.flags = uint8_t(flags | FRAME_GENERATOR);
    f.gen = Value(g);
    uint32_t frameIdx = uint32_t(frames.size() - 1);
    for (const TrapInfo& t : g->traps) {
        TrapInfo nt = t;
        nt.frameIndex = frameIdx;
        nt.stackBase = base;
        traps.push_back(nt);
        f.ntraps++;
    }
    g->traps.clear();
    // outers into the generator's registers point at the stack again
    while (g->openOuters) {
        Outer* o = g->openOuters;
        g->openOuters = o->nextOpen;
        o->stackIdx += base;
        o->valptr = &stack[o->stackIdx];
        o->nextOpen = openOuters;
        openOuters = o;
    }
    g->saved.clear();
    g->state = GenState::Running;
    top = base + size;
    return true;
}

bool VM::argCountOk(Closure* c, uint32_t nargs) {
    FuncProto* p = c->proto;
    uint32_t np = p->nparams;
    if (nargs == np) return true;
    if (p->varargs) return nargs > np;
    return nargs < np && nargs + c->ndefaults >= np;
}

// Clears a frame's registers (the frame is about to be popped).
void VM::popFrameValues(CallFrame& f) {
    uint32_t end = f.top > top ? f.top : top;
    if (end > stackCap) end = stackCap;
    for (uint32_t i = f.base; i < end; ++i) stack[i].setNull();
}

void VM::unwindFrame() {
    CallFrame& f = frames.back();
    if (f.flags & FRAME_GENERATOR) {
        Generator* g = f.gen.gen;
        g->state = GenState::Dead;
    }
    if (openOuters && openOuters->stackIdx >= Integer(f.base)) closeOuters(f.base);
    while (f.ntraps) {
        traps.pop_back();
        --f.ntraps;
    }
    popFrameValues(f);
    frames.pop_back();
    top = frames.empty() ? 0 : frames.back().top;
}

bool VM::callNative(NativeClosure* nc, uint32_t base, uint32_t nargs, Value& result, bool& suspended) {
    suspended = false;
    if (nc->nparamscheck != 0) {
        if ((nc->nparamscheck > 0 && Integer(nargs) != nc->nparamscheck) ||
            (nc->nparamscheck < 0 && Integer(nargs) < -nc->nparamscheck))
            return raise("wrong number of parameters");
    }
    size_t nchecks = nc->typecheck.size();
    for (size_t i = 0; i < nchecks && i < nargs; ++i) {
        uint32_t mask = nc->typecheck[i];
        if (mask != MaskAny && !(mask & typeBit(stack[base + i].type)))
            return raiseParamTypeError(Integer(i), mask, stack[base + i].type);
    }
    if (frames.size() >= size_t(ss->maxCallDepth)) return raise("stack overflow");
    if (nc->env) stack[base] = nc->env->get();
    uint32_t savedTop = top;
    if (!ensureStack(base + nargs + kStackSlack)) return false;
    frames.emplace_back();
    CallFrame& f = frames.back();
    f.func = Value(nc);
    f.base = base;
    f.top = base + nargs;
    f.flags = FRAME_NATIVE;
    top = base + nargs;
    Integer ret = nc->fn(this);
    uint32_t nativeTop = top;
    if (ret == kTailCallFlag) {
        // the native asked to be replaced by a call of the closure in its `this` slot, with
        // its own arguments: leave them in place for the caller to make that call
        frames.pop_back();
        for (uint32_t i = base + nargs; i < nativeTop; ++i) stack[i].setNull();
        top = savedTop;
        nativeTailCall = true;
        return true;
    }
    if (ret == kSuspendFlag) {
        suspended = true;
        result = suspendValue;
        suspendValue.setNull();
        ret = 0;
    } else if (ret > 0) {
        if (nativeTop > base)
            result = stack[nativeTop - 1];
        else
            result.setNull();
    } else if (ret == 0) {
        result.setNull();
    }
    frames.pop_back();
    uint32_t end = nativeTop > base + nargs ? nativeTop : base + nargs;
    for (uint32_t i = base; i < end; ++i) stack[i].setNull();
    top = savedTop;
    return ret >= 0;
}

bool VM::construct(Class* cls, uint32_t base, uint32_t nargs, Value& result) {
    Instance* in = ss->newInstance(cls);
    Value iv(in);
    Value ctor;
    if (cls->constructorIdx >= 0) ctor = cls->methods[size_t(cls->constructorIdx)].val;
    if (ctor.isNull()) {
        for (uint32_t i = 0; i < nargs; ++i) stack[base + i].setNull();
        result = std::move(iv);
        return true;
    }
    stack[base] = iv;
    Value dummy;
    if (!call(ctor, base, nargs, dummy, false)) return false;
    result = std::move(iv);
    return true;
}

bool VM::call(const Value& funcIn, uint32_t argBase, uint32_t nargs, Value& result, bool raiseError) {
    if (SQ_UNLIKELY(ss->nativeStackExhausted())) return raise("native stack overflow");
    Value func(funcIn);
    uint32_t savedTop = top;
    bool ok = false;
    switch (func.type) {
    case ObjectType::Closure: {
        Closure* c = func.c;
        if (c->proto->generator) {
            ok = makeGenerator(c, argBase, nargs, result);
            break;
        }
        if (nestedCalls >= kMaxNestedCalls || ss->nativeStackExhausted()) {
            ok = raise("native stack overflow");
            break;
        }
        if (!startScriptCall(c, argBase, nargs, -1, FRAME_ROOT)) {
            if (raiseError) callErrorHandler(lastError);
            ok = false;
            break;
        }
        if (frames.size() == 1) callBaseTop = argBase;
        if (SQ_UNLIKELY(!debugHook.isNull() || ss->nativeDebugHook))
            callDebugHook('c', frames.back().func, frameLine(frames.size() - 1));
        ok = execute(uint32_t(frames.size() - 1), raiseError, result);
        break;
    }
    case ObjectType::NativeClosure: {
        bool susp = false;
        ok = callNative(func.nc, argBase, nargs, result, susp);
        if (susp) ok = raise("cannot suspend through a native call");
        if (ok && nativeTailCall) {
            nativeTailCall = false;
            Value callee(std::move(stack[argBase]));
            ok = call(callee, argBase + 1, nargs - 1, result, raiseError);
        }
        break;
    }
    case ObjectType::Class:
        ok = construct(func.cls, argBase, nargs, result);
        break;
    case ObjectType::Table:
    case ObjectType::Instance:
    case ObjectType::UserData: {
        Value mm;
        if (getDelegateMethod(func, MM_CALL, mm)) {
            // the object becomes `this`; the original `this` is the first argument
            uint32_t nb = top;
            if (!ensureStack(nb + nargs + 1 + kStackSlack)) return false;
            stack[top++] = func;
            for (uint32_t i = 0; i < nargs; ++i) stack[top++] = stack[argBase + i];
            ok = call(mm, nb, nargs + 1, result, raiseError);
            settop(nb);
            break;
        }
        ok = raise("attempt to call '%s'", typeNameOf(func.type));
        break;
    }
    default:
        ok = raise("attempt to call '%s'", typeNameOf(func.type));
        break;
    }
    if (state == VMState::Suspended && func.type == ObjectType::Closure) return ok;  // frames stay
    if (top > savedTop) settop(savedTop);
    top = savedTop;
    if (nestedCalls == 0 && frames.empty()) {
        // the outermost call is over: a stopped script does not stop the next one
        aborted = false;
        ss->memoryRefused = false;
    }
    return ok;
}

void VM::callErrorHandler(const Value& error) {
    if (errorHandler.isNull() || inErrorHandler) return;
    inErrorHandler = true;
    Value handler(errorHandler);
    Value self(root);
    Value err(error);
    Value res;
    callWith(handler, self, 1, &err, res, false);
    inErrorHandler = false;
}

void VM::callDebugHook(int event, const Value& func, int32_t line) {
    if (inErrorHandler) return;
    if (ss->nativeDebugHook) {
        const char* src = nullptr;
        const char* name = nullptr;
        if (func.type == ObjectType::Closure) {
            FuncProto* p = func.c->proto;
            if (p->source.type == ObjectType::String) src = p->source.s->data;
            if (p->name.type == ObjectType::String) name = p->name.s->data;
        }
        inErrorHandler = true;
        ss->nativeDebugHook(this, event, src, line, name);
        inErrorHandler = false;
        return;
    }
    if (debugHook.isNull()) return;
    inErrorHandler = true;
    Value hook(debugHook);
    Value args[4];
    args[0] = Value(Integer(event));
    if (func.type == ObjectType::Closure) {
        args[1] = func.c->proto->source;
        args[3] = func.c->proto->name;
    } else if (func.type == ObjectType::NativeClosure) {
        args[3] = func.nc->name;
    }
    args[2] = Value(Integer(line));
    Value res;
    Value self(root);
    callWith(hook, self, 4, args, res, false);
    inErrorHandler = false;
}

bool VM::stepCheck() {
    if (aborted) return raise("execution aborted");
    if (ss->memoryLimit && (ss->bytesAllocated > ss->memoryLimit || ss->memoryRefused)) {
        aborted = true;
        return raise("out of memory");
    }
    if (ss->stepHook) {
        // every `interval` steps call the hook (natives may have charged many at once)
        --ss->stepCounter;
        while (ss->stepCounter <= 0) {
            ss->stepCounter += ss->stepInterval > 0 ? ss->stepInterval : 1;
            if (ss->stepHook(this, ss->stepUser)) {
                aborted = true;
                return raise("execution aborted");
            }
        }
    }
    return true;
}

int32_t VM::frameLine(size_t idx) const {
    const CallFrame& f = frames[idx];
    if (f.func.type != ObjectType::Closure) return -1;
    const FuncProto* p = f.func.c->proto;
    uint32_t pc = uint32_t(f.ip - p->code.data());
    if (pc > 0) --pc;
    return p->lineForPc(pc);
}

// ----------------------------------------------------------------------------------------------
// interpreter loop
// ----------------------------------------------------------------------------------------------
#define LOADFRAME()                                   \
    do {                                              \
        ci = &frames.back();                          \
        ip = ci->ip;                                  \
        cl = ci->func.c;                              \
        stk = stack + ci->base;                       \
        K = cl->proto->literals.data();               \
    } while (0)
#define RELOAD()                      \
    do {                              \
        ci = &frames.back();          \
        stk = stack + ci->base;       \
    } while (0)
#define SAVEIP() (ci->ip = ip)
#if defined(__GNUC__)
#define SQUIRREL_COMPUTED_GOTO 1
// Each handler jumps straight to the next one: one indirect branch per handler predicts far
// better than the single one of a switch.
#define CASE(op) \
    L_##op:      \
    case op:
#define NEXT()                    \
    do {                          \
        in = *ip++;               \
        goto* kLabels[in.op];     \
    } while (0)
#else
#define SQUIRREL_COMPUTED_GOTO 0
#define CASE(op) case op:
#define NEXT() continue
#endif
#define THROW()         \
    do {                \
        SAVEIP();       \
        goto exception; \
    } while (0)

static SQ_INLINE bool intCompare(int kind, Integer a, Integer b) {
    switch (kind) {
    case CMP_LT: return a < b;
    case CMP_LE: return a <= b;
    case CMP_GT: return a > b;
    case CMP_GE: return a >= b;
    case CMP_EQ: return a == b;
    default: return a != b;
    }
}

static SQ_INLINE void assignRealValue(Value& dst, const Value& v) {
    if (v.type == ObjectType::WeakRef)
        dst = v.w->get();
    else
        dst = v;
}

// The interpreter loop. Handlers end with NEXT(), a computed goto to the next handler, which
// does not run destructors: a handler that has C++ objects alive (a Value local, say) must
// close their scope first and end with `continue`, which goes round the loop normally.
bool VM::execute(uint32_t entry, bool raiseError, Value& result) {
    // the first entry on this native stack marks where the stack guard measures from
    struct NativeEntry {
        SharedState* ss;
        explicit NativeEntry(SharedState* s) : ss(s) {
            if (ss->nativeEntries++ == 0) ss->nativeStackBase = static_cast<const char*>(__builtin_frame_address(0));
        }
        ~NativeEntry() {
            if (--ss->nativeEntries == 0) ss->nativeStackBase = nullptr;
        }
    } nativeEntry(ss);
    ++nestedCalls;
    CallFrame* ci;
    const Instr* ip;
    Closure* cl;
    Value* stk;
    const Value* K;
    Value retval;
    Instr in;
    int trapCount = 0;  // traps set up by this invocation
#if SQUIRREL_COMPUTED_GOTO
#define LABEL_ADDRESS(op) &&L_##op,
    static const void* const kLabels[] = {SQUIRREL_OPCODES(LABEL_ADDRESS)};
#undef LABEL_ADDRESS
#endif
    const bool checks = ss->stepHook != nullptr || ss->memoryLimit != 0 || !debugHook.isNull();
    LOADFRAME();
    if (aborted) {
        raise("execution aborted");
        goto exception;
    }
    if (resuming) {
        // a thread woken up goes on with the traps it had when it suspended
        resuming = false;
        trapCount = suspendedTraps;
    }
    if (checks) {
        // re-entering the interpreter (metamethods, callbacks) costs a few steps
        SAVEIP();
        ss->stepCounter -= 8;
        if (!stepCheck()) goto exception;
    }
    if (pendingThrow) {
        pendingThrow = false;
        pendingReturn = false;
        goto exception;
    }
    if (pendingReturn) {
        pendingReturn = false;
        retval = std::move(stk[suspendTarget]);
        goto do_return;
    }

    for (;;) {
        {
            in = *ip++;
            switch (in.op) {
            CASE(OP_LOADK) stk[in.a] = K[in.x]; NEXT();
            CASE(OP_LOADINT) stk[in.a].setInteger(in.x); NEXT();
            CASE(OP_LOADFLOAT) {
                Float f;
                std::memcpy(&f, &in.x, 4);
                stk[in.a].setFloat(f);
                NEXT();
            }
            CASE(OP_LOADNULL)
                for (int32_t i = 0; i < in.x; ++i) stk[in.a + i].setNull();
                NEXT();
            CASE(OP_LOADBOOL) stk[in.a].setBool(in.b != 0); NEXT();
            CASE(OP_LOADROOT)
                if (cl->root)
                    stk[in.a] = Value(cl->root);
                else
                    stk[in.a].setNull();
                NEXT();
            CASE(OP_MOVE) stk[in.a] = stk[in.b]; NEXT();
            CASE(OP_GETOUTER) stk[in.a] = *cl->outers[in.x].outer->valptr; NEXT();
            CASE(OP_SETOUTER) *cl->outers[in.x].outer->valptr = stk[in.b]; NEXT();
            CASE(OP_GETK) {
                const Value& obj = stk[in.b];
                const Value& key = K[in.x];
                if (obj.type == ObjectType::Table) {
                    TableNode* n = obj.t->find(key);
                    if (n) {
                        assignRealValue(stk[in.a], n->val);
                        NEXT();
                    }
                } else if (obj.type == ObjectType::Instance) {
                    Instance* inst = obj.inst;
                    TableNode* n = inst->cls->members->find(key);
                    if (n) {
                        Integer enc = n->val.i;
                        if (memberIsField(enc))
                            assignRealValue(stk[in.a], inst->values[memberIndex(enc)]);
                        else
                            assignRealValue(stk[in.a], inst->cls->methods[memberIndex(enc)].val);
                        NEXT();
                    }
                }
                SAVEIP();
                Value o(obj), k(key), tmp;
                if (!get(o, k, tmp, in.c ? GET_ROOT_FALLBACK : 0)) goto exception;
                RELOAD();
                stk[in.a] = std::move(tmp);
                continue;
            }
            CASE(OP_GET) {
                const Value& obj = stk[in.b];
                const Value& key = stk[in.c];
                if (obj.type == ObjectType::Array && key.type == ObjectType::Integer) {
                    Array* a = obj.a;
                    if (uint64_t(key.i) < a->size) {
                        assignRealValue(stk[in.a], a->data[key.i]);
                        NEXT();
                    }
                } else if (obj.type == ObjectType::Table) {
                    TableNode* n = obj.t->find(key);
                    if (n) {
                        assignRealValue(stk[in.a], n->val);
                        NEXT();
                    }
                }
                SAVEIP();
                Value o(obj), k(key), tmp;
                if (!get(o, k, tmp, in.x ? GET_ROOT_FALLBACK : 0)) goto exception;
                RELOAD();
                stk[in.a] = std::move(tmp);
                continue;
            }
            CASE(OP_SETK) {
                const Value& obj = stk[in.a];
                const Value& key = K[in.x];
                if (obj.type == ObjectType::Table) {
                    TableNode* n = obj.t->find(key);
                    if (n) {
                        n->val = stk[in.b];
                        NEXT();
                    }
                } else if (obj.type == ObjectType::Instance) {
                    Instance* inst = obj.inst;
                    TableNode* n = inst->cls->members->find(key);
                    if (n && memberIsField(n->val.i)) {
                        inst->values[memberIndex(n->val.i)] = stk[in.b];
                        NEXT();
                    }
                }
                SAVEIP();
                Value o(obj), k(key), v(stk[in.b]);
                if (!set(o, k, v, in.c != 0)) goto exception;
                RELOAD();
                continue;
            }
            CASE(OP_SET) {
                const Value& obj = stk[in.a];
                const Value& key = stk[in.b];
                if (obj.type == ObjectType::Array && key.type == ObjectType::Integer) {
                    Array* a = obj.a;
                    if (uint64_t(key.i) < a->size) {
                        a->data[key.i] = stk[in.c];
                        NEXT();
                    }
                } else if (obj.type == ObjectType::Table) {
                    TableNode* n = obj.t->find(key);
                    if (n) {
                        n->val = stk[in.c];
                        NEXT();
                    }
                }
                SAVEIP();
                Value o(obj), k(key), v(stk[in.c]);
                if (!set(o, k, v, in.x != 0)) goto exception;
                RELOAD();
                continue;
            }
            CASE(OP_NEWSLOTK) {
                SAVEIP();
                Value o(stk[in.a]), v(stk[in.b]);
                if (o.type == ObjectType::Table && !o.t->delegate && o.t->count < o.t->capacity()) {
                    o.t->newSlot(K[in.x], v);
                    continue;
                }
                if (!newSlot(o, K[in.x], v, false)) goto exception;
                RELOAD();
                continue;
            }
            CASE(OP_NEWSLOT) {
                SAVEIP();
                Value o(stk[in.a]), k(stk[in.b]), v(stk[in.c]);
                if (!newSlot(o, k, v, false)) goto exception;
                RELOAD();
                continue;
            }
            CASE(OP_NEWMEMBER) {
                SAVEIP();
                Value o(stk[in.a]), k(stk[in.b]), v(stk[in.c]);
                Value attrs;
                int ar = in.x & 0xFF;
                if (ar != 0xFF) attrs = stk[ar];
                if (!newMember(o, k, v, attrs, (in.x & 0x100) != 0, false)) goto exception;
                RELOAD();
                continue;
            }
            CASE(OP_DELETE) {
                SAVEIP();
                Value o(stk[in.b]), k(stk[in.c]), res;
                if (!deleteSlot(o, k, res)) goto exception;
                RELOAD();
                stk[in.a] = std::move(res);
                continue;
            }
            CASE(OP_PREPCALLK)
            CASE(OP_PREPCALL) {
                const Value& key = in.op == OP_PREPCALLK ? K[in.x] : stk[in.c];
                int fallback = in.op == OP_PREPCALLK ? in.c : in.x;
                Value o(stk[in.b]);
                if (o.type == ObjectType::Instance) {
                    Instance* inst = o.inst;
                    TableNode* n = inst->cls->members->find(key);
                    if (n) {
                        Integer enc = n->val.i;
                        if (memberIsField(enc))
                            assignRealValue(stk[in.a], inst->values[memberIndex(enc)]);
                        else
                            assignRealValue(stk[in.a], inst->cls->methods[memberIndex(enc)].val);
                        stk[in.a + 1] = std::move(o);
                        continue;
                    }
                } else if (o.type == ObjectType::Table) {
                    TableNode* n = o.t->find(key);
                    if (n) {
                        assignRealValue(stk[in.a], n->val);
                        stk[in.a + 1] = std::move(o);
                        continue;
                    }
                }
                SAVEIP();
                Value k(key), tmp;
                if (!get(o, k, tmp, fallback ? GET_ROOT_FALLBACK : 0)) goto exception;
                RELOAD();
                stk[in.a] = std::move(tmp);
                stk[in.a + 1] = std::move(o);
                continue;
            }
            CASE(OP_CALL)
            CASE(OP_TAILCALL) {
                Value& f = stk[in.b];
                uint32_t base = ci->base + in.b + 1;
                uint32_t nargs = in.c;
                if (f.type == ObjectType::Closure && !f.c->proto->generator) {
                    Closure* callee = f.c;
                    SAVEIP();
                    if (checks && !stepCheck()) goto exception;
                    if (in.op == OP_TAILCALL && !(ci->flags & (FRAME_CTOR | FRAME_GENERATOR)) &&
                        argCountOk(callee, nargs)) {
                        // reuse the frame: move the callee's arguments down
                        uint32_t fb = ci->base;
                        Value calleeVal(f);
                        if (openOuters && openOuters->stackIdx >= Integer(fb)) closeOuters(fb);
                        for (uint32_t i = 0; i < nargs; ++i) stack[fb + i] = std::move(stack[base + i]);
                        uint32_t end = ci->top;
                        for (uint32_t i = fb + nargs; i < end; ++i) stack[i].setNull();
                        int32_t target = ci->target;
                        uint8_t flags = ci->flags;
                        frames.pop_back();
                        if (!startScriptCall(calleeVal.c, fb, nargs, target, flags)) {
                            // only a stack allocation failure gets here: the frame is gone
                            for (uint32_t i = fb; i < fb + nargs; ++i) stack[i].setNull();
                            if (frames.size() <= entry) {
                                if (raiseError && !aborted) callErrorHandler(lastError);
                                --nestedCalls;
                                return false;
                            }
                            LOADFRAME();
                            goto exception;
                        }
                        LOADFRAME();
                        continue;
                    }
                    if (!startScriptCall(callee, base, nargs, in.op == OP_TAILCALL ? -2 : in.a, 0)) goto exception;
                    LOADFRAME();
                    if (SQ_UNLIKELY(!debugHook.isNull() || ss->nativeDebugHook)) {
                        callDebugHook('c', ci->func, frameLine(frames.size() - 1));
                        RELOAD();
                    }
                    NEXT();
                }
                SAVEIP();
                Value fv(f);
                Value res;
                switch (fv.type) {
                case ObjectType::NativeClosure: {
                    bool susp = false;
                    bool ok = callNative(fv.nc, base, nargs, res, susp);
                    RELOAD();
                    if (!ok) goto exception;
                    if (nativeTailCall) {
                        // call(): the closure runs in place of the native, in this loop
                        nativeTailCall = false;
                        Value callee(std::move(stack[base]));
                        if (!startScriptCall(callee.c, base + 1, nargs - 1, in.op == OP_TAILCALL ? -2 : in.a, 0))
                            goto exception;
                        LOADFRAME();
                        continue;
                    }
                    if (susp) {
                        // after a tail call the wakeup value is what this frame returns
                        pendingReturn = in.op == OP_TAILCALL;
                        suspendTarget = in.op == OP_TAILCALL ? in.b : in.a;
                        suspendedTraps = trapCount;
                        state = VMState::Suspended;
                        result = std::move(res);
                        --nestedCalls;
                        return true;
                    }
                    break;
                }
                case ObjectType::Closure: {
                    // generator function: the call makes the generator
                    if (!makeGenerator(fv.c, base, nargs, res)) goto exception;
                    RELOAD();
                    break;
                }
                case ObjectType::Class: {
                    Class* cls = fv.cls;
                    Value ctor;
                    if (cls->constructorIdx >= 0) ctor = cls->methods[size_t(cls->constructorIdx)].val;
                    if (ctor.type == ObjectType::Closure && !ctor.c->proto->generator && in.op == OP_CALL) {
                        if (checks && !stepCheck()) goto exception;
                        Instance* inst = ss->newInstance(cls);
                        stack[base] = Value(inst);
                        if (!startScriptCall(ctor.c, base, nargs, in.a, FRAME_CTOR)) goto exception;
                        LOADFRAME();
                        continue;
                    }
                    if (!construct(cls, base, nargs, res)) {
                        RELOAD();
                        goto exception;
                    }
                    RELOAD();
                    break;
                }
                case ObjectType::Table:
                case ObjectType::Instance:
                case ObjectType::UserData: {
                    Value mm;
                    if (!getDelegateMethod(fv, MM_CALL, mm)) {
                        raise("attempt to call '%s'", typeNameOf(fv.type));
                        goto exception;
                    }
                    if (mm.type == ObjectType::Closure && !mm.c->proto->generator && in.op == OP_CALL) {
                        if (!startScriptCall(mm.c, base - 1, nargs + 1, in.a, 0)) goto exception;
                        LOADFRAME();
                        continue;
                    }
                    if (!call(mm, base - 1, nargs + 1, res, false)) {
                        RELOAD();
                        goto exception;
                    }
                    RELOAD();
                    break;
                }
                default:
                    raise("attempt to call '%s'", typeNameOf(fv.type));
                    goto exception;
                }
                if (in.op == OP_TAILCALL) {
                    retval = std::move(res);
                    goto do_return;
                }
                stk[in.a] = std::move(res);
                continue;
            }
            CASE(OP_RETURN) {
                if (in.b)
                    retval = std::move(stk[in.a]);
                else
                    retval.setNull();
                SAVEIP();
                goto do_return;
            }
            CASE(OP_ADD) {
                const Value& x = stk[in.b];
                const Value& y = stk[in.c];
                if (x.type == ObjectType::Integer && y.type == ObjectType::Integer) {
                    stk[in.a].setInteger(Integer(uint64_t(x.i) + uint64_t(y.i)));
                    NEXT();
                }
                if (x.type == ObjectType::Float && y.type == ObjectType::Float) {
                    stk[in.a].setFloat(x.f + y.f);
                    NEXT();
                }
                SAVEIP();
                Value a(x), b(y), r;
                if (!arith('+', a, b, r)) goto exception;
                RELOAD();
                stk[in.a] = std::move(r);
                continue;
            }
            CASE(OP_SUB) {
                const Value& x = stk[in.b];
                const Value& y = stk[in.c];
                if (x.type == ObjectType::Integer && y.type == ObjectType::Integer) {
                    stk[in.a].setInteger(Integer(uint64_t(x.i) - uint64_t(y.i)));
                    NEXT();
                }
                if (x.type == ObjectType::Float && y.type == ObjectType::Float) {
                    stk[in.a].setFloat(x.f - y.f);
                    NEXT();
                }
                SAVEIP();
                Value a(x), b(y), r;
                if (!arith('-', a, b, r)) goto exception;
                RELOAD();
                stk[in.a] = std::move(r);
                continue;
            }
            CASE(OP_MUL) {
                const Value& x = stk[in.b];
                const Value& y = stk[in.c];
                if (x.type == ObjectType::Integer && y.type == ObjectType::Integer) {
                    stk[in.a].setInteger(Integer(uint64_t(x.i) * uint64_t(y.i)));
                    NEXT();
                }
                if (x.type == ObjectType::Float && y.type == ObjectType::Float) {
                    stk[in.a].setFloat(x.f * y.f);
                    NEXT();
                }
                SAVEIP();
                Value a(x), b(y), r;
                if (!arith('*', a, b, r)) goto exception;
                RELOAD();
                stk[in.a] = std::move(r);
                continue;
            }
            CASE(OP_DIV)
            CASE(OP_MOD) {
                SAVEIP();
                Value a(stk[in.b]), b(stk[in.c]), r;
                if (!arith(in.op == OP_DIV ? '/' : '%', a, b, r)) goto exception;
                RELOAD();
                stk[in.a] = std::move(r);
                continue;
            }
            CASE(OP_ADDI) {
                const Value& x = stk[in.b];
                if (x.type == ObjectType::Integer) {
                    stk[in.a].setInteger(Integer(uint64_t(x.i) + uint64_t(int64_t(in.x))));
                    NEXT();
                }
                if (x.type == ObjectType::Float) {
                    stk[in.a].setFloat(x.f + Float(in.x));
                    NEXT();
                }
                SAVEIP();
                Value a(x), b(Integer(in.x)), r;
                if (!arith('+', a, b, r)) goto exception;
                RELOAD();
                stk[in.a] = std::move(r);
                continue;
            }
            CASE(OP_SUBI) {
                const Value& x = stk[in.b];
                if (x.type == ObjectType::Integer) {
                    stk[in.a].setInteger(Integer(uint64_t(x.i) - uint64_t(int64_t(in.x))));
                    NEXT();
                }
                if (x.type == ObjectType::Float) {
                    stk[in.a].setFloat(x.f - Float(in.x));
                    NEXT();
                }
                {
                    SAVEIP();
                    Value a(x), b(Integer(in.x)), r;
                    if (!arith('-', a, b, r)) goto exception;
                    RELOAD();
                    stk[in.a] = std::move(r);
                }
                continue;
            }
            CASE(OP_PINC) {
                Value old(stk[in.b]);
                if (old.type == ObjectType::Integer) {
                    stk[in.b].setInteger(Integer(uint64_t(old.i) + uint64_t(int64_t(in.x))));
                } else {
                    SAVEIP();
                    Value b(Integer(in.x)), r;
                    if (!arith('+', old, b, r)) goto exception;
                    RELOAD();
                    stk[in.b] = std::move(r);
                }
                stk[in.a] = std::move(old);
                continue;
            }
            CASE(OP_BAND)
            CASE(OP_BOR)
            CASE(OP_BXOR)
            CASE(OP_SHL)
            CASE(OP_SHR)
            CASE(OP_USHR) {
                Value r;
                if (!bitwise(in.op, stk[in.b], stk[in.c], r)) THROW();
                stk[in.a] = std::move(r);
                continue;
            }
            CASE(OP_EQ) stk[in.a].setBool(equals(stk[in.b], stk[in.c])); NEXT();
            CASE(OP_NE) stk[in.a].setBool(!equals(stk[in.b], stk[in.c])); NEXT();
            CASE(OP_LT)
            CASE(OP_LE)
            CASE(OP_GT)
            CASE(OP_GE) {
                const Value& x = stk[in.b];
                const Value& y = stk[in.c];
                int kind = in.op - OP_LT;
                if (x.type == ObjectType::Integer && y.type == ObjectType::Integer) {
                    bool r;
                    switch (kind) {
                    case CMP_LT: r = x.i < y.i; break;
                    case CMP_LE: r = x.i <= y.i; break;
                    case CMP_GT: r = x.i > y.i; break;
                    default: r = x.i >= y.i; break;
                    }
                    stk[in.a].setBool(r);
                    NEXT();
                }
                SAVEIP();
                Value a(x), b(y);
                bool r;
                if (!compareOp(kind, a, b, r)) goto exception;
                RELOAD();
                stk[in.a].setBool(r);
                continue;
            }
            CASE(OP_CMP3) {
                SAVEIP();
                Value a(stk[in.b]), b(stk[in.c]);
                Integer r;
                if (!compare(a, b, r)) goto exception;
                RELOAD();
                stk[in.a].setInteger(r);
                continue;
            }
            CASE(OP_CMPK) {
                const Value& x = stk[in.b];
                const Value& y = K[in.x];
                if (x.type == ObjectType::Integer && y.type == ObjectType::Integer) {
                    stk[in.a].setBool(intCompare(in.c, x.i, y.i));
                    NEXT();
                }
                {
                    SAVEIP();
                    Value a(x), b(y);
                    bool r;
                    if (!compareOp(in.c, a, b, r)) goto exception;
                    RELOAD();
                    stk[in.a].setBool(r);
                }
                continue;
            }
            CASE(OP_NOT) stk[in.a].setBool(isFalse(stk[in.b])); NEXT();
            CASE(OP_NEG) {
                const Value& x = stk[in.b];
                if (x.type == ObjectType::Integer) {
                    stk[in.a].setInteger(Integer(0 - uint64_t(x.i)));
                    NEXT();
                }
                if (x.type == ObjectType::Float) {
                    stk[in.a].setFloat(-x.f);
                    NEXT();
                }
                SAVEIP();
                Value a(x), r;
                if (!negate(a, r)) goto exception;
                RELOAD();
                stk[in.a] = std::move(r);
                continue;
            }
            CASE(OP_BNOT) {
                const Value& x = stk[in.b];
                if (x.type != ObjectType::Integer) {
                    raise("attempt to perform a bitwise op on a %s", typeNameOf(x.type));
                    THROW();
                }
                stk[in.a].setInteger(~x.i);
                NEXT();
            }
            CASE(OP_TYPEOF) {
                SAVEIP();
                Value a(stk[in.b]), r;
                if (!typeOf(a, r)) goto exception;
                RELOAD();
                stk[in.a] = std::move(r);
                continue;
            }
            CASE(OP_CLONE) {
                SAVEIP();
                Value a(stk[in.b]), r;
                if (!clone(a, r)) goto exception;
                RELOAD();
                stk[in.a] = std::move(r);
                continue;
            }
            CASE(OP_IN) {
                bool r;
                exists(stk[in.c], stk[in.b], r);
                stk[in.a].setBool(r);
                NEXT();
            }
            CASE(OP_INSTANCEOF) {
                bool r;
                if (!instanceOf(stk[in.b], stk[in.c], r)) THROW();
                stk[in.a].setBool(r);
                NEXT();
            }
            CASE(OP_JMP)
                ip += in.x;
                if (in.x < 0 && checks) {
                    SAVEIP();
                    if (!stepCheck()) goto exception;
                }
                NEXT();
            CASE(OP_JZ)
                if (isFalse(stk[in.a])) ip += in.x;
                NEXT();
            CASE(OP_JNZ)
                if (!isFalse(stk[in.a])) {
                    ip += in.x;
                    if (in.x < 0 && checks) {
                        SAVEIP();
                        if (!stepCheck()) goto exception;
                    }
                }
                NEXT();
            CASE(OP_JCMP) {
                const Value& x = stk[in.b];
                const Value& y = stk[in.c];
                if (x.type == ObjectType::Integer && y.type == ObjectType::Integer) {
                    if (!intCompare(in.a, x.i, y.i)) ip += in.x;
                    NEXT();
                }
                {
                    SAVEIP();
                    Value a(x), b(y);
                    bool r;
                    if (!compareOp(in.a, a, b, r)) goto exception;
                    RELOAD();
                    if (!r) ip += in.x;
                }
                continue;
            }
            CASE(OP_JCMPK) {
                const Value& x = stk[in.b];
                const Value& y = K[in.c];
                if (x.type == ObjectType::Integer && y.type == ObjectType::Integer) {
                    if (!intCompare(in.a, x.i, y.i)) ip += in.x;
                    NEXT();
                }
                {
                    SAVEIP();
                    Value a(x), b(y);
                    bool r;
                    if (!compareOp(in.a, a, b, r)) goto exception;
                    RELOAD();
                    if (!r) ip += in.x;
                }
                continue;
            }
            CASE(OP_CLOSURE) {
                FuncProto* fp = cl->proto->functions[size_t(in.x)].fp;
                Table* rt = root.type == ObjectType::Table ? root.t : cl->root;
                Closure* nc = ss->newClosure(fp, rt);
                Value ncv(nc);
                for (size_t i = 0; i < fp->outers.size(); ++i) {
                    const OuterInfo& oi = fp->outers[i];
                    if (oi.fromParentLocal)
                        nc->outers[i] = Value(findOuter(ci->base + oi.index));
                    else
                        nc->outers[i] = cl->outers[oi.index];
                }
                for (size_t i = 0; i < fp->defaultParamRegs.size(); ++i) nc->defaults[i] = stk[fp->defaultParamRegs[i]];
                stk[in.a] = std::move(ncv);
                continue;
            }
            CASE(OP_NEWTABLE) {
                Table* t = ss->newTable(uint32_t(in.x));
                stk[in.a] = Value(t);
                NEXT();
            }
            CASE(OP_NEWARRAY) {
                Array* a = ss->newArray(0);
                if (in.x > 0) a->reserve(uint32_t(in.x));
                stk[in.a] = Value(a);
                NEXT();
            }
            CASE(OP_APPEND) stk[in.a].a->append(stk[in.b]); NEXT();
            CASE(OP_NEWCLASS) {
                SAVEIP();
                Value basev;
                if (in.b != kNoReg) {
                    basev = stk[in.b];
                    if (basev.type != ObjectType::Class) {
                        raise("trying to inherit from a %s", typeNameOf(basev.type));
                        goto exception;
                    }
                }
                Value attrs;
                if (in.c != kNoReg) attrs = stk[in.c];
                Class* c = ss->newClass(basev.type == ObjectType::Class ? basev.cls : nullptr);
                Value cv(c);
                c->attrs = attrs;
                if (basev.type == ObjectType::Class && !basev.cls->metamethods[MM_INHERITED].isNull()) {
                    Value mm(basev.cls->metamethods[MM_INHERITED]), res;
                    if (!callWith(mm, cv, 1, &attrs, res, false)) {
                        RELOAD();
                        goto exception;
                    }
                    RELOAD();
                }
                stk[in.a] = std::move(cv);
                continue;
            }
            CASE(OP_GETBASE)
                if (cl->base)
                    stk[in.a] = Value(cl->base);
                else
                    stk[in.a].setNull();
                NEXT();
            CASE(OP_FOREACH) {
                Value& cont = stk[in.a];
                Value& iter = stk[in.a + 3];
                switch (cont.type) {
                case ObjectType::Array: {
                    Integer idx = iter.type == ObjectType::Integer ? iter.i : 0;
                    Array* a = cont.a;
                    if (idx >= Integer(a->size)) {
                        ip += in.x;
                        NEXT();
                    }
                    stk[in.a + 1].setInteger(idx);
                    assignRealValue(stk[in.a + 2], a->data[idx]);
                    stk[in.a + 3].setInteger(idx + 1);
                    ip++;  // skip the generator check
                    NEXT();
                }
                case ObjectType::Table: {
                    Integer from = iter.type == ObjectType::Integer ? iter.i : 0;
                    Table* t = cont.t;
                    int32_t n = t->nodes ? t->nextIndex(uint32_t(from)) : -1;
                    if (n < 0) {
                        ip += in.x;
                        NEXT();
                    }
                    stk[in.a + 1] = t->nodes[n].key;
                    assignRealValue(stk[in.a + 2], t->nodes[n].val);
                    stk[in.a + 3].setInteger(n + 1);
                    ip++;
                    NEXT();
                }
                case ObjectType::String: {
                    Integer idx = iter.type == ObjectType::Integer ? iter.i : 0;
                    String* s = cont.s;
                    if (idx >= Integer(s->len)) {
                        ip += in.x;
                        NEXT();
                    }
                    stk[in.a + 1].setInteger(idx);
                    stk[in.a + 2].setInteger(Integer((signed char)s->data[idx]));
                    stk[in.a + 3].setInteger(idx + 1);
                    ip++;
                    NEXT();
                }
                case ObjectType::Class: {
                    Integer from = iter.type == ObjectType::Integer ? iter.i : 0;
                    Class* c = cont.cls;
                    Table* t = c->members;
                    int32_t n = t->nodes ? t->nextIndex(uint32_t(from)) : -1;
                    if (n < 0) {
                        ip += in.x;
                        NEXT();
                    }
                    Integer enc = t->nodes[n].val.i;
                    stk[in.a + 1] = t->nodes[n].key;
                    stk[in.a + 2] = memberIsField(enc) ? c->fields[memberIndex(enc)].val : c->methods[memberIndex(enc)].val;
                    stk[in.a + 3].setInteger(n + 1);
                    ip++;
                    NEXT();
                }
                case ObjectType::Generator: {
                    Generator* g = cont.gen;
                    if (g->state == GenState::Dead) {
                        ip += in.x;
                        NEXT();
                    }
                    Integer idx = iter.type == ObjectType::Integer ? iter.i : 0;
                    stk[in.a + 1].setInteger(idx);
                    stk[in.a + 3].setInteger(idx + 1);
                    SAVEIP();
                    Value gv(cont);
                    if (!resumeGenerator(gv.gen, in.a + 2, 0)) goto exception;
                    LOADFRAME();
                    continue;
                }
                case ObjectType::Instance:
                case ObjectType::UserData: {
                    SAVEIP();
                    Value c(cont), mm;
                    if (!getDelegateMethod(c, MM_NEXTI, mm)) {
                        if (c.type == ObjectType::Instance || c.ud->delegate) {
                            raise("_nexti failed");
                        } else {
                            raise("cannot iterate %s", typeNameOf(c.type));
                        }
                        goto exception;
                    }
                    Value prev(stk[in.a + 3]), idx;
                    if (!callWith(mm, c, 1, &prev, idx, false)) {
                        RELOAD();
                        goto exception;
                    }
                    RELOAD();
                    if (idx.isNull()) {
                        ip += in.x;
                        continue;
                    }
                    Value v;
                    if (getImpl(c, idx, v, 0) != 1) {
                        raise("_nexti returned an invalid idx");
                        goto exception;
                    }
                    RELOAD();
                    stk[in.a + 1] = idx;
                    stk[in.a + 2] = std::move(v);
                    stk[in.a + 3] = std::move(idx);
                    ip++;
                    continue;
                }
                default:
                    raise("cannot iterate %s", typeNameOf(cont.type));
                    THROW();
                }
            }
            CASE(OP_POSTFOREACH)
                if (stk[in.a].type == ObjectType::Generator && stk[in.a].gen->state == GenState::Dead) ip += in.x;
                NEXT();
            CASE(OP_PUSHTRAP) {
                TrapInfo t;
                t.frameIndex = uint32_t(frames.size() - 1);
                t.stackBase = ci->base;
                t.catchIp = ip + in.x;
                t.targetReg = in.a;
                traps.push_back(t);
                ci->ntraps++;
                ++trapCount;
                NEXT();
            }
            CASE(OP_POPTRAP)
                trapCount -= in.x;
                for (int32_t i = 0; i < in.x; ++i) {
                    traps.pop_back();
                    ci->ntraps--;
                }
                NEXT();
            CASE(OP_THROW)
                lastError = stk[in.a];
                THROW();
            CASE(OP_YIELD) {
                if (!(ci->flags & FRAME_GENERATOR)) {
                    raise("internal error: yield outside a generator");
                    THROW();
                }
                if (in.b)
                    retval = stk[in.a];
                else
                    retval.setNull();
                SAVEIP();
                Generator* g = ci->gen.gen;
                g->ip = ip;
                uint32_t base = ci->base;
                // closures made by the generator keep the values its locals have now
                if (openOuters && openOuters->stackIdx >= Integer(base)) closeOuters(base);
                trapCount -= ci->ntraps;
                uint32_t size = ci->top - base;
                g->saved.resize(size);
                for (uint32_t i = 0; i < size; ++i) g->saved[i] = std::move(stack[base + i]);
                while (ci->ntraps) {
                    TrapInfo t = traps.back();
                    traps.pop_back();
                    ci->ntraps--;
                    g->traps.insert(g->traps.begin(), t);
                }
                g->state = GenState::Suspended;
                int32_t target = ci->target;
                uint8_t flags = ci->flags;
                frames.pop_back();
                if (flags & FRAME_ROOT) {
                    result = std::move(retval);
                    top = frames.empty() ? 0 : frames.back().top;
                    --nestedCalls;
                    return true;
                }
                LOADFRAME();
                top = ci->top;
                if (target >= 0) stk[target] = std::move(retval);
                NEXT();
            }
            CASE(OP_RESUME) {
                SAVEIP();
                Value gv(stk[in.b]);
                if (gv.type != ObjectType::Generator) {
                    raise("trying to resume a '%s',only genenerator can be resumed", typeNameOf(gv.type));
                    goto exception;
                }
                if (!resumeGenerator(gv.gen, in.a, 0)) goto exception;
                LOADFRAME();
                trapCount += ci->ntraps;
                continue;
            }
            CASE(OP_CLOSE)
                closeOuters(ci->base + in.a);
                NEXT();
            CASE(OP_LINE)
                if (!debugHook.isNull() || ss->nativeDebugHook) {
                    SAVEIP();
                    callDebugHook('l', ci->func, in.x);
                    RELOAD();
                }
                NEXT();
            default:
                raise("invalid instruction");
                THROW();
            }
        }

    do_return: {
        if (SQ_UNLIKELY(!debugHook.isNull() || ss->nativeDebugHook)) {
            callDebugHook('r', ci->func, frameLine(frames.size() - 1));
            ci = &frames.back();
        }
        CallFrame& f = *ci;
        uint8_t flags = f.flags;
        int32_t target = f.target;
        uint32_t base = f.base;
        if (flags & FRAME_CTOR) retval = stack[base];
        if (flags & FRAME_GENERATOR) f.gen.gen->state = GenState::Dead;
        if (openOuters && openOuters->stackIdx >= Integer(base)) closeOuters(base);
        while (f.ntraps) {
            traps.pop_back();
            --f.ntraps;
        }
        uint32_t end = f.top;
        for (uint32_t i = base; i < end; ++i) stack[i].setNull();
        frames.pop_back();
        if (flags & FRAME_ROOT) {
            result = std::move(retval);
            top = frames.empty() ? 0 : frames.back().top;
            --nestedCalls;
            return true;
        }
        LOADFRAME();
        top = ci->top;
        if (target >= 0) {
            stk[target] = std::move(retval);
        } else if (target == -2) {
            // tail call that could not reuse the frame: return the result from this frame too
            goto do_return;
        } else {
            retval.setNull();
        }
        NEXT();
    }

    exception: {
        Value err(lastError);
        // like the reference, the handler runs when this invocation has no trap on record (a
        // generator resumed by foreach does not put its traps on record)
        if (!aborted && (ss->notifyAllExceptions || (trapCount == 0 && raiseError))) callErrorHandler(err);
        if (!aborted && !traps.empty() && traps.back().frameIndex >= entry &&
            traps.back().frameIndex < frames.size()) {
            TrapInfo t = traps.back();
            traps.pop_back();
            --trapCount;
            while (frames.size() - 1 > t.frameIndex) unwindFrame();
            ci = &frames.back();
            ci->ntraps--;
            top = ci->top;
            cl = ci->func.c;
            K = cl->proto->literals.data();
            stk = stack + ci->base;
            stk[t.targetReg] = err;
            ip = t.catchIp;
            continue;
        }
        while (frames.size() > entry) unwindFrame();
        lastError = std::move(err);
        --nestedCalls;
        return false;
    }
    }
}

bool VM::wakeup(const Value& val, Value& result, bool raiseError, bool throwError) {
    if (state != VMState::Suspended) {
        return raise("cannot wakeup a %s thread", state == VMState::Idle ? "idle" : "running");
    }
    if (frames.empty()) return raise("cannot wakeup a thread without frames");
    CallFrame& f = frames.back();
    if (suspendTarget >= 0) stack[f.base + uint32_t(suspendTarget)] = val;
    state = VMState::Running;
    if (throwError) {
        // the error is raised inside the thread at its suspension point
        lastError = val;
        pendingThrow = true;
    }
    resuming = true;
    bool ok = execute(0, raiseError, result);
    if (state == VMState::Running) state = frames.empty() ? VMState::Idle : state;
    if (!ok) state = VMState::Idle;
    if (state == VMState::Idle) settop(callBaseTop);
    return ok;
}

}  // namespace Squirrel
