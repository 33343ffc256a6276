// Base library (global functions) and the default delegates of the built-in types.
#include "BaseLib.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Squirrel {

// ----------------------------------------------------------------------------------------------
// helpers for natives
// ----------------------------------------------------------------------------------------------
Integer nativeError(VM* vm, const char* fmt, ...) {
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    vm->lastError = makeString(vm->ss, buf);
    return -1;
}

bool compileTypeMask(const char* mask, std::vector<uint32_t>& out) {
    out.clear();
    uint32_t cur = 0;
    bool pending = false;
    for (const char* p = mask; *p; ++p) {
        uint32_t bits = 0;
        switch (*p) {
        case ' ': continue;
        case '|':
            pending = true;
            continue;
        case 'o': bits = MaskNull; break;
        case 'i': bits = MaskInteger; break;
        case 'f': bits = MaskFloat; break;
        case 'n': bits = MaskInteger | MaskFloat; break;
        case 's': bits = MaskString; break;
        case 't': bits = MaskTable; break;
        case 'a': bits = MaskArray; break;
        case 'u': bits = MaskUserData; break;
        case 'c': bits = MaskClosure | MaskNativeClosure; break;
        case 'g': bits = MaskGenerator; break;
        case 'p': bits = MaskUserPointer; break;
        case 'v': bits = MaskThread; break;
        case 'x': bits = MaskInstance; break;
        case 'y': bits = MaskClass; break;
        case 'b': bits = MaskBool; break;
        case 'w': bits = MaskWeakRef; break;
        case '.': bits = MaskAny; break;
        default: return false;
        }
        if (pending) {
            cur |= bits;
            pending = false;
            out.back() = cur;
        } else {
            cur = bits;
            out.push_back(cur);
        }
    }
    return !pending;
}

Value createNativeClosure(VM* vm, NativeFunction fn, Integer nparams, const char* mask, const char* name) {
    NativeClosure* nc = vm->ss->newNativeClosure(fn, 0);
    Value v(nc);
    nc->nparamscheck = nparams;
    if (mask) compileTypeMask(mask, nc->typecheck);
    if (name) nc->name = makeString(vm->ss, name);
    return v;
}

void registerFunctions(VM* vm, Table* t, const NativeReg* regs) {
    for (const NativeReg* r = regs; r->name; ++r)
        t->newSlot(makeString(vm->ss, r->name), createNativeClosure(vm, r->fn, r->nparams, r->mask, r->name));
}

static Integer pushRet(VM* vm, Value v) {
    vm->push(std::move(v));
    return 1;
}

static SharedState* SS(VM* vm) { return vm->ss; }

// Calls f with `this` and the given arguments; the result lands in `out`.
static bool callFn(VM* vm, const Value& f, const Value& self, std::initializer_list<Value> args, Value& out) {
    return vm->callWith(f, self, int(args.size()), args.begin(), out, false);
}

// Number of arguments (this included) a callback accepts, as used by map/apply.
static Integer callbackArity(const Value& f) {
    if (f.type == ObjectType::Closure) {
        FuncProto* p = f.c->proto;
        return Integer(p->nparams) + (p->varargs ? 1 : 0);
    }
    if (f.type == ObjectType::NativeClosure) {
        Integer n = f.nc->nparamscheck;
        return n > 0 ? n : 4;
    }
    return 4;
}

// ----------------------------------------------------------------------------------------------
// base library
// ----------------------------------------------------------------------------------------------
static Integer base_seterrorhandler(HVM vm) {
    vm->errorHandler = vm->at(2);
    return 0;
}

static Integer base_setdebughook(HVM vm) {
    vm->debugHook = vm->at(2);
    return 0;
}

static Integer base_enabledebuginfo(HVM vm) {
    SS(vm)->debugInfo = isTrue(vm->at(2));
    return 0;
}

Integer stackInfosTable(VM* vm, Integer level, Value& out);

static Integer base_getstackinfos(HVM vm) {
    Integer level = vm->at(2).toInteger();
    Value t;
    if (stackInfosTable(vm, level, t) < 0) return 0;
    return pushRet(vm, t);
}

static Integer base_getroottable(HVM vm) { return pushRet(vm, vm->root); }

static Integer base_setroottable(HVM vm) {
    Value old = vm->root;
    const Value& nr = vm->at(2);
    if (nr.type != ObjectType::Table && nr.type != ObjectType::Null) return nativeError(vm, "wrong type");
    vm->root = nr;
    return pushRet(vm, old);
}

static Integer base_getconsttable(HVM vm) { return pushRet(vm, SS(vm)->consts); }

static Integer base_setconsttable(HVM vm) {
    Value old = SS(vm)->consts;
    const Value& nt = vm->at(2);
    if (nt.type != ObjectType::Table && nt.type != ObjectType::Null) return nativeError(vm, "wrong type");
    SS(vm)->consts = nt;
    return pushRet(vm, old);
}

static Integer base_assert(HVM vm) {
    if (isFalse(vm->at(2))) {
        if (vm->gettop() > 2) {
            Value s;
            if (!vm->toString(vm->at(3), s)) return -1;
            vm->lastError = s;
            return -1;
        }
        return nativeError(vm, "assertion failed");
    }
    return 0;
}

static void writeOut(VM* vm, PrintFunction fn, const Value& s, FILE* fallback) {
    size_t len = std::strlen(s.s->data);
    if (fn)
        fn(vm, s.s->data, len);
    else
        std::fwrite(s.s->data, 1, len, fallback);
}

static Integer base_print(HVM vm) {
    Value s;
    if (!vm->toString(vm->at(2), s)) return -1;
    writeOut(vm, SS(vm)->printFn, s, stdout);
    return 0;
}

static Integer base_error(HVM vm) {
    Value s;
    if (!vm->toString(vm->at(2), s)) return -1;
    writeOut(vm, SS(vm)->errorFn, s, stderr);
    return 0;
}

bool compileToClosure(VM* vm, const char* src, size_t len, const char* name, bool raiseError, Value& out);

static Integer base_compilestring(HVM vm) {
    const Value& src = vm->at(2);
    const char* name = "unnamedbuffer";
    if (vm->gettop() > 2) name = vm->at(3).s->data;
    Value src2(src);
    Value cl;
    if (!compileToClosure(vm, src2.s->data, src2.s->len, name, false, cl)) return -1;
    return pushRet(vm, cl);
}

static Integer base_newthread(HVM vm) {
    VM* th = SS(vm)->newThread(vm, 64);
    Value tv = Value::thread(th);
    th->push(vm->at(2));
    return pushRet(vm, tv);
}

static Integer base_suspend(HVM vm) {
    if (vm == SS(vm)->mainVM) return nativeError(vm, "cannot suspend the main thread");
    if (vm->nestedCalls != 1) return nativeError(vm, "cannot suspend through native calls");
    if (vm->gettop() > 1)
        vm->suspendValue = vm->at(2);
    else
        vm->suspendValue.setNull();
    return -666;
}

static Integer base_array(HVM vm) {
    Integer n = vm->at(2).toInteger();
    if (n < 0) return nativeError(vm, "negative size");
    if (n > 0x7fffffff || SS(vm)->overBudget(size_t(n) * sizeof(Value))) return nativeError(vm, "out of memory");
    Array* a = SS(vm)->newArray(0);
    Value av(a);
    Value fill;
    if (vm->gettop() > 2) fill = vm->at(3);
    if (!a->resize(uint32_t(n), fill)) return nativeError(vm, "out of memory");
    return pushRet(vm, av);
}

static Integer base_type(HVM vm) { return pushRet(vm, makeString(SS(vm), typeNameOf(vm->at(2).type))); }

static Integer base_callee(HVM vm) {
    if (vm->frames.size() < 2) return nativeError(vm, "no closure in the calling stack");
    return pushRet(vm, vm->frames[vm->frames.size() - 2].func);
}

static Integer base_dummy(HVM vm) { return 0; }

static Integer base_collectgarbage(HVM vm) {
    if (!vm->chargeSteps(1)) return -1;
    return pushRet(vm, Value(collectGarbage(SS(vm), vm, nullptr)));
}

static Integer base_resurrectunreachable(HVM vm) {
    Array* a = SS(vm)->newArray(0);
    Value av(a);
    Integer n = collectGarbage(SS(vm), vm, a);
    if (n == 0) return pushRet(vm, Value());
    return pushRet(vm, av);
}

// ----------------------------------------------------------------------------------------------
// number delegate (integer, float, bool)
// ----------------------------------------------------------------------------------------------
static Integer number_tofloat(HVM vm) {
    const Value& o = vm->at(1);
    switch (o.type) {
    case ObjectType::Integer: return pushRet(vm, Value(Float(o.i)));
    case ObjectType::Float: return pushRet(vm, o);
    case ObjectType::Bool: return pushRet(vm, Value(Float(o.b ? 1 : 0)));
    default: return nativeError(vm, "cannot convert");
    }
}

static Integer number_tointeger(HVM vm) {
    const Value& o = vm->at(1);
    switch (o.type) {
    case ObjectType::Integer: return pushRet(vm, o);
    case ObjectType::Float: return pushRet(vm, Value(floatToInteger(o.f)));
    case ObjectType::Bool: return pushRet(vm, Value(Integer(o.b ? 1 : 0)));
    default: return nativeError(vm, "cannot convert");
    }
}

static Integer obj_tostring(HVM vm) {
    Value s;
    if (!vm->toString(vm->at(1), s)) return -1;
    return pushRet(vm, s);
}

static Integer number_tochar(HVM vm) {
    Integer c = vm->at(1).toInteger();
    char ch = char(c);
    return pushRet(vm, makeString(SS(vm), &ch, 1));
}

static Integer obj_weakref(HVM vm) {
    const Value& o = vm->at(1);
    if (!o.isRef()) return pushRet(vm, o);
    return pushRet(vm, Value(SS(vm)->weakRefOf(o.o)));
}

// ----------------------------------------------------------------------------------------------
// string delegate
// ----------------------------------------------------------------------------------------------
static Integer string_len(HVM vm) { return pushRet(vm, Value(Integer(vm->at(1).s->len))); }

// Parses a number the way tointeger/tofloat do: returns false when nothing was read.
static bool parseNumber(const char* s, Integer base, Value& out) {
    bool isFloat = false;
    bool hexLike = base > 13;
    for (const char* e = s; *e; ++e) {
        if (*e == '.' || (!hexLike && (*e == 'e' || *e == 'E'))) {
            isFloat = true;
            break;
        }
    }
    char* end = nullptr;
    if (isFloat) {
        double d = std::strtod(s, &end);
        if (end == s) return false;
        out = Value(Float(d));
    } else {
        if (base < 2 || base > 36) base = 10;
        long long v = std::strtoll(s, &end, int(base));
        if (end == s) return false;
        out = Value(Integer(v));
    }
    return true;
}

static Integer string_tointeger(HVM vm) {
    Integer base = 10;
    if (vm->gettop() > 1) base = vm->at(2).toInteger();
    Value r;
    if (!parseNumber(vm->at(1).s->data, base, r)) return nativeError(vm, "cannot convert the string");
    return pushRet(vm, Value(r.toInteger()));
}

static Integer string_tofloat(HVM vm) {
    Value r;
    if (!parseNumber(vm->at(1).s->data, 10, r)) return nativeError(vm, "cannot convert the string");
    return pushRet(vm, Value(r.toFloat()));
}

// Resolves slice bounds like the reference: negative values count from the end.
static Integer sliceBounds(VM* vm, Integer len, Integer& start, Integer& end) {
    start = vm->gettop() > 1 ? vm->at(2).toInteger() : 0;
    end = vm->gettop() > 2 ? vm->at(3).toInteger() : len;
    if (start < 0) start += len;
    if (end < 0) end += len;
    if (start > end) return nativeError(vm, "wrong indexes");
    if (end > len || start < 0) return nativeError(vm, "slice out of range");
    return 0;
}

static Integer string_slice(HVM vm) {
    String* s = vm->at(1).s;
    Integer start, end;
    if (sliceBounds(vm, s->len, start, end) < 0) return -1;
    return pushRet(vm, makeString(SS(vm), s->data + start, size_t(end - start)));
}

static Integer string_find(HVM vm) {
    String* s = vm->at(1).s;
    String* sub = vm->at(2).s;
    Integer start = 0;
    if (vm->gettop() > 2) start = vm->at(3).toInteger();
    if (start < 0 || start >= Integer(s->len)) return 0;
    const char* hay = s->data;
    // strstr semantics: the search stops at the first NUL
    const char* found = std::strstr(hay + start, sub->data);
    if (!found) return 0;
    return pushRet(vm, Value(Integer(found - hay)));
}

static Integer string_case(HVM vm, bool upper) {
    String* s = vm->at(1).s;
    std::string r(s->data, s->len);
    for (char& c : r) {
        unsigned char u = (unsigned char)c;
        if (upper && u >= 'a' && u <= 'z') c = char(u - 32);
        if (!upper && u >= 'A' && u <= 'Z') c = char(u + 32);
    }
    return pushRet(vm, makeString(SS(vm), r));
}
static Integer string_tolower(HVM vm) { return string_case(vm, false); }
static Integer string_toupper(HVM vm) { return string_case(vm, true); }

// ----------------------------------------------------------------------------------------------
// table delegate
// ----------------------------------------------------------------------------------------------
static Integer obj_len(HVM vm) {
    const Value& o = vm->at(1);
    switch (o.type) {
    case ObjectType::Table: return pushRet(vm, Value(Integer(o.t->count)));
    case ObjectType::Array: return pushRet(vm, Value(Integer(o.a->size)));
    case ObjectType::String: return pushRet(vm, Value(Integer(o.s->len)));
    default: return nativeError(vm, "the object has no length");
    }
}

static Integer obj_rawget(HVM vm) {
    Value out;
    if (!vm->rawGet(vm->at(1), vm->at(2), out)) return -1;
    return pushRet(vm, out);
}

static Integer obj_rawset(HVM vm) {
    Value self(vm->at(1)), k(vm->at(2)), v(vm->at(3));
    if (!vm->rawSet(self, k, v)) return -1;
    return pushRet(vm, self);
}

static Integer obj_rawin(HVM vm) {
    Value tmp;
    bool r = vm->getImpl(vm->at(1), vm->at(2), tmp, VM::GET_RAW) == 1;
    return pushRet(vm, Value(r));
}

static Integer table_rawdelete(HVM vm) {
    Table* t = vm->at(1).t;
    Value old;
    TableNode* n = t->find(vm->at(2));
    if (n) {
        old = n->val;
        t->remove(vm->at(2));
    }
    return pushRet(vm, old);
}

static Integer obj_clear(HVM vm) {
    const Value& o = vm->at(1);
    if (o.type == ObjectType::Table) {
        o.t->clear();
    } else if (o.type == ObjectType::Array) {
        o.a->resize(0);
    }
    return pushRet(vm, o);
}

static Integer table_setdelegate(HVM vm) {
    Value self(vm->at(1));
    const Value& d = vm->at(2);
    if (d.type == ObjectType::Table) {
        for (Table* p = d.t; p; p = p->delegate)
            if (p == self.t) return nativeError(vm, "delegate cycle");
        addref(d.t);
    }
    Table* old = self.t->delegate;
    self.t->delegate = d.type == ObjectType::Table ? d.t : nullptr;
    if (old) decref(old);
    return pushRet(vm, self);
}

static Integer table_getdelegate(HVM vm) {
    Table* d = vm->at(1).t->delegate;
    return pushRet(vm, d ? Value(d) : Value());
}

static Integer table_keys_values(HVM vm, bool keys) {
    Table* t = vm->at(1).t;
    Array* a = SS(vm)->newArray(0);
    Value av(a);
    a->reserve(t->count);
    for (uint32_t i = 0; t->nodes && i <= t->mask; ++i) {
        TableNode& n = t->nodes[i];
        if (n.key.isNull()) continue;
        if (keys) {
            a->append(n.key);
        } else {
            Value tmp;
            a->append(realValue(n.val, tmp));
        }
    }
    return pushRet(vm, av);
}
static Integer table_keys(HVM vm) { return table_keys_values(vm, true); }
static Integer table_values(HVM vm) { return table_keys_values(vm, false); }

// Snapshot of a table's entries: callbacks may modify the table while we iterate.
static void tableEntries(Table* t, std::vector<std::pair<Value, Value>>& out) {
    out.clear();
    for (uint32_t i = 0; t->nodes && i <= t->mask; ++i) {
        TableNode& n = t->nodes[i];
        if (n.key.isNull()) continue;
        Value tmp;
        out.emplace_back(n.key, realValue(n.val, tmp));
    }
}

static Integer table_map(HVM vm) {
    Value self(vm->at(1)), f(vm->at(2));
    std::vector<std::pair<Value, Value>> entries;
    tableEntries(self.t, entries);
    Array* a = SS(vm)->newArray(0);
    Value av(a);
    for (auto& e : entries) {
        Value r;
        if (!callFn(vm, f, self, {e.first, e.second}, r)) return -1;
        a->append(r);
    }
    return pushRet(vm, av);
}

static Integer table_filter(HVM vm) {
    Value self(vm->at(1)), f(vm->at(2));
    std::vector<std::pair<Value, Value>> entries;
    tableEntries(self.t, entries);
    Table* t = SS(vm)->newTable();
    Value tv(t);
    for (auto& e : entries) {
        Value r;
        if (!callFn(vm, f, self, {e.first, e.second}, r)) return -1;
        if (isTrue(r)) t->newSlot(e.first, e.second);
    }
    return pushRet(vm, tv);
}

// ----------------------------------------------------------------------------------------------
// array delegate
// ----------------------------------------------------------------------------------------------
static Integer array_append(HVM vm) {
    Value self(vm->at(1));
    if (SS(vm)->overBudget(sizeof(Value) * (self.a->cap + 1))) return nativeError(vm, "out of memory");
    self.a->append(vm->at(2));
    return pushRet(vm, self);
}

static Integer array_extend(HVM vm) {
    Value self(vm->at(1)), other(vm->at(2));
    Array* a = self.a;
    Array* b = other.a;
    if (SS(vm)->overBudget(sizeof(Value) * (size_t(a->size) + b->size))) return nativeError(vm, "out of memory");
    uint32_t n = b->size;
    if (!a->reserve(a->size + n)) return nativeError(vm, "out of memory");
    for (uint32_t i = 0; i < n; ++i) a->append(b->data[i]);
    return pushRet(vm, self);
}

static Integer array_pop(HVM vm) {
    Array* a = vm->at(1).a;
    if (a->size == 0) return nativeError(vm, "empty array");
    Value v = a->data[a->size - 1];
    a->pop();
    return pushRet(vm, v);
}

static Integer array_top(HVM vm) {
    Array* a = vm->at(1).a;
    if (a->size == 0) return nativeError(vm, "top() on a empty array");
    Value tmp;
    return pushRet(vm, realValue(a->data[a->size - 1], tmp));
}

static Integer array_insert(HVM vm) {
    Value self(vm->at(1));
    Array* a = self.a;
    Integer idx = vm->at(2).toInteger();
    if (idx < 0 || idx > Integer(a->size)) return nativeError(vm, "index out of range");
    a->insert(uint32_t(idx), vm->at(3));
    return pushRet(vm, self);
}

static Integer array_remove(HVM vm) {
    Array* a = vm->at(1).a;
    Integer idx = vm->at(2).toInteger();
    if (idx < 0 || idx >= Integer(a->size)) return nativeError(vm, "idx out of range");
    Value v = a->data[idx];
    a->removeAt(uint32_t(idx));
    return pushRet(vm, v);
}

static Integer array_resize(HVM vm) {
    Value self(vm->at(1));
    Integer n = vm->at(2).toInteger();
    if (n < 0) return nativeError(vm, "negative size");
    if (n > 0x7fffffff || SS(vm)->overBudget(size_t(n) * sizeof(Value))) return nativeError(vm, "out of memory");
    Value fill;
    if (vm->gettop() > 2) fill = vm->at(3);
    if (!self.a->resize(uint32_t(n), fill)) return nativeError(vm, "out of memory");
    return pushRet(vm, self);
}

static Integer array_reverse(HVM vm) {
    Array* a = vm->at(1).a;
    if (a->size > 1) {
        for (uint32_t i = 0, j = a->size - 1; i < j; ++i, --j) std::swap(a->data[i], a->data[j]);
    }
    return 0;
}

static Integer array_slice(HVM vm) {
    Array* a = vm->at(1).a;
    Integer start, end;
    if (sliceBounds(vm, a->size, start, end) < 0) return -1;
    Array* r = SS(vm)->newArray(0);
    Value rv(r);
    r->reserve(uint32_t(end - start));
    for (Integer i = start; i < end; ++i) r->append(a->data[i]);
    return pushRet(vm, rv);
}

static Integer array_mapapply(HVM vm, bool inPlace) {
    Value self(vm->at(1)), f(vm->at(2));
    Array* a = self.a;
    Integer arity = callbackArity(f);
    Array* dest = inPlace ? a : SS(vm)->newArray(0);
    Value dv(dest);
    if (!inPlace) dest->resize(a->size);
    for (uint32_t i = 0; i < a->size; ++i) {
        Value tmp;
        Value item = realValue(a->data[i], tmp);
        Value r;
        bool ok;
        if (arity >= 4)
            ok = callFn(vm, f, self, {item, Value(Integer(i)), self}, r);
        else if (arity >= 3)
            ok = callFn(vm, f, self, {item, Value(Integer(i))}, r);
        else
            ok = callFn(vm, f, self, {item}, r);
        if (!ok) return -1;
        if (i < dest->size) dest->data[i] = r;
    }
    if (inPlace) return pushRet(vm, self);
    return pushRet(vm, dv);
}
static Integer array_map(HVM vm) { return array_mapapply(vm, false); }
static Integer array_apply(HVM vm) { return array_mapapply(vm, true); }

static Integer array_reduce(HVM vm) {
    Value self(vm->at(1)), f(vm->at(2));
    Array* a = self.a;
    Value acc;
    uint32_t start;
    if (vm->gettop() > 2) {
        acc = vm->at(3);
        start = 0;
    } else if (a->size == 0) {
        return 0;
    } else {
        Value tmp;
        acc = realValue(a->data[0], tmp);
        start = 1;
    }
    for (uint32_t i = start; i < a->size; ++i) {
        Value tmp;
        Value item = realValue(a->data[i], tmp);
        Value r;
        if (!callFn(vm, f, self, {acc, item}, r)) return -1;
        acc = r;
    }
    return pushRet(vm, acc);
}

static Integer array_filter(HVM vm) {
    Value self(vm->at(1)), f(vm->at(2));
    Array* a = self.a;
    Array* r = SS(vm)->newArray(0);
    Value rv(r);
    for (uint32_t i = 0; i < a->size; ++i) {
        Value tmp;
        Value item = realValue(a->data[i], tmp);
        Value res;
        if (!callFn(vm, f, self, {Value(Integer(i)), item}, res)) return -1;
        if (isTrue(res)) r->append(item);
    }
    return pushRet(vm, rv);
}

static Integer array_find(HVM vm) {
    Array* a = vm->at(1).a;
    vm->ss->charge(a->size / 16);
    const Value& v = vm->at(2);
    for (uint32_t i = 0; i < a->size; ++i) {
        Value tmp;
        if (VM::equals(realValue(a->data[i], tmp), v)) return pushRet(vm, Value(Integer(i)));
    }
    return 0;
}

// Heap sort with the children of node r at 2r and 2r+1, as the reference does: the order
// of equal elements matches it.
static bool sortCompare(VM* vm, const Value& f, const Value& a, const Value& b, Integer& r) {
    if (f.isNull()) return vm->compare(a, b, r);
    Value res;
    Value self(vm->root);
    if (!vm->callWith(f, self, 2, std::initializer_list<Value>{a, b}.begin(), res, false)) {
        if (vm->lastError.type != ObjectType::String) vm->raise("compare func failed");
        return false;
    }
    if (!res.isNumeric()) {
        vm->raise("numeric value expected as return value of the compare function");
        return false;
    }
    r = res.toInteger();
    return true;
}

static bool siftDown(VM* vm, Array* arr, const Value& f, Integer root, Integer bottom) {
    for (;;) {
        Integer child = root * 2;
        if (child > bottom) return true;
        Integer maxChild;
        if (child == bottom) {
            maxChild = child;
        } else {
            Integer r;
            Value x(arr->data[child]), y(arr->data[child + 1]);
            if (!sortCompare(vm, f, x, y, r)) return false;
            maxChild = r > 0 ? child : child + 1;
        }
        if (Integer(arr->size) <= maxChild || Integer(arr->size) <= root) {
            vm->raise("array resized during sort operation");
            return false;
        }
        Integer r;
        Value x(arr->data[root]), y(arr->data[maxChild]);
        if (!sortCompare(vm, f, x, y, r)) return false;
        if (Integer(arr->size) <= maxChild || Integer(arr->size) <= root) {
            vm->raise("array resized during sort operation");
            return false;
        }
        if (r >= 0) return true;
        if (root == maxChild) {
            vm->raise("inconsistent compare function");
            return false;
        }
        std::swap(arr->data[root], arr->data[maxChild]);
        root = maxChild;
    }
}

static Integer array_sort(HVM vm) {
    Value self(vm->at(1));
    Value f;
    if (vm->gettop() > 1) f = vm->at(2);
    Array* a = self.a;
    Integer n = a->size;
    Integer logn = 1;
    while ((Integer(1) << logn) < n) ++logn;
    if (!vm->chargeSteps(n * logn / 4)) return -1;
    if (n > 1) {
        for (Integer i = n / 2; i >= 0; --i)
            if (!siftDown(vm, a, f, i, n - 1)) return -1;
        for (Integer i = n - 1; i >= 1; --i) {
            if (Integer(a->size) != n) return nativeError(vm, "array resized during sort operation");
            std::swap(a->data[0], a->data[i]);
            if (!siftDown(vm, a, f, 0, i - 1)) return -1;
        }
    }
    return pushRet(vm, self);
}

// ----------------------------------------------------------------------------------------------
// function delegate
// ----------------------------------------------------------------------------------------------
static Integer closure_callImpl(HVM vm, bool raiseError) {
    Value f(vm->at(1));
    uint32_t base = vm->frameBase() + 1;  // `this` of the call is our first parameter
    uint32_t nargs = uint32_t(vm->gettop() - 1);
    Value res;
    if (!vm->call(f, base, nargs, res, raiseError)) return -1;
    return pushRet(vm, res);
}
static Integer closure_call(HVM vm) {
    const Value& f = vm->at(1);
    // a closure replaces the native frame, like a tail call
    if (f.type == ObjectType::Closure && !f.c->proto->generator) return -777;
    return closure_callImpl(vm, true);
}
static Integer closure_pcall(HVM vm) { return closure_callImpl(vm, false); }

static Integer closure_acallImpl(HVM vm, bool raiseError) {
    Value f(vm->at(1));
    Array* a = vm->at(2).a;
    if (a->size == 0) return nativeError(vm, "the array must contain at least the 'this' parameter");
    uint32_t base = vm->top;
    if (!vm->ensureStack(base + a->size + 8)) return -1;
    for (uint32_t i = 0; i < a->size; ++i) vm->stack[vm->top++] = a->data[i];
    Value res;
    bool ok = vm->call(f, base, a->size, res, raiseError);
    vm->settop(base);
    if (!ok) return -1;
    return pushRet(vm, res);
}
static Integer closure_acall(HVM vm) { return closure_acallImpl(vm, true); }
static Integer closure_pacall(HVM vm) { return closure_acallImpl(vm, false); }

static Integer closure_bindenv(HVM vm) {
    const Value& f = vm->at(1);
    const Value& env = vm->at(2);
    if (!env.isRef() || env.type == ObjectType::String)
        return nativeError(vm, "invalid environment");
    WeakRefObj* w = SS(vm)->weakRefOf(env.o);
    if (f.type == ObjectType::Closure) {
        Closure* src = f.c;
        Closure* c = SS(vm)->newClosure(src->proto, src->root);
        Value cv(c);
        for (uint32_t i = 0; i < src->nouters + src->ndefaults; ++i) c->outers[i] = src->outers[i];
        if (src->base) {
            c->base = src->base;
            addref(c->base);
        }
        c->env = w;
        addref(w);
        return pushRet(vm, cv);
    }
    NativeClosure* src = f.nc;
    NativeClosure* c = SS(vm)->newNativeClosure(src->fn, src->nouters);
    Value cv(c);
    for (uint32_t i = 0; i < src->nouters; ++i) c->outers[i] = src->outers[i];
    c->nparamscheck = src->nparamscheck;
    c->typecheck = src->typecheck;
    c->name = src->name;
    c->env = w;
    addref(w);
    return pushRet(vm, cv);
}

static Integer closure_getinfos(HVM vm) {
    const Value& f = vm->at(1);
    SharedState* ss = SS(vm);
    Table* t = ss->newTable();
    Value tv(t);
    auto slot = [&](const char* k, const Value& v) { t->newSlot(makeString(ss, k), v); };
    if (f.type == ObjectType::Closure) {
        FuncProto* p = f.c->proto;
        Array* params = ss->newArray(0);
        Value pv(params);
        for (auto& n : p->parameterNames) params->append(n);
        Array* defs = ss->newArray(0);
        Value dv(defs);
        for (uint32_t i = 0; i < f.c->ndefaults; ++i) defs->append(f.c->defaults[i]);
        slot("native", Value(false));
        slot("name", p->name);
        slot("src", p->source);
        slot("parameters", pv);
        slot("varargs", Value(Integer(p->varargs ? 1 : 0)));
        slot("defparams", dv);
    } else {
        NativeClosure* nc = f.nc;
        slot("native", Value(true));
        slot("name", nc->name);
        slot("paramscheck", Value(nc->nparamscheck));
        Value tc;
        if (!nc->typecheck.empty()) {
            Array* a = ss->newArray(0);
            tc = Value(a);
            for (uint32_t m : nc->typecheck) a->append(Value(Integer(m)));
        }
        slot("typecheck", tc);
    }
    return pushRet(vm, tv);
}

static Integer closure_setroot(HVM vm) {
    const Value& f = vm->at(1);
    const Value& r = vm->at(2);
    if (f.type != ObjectType::Closure) return nativeError(vm, "only closures have a root table");
    Closure* c = f.c;
    Table* old = c->root;
    c->root = r.t;
    addref(c->root);
    if (old) decref(old);
    return 0;
}

static Integer closure_getroot(HVM vm) {
    const Value& f = vm->at(1);
    if (f.type != ObjectType::Closure || !f.c->root) return pushRet(vm, vm->root);
    return pushRet(vm, Value(f.c->root));
}

// ----------------------------------------------------------------------------------------------
// generator, thread, weakref delegates
// ----------------------------------------------------------------------------------------------
static Integer generator_getstatus(HVM vm) {
    Generator* g = vm->at(1).gen;
    const char* s = g->state == GenState::Suspended ? "suspended" : g->state == GenState::Running ? "running" : "dead";
    return pushRet(vm, makeString(SS(vm), s));
}

static Integer thread_call(HVM vm) {
    Value tv(vm->at(1));
    VM* th = tv.th;
    if (th->state != VMState::Idle) return nativeError(vm, "wrong thread state");
    if (th->top < 1) return nativeError(vm, "the thread has no function");
    Integer nparams = vm->gettop();
    uint32_t base = th->top;
    th->push(th->root);
    for (Integer i = 2; i <= nparams; ++i) th->push(vm->at(i));
    Value func(th->stack[0]);
    Value res;
    th->state = VMState::Running;
    bool ok = th->call(func, base, uint32_t(nparams), res, true);
    if (th->state == VMState::Running) th->state = VMState::Idle;
    if (!ok) {
        th->state = VMState::Idle;
        th->settop(1);
        vm->lastError = th->lastError;
        return -1;
    }
    if (th->state != VMState::Suspended) th->settop(1);
    return pushRet(vm, res);
}

static Integer thread_wakeupImpl(HVM vm, bool throwError) {
    Value tv(vm->at(1));
    VM* th = tv.th;
    if (th->state != VMState::Suspended)
        return nativeError(vm, "cannot wakeup a %s thread", th->state == VMState::Idle ? "idle" : "running");
    Value wv;
    if (vm->gettop() > 1) wv = vm->at(2);
    Value res;
    bool ok = th->wakeup(wv, res, true, throwError);
    if (!ok) {
        th->settop(1);
        vm->lastError = th->lastError;
        return -1;
    }
    if (th->state != VMState::Suspended) th->settop(1);
    return pushRet(vm, res);
}
static Integer thread_wakeup(HVM vm) { return thread_wakeupImpl(vm, false); }
static Integer thread_wakeupthrow(HVM vm) { return thread_wakeupImpl(vm, true); }

static Integer thread_getstatus(HVM vm) {
    VM* th = vm->at(1).th;
    const char* s = th->state == VMState::Idle ? "idle" : th->state == VMState::Running ? "running" : "suspended";
    return pushRet(vm, makeString(SS(vm), s));
}

static Integer thread_getstackinfos(HVM vm) {
    Value tv(vm->at(1));
    Integer level = vm->at(2).toInteger();
    Value t;
    if (stackInfosTable(tv.th, level, t) < 0) return 0;
    return pushRet(vm, t);
}

static Integer weakref_ref(HVM vm) {
    const Value& o = vm->at(1);
    if (o.type != ObjectType::WeakRef) return pushRet(vm, o);
    return pushRet(vm, o.w->get());
}

// ----------------------------------------------------------------------------------------------
// class and instance delegates
// ----------------------------------------------------------------------------------------------
static ClassMember* findMember(Class* c, const Value& key) {
    TableNode* n = c->members->find(key);
    if (!n) return nullptr;
    Integer enc = n->val.i;
    return memberIsField(enc) ? &c->fields[memberIndex(enc)] : &c->methods[memberIndex(enc)];
}

static Integer class_getattributes(HVM vm) {
    Class* c = vm->at(1).cls;
    const Value& key = vm->at(2);
    if (key.isNull()) return pushRet(vm, c->attrs);
    ClassMember* m = findMember(c, key);
    if (!m) return nativeError(vm, "wrong index");
    return pushRet(vm, m->attrs);
}

static Integer class_setattributes(HVM vm) {
    Class* c = vm->at(1).cls;
    const Value& key = vm->at(2);
    const Value& val = vm->at(3);
    Value old;
    if (key.isNull()) {
        old = c->attrs;
        c->attrs = val;
        return pushRet(vm, old);
    }
    ClassMember* m = findMember(c, key);
    if (!m) return nativeError(vm, "wrong index");
    old = m->attrs;
    m->attrs = val;
    return pushRet(vm, old);
}

static Integer class_instance(HVM vm) {
    Instance* in = SS(vm)->newInstance(vm->at(1).cls);
    return pushRet(vm, Value(in));
}

static Integer class_getbase(HVM vm) {
    Class* c = vm->at(1).cls;
    return pushRet(vm, c->base ? Value(c->base) : Value());
}

static Integer class_newmemberImpl(HVM vm, bool raw) {
    Value self(vm->at(1));
    Integer top = vm->gettop();
    Value key(vm->at(2));
    Value val = top > 2 ? vm->at(3) : Value();
    Value attrs = top > 3 ? vm->at(4) : Value();
    bool isStatic = top > 4 ? isTrue(vm->at(5)) : false;
    if (!vm->newMember(self, key, val, attrs, isStatic, raw)) return -1;
    return 0;
}
static Integer class_newmember(HVM vm) { return class_newmemberImpl(vm, false); }
static Integer class_rawnewmember(HVM vm) { return class_newmemberImpl(vm, true); }

static Integer instance_getclass(HVM vm) { return pushRet(vm, Value(vm->at(1).inst->cls)); }

// ----------------------------------------------------------------------------------------------
// stack infos
// ----------------------------------------------------------------------------------------------
Integer stackInfosTable(VM* vm, Integer level, Value& out) {
    if (level < 0 || size_t(level) >= vm->frames.size()) return -1;
    size_t idx = vm->frames.size() - 1 - size_t(level);
    const CallFrame& f = vm->frames[idx];
    SharedState* ss = vm->ss;
    Table* t = ss->newTable();
    out = Value(t);
    Value fname, src;
    Integer line = -1;
    if (f.func.type == ObjectType::Closure) {
        FuncProto* p = f.func.c->proto;
        fname = p->name.isNull() ? makeString(ss, "unknown") : p->name;
        src = p->source.isNull() ? makeString(ss, "unknown") : p->source;
        line = vm->frameLine(idx);
    } else {
        NativeClosure* nc = f.func.nc;
        fname = nc->name.type == ObjectType::String ? nc->name : makeString(ss, "unknown");
        src = makeString(ss, "NATIVE");
    }
    t->newSlot(makeString(ss, "func"), fname);
    t->newSlot(makeString(ss, "src"), src);
    t->newSlot(makeString(ss, "line"), Value(line));
    Table* locals = ss->newTable();
    Value lv(locals);
    if (f.func.type == ObjectType::Closure) {
        FuncProto* p = f.func.c->proto;
        uint32_t pc = uint32_t(f.ip - p->code.data());
        if (pc > 0) --pc;
        for (const LocalVarInfo& li : p->locals) {
            if (li.startPc <= pc && li.endPc >= pc && f.base + li.reg < vm->stackCap)
                locals->newSlot(li.name, vm->stack[f.base + li.reg]);
        }
    }
    t->newSlot(makeString(ss, "locals"), lv);
    return 0;
}

// ----------------------------------------------------------------------------------------------
// registration
// ----------------------------------------------------------------------------------------------
static const NativeReg kBaseFuncs[] = {
    {"seterrorhandler", base_seterrorhandler, 2, nullptr},
    {"setdebughook", base_setdebughook, 2, nullptr},
    {"enabledebuginfo", base_enabledebuginfo, 2, nullptr},
    {"getstackinfos", base_getstackinfos, 2, ".n"},
    {"getroottable", base_getroottable, 1, nullptr},
    {"setroottable", base_setroottable, 2, nullptr},
    {"getconsttable", base_getconsttable, 1, nullptr},
    {"setconsttable", base_setconsttable, 2, nullptr},
    {"assert", base_assert, -2, nullptr},
    {"print", base_print, 2, nullptr},
    {"error", base_error, 2, nullptr},
    {"compilestring", base_compilestring, -2, ".ss"},
    {"newthread", base_newthread, 2, ".c"},
    {"suspend", base_suspend, -1, nullptr},
    {"array", base_array, -2, ".n"},
    {"type", base_type, 2, nullptr},
    {"callee", base_callee, 0, nullptr},
    {"dummy", base_dummy, 0, nullptr},
    {"collectgarbage", base_collectgarbage, 0, nullptr},
    {"resurrectunreachable", base_resurrectunreachable, 0, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kNumberDelegate[] = {
    {"tofloat", number_tofloat, 1, "n|b"},
    {"tointeger", number_tointeger, 1, "n|b"},
    {"tostring", obj_tostring, 1, "."},
    {"tochar", number_tochar, 1, "n|b"},
    {"weakref", obj_weakref, 1, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kStringDelegate[] = {
    {"len", string_len, 1, "s"},
    {"tointeger", string_tointeger, -1, "sn"},
    {"tofloat", string_tofloat, 1, "s"},
    {"tostring", obj_tostring, 1, "."},
    {"slice", string_slice, -1, "s n  n"},
    {"find", string_find, -2, "s s n"},
    {"tolower", string_tolower, 1, "s"},
    {"toupper", string_toupper, 1, "s"},
    {"weakref", obj_weakref, 1, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kTableDelegate[] = {
    {"len", obj_len, 1, "t"},
    {"rawget", obj_rawget, 2, "t"},
    {"rawset", obj_rawset, 3, "t"},
    {"rawdelete", table_rawdelete, 2, "t"},
    {"rawin", obj_rawin, 2, "t"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", obj_tostring, 1, "."},
    {"clear", obj_clear, 1, "."},
    {"setdelegate", table_setdelegate, 2, ".t|o"},
    {"getdelegate", table_getdelegate, 1, "."},
    {"filter", table_filter, 2, "tc"},
    {"map", table_map, 2, "tc"},
    {"keys", table_keys, 1, "t"},
    {"values", table_values, 1, "t"},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kArrayDelegate[] = {
    {"len", obj_len, 1, "a"},
    {"append", array_append, 2, "a"},
    {"extend", array_extend, 2, "aa"},
    {"push", array_append, 2, "a"},
    {"pop", array_pop, 1, "a"},
    {"top", array_top, 1, "a"},
    {"insert", array_insert, 3, "an"},
    {"remove", array_remove, 2, "an"},
    {"resize", array_resize, -2, "an"},
    {"reverse", array_reverse, 1, "a"},
    {"sort", array_sort, -1, "ac"},
    {"slice", array_slice, -1, "ann"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", obj_tostring, 1, "."},
    {"clear", obj_clear, 1, "."},
    {"map", array_map, 2, "ac"},
    {"apply", array_apply, 2, "ac"},
    {"reduce", array_reduce, -2, "ac"},
    {"filter", array_filter, 2, "ac"},
    {"find", array_find, 2, "a."},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kClosureDelegate[] = {
    {"call", closure_call, -1, "c"},
    {"pcall", closure_pcall, -1, "c"},
    {"acall", closure_acall, 2, "ca"},
    {"pacall", closure_pacall, 2, "ca"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", obj_tostring, 1, "."},
    {"bindenv", closure_bindenv, 2, "c x|y|t"},
    {"getinfos", closure_getinfos, 1, "c"},
    {"setroot", closure_setroot, 2, "ct"},
    {"getroot", closure_getroot, 1, "c"},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kGeneratorDelegate[] = {
    {"getstatus", generator_getstatus, 1, "g"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", obj_tostring, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kThreadDelegate[] = {
    {"call", thread_call, -1, "v"},
    {"wakeup", thread_wakeup, -1, "v"},
    {"wakeupthrow", thread_wakeupthrow, -2, "v.b"},
    {"getstatus", thread_getstatus, 1, "v"},
    {"weakref", obj_weakref, 1, nullptr},
    {"getstackinfos", thread_getstackinfos, 2, "vn"},
    {"tostring", obj_tostring, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kClassDelegate[] = {
    {"getattributes", class_getattributes, 2, "y."},
    {"setattributes", class_setattributes, 3, "y.."},
    {"rawget", obj_rawget, 2, "y"},
    {"rawset", obj_rawset, 3, "y"},
    {"rawin", obj_rawin, 2, "y"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", obj_tostring, 1, "."},
    {"instance", class_instance, 1, "y"},
    {"getbase", class_getbase, 1, "y"},
    {"newmember", class_newmember, -3, "y"},
    {"rawnewmember", class_rawnewmember, -3, "y"},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kInstanceDelegate[] = {
    {"getclass", instance_getclass, 1, "x"},
    {"rawget", obj_rawget, 2, "x"},
    {"rawset", obj_rawset, 3, "x"},
    {"rawin", obj_rawin, 2, "x"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", obj_tostring, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

static const NativeReg kWeakrefDelegate[] = {
    {"ref", weakref_ref, 1, "w"},
    {"weakref", obj_weakref, 1, nullptr},
    {"tostring", obj_tostring, 1, "."},
    {nullptr, nullptr, 0, nullptr},
};

static Value makeDelegate(VM* vm, const NativeReg* regs) {
    Table* t = vm->ss->newTable();
    Value tv(t);
    registerFunctions(vm, t, regs);
    return tv;
}

void initDefaultDelegates(VM* vm) {
    SharedState* ss = vm->ss;
    ss->numberDelegate = makeDelegate(vm, kNumberDelegate);
    ss->stringDelegate = makeDelegate(vm, kStringDelegate);
    ss->tableDelegate = makeDelegate(vm, kTableDelegate);
    ss->arrayDelegate = makeDelegate(vm, kArrayDelegate);
    ss->closureDelegate = makeDelegate(vm, kClosureDelegate);
    ss->generatorDelegate = makeDelegate(vm, kGeneratorDelegate);
    ss->threadDelegate = makeDelegate(vm, kThreadDelegate);
    ss->classDelegate = makeDelegate(vm, kClassDelegate);
    ss->instanceDelegate = makeDelegate(vm, kInstanceDelegate);
    ss->weakrefDelegate = makeDelegate(vm, kWeakrefDelegate);
}

void registerBaseLib(VM* vm) {
    Table* root = vm->root.t;
    registerFunctions(vm, root, kBaseFuncs);
    SharedState* ss = vm->ss;
    root->newSlot(makeString(ss, "_version_"), makeString(ss, VersionString));
    root->newSlot(makeString(ss, "_versionnumber_"), Value(VersionNumber));
    root->newSlot(makeString(ss, "_intsize_"), Value(Integer(sizeof(Integer))));
    root->newSlot(makeString(ss, "_floatsize_"), Value(Integer(sizeof(Float))));
    root->newSlot(makeString(ss, "_charsize_"), Value(Integer(1)));
}

}  // namespace Squirrel
