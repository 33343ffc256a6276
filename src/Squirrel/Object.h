// Internal value and object representation.
#pragma once

#include "Squirrel/Squirrel.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace Squirrel {

struct SharedState;
struct WeakRefObj;
struct String;
struct Table;
struct Array;
struct Closure;
struct NativeClosure;
struct Class;
struct Instance;
struct Generator;
struct UserData;
struct FuncProto;
struct Outer;

// Common header of every reference-counted object.
struct RefCounted {
    uint32_t refs = 0;
    ObjectType otype;
    uint8_t gcMark = 0;
    uint16_t spare = 0;
    WeakRefObj* weak = nullptr;
    SharedState* ss = nullptr;
};

// Objects that can take part in reference cycles are linked into the collector's list.
struct GCObject : RefCounted {
    GCObject* gcPrev = nullptr;
    GCObject* gcNext = nullptr;
    uint32_t gcRefs = 0;  // collector scratch: references not accounted for by the heap
};

#if defined(__GNUC__)
#define SQ_INLINE inline __attribute__((always_inline))
#define SQ_LIKELY(x) __builtin_expect(!!(x), 1)
#define SQ_UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define SQ_INLINE inline
#define SQ_LIKELY(x) (x)
#define SQ_UNLIKELY(x) (x)
#endif

void destroyObject(RefCounted* o);

SQ_INLINE void addref(RefCounted* o) { ++o->refs; }
SQ_INLINE void decref(RefCounted* o) {
    if (SQ_UNLIKELY(--o->refs == 0)) destroyObject(o);
}

SQ_INLINE bool isRefType(ObjectType t) { return t >= ObjectType::String; }

struct Value {
    ObjectType type;
    union {
        Integer i;
        Float f;
        bool b;
        UserPointer p;
        RefCounted* o;
        String* s;
        Table* t;
        Array* a;
        Closure* c;
        NativeClosure* nc;
        Class* cls;
        Instance* inst;
        Generator* gen;
        VM* th;
        UserData* ud;
        WeakRefObj* w;
        FuncProto* fp;
        Outer* outer;
    };

    Value() : type(ObjectType::Null), i(0) {}
    SQ_INLINE Value(const Value& v) : type(v.type), i(v.i) {
        if (isRefType(type)) addref(o);
    }
    SQ_INLINE Value(Value&& v) noexcept : type(v.type), i(v.i) {
        v.type = ObjectType::Null;
        v.i = 0;
    }
    explicit Value(bool v) : type(ObjectType::Bool), i(0) { b = v; }
    explicit Value(Integer v) : type(ObjectType::Integer), i(v) {}
    explicit Value(int v) : type(ObjectType::Integer), i(v) {}
    explicit Value(Float v) : type(ObjectType::Float), i(0) { f = v; }
    // Takes a new counted reference to the object.
    Value(ObjectType t, RefCounted* obj) : type(t), i(0) {
        o = obj;
        addref(o);
    }
    explicit Value(String* str);
    explicit Value(Table* tab);
    explicit Value(Array* arr);
    explicit Value(Closure* cl);
    explicit Value(NativeClosure* cl);
    explicit Value(Class* cl);
    explicit Value(Instance* in);
    explicit Value(Generator* g);
    explicit Value(WeakRefObj* wr);
    explicit Value(UserData* u);
    explicit Value(FuncProto* fpr);
    explicit Value(Outer* ou);
    static Value userPointer(UserPointer ptr) {
        Value v;
        v.type = ObjectType::UserPointer;
        v.p = ptr;
        return v;
    }
    static Value thread(VM* vm);

    SQ_INLINE ~Value() {
        if (isRefType(type)) decref(o);
    }

    SQ_INLINE Value& operator=(const Value& v) {
        ObjectType ot = type;
        RefCounted* old = o;
        type = v.type;
        i = v.i;
        if (isRefType(type)) addref(o);
        if (isRefType(ot)) decref(old);
        return *this;
    }
    SQ_INLINE Value& operator=(Value&& v) noexcept {
        if (this != &v) {
            ObjectType ot = type;
            RefCounted* old = o;
            type = v.type;
            i = v.i;
            v.type = ObjectType::Null;
            v.i = 0;
            if (isRefType(ot)) decref(old);
        }
        return *this;
    }
    SQ_INLINE void setNull() {
        ObjectType ot = type;
        RefCounted* old = o;
        type = ObjectType::Null;
        i = 0;
        if (isRefType(ot)) decref(old);
    }
    SQ_INLINE void setInteger(Integer v) {
        if (isRefType(type)) {
            RefCounted* old = o;
            type = ObjectType::Integer;
            i = v;
            decref(old);
        } else {
            type = ObjectType::Integer;
            i = v;
        }
    }
    SQ_INLINE void setFloat(Float v) {
        if (isRefType(type)) {
            RefCounted* old = o;
            type = ObjectType::Float;
            i = 0;
            f = v;
            decref(old);
        } else {
            type = ObjectType::Float;
            i = 0;
            f = v;
        }
    }
    SQ_INLINE void setBool(bool v) {
        if (isRefType(type)) {
            RefCounted* old = o;
            type = ObjectType::Bool;
            i = 0;
            b = v;
            decref(old);
        } else {
            type = ObjectType::Bool;
            i = 0;
            b = v;
        }
    }

    bool isNull() const { return type == ObjectType::Null; }
    bool isRef() const { return isRefType(type); }
    bool isNumeric() const { return type == ObjectType::Integer || type == ObjectType::Float; }
    bool is(ObjectType t) const { return type == t; }
    Float toFloat() const { return type == ObjectType::Integer ? Float(i) : f; }
    Integer toInteger() const;
    bool rawEquals(const Value& v) const { return type == v.type && i == v.i; }
};

static_assert(sizeof(Value) == 16, "Value should be two words");

// Converts a float to an integer like the x86 conversion: out of range gives INT64_MIN.
inline Integer floatToInteger(double d) {
    if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return INT64_MIN;
    return Integer(d);
}
inline Integer Value::toInteger() const { return type == ObjectType::Integer ? i : floatToInteger(f); }

SQ_INLINE bool isFalse(const Value& v) {
    switch (v.type) {
    case ObjectType::Null: return true;
    case ObjectType::Bool: return !v.b;
    case ObjectType::Integer: return v.i == 0;
    case ObjectType::Float: return v.f == 0.0f;
    default: return false;
    }
}
inline bool isTrue(const Value& v) { return !isFalse(v); }

// ------------------------------------------------------------------------------------------
// Strings (interned: equal strings are the same object)
// ------------------------------------------------------------------------------------------
struct String : RefCounted {
    uint32_t len;
    uint32_t hash;
    String* nextInBucket;
    char data[1];

    const char* c_str() const { return data; }
};

uint32_t hashBytes(const char* s, size_t len);

// ------------------------------------------------------------------------------------------
// Weak references
// ------------------------------------------------------------------------------------------
struct WeakRefObj : RefCounted {
    // Not counted: cleared when the target dies.
    ObjectType targetType;
    RefCounted* target;

    Value get() const {
        if (!target) return Value();
        return Value(targetType, target);
    }
};

inline const Value& realValue(const Value& v, Value& tmp) {
    if (v.type != ObjectType::WeakRef) return v;
    tmp = v.w->get();
    return tmp;
}

// ------------------------------------------------------------------------------------------
// Tables: chained scatter table with nodes kept in one array (iteration follows node order)
// ------------------------------------------------------------------------------------------
struct TableNode {
    Value key;   // Null key: free or dead slot
    Value val;
    int32_t next;  // -1: end of chain, -2: never used
    uint32_t hash;
};

inline uint32_t hashValue(const Value& k) {
    switch (k.type) {
    case ObjectType::String: return k.s->hash;
    case ObjectType::Integer: {
        uint64_t u = uint64_t(k.i);
        uint32_t h = uint32_t(u) ^ uint32_t(u >> 32);
        return h ^ (h >> 20);
    }
    case ObjectType::Float: {
        uint64_t u = uint64_t(floatToInteger(k.f));
        uint32_t h = uint32_t(u) ^ uint32_t(u >> 32);
        return h ^ (h >> 20);
    }
    case ObjectType::Bool: return k.b ? 1 : 0;
    default: {
        uintptr_t u = uintptr_t(k.p);
        return uint32_t(u >> 4) ^ uint32_t(u >> 32);
    }
    }
}

// Shared node of every empty table: lookups need no null check.
TableNode* emptyTableNode();

struct Table : GCObject {
    TableNode* nodes = emptyTableNode();
    uint32_t mask = 0;        // capacity - 1
    uint32_t count = 0;       // live keys
    uint32_t freeScan = 0;    // free slots are searched downward from here
    Table* delegate = nullptr;

    uint32_t capacity() const { return nodes == emptyTableNode() ? 0 : mask + 1; }
    bool hasStorage() const { return nodes != emptyTableNode(); }

    TableNode* find(const Value& key) const {
        TableNode* n = &nodes[hashValue(key) & mask];
        if (n->next == -2) return nullptr;
        for (;;) {
            if (n->key.type == key.type && n->key.i == key.i) return n;
            if (n->next < 0) return nullptr;
            n = &nodes[n->next];
        }
    }
    TableNode* findString(const String* s) const {
        TableNode* n = &nodes[s->hash & mask];
        if (n->next == -2) return nullptr;
        for (;;) {
            if (n->key.type == ObjectType::String && n->key.s == s) return n;
            if (n->next < 0) return nullptr;
            n = &nodes[n->next];
        }
    }
    bool get(const Value& key, Value& out) const {
        TableNode* n = find(key);
        if (!n) return false;
        if (n->val.type == ObjectType::WeakRef)
            out = n->val.w->get();
        else
            out = n->val;
        return true;
    }
    // Assigns an existing key; false when the key is missing.
    bool set(const Value& key, const Value& val) {
        TableNode* n = find(key);
        if (!n) return false;
        n->val = val;
        return true;
    }
    void newSlot(const Value& key, const Value& val);
    bool remove(const Value& key);
    void clear();
    // Iteration: returns the next live node index at or after `from`, or -1.
    int32_t nextIndex(uint32_t from) const {
        for (uint32_t i = from; i <= mask; ++i)
            if (nodes[i].key.type != ObjectType::Null) return int32_t(i);
        return -1;
    }
    void resize(uint32_t newCapacity);
    void releaseContents();
};

// ------------------------------------------------------------------------------------------
// Arrays
// ------------------------------------------------------------------------------------------
struct Array : GCObject {
    Value* data = nullptr;
    uint32_t size = 0;
    uint32_t cap = 0;

    bool reserve(uint32_t n);
    bool append(const Value& v) {
        if (size == cap && !reserve(cap < 4 ? 4 : cap * 2)) return false;
        new (&data[size]) Value(v);
        ++size;
        return true;
    }
    bool resize(uint32_t n, const Value& fill = Value());
    void pop() {
        --size;
        data[size].~Value();
    }
    bool insert(uint32_t pos, const Value& v);
    void removeAt(uint32_t pos);
    void releaseContents();
};

// ------------------------------------------------------------------------------------------
// Functions
// ------------------------------------------------------------------------------------------
struct Instr {
    uint8_t op;
    uint8_t a;
    uint8_t b;
    uint8_t c;
    int32_t x;
};

struct LocalVarInfo {
    Value name;
    uint32_t reg;
    uint32_t startPc;
    uint32_t endPc;
};

struct LineInfo {
    uint32_t pc;
    int32_t line;
};

struct OuterInfo {
    Value name;
    bool fromParentLocal;  // true: parent's register `index`; false: parent's outer `index`
    uint32_t index;
};

struct FuncProto : RefCounted {
    std::vector<Instr> code;
    std::vector<Value> literals;
    std::vector<Value> functions;  // FuncProto values
    std::vector<OuterInfo> outers;
    std::vector<LocalVarInfo> locals;
    std::vector<LineInfo> lines;
    std::vector<Value> parameterNames;  // includes "this"
    std::vector<uint8_t> defaultParamRegs;  // parent registers holding the defaults
    Value name;
    Value source;
    uint32_t nparams = 1;  // including this; vargv not counted
    uint32_t stackSize = 2;
    bool varargs = false;
    bool generator = false;

    int32_t lineForPc(uint32_t pc) const;
};

struct Closure : GCObject {
    FuncProto* proto;
    Table* root = nullptr;       // counted
    WeakRefObj* env = nullptr;   // counted reference to the weakref object
    Class* base = nullptr;       // counted
    uint32_t nouters;
    uint32_t ndefaults;
    Value* outers;               // trailing storage
    Value* defaults;

    void releaseContents();
};

struct NativeClosure : GCObject {
    NativeFunction fn;
    Integer nparamscheck = 0;
    std::vector<uint32_t> typecheck;
    Value name;
    WeakRefObj* env = nullptr;
    uint32_t nouters = 0;
    Value* outers = nullptr;

    void releaseContents();
};

struct Outer : GCObject {
    Value* valptr;      // points into a stack while open, at `value` once closed
    Integer stackIdx;   // stack slot while open
    Outer* nextOpen = nullptr;
    Value value;
};

// ------------------------------------------------------------------------------------------
// Classes and instances
// ------------------------------------------------------------------------------------------
enum MetaMethod {
    MM_ADD, MM_SUB, MM_MUL, MM_DIV, MM_UNM, MM_MODULO, MM_SET, MM_GET, MM_TYPEOF, MM_NEXTI,
    MM_CMP, MM_CALL, MM_CLONED, MM_NEWSLOT, MM_DELSLOT, MM_TOSTRING, MM_NEWMEMBER, MM_INHERITED,
    MM_COUNT
};

struct ClassMember {
    Value val;
    Value attrs;
};

// Members table maps a key to an integer: (index << 1) | 1 for per-instance fields,
// (index << 1) for shared members (methods and statics).
inline bool memberIsField(Integer enc) { return (enc & 1) != 0; }
inline uint32_t memberIndex(Integer enc) { return uint32_t(enc >> 1); }

struct Class : GCObject {
    Class* base = nullptr;
    Table* members = nullptr;
    std::vector<ClassMember> fields;
    std::vector<ClassMember> methods;
    Value metamethods[MM_COUNT];
    Value attrs;
    int32_t constructorIdx = -1;
    bool locked = false;
    TypeTag typetag = nullptr;
    ReleaseHook hook = nullptr;
    Integer udsize = 0;

    bool get(const Value& key, Value& out) const;
    void releaseContents();
};

struct Instance : GCObject {
    Class* cls;
    UserPointer up = nullptr;
    ReleaseHook hook = nullptr;
    uint32_t nvalues;
    uint32_t udsize = 0;
    Value* values;  // trailing storage, then udsize bytes

    bool get(const Value& key, Value& out) const;
    bool set(const Value& key, const Value& val);
    bool instanceOf(const Class* c) const {
        for (const Class* k = cls; k; k = k->base)
            if (k == c) return true;
        return false;
    }
    void releaseContents();
};

struct UserData : GCObject {
    Table* delegate = nullptr;
    TypeTag typetag = nullptr;
    ReleaseHook hook = nullptr;
    Integer size = 0;
    alignas(16) unsigned char data[1];
};

// ------------------------------------------------------------------------------------------
// Generators
// ------------------------------------------------------------------------------------------
struct TrapInfo {
    uint32_t frameIndex;   // call frame that installed the trap
    uint32_t stackBase;    // stack base of that frame
    const Instr* catchIp;
    uint8_t targetReg;
};

enum class GenState : uint8_t { Suspended, Running, Dead };

struct Generator : GCObject {
    Value closure;
    std::vector<Value> saved;   // the frame's registers while suspended
    std::vector<TrapInfo> traps;  // frameIndex/stackBase relative while suspended
    const Instr* ip = nullptr;
    Outer* openOuters = nullptr;  // outers into `saved`, stackIdx relative
    GenState state = GenState::Suspended;

    void releaseContents();
};

// Value constructors that need the complete types.
inline Value::Value(String* x) : type(ObjectType::String), i(0) { o = x; addref(o); }
inline Value::Value(Table* x) : type(ObjectType::Table), i(0) { o = x; addref(o); }
inline Value::Value(Array* x) : type(ObjectType::Array), i(0) { o = x; addref(o); }
inline Value::Value(Closure* x) : type(ObjectType::Closure), i(0) { o = x; addref(o); }
inline Value::Value(NativeClosure* x) : type(ObjectType::NativeClosure), i(0) { o = x; addref(o); }
inline Value::Value(Class* x) : type(ObjectType::Class), i(0) { o = x; addref(o); }
inline Value::Value(Instance* x) : type(ObjectType::Instance), i(0) { o = x; addref(o); }
inline Value::Value(Generator* x) : type(ObjectType::Generator), i(0) { o = x; addref(o); }
inline Value::Value(WeakRefObj* x) : type(ObjectType::WeakRef), i(0) { o = x; addref(o); }
inline Value::Value(UserData* x) : type(ObjectType::UserData), i(0) { o = x; addref(o); }
inline Value::Value(FuncProto* x) : type(ObjectType::FuncProto), i(0) { o = x; addref(o); }
inline Value::Value(Outer* x) : type(ObjectType::Outer), i(0) { o = x; addref(o); }

const char* typeNameOf(ObjectType t);

}  // namespace Squirrel
