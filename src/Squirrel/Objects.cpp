// Object allocation, interned strings, tables, arrays, classes, destruction and the cycle
// collector.
#include "VM.h"

#include <algorithm>
#include <new>

namespace Squirrel {

// ----------------------------------------------------------------------------------------------
// memory
// ----------------------------------------------------------------------------------------------
void* SharedState::alloc(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) std::abort();
    bytesAllocated += n;
    if (stepHook) stepCounter -= Integer(n >> 6);
    return p;
}

void* SharedState::tryAlloc(size_t n) {
    void* p = std::malloc(n ? n : 1);
    if (!p) return nullptr;
    bytesAllocated += n;
    if (stepHook) stepCounter -= Integer(n >> 6);
    return p;
}

void SharedState::dealloc(void* p, size_t n) {
    bytesAllocated -= n;
    std::free(p);
}

template <typename T>
static T* allocObject(SharedState* ss, size_t extra, ObjectType type) {
    void* mem = ss->alloc(sizeof(T) + extra);
    T* o = new (mem) T();
    o->otype = type;
    o->ss = ss;
    return o;
}

// ----------------------------------------------------------------------------------------------
// strings
// ----------------------------------------------------------------------------------------------
static inline uint64_t mix64(uint64_t h, uint64_t k) {
    k *= 0x87c37b91114253d5ull;
    k = (k << 31) | (k >> 33);
    h ^= k * 0x4cf5ad432745937full;
    return ((h << 27) | (h >> 37)) * 5 + 0x52dce729;
}

static inline uint64_t load64(const char* p) {
    uint64_t k;
    std::memcpy(&k, p, 8);
    return k;
}

uint32_t hashBytes(const char* s, size_t len) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ (uint64_t(len) * 0xff51afd7ed558ccdull);
    if (len > 256) {
        // long strings: both ends and evenly spaced words (equal strings still hash equal)
        for (size_t i = 0; i < 64; i += 8) h = mix64(h, load64(s + i));
        size_t step = (len - 128) / 32;
        for (size_t i = 64; i + 8 <= len - 64 && step; i += step) h = mix64(h, load64(s + i));
        for (size_t i = len - 64; i < len; i += 8) h = mix64(h, load64(s + i));
    } else {
        size_t i = 0;
        for (; i + 8 <= len; i += 8) h = mix64(h, load64(s + i));
        uint64_t tail = 0;
        for (size_t j = 0; i + j < len; ++j) tail |= uint64_t((unsigned char)s[i + j]) << (8 * j);
        h ^= tail * 0x87c37b91114253d5ull;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return uint32_t(h);
}

void SharedState::insertString(String* str) {
    str->nextInBucket = strBuckets[str->hash & strMask];
    strBuckets[str->hash & strMask] = str;
    if (++strCount > strMask + 1) {
        uint32_t newMask = strMask * 2 + 1;
        String** nb = static_cast<String**>(alloc(sizeof(String*) * (newMask + 1)));
        std::memset(nb, 0, sizeof(String*) * (newMask + 1));
        for (uint32_t i = 0; i <= strMask; ++i) {
            String* p = strBuckets[i];
            while (p) {
                String* nx = p->nextInBucket;
                p->nextInBucket = nb[p->hash & newMask];
                nb[p->hash & newMask] = p;
                p = nx;
            }
        }
        dealloc(strBuckets, sizeof(String*) * (strMask + 1));
        strBuckets = nb;
        strMask = newMask;
    }
}

String* SharedState::findString(const char* s, size_t len, uint32_t h) const {
    for (String* p = strBuckets[h & strMask]; p; p = p->nextInBucket)
        if (p->hash == h && p->len == len && std::memcmp(p->data, s, len) == 0) return p;
    return nullptr;
}

void SharedState::initStrings() {
    strMask = 255;
    strBuckets = static_cast<String**>(alloc(sizeof(String*) * (strMask + 1)));
    std::memset(strBuckets, 0, sizeof(String*) * (strMask + 1));
}

String* SharedState::intern(const char* s, size_t len) {
    if (!strBuckets) initStrings();
    uint32_t h = hashBytes(s, len);
    if (String* found = findString(s, len, h)) return found;
    String* str = allocObject<String>(this, len, ObjectType::String);
    str->len = uint32_t(len);
    str->hash = h;
    if (len) std::memcpy(str->data, s, len);
    str->data[len] = 0;
    insertString(str);
    return str;
}

String* SharedState::internConcat(const char* a, size_t la, const char* b, size_t lb) {
    if (!strBuckets) initStrings();
    size_t len = la + lb;
    // build the result in place; drop it again if an equal string already exists
    String* str = allocObject<String>(this, len, ObjectType::String);
    str->len = uint32_t(len);
    std::memcpy(str->data, a, la);
    std::memcpy(str->data + la, b, lb);
    str->data[len] = 0;
    str->hash = hashBytes(str->data, len);
    if (String* found = findString(str->data, len, str->hash)) {
        dealloc(str, sizeof(String) + len);
        return found;
    }
    insertString(str);
    return str;
}

void SharedState::removeString(String* s) {
    String** pp = &strBuckets[s->hash & strMask];
    while (*pp) {
        if (*pp == s) {
            *pp = s->nextInBucket;
            --strCount;
            return;
        }
        pp = &(*pp)->nextInBucket;
    }
}

Value makeString(SharedState* ss, const char* s, size_t len) { return Value(ss->intern(s, len)); }

// ----------------------------------------------------------------------------------------------
// object construction
// ----------------------------------------------------------------------------------------------
Table* SharedState::newTable(uint32_t capacity) {
    Table* t = allocObject<Table>(this, 0, ObjectType::Table);
    linkGC(t);
    if (capacity) {
        uint32_t cap = 4;
        while (cap < capacity && cap < (1u << 30)) cap <<= 1;
        t->resize(cap);
    }
    return t;
}

Array* SharedState::newArray(uint32_t size) {
    Array* a = allocObject<Array>(this, 0, ObjectType::Array);
    linkGC(a);
    if (size) a->resize(size);
    return a;
}

Closure* SharedState::newClosure(FuncProto* proto, Table* root) {
    uint32_t nouters = uint32_t(proto->outers.size());
    uint32_t ndefaults = uint32_t(proto->defaultParamRegs.size());
    Closure* c = allocObject<Closure>(this, sizeof(Value) * (nouters + ndefaults), ObjectType::Closure);
    c->proto = proto;
    addref(proto);
    c->nouters = nouters;
    c->ndefaults = ndefaults;
    c->outers = reinterpret_cast<Value*>(c + 1);
    c->defaults = c->outers + nouters;
    for (uint32_t i = 0; i < nouters + ndefaults; ++i) new (&c->outers[i]) Value();
    if (root) {
        c->root = root;
        addref(root);
    }
    linkGC(c);
    return c;
}

NativeClosure* SharedState::newNativeClosure(NativeFunction fn, uint32_t nouters) {
    NativeClosure* c = allocObject<NativeClosure>(this, sizeof(Value) * nouters, ObjectType::NativeClosure);
    c->fn = fn;
    c->nouters = nouters;
    c->outers = reinterpret_cast<Value*>(c + 1);
    for (uint32_t i = 0; i < nouters; ++i) new (&c->outers[i]) Value();
    linkGC(c);
    return c;
}

Class* SharedState::newClass(Class* base) {
    Class* c = allocObject<Class>(this, 0, ObjectType::Class);
    c->members = newTable();
    addref(c->members);
    if (base) {
        c->base = base;
        addref(base);
        // the members of the base are copied: later changes to the base are not inherited
        for (uint32_t i = 0; base->members->hasStorage() && i <= base->members->mask; ++i) {
            TableNode& n = base->members->nodes[i];
            if (!n.key.isNull()) c->members->newSlot(n.key, n.val);
        }
        c->fields = base->fields;
        c->methods = base->methods;
        for (int i = 0; i < MM_COUNT; ++i) c->metamethods[i] = base->metamethods[i];
        c->constructorIdx = base->constructorIdx;
        c->typetag = base->typetag;
        c->hook = base->hook;
        c->udsize = base->udsize;
    }
    linkGC(c);
    return c;
}

Instance* SharedState::newInstance(Class* cls) {
    uint32_t n = uint32_t(cls->fields.size());
    size_t extra = sizeof(Value) * n + size_t(cls->udsize);
    Instance* in = allocObject<Instance>(this, extra, ObjectType::Instance);
    in->cls = cls;
    addref(cls);
    in->nvalues = n;
    in->values = reinterpret_cast<Value*>(in + 1);
    for (uint32_t i = 0; i < n; ++i) new (&in->values[i]) Value(cls->fields[i].val);
    in->hook = cls->hook;
    in->udsize = uint32_t(cls->udsize);
    if (cls->udsize) {
        in->up = reinterpret_cast<unsigned char*>(in->values + n);
        std::memset(in->up, 0, size_t(cls->udsize));
    }
    cls->locked = true;
    linkGC(in);
    return in;
}

Generator* SharedState::newGenerator(const Value& closure) {
    Generator* g = allocObject<Generator>(this, 0, ObjectType::Generator);
    g->closure = closure;
    linkGC(g);
    return g;
}

UserData* SharedState::newUserData(Integer size) {
    UserData* u = allocObject<UserData>(this, size_t(size), ObjectType::UserData);
    u->size = size;
    std::memset(u->data, 0, size_t(size) + 1);
    linkGC(u);
    return u;
}

FuncProto* SharedState::newFuncProto() { return allocObject<FuncProto>(this, 0, ObjectType::FuncProto); }

Outer* SharedState::newOuter() {
    Outer* o = allocObject<Outer>(this, 0, ObjectType::Outer);
    linkGC(o);
    return o;
}

WeakRefObj* SharedState::weakRefOf(RefCounted* o) {
    if (o->weak) return o->weak;
    WeakRefObj* w = allocObject<WeakRefObj>(this, 0, ObjectType::WeakRef);
    w->targetType = o->otype;
    w->target = o;
    o->weak = w;
    return w;
}

// ----------------------------------------------------------------------------------------------
// destruction
// ----------------------------------------------------------------------------------------------
static void freeOne(RefCounted* o);

void destroyObject(RefCounted* o) {
    SharedState* ss = o->ss;
    if (ss->freeing) {
        ss->pendingFree.push_back(o);
        return;
    }
    ss->freeing = true;
    freeOne(o);
    while (!ss->pendingFree.empty()) {
        RefCounted* p = ss->pendingFree.back();
        ss->pendingFree.pop_back();
        freeOne(p);
    }
    ss->freeing = false;
}

TableNode* emptyTableNode() {
    static TableNode node = [] {
        TableNode n;
        n.next = -2;
        n.hash = 0;
        return n;
    }();
    return &node;
}

void Table::releaseContents() {
    if (hasStorage()) {
        for (uint32_t i = 0; i <= mask; ++i) {
            nodes[i].key.setNull();
            nodes[i].val.setNull();
        }
    }
    count = 0;
    if (delegate) {
        Table* d = delegate;
        delegate = nullptr;
        decref(d);
    }
}

void Array::releaseContents() {
    Value* d = data;
    uint32_t n = size;
    data = nullptr;
    size = 0;
    uint32_t c = cap;
    cap = 0;
    for (uint32_t i = 0; i < n; ++i) d[i].~Value();
    if (d) ss->dealloc(d, sizeof(Value) * c);
}

void Closure::releaseContents() {
    for (uint32_t i = 0; i < nouters + ndefaults; ++i) outers[i].setNull();
    if (root) {
        Table* r = root;
        root = nullptr;
        decref(r);
    }
    if (env) {
        WeakRefObj* e = env;
        env = nullptr;
        decref(e);
    }
    if (base) {
        Class* b = base;
        base = nullptr;
        decref(b);
    }
}

void NativeClosure::releaseContents() {
    for (uint32_t i = 0; i < nouters; ++i) outers[i].setNull();
    name.setNull();
    if (env) {
        WeakRefObj* e = env;
        env = nullptr;
        decref(e);
    }
}

void Class::releaseContents() {
    std::vector<ClassMember> f, m;
    f.swap(fields);
    m.swap(methods);
    f.clear();
    m.clear();
    for (auto& v : metamethods) v.setNull();
    attrs.setNull();
    if (members) {
        Table* t = members;
        members = nullptr;
        decref(t);
    }
    if (base) {
        Class* b = base;
        base = nullptr;
        decref(b);
    }
}

void Instance::releaseContents() {
    for (uint32_t i = 0; i < nvalues; ++i) values[i].setNull();
    if (cls) {
        Class* c = cls;
        cls = nullptr;
        decref(c);
    }
}

void Generator::releaseContents() {
    closure.setNull();
    std::vector<Value> s;
    s.swap(saved);
    // outers into the saved registers become closed
    while (openOuters) {
        Outer* o = openOuters;
        openOuters = o->nextOpen;
        o->nextOpen = nullptr;
        if (o->stackIdx >= 0 && size_t(o->stackIdx) < s.size()) o->value = s[size_t(o->stackIdx)];
        o->valptr = &o->value;
        o->stackIdx = -1;
        decref(o);  // the open list held a reference
    }
    s.clear();
    traps.clear();
    state = GenState::Dead;
}

static void releaseVMContents(VM* vm);

static void freeOne(RefCounted* o) {
    SharedState* ss = o->ss;
    if (o->weak) {
        o->weak->target = nullptr;
        o->weak = nullptr;
    }
    switch (o->otype) {
    case ObjectType::String: {
        String* s = static_cast<String*>(o);
        ss->removeString(s);
        ss->dealloc(s, sizeof(String) + s->len);
        return;
    }
    case ObjectType::WeakRef: {
        WeakRefObj* w = static_cast<WeakRefObj*>(o);
        if (w->target) w->target->weak = nullptr;
        w->~WeakRefObj();
        ss->dealloc(w, sizeof(WeakRefObj));
        return;
    }
    case ObjectType::FuncProto: {
        FuncProto* f = static_cast<FuncProto*>(o);
        f->~FuncProto();
        ss->dealloc(f, sizeof(FuncProto));
        return;
    }
    default: break;
    }
    GCObject* g = static_cast<GCObject*>(o);
    if (g->gcNext) SharedState::unlinkGC(g);
    switch (o->otype) {
    case ObjectType::Table: {
        Table* t = static_cast<Table*>(o);
        t->releaseContents();
        if (t->hasStorage()) {
            for (uint32_t i = 0; i <= t->mask; ++i) t->nodes[i].~TableNode();
            ss->dealloc(t->nodes, sizeof(TableNode) * (t->mask + 1));
        }
        t->~Table();
        ss->dealloc(t, sizeof(Table));
        break;
    }
    case ObjectType::Array: {
        Array* a = static_cast<Array*>(o);
        a->releaseContents();
        a->~Array();
        ss->dealloc(a, sizeof(Array));
        break;
    }
    case ObjectType::Closure: {
        Closure* c = static_cast<Closure*>(o);
        c->releaseContents();
        uint32_t n = c->nouters + c->ndefaults;
        for (uint32_t i = 0; i < n; ++i) c->outers[i].~Value();
        decref(c->proto);
        c->~Closure();
        ss->dealloc(c, sizeof(Closure) + sizeof(Value) * n);
        break;
    }
    case ObjectType::NativeClosure: {
        NativeClosure* c = static_cast<NativeClosure*>(o);
        c->releaseContents();
        uint32_t n = c->nouters;
        for (uint32_t i = 0; i < n; ++i) c->outers[i].~Value();
        c->~NativeClosure();
        ss->dealloc(c, sizeof(NativeClosure) + sizeof(Value) * n);
        break;
    }
    case ObjectType::Class: {
        Class* c = static_cast<Class*>(o);
        c->releaseContents();
        c->~Class();
        ss->dealloc(c, sizeof(Class));
        break;
    }
    case ObjectType::Instance: {
        Instance* in = static_cast<Instance*>(o);
        if (in->hook) {
            ReleaseHook h = in->hook;
            in->hook = nullptr;
            h(in->up, 0);
        }
        size_t ud = in->udsize;
        in->releaseContents();
        uint32_t n = in->nvalues;
        for (uint32_t i = 0; i < n; ++i) in->values[i].~Value();
        in->~Instance();
        ss->dealloc(in, sizeof(Instance) + sizeof(Value) * n + ud);
        break;
    }
    case ObjectType::Generator: {
        Generator* gen = static_cast<Generator*>(o);
        gen->releaseContents();
        gen->~Generator();
        ss->dealloc(gen, sizeof(Generator));
        break;
    }
    case ObjectType::UserData: {
        UserData* u = static_cast<UserData*>(o);
        if (u->hook) {
            ReleaseHook h = u->hook;
            u->hook = nullptr;
            h(u->data, u->size);
        }
        if (u->delegate) {
            Table* d = u->delegate;
            u->delegate = nullptr;
            decref(d);
        }
        Integer sz = u->size;
        u->~UserData();
        ss->dealloc(u, sizeof(UserData) + size_t(sz));
        break;
    }
    case ObjectType::Outer: {
        Outer* ou = static_cast<Outer*>(o);
        ou->value.setNull();
        ou->~Outer();
        ss->dealloc(ou, sizeof(Outer));
        break;
    }
    case ObjectType::Thread: {
        VM* vm = static_cast<VM*>(o);
        releaseVMContents(vm);
        if (vm->stack) {
            for (uint32_t i = 0; i < vm->stackCap; ++i) vm->stack[i].~Value();
            ss->dealloc(vm->stack, sizeof(Value) * vm->stackCap);
            vm->stack = nullptr;
        }
        vm->~VM();
        ss->dealloc(vm, sizeof(VM));
        break;
    }
    default:
        break;
    }
}

static void releaseVMContents(VM* vm) {
    // close every open outer so that closures keep their values
    while (vm->openOuters) {
        Outer* o = vm->openOuters;
        vm->openOuters = o->nextOpen;
        o->nextOpen = nullptr;
        o->value = *o->valptr;
        o->valptr = &o->value;
        o->stackIdx = -1;
        decref(o);  // the open list held a reference
    }
    std::vector<CallFrame> frames;
    frames.swap(vm->frames);
    frames.clear();
    vm->traps.clear();
    if (vm->stack)
        for (uint32_t i = 0; i < vm->stackCap; ++i) vm->stack[i].setNull();
    vm->top = 0;
    vm->root.setNull();
    vm->lastError.setNull();
    vm->errorHandler.setNull();
    vm->debugHook.setNull();
    vm->suspendValue.setNull();
}

// ----------------------------------------------------------------------------------------------
// tables
// ----------------------------------------------------------------------------------------------
void Table::resize(uint32_t newCap) {
    TableNode* old = hasStorage() ? nodes : nullptr;
    uint32_t oldCap = capacity();
    nodes = static_cast<TableNode*>(ss->alloc(sizeof(TableNode) * newCap));
    for (uint32_t i = 0; i < newCap; ++i) {
        new (&nodes[i]) TableNode();
        nodes[i].next = -2;
        nodes[i].hash = 0;
    }
    mask = newCap - 1;
    count = 0;
    freeScan = newCap;
    for (uint32_t i = 0; i < oldCap; ++i) {
        if (!old[i].key.isNull()) newSlot(old[i].key, old[i].val);
    }
    for (uint32_t i = 0; i < oldCap; ++i) old[i].~TableNode();
    if (old) ss->dealloc(old, sizeof(TableNode) * oldCap);
}

void Table::newSlot(const Value& key, const Value& val) {
    if (!hasStorage()) resize(4);
    uint32_t h = hashValue(key);
    TableNode* mp = &nodes[h & mask];
    if (mp->next != -2) {
        // search the chain first: the key may exist
        TableNode* n = mp;
        for (;;) {
            if (n->key.type == key.type && n->key.i == key.i) {
                n->val = val;
                return;
            }
            if (n->next < 0) break;
            n = &nodes[n->next];
        }
    }
    if (mp->next == -2) {
        mp->key = key;
        mp->val = val;
        mp->hash = h;
        mp->next = -1;
        ++count;
        return;
    }
    if (mp->key.isNull() && (mp->hash & mask) == (h & mask)) {
        // dead slot heading its own chain: reuse it
        mp->key = key;
        mp->val = val;
        mp->hash = h;
        ++count;
        return;
    }
    TableNode* f = nullptr;
    while (freeScan > 0) {
        --freeScan;
        if (nodes[freeScan].next == -2) {
            f = &nodes[freeScan];
            break;
        }
    }
    if (!f) {
        uint32_t need = count + 1;
        uint32_t cap = 4;
        while (cap < need) cap <<= 1;
        if (cap <= mask + 1 && count + 1 > (mask + 1) / 2) cap = (mask + 1) * 2;
        resize(cap);
        newSlot(key, val);
        return;
    }
    TableNode* othern = &nodes[mp->hash & mask];
    if (othern != mp) {
        // the occupant is not in its main position: move it to the free slot
        while (&nodes[othern->next] != mp) othern = &nodes[othern->next];
        othern->next = int32_t(f - nodes);
        f->key = std::move(mp->key);
        f->val = std::move(mp->val);
        f->hash = mp->hash;
        f->next = mp->next;
        mp->next = -1;
        mp->key = key;
        mp->val = val;
        mp->hash = h;
    } else {
        f->next = mp->next;
        mp->next = int32_t(f - nodes);
        f->key = key;
        f->val = val;
        f->hash = h;
    }
    ++count;
}

bool Table::remove(const Value& key) {
    TableNode* n = find(key);
    if (!n) return false;
    n->key.setNull();
    n->val.setNull();
    --count;
    return true;
}

void Table::clear() {
    if (!hasStorage()) return;
    for (uint32_t i = 0; i <= mask; ++i) {
        nodes[i].key.setNull();
        nodes[i].val.setNull();
        nodes[i].next = -2;
        nodes[i].hash = 0;
    }
    count = 0;
    freeScan = mask + 1;
}

// ----------------------------------------------------------------------------------------------
// arrays
// ----------------------------------------------------------------------------------------------
bool Array::reserve(uint32_t n) {
    if (n <= cap) return true;
    Value* nd = static_cast<Value*>(ss->tryAlloc(sizeof(Value) * size_t(n)));
    if (!nd) return false;
    if (size) std::memcpy(static_cast<void*>(nd), data, sizeof(Value) * size);
    if (data) ss->dealloc(data, sizeof(Value) * cap);
    data = nd;
    cap = n;
    return true;
}

bool Array::resize(uint32_t n, const Value& fill) {
    if (n > size) {
        if (n > cap && !reserve(n)) return false;
        for (uint32_t i = size; i < n; ++i) new (&data[i]) Value(fill);
        size = n;
    } else {
        while (size > n) pop();
    }
    return true;
}

bool Array::insert(uint32_t pos, const Value& v) {
    Value copy(v);
    if (size == cap && !reserve(cap < 4 ? 4 : cap * 2)) return false;
    std::memmove(static_cast<void*>(data + pos + 1), data + pos, sizeof(Value) * (size - pos));
    new (&data[pos]) Value(std::move(copy));
    ++size;
    return true;
}

void Array::removeAt(uint32_t pos) {
    Value old(std::move(data[pos]));
    data[pos].~Value();
    std::memmove(static_cast<void*>(data + pos), data + pos + 1, sizeof(Value) * (size - pos - 1));
    --size;
}

// ----------------------------------------------------------------------------------------------
// classes and instances
// ----------------------------------------------------------------------------------------------
bool Class::get(const Value& key, Value& out) const {
    TableNode* n = members->find(key);
    if (!n) return false;
    Integer enc = n->val.i;
    const Value& v = memberIsField(enc) ? fields[memberIndex(enc)].val : methods[memberIndex(enc)].val;
    if (v.type == ObjectType::WeakRef)
        out = v.w->get();
    else
        out = v;
    return true;
}

bool Instance::get(const Value& key, Value& out) const {
    TableNode* n = cls->members->find(key);
    if (!n) return false;
    Integer enc = n->val.i;
    const Value& v = memberIsField(enc) ? values[memberIndex(enc)] : cls->methods[memberIndex(enc)].val;
    if (v.type == ObjectType::WeakRef)
        out = v.w->get();
    else
        out = v;
    return true;
}

bool Instance::set(const Value& key, const Value& val) {
    TableNode* n = cls->members->find(key);
    if (!n || !memberIsField(n->val.i)) return false;
    values[memberIndex(n->val.i)] = val;
    return true;
}

int32_t FuncProto::lineForPc(uint32_t pc) const {
    int32_t line = lines.empty() ? 0 : lines[0].line;
    for (const LineInfo& li : lines) {
        if (li.pc > pc) break;
        line = li.line;
    }
    return line;
}

const char* typeNameOf(ObjectType t) {
    switch (t) {
    case ObjectType::Null: return "null";
    case ObjectType::Bool: return "bool";
    case ObjectType::Integer: return "integer";
    case ObjectType::Float: return "float";
    case ObjectType::UserPointer: return "userpointer";
    case ObjectType::String: return "string";
    case ObjectType::Table: return "table";
    case ObjectType::Array: return "array";
    case ObjectType::Closure: return "function";
    case ObjectType::NativeClosure: return "function";
    case ObjectType::Class: return "class";
    case ObjectType::Instance: return "instance";
    case ObjectType::Generator: return "generator";
    case ObjectType::Thread: return "thread";
    case ObjectType::UserData: return "userdata";
    case ObjectType::WeakRef: return "weakref";
    case ObjectType::FuncProto: return "funcproto";
    case ObjectType::Outer: return "outer";
    }
    return "unknown";
}

// ----------------------------------------------------------------------------------------------
// cycle collector
//
// Trial deletion: every reference held by a collectable object to another one is subtracted
// from the target's count. What remains are references from outside the heap (the shared
// state, the embedder, C++ locals of running natives): those objects are the roots.
// Everything that cannot be reached from a root only survives through cycles.
// ----------------------------------------------------------------------------------------------
namespace {

template <typename F>
void forEachChild(GCObject* o, F&& f) {
    auto val = [&](const Value& v) {
        if (v.isRef() && v.type != ObjectType::String && v.type != ObjectType::WeakRef &&
            v.type != ObjectType::FuncProto)
            f(static_cast<GCObject*>(v.o));
    };
    switch (o->otype) {
    case ObjectType::Table: {
        Table* t = static_cast<Table*>(o);
        if (t->hasStorage())
            for (uint32_t i = 0; i <= t->mask; ++i) {
                val(t->nodes[i].key);
                val(t->nodes[i].val);
            }
        if (t->delegate) f(t->delegate);
        break;
    }
    case ObjectType::Array: {
        Array* a = static_cast<Array*>(o);
        for (uint32_t i = 0; i < a->size; ++i) val(a->data[i]);
        break;
    }
    case ObjectType::Closure: {
        Closure* c = static_cast<Closure*>(o);
        if (c->root) f(c->root);
        if (c->base) f(c->base);
        for (uint32_t i = 0; i < c->nouters + c->ndefaults; ++i) val(c->outers[i]);
        break;
    }
    case ObjectType::NativeClosure: {
        NativeClosure* c = static_cast<NativeClosure*>(o);
        for (uint32_t i = 0; i < c->nouters; ++i) val(c->outers[i]);
        break;
    }
    case ObjectType::Class: {
        Class* c = static_cast<Class*>(o);
        if (c->base) f(c->base);
        if (c->members) f(c->members);
        for (auto& m : c->fields) {
            val(m.val);
            val(m.attrs);
        }
        for (auto& m : c->methods) {
            val(m.val);
            val(m.attrs);
        }
        for (auto& v : c->metamethods) val(v);
        val(c->attrs);
        break;
    }
    case ObjectType::Instance: {
        Instance* in = static_cast<Instance*>(o);
        if (in->cls) f(in->cls);
        for (uint32_t i = 0; i < in->nvalues; ++i) val(in->values[i]);
        break;
    }
    case ObjectType::Generator: {
        Generator* g = static_cast<Generator*>(o);
        val(g->closure);
        for (auto& v : g->saved) val(v);
        break;
    }
    case ObjectType::UserData: {
        UserData* u = static_cast<UserData*>(o);
        if (u->delegate) f(u->delegate);
        break;
    }
    case ObjectType::Outer: val(static_cast<Outer*>(o)->value); break;
    case ObjectType::Thread: {
        VM* vm = static_cast<VM*>(o);
        for (uint32_t i = 0; i < vm->stackCap; ++i) val(vm->stack[i]);
        for (auto& fr : vm->frames) val(fr.func);
        val(vm->root);
        val(vm->lastError);
        val(vm->errorHandler);
        val(vm->debugHook);
        val(vm->suspendValue);
        break;
    }
    default: break;
    }
}

void releaseGCContents(GCObject* g) {
    switch (g->otype) {
    case ObjectType::Table: static_cast<Table*>(g)->releaseContents(); break;
    case ObjectType::Array: static_cast<Array*>(g)->releaseContents(); break;
    case ObjectType::Closure: static_cast<Closure*>(g)->releaseContents(); break;
    case ObjectType::NativeClosure: static_cast<NativeClosure*>(g)->releaseContents(); break;
    case ObjectType::Class: static_cast<Class*>(g)->releaseContents(); break;
    case ObjectType::Instance: static_cast<Instance*>(g)->releaseContents(); break;
    case ObjectType::Generator: static_cast<Generator*>(g)->releaseContents(); break;
    case ObjectType::Outer: static_cast<Outer*>(g)->value.setNull(); break;
    case ObjectType::UserData: {
        UserData* u = static_cast<UserData*>(g);
        if (u->delegate) {
            Table* d = u->delegate;
            u->delegate = nullptr;
            decref(d);
        }
        break;
    }
    case ObjectType::Thread: releaseVMContents(static_cast<VM*>(g)); break;
    default: break;
    }
}

// Frees a set of objects that only reference each other (and anything they own).
void freeGarbage(std::vector<GCObject*>& garbage) {
    for (GCObject* g : garbage) addref(g);
    for (GCObject* g : garbage) releaseGCContents(g);
    for (GCObject* g : garbage) decref(g);
}

}  // namespace

Integer collectGarbage(SharedState* ss, VM* current, Array* resurrect) {
    (void)current;
    std::vector<GCObject*> all;
    for (GCObject* g = ss->gcHead.gcNext; g != &ss->gcHead; g = g->gcNext) {
        g->gcRefs = g->refs;
        g->gcMark = 0;
        all.push_back(g);
    }
    ss->charge(Integer(all.size()));
    for (GCObject* g : all)
        forEachChild(g, [](GCObject* c) { --c->gcRefs; });
    std::vector<GCObject*> work;
    for (GCObject* g : all) {
        if (g->gcRefs > 0) {
            g->gcMark = 1;
            work.push_back(g);
        }
    }
    while (!work.empty()) {
        GCObject* g = work.back();
        work.pop_back();
        forEachChild(g, [&](GCObject* c) {
            if (!c->gcMark) {
                c->gcMark = 1;
                work.push_back(c);
            }
        });
    }
    std::vector<GCObject*> garbage;
    for (GCObject* g : all) {
        if (!g->gcMark) garbage.push_back(g);
        g->gcMark = 0;
    }
    Integer n = Integer(garbage.size());
    if (resurrect) {
        for (GCObject* g : garbage) resurrect->append(Value(g->otype, g));
        return n;
    }
    freeGarbage(garbage);
    return n;
}

void finalizeAll(SharedState* ss) {
    ss->closing = true;
    std::vector<GCObject*> all;
    for (GCObject* g = ss->gcHead.gcNext; g != &ss->gcHead; g = g->gcNext) all.push_back(g);
    freeGarbage(all);
}

}  // namespace Squirrel

namespace Squirrel {

VM* SharedState::newThread(VM* friendVm, uint32_t stackSize) {
    VM* vm = allocObject<VM>(this, 0, ObjectType::Thread);
    linkGC(vm);
    vm->growStack(stackSize < 16 ? 16 : stackSize);
    vm->frames.reserve(16);
    if (friendVm) {
        vm->root = friendVm->root;
        vm->errorHandler = friendVm->errorHandler;
        vm->debugHook = friendVm->debugHook;
    }
    return vm;
}

}  // namespace Squirrel
