// Embedding interface: the stack based API declared in include/Squirrel/Squirrel.h.
#include "BaseLib.h"
#include "VM.h"

#include <cstdarg>
#include <cstdio>

namespace Squirrel {

static const char* const kMetaNames[MM_COUNT] = {
    "_add", "_sub",    "_mul",    "_div",    "_unm",      "_modulo",    "_set",       "_get",      "_typeof",
    "_nexti", "_cmp",  "_call",   "_cloned", "_newslot",  "_delslot",   "_tostring",  "_newmember", "_inherited",
};

static void defaultPrint(HVM, const char* text, size_t len) { std::fwrite(text, 1, len, stdout); }
static void defaultError(HVM, const char* text, size_t len) { std::fwrite(text, 1, len, stderr); }

HVM open(Integer initialStackSize) {
    SharedState* ss = new SharedState();
    ss->gcHead.gcNext = ss->gcHead.gcPrev = &ss->gcHead;
    ss->gcHead.otype = ObjectType::Null;
    ss->printFn = defaultPrint;
    ss->errorFn = defaultError;
    for (int i = 0; i < MM_COUNT; ++i) ss->metaNames[i] = makeString(ss, kMetaNames[i]);
    ss->strConstructor = makeString(ss, "constructor");
    ss->strThis = makeString(ss, "this");
    ss->strVargv = makeString(ss, "vargv");
    ss->registry = Value(ss->newTable());
    ss->consts = Value(ss->newTable());
    VM* vm = ss->newThread(nullptr, uint32_t(initialStackSize > 0 ? initialStackSize : 1024));
    addref(vm);  // held by the handle
    ss->mainVM = vm;
    vm->root = Value(ss->newTable());
    initDefaultDelegates(vm);
    registerBaseLib(vm);
    return vm;
}

void close(HVM vm) {
    SharedState* ss = vm->ss;
    VM* main = ss->mainVM;
    ss->registry.setNull();
    ss->consts.setNull();
    ss->tableDelegate.setNull();
    ss->arrayDelegate.setNull();
    ss->stringDelegate.setNull();
    ss->numberDelegate.setNull();
    ss->closureDelegate.setNull();
    ss->generatorDelegate.setNull();
    ss->threadDelegate.setNull();
    ss->classDelegate.setNull();
    ss->instanceDelegate.setNull();
    ss->weakrefDelegate.setNull();
    finalizeAll(ss);
    decref(main);
    for (auto& v : ss->metaNames) v.setNull();
    ss->strConstructor.setNull();
    ss->strThis.setNull();
    ss->strVargv.setNull();
    // anything still referenced from outside is released by force
    if (ss->strBuckets) {
        for (uint32_t i = 0; i <= ss->strMask; ++i) {
            String* s = ss->strBuckets[i];
            while (s) {
                String* nx = s->nextInBucket;
                ss->dealloc(s, sizeof(String) + s->len);
                s = nx;
            }
        }
        ss->dealloc(ss->strBuckets, sizeof(String*) * (ss->strMask + 1));
    }
    delete ss;
}

HVM newThread(HVM friendVm, Integer initialStackSize) {
    VM* th = friendVm->ss->newThread(friendVm, uint32_t(initialStackSize > 0 ? initialStackSize : 64));
    friendVm->push(Value::thread(th));
    return th;
}

HVM getMainVM(HVM vm) { return vm->ss->mainVM; }
void setForeignPtr(HVM vm, UserPointer p) { vm->foreignPtr = p; }
UserPointer getForeignPtr(HVM vm) { return vm->foreignPtr; }
void setSharedForeignPtr(HVM vm, UserPointer p) { vm->ss->foreignPtr = p; }
UserPointer getSharedForeignPtr(HVM vm) { return vm->ss->foreignPtr; }

void setPrintFunction(HVM vm, PrintFunction print, PrintFunction error) {
    vm->ss->printFn = print;
    vm->ss->errorFn = error;
}
PrintFunction getPrintFunction(HVM vm) { return vm->ss->printFn; }
PrintFunction getErrorFunction(HVM vm) { return vm->ss->errorFn; }

static void vout(HVM vm, PrintFunction fn, const char* fmt, va_list ap) {
    if (!fn) return;
    char buf[1024];
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    if (n < 0) {
        va_end(ap2);
        return;
    }
    if (size_t(n) < sizeof buf) {
        fn(vm, buf, size_t(n));
    } else {
        std::string big(size_t(n) + 1, '\0');
        std::vsnprintf(&big[0], big.size(), fmt, ap2);
        fn(vm, big.data(), size_t(n));
    }
    va_end(ap2);
}

void printf(HVM vm, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vout(vm, vm->ss->printFn, fmt, ap);
    va_end(ap);
}

void errorf(HVM vm, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vout(vm, vm->ss->errorFn, fmt, ap);
    va_end(ap);
}

void setMaxCallDepth(HVM vm, Integer depth) { vm->ss->maxCallDepth = depth > 0 ? depth : 1; }
void setMemoryLimit(HVM vm, size_t bytes) { vm->ss->memoryLimit = bytes; }
size_t getMemoryUsage(HVM vm) { return vm->ss->bytesAllocated; }
void setStepHook(HVM vm, StepHook hook, void* user, Integer interval) {
    vm->ss->stepHook = hook;
    vm->ss->stepUser = user;
    vm->ss->stepInterval = interval > 0 ? interval : 1;
    vm->ss->stepCounter = vm->ss->stepInterval;
}

// ----------------------------------------------------------------------------------------------
// compiling
// ----------------------------------------------------------------------------------------------
bool compileToClosure(VM* vm, const char* src, size_t len, const char* name, bool raiseError, Value& out) {
    Value proto;
    CompileError err;
    if (!compileSource(vm, src, len, name, proto, err)) {
        if (raiseError && vm->ss->compileErrorHandler)
            vm->ss->compileErrorHandler(vm, err.message.c_str(), name ? name : "unnamedbuffer", err.line, err.column);
        vm->lastError = makeString(vm->ss, err.message);
        return false;
    }
    Table* root = vm->root.type == ObjectType::Table ? vm->root.t : nullptr;
    out = Value(vm->ss->newClosure(proto.fp, root));
    return true;
}

Result compileBuffer(HVM vm, const char* source, Integer length, const char* sourceName, bool raiseError) {
    if (length < 0) length = Integer(std::strlen(source));
    Value cl;
    if (!compileToClosure(vm, source, size_t(length), sourceName, raiseError, cl)) return Error;
    vm->push(cl);
    return Ok;
}

void setCompilerErrorHandler(HVM vm, CompileErrorHandler handler) { vm->ss->compileErrorHandler = handler; }
void enableDebugInfo(HVM vm, bool enable) { vm->ss->debugInfo = enable; }
void notifyAllExceptions(HVM vm, bool enable) { vm->ss->notifyAllExceptions = enable; }

// ----------------------------------------------------------------------------------------------
// stack
// ----------------------------------------------------------------------------------------------
Integer getTop(HVM vm) { return vm->gettop(); }
void setTop(HVM vm, Integer newTop) {
    Integer abs = Integer(vm->frameBase()) + (newTop < 0 ? vm->gettop() + newTop + 1 : newTop);
    if (abs < Integer(vm->frameBase())) abs = vm->frameBase();
    vm->settop(uint32_t(abs));
}
void pop(HVM vm, Integer count) {
    for (Integer i = 0; i < count && vm->top > vm->frameBase(); ++i) vm->stack[--vm->top].setNull();
}
void popTop(HVM vm) { pop(vm, 1); }
void push(HVM vm, Integer idx) {
    Value v = vm->at(idx);
    vm->push(std::move(v));
}
void remove(HVM vm, Integer idx) {
    uint32_t abs = vm->frameBase() + uint32_t(vm->absIndex(idx)) - 1;
    for (uint32_t i = abs; i + 1 < vm->top; ++i) vm->stack[i] = std::move(vm->stack[i + 1]);
    vm->stack[--vm->top].setNull();
}
void replace(HVM vm, Integer idx) {
    Value v = vm->topValue();
    Integer abs = vm->absIndex(idx);
    vm->pop();
    vm->stack[vm->frameBase() + uint32_t(abs) - 1] = std::move(v);
}
Integer compare(HVM vm) {
    Integer r = 0;
    Value a = vm->at(-2), b = vm->at(-1);
    if (!vm->compare(a, b, r)) return 0;
    return r;
}
Result reserveStack(HVM vm, Integer size) { return vm->ensureStack(vm->top + uint32_t(size)) ? Ok : Error; }
Integer toAbsoluteIndex(HVM vm, Integer idx) { return vm->absIndex(idx); }

// ----------------------------------------------------------------------------------------------
// pushing
// ----------------------------------------------------------------------------------------------
void pushNull(HVM vm) { vm->push(Value()); }
void pushBool(HVM vm, bool b) { vm->push(Value(b)); }
void pushInteger(HVM vm, Integer n) { vm->push(Value(n)); }
void pushFloat(HVM vm, Float f) { vm->push(Value(f)); }
void pushString(HVM vm, const char* s, Integer length) {
    if (!s) {
        vm->push(Value());
        return;
    }
    if (length < 0) length = Integer(std::strlen(s));
    vm->push(makeString(vm->ss, s, size_t(length)));
}
void pushUserPointer(HVM vm, UserPointer p) { vm->push(Value::userPointer(p)); }
void pushThread(HVM vm, HVM thread) { vm->push(Value::thread(thread)); }

static Value fromObject(const Object& o) {
    Value v;
    if (isRefType(o.type)) {
        if (!o.value.ref) return v;
        return Value(o.type, o.value.ref);
    }
    v.type = o.type;
    v.i = o.value.integer;
    return v;
}

void pushObject(HVM vm, const Object& obj) { vm->push(fromObject(obj)); }
void pushRootTable(HVM vm) { vm->push(vm->root); }
void pushConstTable(HVM vm) { vm->push(vm->ss->consts); }
void pushRegistryTable(HVM vm) { vm->push(vm->ss->registry); }
Result setRootTable(HVM vm) {
    Value t = vm->at(-1);
    if (t.type != ObjectType::Table && t.type != ObjectType::Null) return throwError(vm, "a table is expected");
    vm->root = t;
    pop(vm, 1);
    return Ok;
}
Result setConstTable(HVM vm) {
    Value t = vm->at(-1);
    if (t.type != ObjectType::Table) return throwError(vm, "a table is expected");
    vm->ss->consts = t;
    pop(vm, 1);
    return Ok;
}
void newTable(HVM vm) { vm->push(Value(vm->ss->newTable())); }
void newTableEx(HVM vm, Integer cap) { vm->push(Value(vm->ss->newTable(uint32_t(cap > 0 ? cap : 0)))); }
void newArray(HVM vm, Integer size) { vm->push(Value(vm->ss->newArray(uint32_t(size > 0 ? size : 0)))); }

void newClosure(HVM vm, NativeFunction fn, Integer freeVars) {
    NativeClosure* nc = vm->ss->newNativeClosure(fn, uint32_t(freeVars));
    Value v(nc);
    for (Integer i = 0; i < freeVars; ++i) nc->outers[i] = vm->at(-freeVars + i);
    pop(vm, freeVars);
    vm->push(std::move(v));
}

Result newClass(HVM vm, bool hasBase) {
    Class* base = nullptr;
    Value bv;
    if (hasBase) {
        bv = vm->at(-1);
        if (bv.type != ObjectType::Class) {
            vm->raise("invalid base type");
            return Error;
        }
        base = bv.cls;
        pop(vm, 1);
    }
    vm->push(Value(vm->ss->newClass(base)));
    return Ok;
}

Result createInstance(HVM vm, Integer idx) {
    Value c = vm->at(idx);
    if (c.type != ObjectType::Class) {
        vm->raise("the object is not a class");
        return Error;
    }
    vm->push(Value(vm->ss->newInstance(c.cls)));
    return Ok;
}

UserPointer newUserData(HVM vm, Integer size) {
    UserData* u = vm->ss->newUserData(size > 0 ? size : 0);
    vm->push(Value(u));
    return u->data;
}

// ----------------------------------------------------------------------------------------------
// reading values
// ----------------------------------------------------------------------------------------------
ObjectType getType(HVM vm, Integer idx) { return vm->at(idx).type; }
const char* typeName(ObjectType t) { return typeNameOf(t); }

Result typeOf(HVM vm, Integer idx) {
    Value v = vm->at(idx), out;
    if (!vm->typeOf(v, out)) return Error;
    vm->push(out);
    return Ok;
}

Result toString(HVM vm, Integer idx) {
    Value v = vm->at(idx), out;
    if (!vm->toString(v, out)) return Error;
    vm->push(out);
    return Ok;
}

void toBool(HVM vm, Integer idx, bool* b) { *b = isTrue(vm->at(idx)); }

Result getBool(HVM vm, Integer idx, bool* b) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::Bool) return Error;
    *b = v.b;
    return Ok;
}

Result getInteger(HVM vm, Integer idx, Integer* n) {
    const Value& v = vm->at(idx);
    if (v.type == ObjectType::Integer) *n = v.i;
    else if (v.type == ObjectType::Float) *n = floatToInteger(v.f);
    else if (v.type == ObjectType::Bool) *n = v.b ? 1 : 0;
    else return Error;
    return Ok;
}

Result getFloat(HVM vm, Integer idx, Float* f) {
    const Value& v = vm->at(idx);
    if (v.type == ObjectType::Float) *f = v.f;
    else if (v.type == ObjectType::Integer) *f = Float(v.i);
    else if (v.type == ObjectType::Bool) *f = v.b ? 1.0f : 0.0f;
    else return Error;
    return Ok;
}

Result getString(HVM vm, Integer idx, const char** s) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::String) return Error;
    *s = v.s->data;
    return Ok;
}

Result getStringAndSize(HVM vm, Integer idx, const char** s, Integer* size) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::String) return Error;
    *s = v.s->data;
    *size = v.s->len;
    return Ok;
}

Result getUserPointer(HVM vm, Integer idx, UserPointer* p) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::UserPointer) return Error;
    *p = v.p;
    return Ok;
}

Result getUserData(HVM vm, Integer idx, UserPointer* p, TypeTag* tag) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::UserData) return Error;
    *p = v.ud->data;
    if (tag) *tag = v.ud->typetag;
    return Ok;
}

Result getThread(HVM vm, Integer idx, HVM* thread) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::Thread) return Error;
    *thread = v.th;
    return Ok;
}

Result getClosureInfo(HVM vm, Integer idx, Integer* nparams, Integer* nfreevars) {
    const Value& v = vm->at(idx);
    if (v.type == ObjectType::Closure) {
        if (nparams) *nparams = v.c->proto->nparams;
        if (nfreevars) *nfreevars = v.c->nouters;
        return Ok;
    }
    if (v.type == ObjectType::NativeClosure) {
        if (nparams) *nparams = v.nc->nparamscheck;
        if (nfreevars) *nfreevars = v.nc->nouters;
        return Ok;
    }
    return Error;
}

Integer getSize(HVM vm, Integer idx) {
    const Value& v = vm->at(idx);
    switch (v.type) {
    case ObjectType::String: return v.s->len;
    case ObjectType::Table: return v.t->count;
    case ObjectType::Array: return v.a->size;
    case ObjectType::UserData: return v.ud->size;
    case ObjectType::Instance: return v.inst->udsize;
    case ObjectType::Class: return v.cls->udsize;
    default: return -1;
    }
}

Integer getHash(HVM vm, Integer idx) { return hashValue(vm->at(idx)); }

Result getClosureName(HVM vm, Integer idx) {
    const Value& v = vm->at(idx);
    if (v.type == ObjectType::Closure) {
        vm->push(v.c->proto->name);
        return Ok;
    }
    if (v.type == ObjectType::NativeClosure) {
        vm->push(v.nc->name);
        return Ok;
    }
    return Error;
}

// ----------------------------------------------------------------------------------------------
// objects
// ----------------------------------------------------------------------------------------------
Result newSlot(HVM vm, Integer idx, bool isStatic) {
    Value self = vm->at(idx);
    Value key = vm->at(-2), val = vm->at(-1);
    pop(vm, 2);
    return vm->newSlot(self, key, val, isStatic) ? Ok : Error;
}

static Result newMemberImpl(HVM vm, Integer idx, bool isStatic, bool raw) {
    Value self = vm->at(idx);
    Value key = vm->at(-3), val = vm->at(-2), attrs = vm->at(-1);
    pop(vm, 3);
    return vm->newMember(self, key, val, attrs, isStatic, raw) ? Ok : Error;
}
Result newMember(HVM vm, Integer idx, bool isStatic) { return newMemberImpl(vm, idx, isStatic, false); }
Result rawNewMember(HVM vm, Integer idx, bool isStatic) { return newMemberImpl(vm, idx, isStatic, true); }

Result set(HVM vm, Integer idx) {
    Value self = vm->at(idx);
    Value key = vm->at(-2), val = vm->at(-1);
    pop(vm, 2);
    return vm->set(self, key, val, false) ? Ok : Error;
}

Result rawSet(HVM vm, Integer idx) {
    Value self = vm->at(idx);
    Value key = vm->at(-2), val = vm->at(-1);
    pop(vm, 2);
    return vm->rawSet(self, key, val) ? Ok : Error;
}

Result get(HVM vm, Integer idx) {
    Value self = vm->at(idx);
    Value key = vm->at(-1), out;
    pop(vm, 1);
    if (!vm->get(self, key, out, 0)) return Error;
    vm->push(out);
    return Ok;
}

Result rawGet(HVM vm, Integer idx) {
    Value self = vm->at(idx);
    Value key = vm->at(-1), out;
    pop(vm, 1);
    if (vm->getImpl(self, key, out, VM::GET_RAW) != 1) {
        vm->raise("the index doesn't exist");
        return Error;
    }
    vm->push(out);
    return Ok;
}

Result deleteSlot(HVM vm, Integer idx, bool pushValue) {
    Value self = vm->at(idx);
    Value key = vm->at(-1), out;
    pop(vm, 1);
    if (!vm->deleteSlot(self, key, out)) return Error;
    if (pushValue) vm->push(out);
    return Ok;
}

Result rawDeleteSlot(HVM vm, Integer idx, bool pushValue) {
    Value self = vm->at(idx);
    Value key = vm->at(-1), out;
    pop(vm, 1);
    if (self.type != ObjectType::Table) {
        vm->raise("rawdeleteslot works only on tables");
        return Error;
    }
    TableNode* n = self.t->find(key);
    if (n) {
        out = n->val;
        self.t->remove(key);
    }
    if (pushValue) vm->push(out);
    return Ok;
}

bool rawIn(HVM vm, Integer idx) {
    Value self = vm->at(idx);
    Value key = vm->at(-1), out;
    pop(vm, 1);
    return vm->getImpl(self, key, out, VM::GET_RAW) == 1;
}

Result clear(HVM vm, Integer idx) {
    Value self = vm->at(idx);
    if (self.type == ObjectType::Table) self.t->clear();
    else if (self.type == ObjectType::Array) self.a->resize(0);
    else return Error;
    return Ok;
}

static Array* arrayAt(HVM vm, Integer idx) {
    Value& v = vm->at(idx);
    if (v.type != ObjectType::Array) {
        vm->raise("the object is not an array");
        return nullptr;
    }
    return v.a;
}

Result arrayAppend(HVM vm, Integer idx) {
    Array* a = arrayAt(vm, idx);
    if (!a) return Error;
    a->append(vm->at(-1));
    pop(vm, 1);
    return Ok;
}

Result arrayPop(HVM vm, Integer idx, bool pushValue) {
    Array* a = arrayAt(vm, idx);
    if (!a) return Error;
    if (a->size == 0) {
        vm->raise("empty array");
        return Error;
    }
    Value v = a->data[a->size - 1];
    a->pop();
    if (pushValue) vm->push(v);
    return Ok;
}

Result arrayResize(HVM vm, Integer idx, Integer newSize) {
    Array* a = arrayAt(vm, idx);
    if (!a) return Error;
    if (newSize < 0) {
        vm->raise("negative size");
        return Error;
    }
    a->resize(uint32_t(newSize));
    return Ok;
}

Result arrayReverse(HVM vm, Integer idx) {
    Array* a = arrayAt(vm, idx);
    if (!a) return Error;
    if (a->size > 1)
        for (uint32_t i = 0, j = a->size - 1; i < j; ++i, --j) std::swap(a->data[i], a->data[j]);
    return Ok;
}

Result arrayRemove(HVM vm, Integer idx, Integer itemIdx) {
    Array* a = arrayAt(vm, idx);
    if (!a) return Error;
    if (itemIdx < 0 || itemIdx >= Integer(a->size)) {
        vm->raise("index out of range");
        return Error;
    }
    a->removeAt(uint32_t(itemIdx));
    return Ok;
}

Result arrayInsert(HVM vm, Integer idx, Integer destPos) {
    Array* a = arrayAt(vm, idx);
    if (!a) return Error;
    if (destPos < 0 || destPos > Integer(a->size)) {
        vm->raise("index out of range");
        return Error;
    }
    a->insert(uint32_t(destPos), vm->at(-1));
    pop(vm, 1);
    return Ok;
}

Result setDelegate(HVM vm, Integer idx) {
    Value self = vm->at(idx);
    Value d = vm->at(-1);
    if (d.type != ObjectType::Table && d.type != ObjectType::Null) {
        vm->raise("invalid delegate");
        return Error;
    }
    Table** slot = nullptr;
    if (self.type == ObjectType::Table) slot = &self.t->delegate;
    else if (self.type == ObjectType::UserData) slot = &self.ud->delegate;
    else {
        vm->raise("only tables and userdata have delegates");
        return Error;
    }
    if (d.type == ObjectType::Table) {
        for (Table* p = d.t; p; p = p->delegate)
            if (self.type == ObjectType::Table && p == self.t) {
                vm->raise("delegate cycle");
                return Error;
            }
        addref(d.t);
    }
    Table* old = *slot;
    *slot = d.type == ObjectType::Table ? d.t : nullptr;
    if (old) decref(old);
    pop(vm, 1);
    return Ok;
}

Result getDelegate(HVM vm, Integer idx) {
    const Value& self = vm->at(idx);
    Table* d = nullptr;
    if (self.type == ObjectType::Table) d = self.t->delegate;
    else if (self.type == ObjectType::UserData) d = self.ud->delegate;
    else return Error;
    vm->push(d ? Value(d) : Value());
    return Ok;
}

Result clone(HVM vm, Integer idx) {
    Value self = vm->at(idx), out;
    if (!vm->clone(self, out)) return Error;
    vm->push(out);
    return Ok;
}

Result next(HVM vm, Integer idx) {
    Value self = vm->at(idx);
    Value iter = vm->at(-1);
    Integer from = iter.type == ObjectType::Integer ? iter.i : 0;
    switch (self.type) {
    case ObjectType::Table: {
        Table* t = self.t;
        int32_t n = t->nodes ? t->nextIndex(uint32_t(from)) : -1;
        if (n < 0) return Error;
        vm->at(-1) = Value(Integer(n + 1));
        vm->push(t->nodes[n].key);
        Value tmp;
        vm->push(realValue(t->nodes[n].val, tmp));
        return Ok;
    }
    case ObjectType::Array: {
        if (from >= Integer(self.a->size)) return Error;
        vm->at(-1) = Value(from + 1);
        vm->push(Value(from));
        Value tmp;
        vm->push(realValue(self.a->data[from], tmp));
        return Ok;
    }
    case ObjectType::Class: {
        Class* c = self.cls;
        Table* t = c->members;
        int32_t n = t->nodes ? t->nextIndex(uint32_t(from)) : -1;
        if (n < 0) return Error;
        vm->at(-1) = Value(Integer(n + 1));
        Integer enc = t->nodes[n].val.i;
        vm->push(t->nodes[n].key);
        vm->push(memberIsField(enc) ? c->fields[memberIndex(enc)].val : c->methods[memberIndex(enc)].val);
        return Ok;
    }
    default:
        return Error;
    }
}

Result setTypeTag(HVM vm, Integer idx, TypeTag tag) {
    const Value& v = vm->at(idx);
    if (v.type == ObjectType::Class) v.cls->typetag = tag;
    else if (v.type == ObjectType::UserData) v.ud->typetag = tag;
    else return Error;
    return Ok;
}

Result getTypeTag(HVM vm, Integer idx, TypeTag* tag) {
    const Value& v = vm->at(idx);
    if (v.type == ObjectType::Class) *tag = v.cls->typetag;
    else if (v.type == ObjectType::Instance) *tag = v.inst->cls->typetag;
    else if (v.type == ObjectType::UserData) *tag = v.ud->typetag;
    else return Error;
    return Ok;
}

Result setClassUserDataSize(HVM vm, Integer idx, Integer size) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::Class || v.cls->locked || size < 0) return Error;
    v.cls->udsize = size;
    return Ok;
}

Result setInstanceUp(HVM vm, Integer idx, UserPointer p) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::Instance) return Error;
    v.inst->up = p;
    return Ok;
}

Result getInstanceUp(HVM vm, Integer idx, UserPointer* p, TypeTag tag, bool throwError) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::Instance) {
        if (throwError) vm->raise("the object is not a class instance");
        return Error;
    }
    if (tag) {
        bool ok = false;
        for (Class* c = v.inst->cls; c; c = c->base)
            if (c->typetag == tag) {
                ok = true;
                break;
            }
        if (!ok) {
            if (throwError) vm->raise("invalid type tag");
            return Error;
        }
    }
    *p = v.inst->up;
    return Ok;
}

Result setReleaseHook(HVM vm, Integer idx, ReleaseHook hook) {
    const Value& v = vm->at(idx);
    if (v.type == ObjectType::Instance) v.inst->hook = hook;
    else if (v.type == ObjectType::Class) v.cls->hook = hook;
    else if (v.type == ObjectType::UserData) v.ud->hook = hook;
    else return Error;
    return Ok;
}

ReleaseHook getReleaseHook(HVM vm, Integer idx) {
    const Value& v = vm->at(idx);
    if (v.type == ObjectType::Instance) return v.inst->hook;
    if (v.type == ObjectType::Class) return v.cls->hook;
    if (v.type == ObjectType::UserData) return v.ud->hook;
    return nullptr;
}

Result getClass(HVM vm, Integer idx) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::Instance) return Error;
    vm->push(Value(v.inst->cls));
    return Ok;
}

Result getBase(HVM vm, Integer idx) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::Class) return Error;
    vm->push(v.cls->base ? Value(v.cls->base) : Value());
    return Ok;
}

bool instanceOf(HVM vm) {
    const Value& a = vm->at(-2);
    const Value& b = vm->at(-1);
    return a.type == ObjectType::Instance && b.type == ObjectType::Class && a.inst->instanceOf(b.cls);
}

static ClassMember* memberOf(Class* c, const Value& key) {
    TableNode* n = c->members->find(key);
    if (!n) return nullptr;
    Integer enc = n->val.i;
    return memberIsField(enc) ? &c->fields[memberIndex(enc)] : &c->methods[memberIndex(enc)];
}

Result setAttributes(HVM vm, Integer idx) {
    Value c = vm->at(idx);
    Value key = vm->at(-2), val = vm->at(-1);
    pop(vm, 2);
    if (c.type != ObjectType::Class) return Error;
    Value old;
    if (key.isNull()) {
        old = c.cls->attrs;
        c.cls->attrs = val;
    } else {
        ClassMember* m = memberOf(c.cls, key);
        if (!m) {
            vm->raise("wrong index");
            return Error;
        }
        old = m->attrs;
        m->attrs = val;
    }
    vm->push(old);
    return Ok;
}

Result getAttributes(HVM vm, Integer idx) {
    Value c = vm->at(idx);
    Value key = vm->at(-1);
    pop(vm, 1);
    if (c.type != ObjectType::Class) return Error;
    if (key.isNull()) {
        vm->push(c.cls->attrs);
        return Ok;
    }
    ClassMember* m = memberOf(c.cls, key);
    if (!m) {
        vm->raise("wrong index");
        return Error;
    }
    vm->push(m->attrs);
    return Ok;
}

Result getMemberHandle(HVM vm, Integer idx, Integer* handle) {
    Value c = vm->at(idx);
    Value key = vm->at(-1);
    pop(vm, 1);
    if (c.type != ObjectType::Class) return Error;
    TableNode* n = c.cls->members->find(key);
    if (!n) {
        vm->raise("wrong index");
        return Error;
    }
    *handle = n->val.i;
    return Ok;
}

Result getByHandle(HVM vm, Integer idx, Integer handle) {
    const Value& v = vm->at(idx);
    if (v.type == ObjectType::Instance) {
        Instance* in = v.inst;
        if (memberIsField(handle)) {
            if (memberIndex(handle) >= in->nvalues) return Error;
            vm->push(in->values[memberIndex(handle)]);
        } else {
            if (memberIndex(handle) >= in->cls->methods.size()) return Error;
            vm->push(in->cls->methods[memberIndex(handle)].val);
        }
        return Ok;
    }
    if (v.type == ObjectType::Class) {
        Class* c = v.cls;
        auto& vec = memberIsField(handle) ? c->fields : c->methods;
        if (memberIndex(handle) >= vec.size()) return Error;
        vm->push(vec[memberIndex(handle)].val);
        return Ok;
    }
    return Error;
}

Result setByHandle(HVM vm, Integer idx, Integer handle) {
    Value self = vm->at(idx);
    Value val = vm->at(-1);
    pop(vm, 1);
    if (self.type == ObjectType::Instance && memberIsField(handle) && memberIndex(handle) < self.inst->nvalues) {
        self.inst->values[memberIndex(handle)] = val;
        return Ok;
    }
    if (self.type == ObjectType::Class) {
        Class* c = self.cls;
        auto& vec = memberIsField(handle) ? c->fields : c->methods;
        if (memberIndex(handle) >= vec.size()) return Error;
        vec[memberIndex(handle)].val = val;
        return Ok;
    }
    return Error;
}

// ----------------------------------------------------------------------------------------------
// functions and calls
// ----------------------------------------------------------------------------------------------
Result setParamsCheck(HVM vm, Integer nparams, const char* typemask) {
    Value& v = vm->at(-1);
    if (v.type != ObjectType::NativeClosure) return Error;
    v.nc->nparamscheck = nparams;
    if (typemask) {
        if (!compileTypeMask(typemask, v.nc->typecheck)) {
            v.nc->typecheck.clear();
            vm->raise("invalid typemask");
            return Error;
        }
        if (nparams != 0 && nparams > 0 && v.nc->typecheck.size() < size_t(nparams))
            v.nc->typecheck.resize(size_t(nparams), MaskAny);
    } else {
        v.nc->typecheck.clear();
    }
    return Ok;
}

Result setNativeClosureName(HVM vm, Integer idx, const char* name) {
    Value& v = vm->at(idx);
    if (v.type != ObjectType::NativeClosure) return Error;
    v.nc->name = makeString(vm->ss, name);
    return Ok;
}

Result setFreeVariable(HVM vm, Integer idx, Integer n) {
    Value f = vm->at(idx);
    Value val = vm->at(-1);
    pop(vm, 1);
    if (f.type == ObjectType::NativeClosure && n >= 0 && n < Integer(f.nc->nouters)) {
        f.nc->outers[n] = val;
        return Ok;
    }
    if (f.type == ObjectType::Closure && n >= 0 && n < Integer(f.c->nouters)) {
        Outer* o = f.c->outers[n].outer;
        *o->valptr = val;
        return Ok;
    }
    return Error;
}

Result getFreeVariable(HVM vm, Integer idx, Integer n) {
    const Value& f = vm->at(idx);
    if (f.type == ObjectType::NativeClosure && n >= 0 && n < Integer(f.nc->nouters)) {
        Value v = f.nc->outers[n];
        vm->push(v);
        return Ok;
    }
    if (f.type == ObjectType::Closure && n >= 0 && n < Integer(f.c->nouters)) {
        Value v = *f.c->outers[n].outer->valptr;
        vm->push(v);
        return Ok;
    }
    return Error;
}

Result bindEnv(HVM vm, Integer idx) {
    Value f = vm->at(idx);
    Value env = vm->at(-1);
    pop(vm, 1);
    if (!env.isRef() || env.type == ObjectType::String) {
        vm->raise("invalid environment");
        return Error;
    }
    WeakRefObj* w = vm->ss->weakRefOf(env.o);
    if (f.type == ObjectType::Closure) {
        Closure* src = f.c;
        Closure* c = vm->ss->newClosure(src->proto, src->root);
        Value cv(c);
        for (uint32_t i = 0; i < src->nouters + src->ndefaults; ++i) c->outers[i] = src->outers[i];
        if (src->base) {
            c->base = src->base;
            addref(c->base);
        }
        c->env = w;
        addref(w);
        vm->push(cv);
        return Ok;
    }
    if (f.type == ObjectType::NativeClosure) {
        NativeClosure* src = f.nc;
        NativeClosure* c = vm->ss->newNativeClosure(src->fn, src->nouters);
        Value cv(c);
        for (uint32_t i = 0; i < src->nouters; ++i) c->outers[i] = src->outers[i];
        c->nparamscheck = src->nparamscheck;
        c->typecheck = src->typecheck;
        c->name = src->name;
        c->env = w;
        addref(w);
        vm->push(cv);
        return Ok;
    }
    vm->raise("the object is not a closure");
    return Error;
}

Result setClosureRoot(HVM vm, Integer idx) {
    Value f = vm->at(idx);
    Value r = vm->at(-1);
    if (f.type != ObjectType::Closure || r.type != ObjectType::Table) return Error;
    pop(vm, 1);
    Table* old = f.c->root;
    f.c->root = r.t;
    addref(r.t);
    if (old) decref(old);
    return Ok;
}

Result getClosureRoot(HVM vm, Integer idx) {
    const Value& f = vm->at(idx);
    if (f.type != ObjectType::Closure) return Error;
    vm->push(f.c->root ? Value(f.c->root) : Value());
    return Ok;
}

Result call(HVM vm, Integer nparams, bool retval, bool raiseError) {
    if (nparams < 1 || Integer(vm->top) - Integer(vm->frameBase()) < nparams + 1) {
        vm->raise("not enough values on the stack");
        return Error;
    }
    uint32_t argBase = vm->top - uint32_t(nparams);
    Value func = vm->stack[argBase - 1];
    Value res;
    bool ok = vm->call(func, argBase, uint32_t(nparams), res, raiseError);
    if (ok && vm->state == VMState::Suspended && !vm->frames.empty()) {
        if (retval) vm->push(res);
        return Ok;
    }
    vm->settop(argBase);
    if (!ok) return Error;
    if (retval) vm->push(res);
    return Ok;
}

Result resumeGenerator(HVM vm, bool retval, bool raiseError) {
    Value g = vm->at(-1);
    if (g.type != ObjectType::Generator) {
        vm->raise("only generators can be resumed");
        return Error;
    }
    if (vm->nestedCalls >= 200) {
        vm->raise("native stack overflow");
        return Error;
    }
    uint32_t savedTop = vm->top;
    if (!vm->resumeGenerator(g.gen, -1, FRAME_ROOT)) return Error;
    Value res;
    bool ok = vm->execute(uint32_t(vm->frames.size() - 1), raiseError, res);
    vm->settop(savedTop);
    if (!ok) return Error;
    if (retval) vm->push(res);
    return Ok;
}

Result wakeupVM(HVM vm, bool resumedRet, bool retval, bool raiseError, bool throwError) {
    Value wv;
    if (resumedRet) {
        wv = vm->topValue();
        vm->pop();
    }
    Value res;
    if (!vm->wakeup(wv, res, raiseError, throwError)) return Error;
    if (retval) vm->push(res);
    return Ok;
}

Result suspendVM(HVM vm) {
    if (vm == vm->ss->mainVM) {
        vm->raise("cannot suspend the main thread");
        return Error;
    }
    return -666;
}

VMState getVMState(HVM vm) { return vm->state; }

Result getCallee(HVM vm, Integer level) {
    if (level < 0 || size_t(level) >= vm->frames.size()) {
        vm->raise("invalid level");
        return Error;
    }
    vm->push(vm->frames[vm->frames.size() - 1 - size_t(level)].func);
    return Ok;
}

Result throwError(HVM vm, const char* message) {
    vm->lastError = makeString(vm->ss, message);
    return Error;
}

Result throwObject(HVM vm) {
    vm->lastError = vm->topValue();
    vm->pop();
    return Error;
}

void getLastError(HVM vm) { vm->push(vm->lastError); }
void resetError(HVM vm) { vm->lastError.setNull(); }
void setErrorHandler(HVM vm) {
    vm->errorHandler = vm->topValue();
    vm->pop();
}
void setDebugHook(HVM vm) {
    vm->debugHook = vm->topValue();
    vm->pop();
}
void setNativeDebugHook(HVM vm, NativeDebugHook hook) { vm->ss->nativeDebugHook = hook; }

Result stackInfos(HVM vm, Integer level, StackInfo* info) {
    if (level < 0 || size_t(level) >= vm->frames.size()) return Error;
    size_t idx = vm->frames.size() - 1 - size_t(level);
    const CallFrame& f = vm->frames[idx];
    if (f.func.type == ObjectType::Closure) {
        FuncProto* p = f.func.c->proto;
        info->function = p->name.type == ObjectType::String ? p->name.s->data : "unknown";
        info->source = p->source.type == ObjectType::String ? p->source.s->data : "unknown";
        info->line = vm->frameLine(idx);
    } else {
        NativeClosure* nc = f.func.nc;
        info->function = nc->name.type == ObjectType::String ? nc->name.s->data : "unknown";
        info->source = "NATIVE";
        info->line = -1;
    }
    return Ok;
}

const char* getLocal(HVM vm, Integer level, Integer idx) {
    if (level < 0 || size_t(level) >= vm->frames.size()) return nullptr;
    size_t fi = vm->frames.size() - 1 - size_t(level);
    const CallFrame& f = vm->frames[fi];
    if (f.func.type != ObjectType::Closure) return nullptr;
    FuncProto* p = f.func.c->proto;
    uint32_t pc = uint32_t(f.ip - p->code.data());
    if (pc > 0) --pc;
    for (const LocalVarInfo& li : p->locals) {
        if (li.startPc <= pc && li.endPc >= pc) {
            if (idx == 0) {
                Value v = vm->stack[f.base + li.reg];
                vm->push(v);
                return li.name.s->data;
            }
            --idx;
        }
    }
    return nullptr;
}

// ----------------------------------------------------------------------------------------------
// references
// ----------------------------------------------------------------------------------------------
Result getStackObject(HVM vm, Integer idx, Object* obj) {
    const Value& v = vm->at(idx);
    obj->type = v.type;
    obj->value.integer = v.i;
    return Ok;
}

void resetObject(Object* obj) {
    obj->type = ObjectType::Null;
    obj->value.integer = 0;
}

void addRef(HVM vm, Object* obj) {
    (void)vm;
    if (isRefType(obj->type) && obj->value.ref) addref(obj->value.ref);
}

bool release(HVM vm, Object* obj) {
    (void)vm;
    if (!isRefType(obj->type) || !obj->value.ref) return true;
    bool last = obj->value.ref->refs == 1;
    decref(obj->value.ref);
    if (last) resetObject(obj);
    return last;
}

Integer getRefCount(HVM vm, const Object* obj) {
    (void)vm;
    if (!isRefType(obj->type) || !obj->value.ref) return 0;
    return obj->value.ref->refs;
}

void weakRef(HVM vm, Integer idx) {
    Value v = vm->at(idx);
    if (!v.isRef()) {
        vm->push(v);
        return;
    }
    vm->push(Value(vm->ss->weakRefOf(v.o)));
}

Result getWeakRefValue(HVM vm, Integer idx) {
    const Value& v = vm->at(idx);
    if (v.type != ObjectType::WeakRef) return Error;
    Value t = v.w->get();
    vm->push(t);
    return Ok;
}

bool objectToBool(const Object* obj) { return isTrue(fromObject(*obj)); }
Integer objectToInteger(const Object* obj) {
    if (obj->type == ObjectType::Integer) return obj->value.integer;
    if (obj->type == ObjectType::Float) return floatToInteger(obj->value.real);
    return 0;
}
Float objectToFloat(const Object* obj) {
    if (obj->type == ObjectType::Float) return obj->value.real;
    if (obj->type == ObjectType::Integer) return Float(obj->value.integer);
    return 0;
}
const char* objectToString(const Object* obj) {
    if (obj->type != ObjectType::String || !obj->value.ref) return nullptr;
    return static_cast<String*>(obj->value.ref)->data;
}

Integer collectGarbage(HVM vm) { return collectGarbage(vm->ss, vm, nullptr); }

Result resurrectUnreachable(HVM vm) {
    Array* a = vm->ss->newArray(0);
    Value av(a);
    Integer n = collectGarbage(vm->ss, vm, a);
    vm->push(n ? av : Value());
    return Ok;
}

}  // namespace Squirrel
