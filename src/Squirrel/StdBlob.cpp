// Stream methods shared by blob and file, the blob class and the byte-order helpers.
#include "Squirrel/StdLib.h"
#include "Stream.h"

#include <cmath>
#include <new>

namespace Squirrel {

const int kBlobTag = 0;
const int kFileTag = 0;
static const int kStreamTag = 0;

static bool hasTag(Class* c, const void* tag) {
    for (; c; c = c->base)
        if (c->typetag == tag) return true;
    return false;
}

Stream* streamOf(HVM vm) {
    const Value& self = vm->at(1);
    if (self.type != ObjectType::Instance || !self.inst->up ||
        !(hasTag(self.inst->cls, &kBlobTag) || hasTag(self.inst->cls, &kFileTag))) {
        nativeError(vm, "invalid type tag");
        return nullptr;
    }
    Stream* s = static_cast<Stream*>(self.inst->up);
    if (!s->valid()) {
        nativeError(vm, "the stream is invalid");
        return nullptr;
    }
    return s;
}

BlobStream* blobOf(HVM vm, Integer idx) {
    const Value& self = vm->at(idx);
    if (self.type != ObjectType::Instance || !self.inst->up || !hasTag(self.inst->cls, &kBlobTag)) return nullptr;
    return static_cast<BlobStream*>(static_cast<Stream*>(self.inst->up));
}

static Integer releaseStream(UserPointer p, Integer) {
    delete static_cast<Stream*>(p);
    return 1;
}

static void addMethods(HVM vm, const Value& cls, const NativeReg* regs) {
    for (const NativeReg* r = regs; r->name; ++r)
        vm->newMember(cls, makeString(vm->ss, r->name), createNativeClosure(vm, r->fn, r->nparams, r->mask, r->name),
                      Value(), false, true);
}

// ----------------------------------------------------------------------------------------------
// stream methods
// ----------------------------------------------------------------------------------------------
static Integer stream_readblob(HVM vm) {
    Stream* s = streamOf(vm);
    if (!s) return -1;
    Integer size = vm->at(2).toInteger();
    if (size > s->len()) size = s->len();
    if (size < 0) size = 0;
    std::vector<unsigned char> buf(static_cast<size_t>(size));
    Integer res = s->read(buf.data(), size);
    if (res <= 0) return nativeError(vm, "no data left to read");
    BlobStream* b;
    Value bv = newBlobInstance(vm, res, &b);
    if (bv.isNull()) return -1;
    std::memcpy(b->data(), buf.data(), size_t(res));
    vm->push(bv);
    return 1;
}

static Integer stream_readn(HVM vm) {
    Stream* s = streamOf(vm);
    if (!s) return -1;
    Integer fmt = vm->at(2).toInteger();
    switch (fmt) {
#define READ_INT(ch, T)                                                        \
    case ch: {                                                                 \
        T v;                                                                   \
        if (s->read(&v, sizeof v) != Integer(sizeof v)) return nativeError(vm, "io error"); \
        vm->push(Value(Integer(v)));                                           \
        return 1;                                                              \
    }
        READ_INT('l', int64_t)
        READ_INT('i', int32_t)
        READ_INT('s', int16_t)
        READ_INT('w', uint16_t)
        READ_INT('c', int8_t)
        READ_INT('b', uint8_t)
#undef READ_INT
    case 'f': {
        float v;
        if (s->read(&v, sizeof v) != Integer(sizeof v)) return nativeError(vm, "io error");
        vm->push(Value(Float(v)));
        return 1;
    }
    case 'd': {
        double v;
        if (s->read(&v, sizeof v) != Integer(sizeof v)) return nativeError(vm, "io error");
        vm->push(Value(Float(v)));
        return 1;
    }
    default: return nativeError(vm, "invalid format");
    }
}

static Integer stream_writeblob(HVM vm) {
    Stream* s = streamOf(vm);
    if (!s) return -1;
    BlobStream* b = blobOf(vm, 2);
    if (!b) return nativeError(vm, "invalid parameter");
    if (b->size() > 0 && s->write(b->data(), b->size()) != b->size()) return nativeError(vm, "io error");
    return 0;
}

static Integer stream_writen(HVM vm) {
    Stream* s = streamOf(vm);
    if (!s) return -1;
    const Value& v = vm->at(2);
    Integer fmt = vm->at(3).toInteger();
    Integer iv = v.toInteger();
    Float fv = v.toFloat();
    switch (fmt) {
#define WRITE_INT(ch, T)                                                        \
    case ch: {                                                                  \
        T x = T(iv);                                                            \
        if (s->write(&x, sizeof x) != Integer(sizeof x)) return nativeError(vm, "io error"); \
        return 0;                                                               \
    }
        WRITE_INT('l', int64_t)
        WRITE_INT('i', int32_t)
        WRITE_INT('s', int16_t)
        WRITE_INT('w', uint16_t)
        WRITE_INT('c', int8_t)
        WRITE_INT('b', uint8_t)
#undef WRITE_INT
    case 'f': {
        float x = fv;
        if (s->write(&x, sizeof x) != Integer(sizeof x)) return nativeError(vm, "io error");
        return 0;
    }
    case 'd': {
        double x = fv;
        if (s->write(&x, sizeof x) != Integer(sizeof x)) return nativeError(vm, "io error");
        return 0;
    }
    default: return nativeError(vm, "invalid format");
    }
}

static Integer stream_seek(HVM vm) {
    Stream* s = streamOf(vm);
    if (!s) return -1;
    Integer offset = vm->at(2).toInteger();
    SeekOrigin origin = SEEK_BEGIN;
    if (vm->gettop() > 2) {
        switch (vm->at(3).toInteger()) {
        case 'e': origin = SEEK_END_; break;
        case 'c': origin = SEEK_CURRENT; break;
        case 'b': origin = SEEK_BEGIN; break;
        default: return nativeError(vm, "invalid origin");
        }
    }
    vm->push(Value(s->seek(offset, origin)));
    return 1;
}

static Integer stream_tell(HVM vm) {
    Stream* s = streamOf(vm);
    if (!s) return -1;
    vm->push(Value(s->tell()));
    return 1;
}

static Integer stream_len(HVM vm) {
    Stream* s = streamOf(vm);
    if (!s) return -1;
    vm->push(Value(s->len()));
    return 1;
}

static Integer stream_flush(HVM vm) {
    Stream* s = streamOf(vm);
    if (!s) return -1;
    if (s->flush() == 0) {
        vm->push(Value(Integer(1)));
        return 1;
    }
    return 0;
}

static Integer stream_eos(HVM vm) {
    Stream* s = streamOf(vm);
    if (!s) return -1;
    if (!s->eos()) return 0;
    vm->push(Value(Integer(1)));
    return 1;
}

static const NativeReg kStreamMethods[] = {
    {"readblob", stream_readblob, 2, "xn"},
    {"readn", stream_readn, 2, "xn"},
    {"writeblob", stream_writeblob, -2, "xx"},
    {"writen", stream_writen, 3, "xnn"},
    {"seek", stream_seek, -2, "xnn"},
    {"tell", stream_tell, 1, "x"},
    {"len", stream_len, 1, "x"},
    {"eos", stream_eos, 1, "x"},
    {"flush", stream_flush, 1, "x"},
    {nullptr, nullptr, 0, nullptr},
};

// The stream base class, created once and kept in the registry.
static Value streamClass(HVM vm) {
    SharedState* ss = vm->ss;
    Value key = makeString(ss, "std_stream");
    Value out;
    if (ss->registry.t->get(key, out)) return out;
    Class* c = ss->newClass(nullptr);
    Value cv(c);
    c->typetag = &kStreamTag;
    addMethods(vm, cv, kStreamMethods);
    ss->registry.t->newSlot(key, cv);
    return cv;
}

void registerStreamMethods(HVM vm, Table*) { streamClass(vm); }

// ----------------------------------------------------------------------------------------------
// blob
// ----------------------------------------------------------------------------------------------
static Integer blob_constructor(HVM vm) {
    Integer size = 0;
    if (vm->gettop() > 1) size = vm->at(2).toInteger();
    if (size < 0) return nativeError(vm, "cannot create blob with negative size");
    if (vm->ss->overBudget(size_t(size))) return nativeError(vm, "out of memory");
    const Value& self = vm->at(1);
    if (self.type != ObjectType::Instance) return nativeError(vm, "invalid type tag");
    BlobStream* b = nullptr;
    try {
        b = new BlobStream(vm->ss, size);
    } catch (const std::bad_alloc&) {
        return nativeError(vm, "out of memory");
    }
    self.inst->up = static_cast<Stream*>(b);
    self.inst->hook = releaseStream;
    return 0;
}

static Integer blob_resize(HVM vm) {
    BlobStream* b = blobOf(vm, 1);
    if (!b) return nativeError(vm, "invalid type tag");
    Integer size = vm->at(2).toInteger();
    try {
        if (size < 0 || !b->resizeBuffer(size)) return nativeError(vm, "resize failed");
    } catch (const std::bad_alloc&) {
        return nativeError(vm, "out of memory");
    }
    return 0;
}

static void swapBytes(unsigned char* p, Integer n, int width) {
    for (Integer i = 0; i + width <= n; i += width) {
        for (int a = 0, z = width - 1; a < z; ++a, --z) std::swap(p[i + a], p[i + z]);
    }
}

static Integer blob_swap2(HVM vm) {
    BlobStream* b = blobOf(vm, 1);
    if (!b) return nativeError(vm, "invalid type tag");
    swapBytes(b->data(), b->size(), 2);
    return 0;
}

static Integer blob_swap4(HVM vm) {
    BlobStream* b = blobOf(vm, 1);
    if (!b) return nativeError(vm, "invalid type tag");
    swapBytes(b->data(), b->size(), 4);
    return 0;
}

static Integer blob_set(HVM vm) {
    BlobStream* b = blobOf(vm, 1);
    if (!b) return nativeError(vm, "invalid type tag");
    const Value& k = vm->at(2);
    if (!k.isNumeric()) {
        vm->lastError.setNull();
        return -1;
    }
    Integer idx = k.toInteger();
    if (idx < 0 || idx >= b->size()) return nativeError(vm, "index out of range");
    b->data()[idx] = (unsigned char)(vm->at(3).toInteger() & 0xFF);
    vm->push(vm->at(3));
    return 1;
}

static Integer blob_get(HVM vm) {
    BlobStream* b = blobOf(vm, 1);
    if (!b) return nativeError(vm, "invalid type tag");
    const Value& k = vm->at(2);
    if (!k.isNumeric()) {
        // null error: "no such index", so normal lookup goes on
        vm->lastError.setNull();
        return -1;
    }
    Integer idx = k.toInteger();
    if (idx < 0 || idx >= b->size()) return nativeError(vm, "index out of range");
    vm->push(Value(Integer(b->data()[idx])));
    return 1;
}

static Integer blob_nexti(HVM vm) {
    BlobStream* b = blobOf(vm, 1);
    if (!b) return nativeError(vm, "invalid type tag");
    const Value& prev = vm->at(2);
    if (prev.isNull()) {
        if (b->size() > 0) {
            vm->push(Value(Integer(0)));
            return 1;
        }
        return 0;
    }
    if (prev.type == ObjectType::Integer) {
        if (prev.i + 1 < b->size()) {
            vm->push(Value(prev.i + 1));
            return 1;
        }
        return 0;
    }
    return nativeError(vm, "internal error (_nexti) wrong argument type");
}

static Integer blob_typeof(HVM vm) {
    vm->push(makeString(vm->ss, "blob"));
    return 1;
}

static Integer blob_cloned(HVM vm) {
    BlobStream* src = blobOf(vm, 2);
    if (!src) return nativeError(vm, "invalid type tag");
    const Value& self = vm->at(1);
    BlobStream* b = new BlobStream(vm->ss, src->size());
    if (src->size()) std::memcpy(b->data(), src->data(), size_t(src->size()));
    self.inst->up = static_cast<Stream*>(b);
    self.inst->hook = releaseStream;
    return 0;
}

static const NativeReg kBlobMethods[] = {
    {"constructor", blob_constructor, -1, "xn"},
    {"resize", blob_resize, 2, "xn"},
    {"swap2", blob_swap2, 1, "x"},
    {"swap4", blob_swap4, 1, "x"},
    {"_set", blob_set, 3, "xnn"},
    {"_get", blob_get, 2, "x."},
    {"_typeof", blob_typeof, 1, "x"},
    {"_nexti", blob_nexti, 2, "x"},
    {"_cloned", blob_cloned, 2, "xx"},
    {nullptr, nullptr, 0, nullptr},
};

Value blobClass(HVM vm) {
    SharedState* ss = vm->ss;
    Value key = makeString(ss, "std_blob");
    Value out;
    if (ss->registry.t->get(key, out)) return out;
    Value base = streamClass(vm);
    Class* c = ss->newClass(base.cls);
    Value cv(c);
    c->typetag = &kBlobTag;
    addMethods(vm, cv, kBlobMethods);
    ss->registry.t->newSlot(key, cv);
    return cv;
}

Value newBlobInstance(HVM vm, Integer size, BlobStream** out) {
    Value cls = blobClass(vm);
    if (vm->ss->overBudget(size_t(size))) {
        nativeError(vm, "out of memory");
        return Value();
    }
    Instance* in = vm->ss->newInstance(cls.cls);
    Value iv(in);
    BlobStream* b = nullptr;
    try {
        b = new BlobStream(vm->ss, size);
    } catch (const std::bad_alloc&) {
        nativeError(vm, "out of memory");
        return Value();
    }
    in->up = static_cast<Stream*>(b);
    in->hook = releaseStream;
    *out = b;
    return iv;
}

// ----------------------------------------------------------------------------------------------
// byte order helpers
// ----------------------------------------------------------------------------------------------
static Integer g_casti2f(HVM vm) {
    uint32_t bits = uint32_t(uint64_t(vm->at(2).toInteger()));
    float f;
    std::memcpy(&f, &bits, 4);
    vm->push(Value(Float(f)));
    return 1;
}

static Integer g_castf2i(HVM vm) {
    float f = vm->at(2).toFloat();
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    vm->push(Value(Integer(bits)));
    return 1;
}

static Integer g_swap2(HVM vm) {
    uint16_t s = uint16_t(uint64_t(vm->at(2).toInteger()));
    vm->push(Value(Integer(uint16_t((s >> 8) | (s << 8)))));
    return 1;
}

static Integer g_swap4(HVM vm) {
    uint32_t x = uint32_t(uint64_t(vm->at(2).toInteger()));
    x = (x >> 24) | ((x >> 8) & 0xFF00) | ((x << 8) & 0xFF0000) | (x << 24);
    vm->push(Value(Integer(x)));
    return 1;
}

static Integer g_swapfloat(HVM vm) {
    float f = vm->at(2).toFloat();
    uint32_t x;
    std::memcpy(&x, &f, 4);
    x = (x >> 24) | ((x >> 8) & 0xFF00) | ((x << 8) & 0xFF0000) | (x << 24);
    std::memcpy(&f, &x, 4);
    vm->push(Value(Float(f)));
    return 1;
}

static const NativeReg kBlobGlobals[] = {
    {"casti2f", g_casti2f, 2, ".n"},   {"castf2i", g_castf2i, 2, ".n"}, {"swap2", g_swap2, 2, ".n"},
    {"swap4", g_swap4, 2, ".n"},       {"swapfloat", g_swapfloat, 2, ".n"},
    {nullptr, nullptr, 0, nullptr},
};

Result registerBlobLib(HVM vm) {
    Value& t = vm->at(-1);
    if (t.type != ObjectType::Table) return throwError(vm, "a table is expected");
    Value tv(t);
    tv.t->newSlot(makeString(vm->ss, "blob"), blobClass(vm));
    registerFunctions(vm, tv.t, kBlobGlobals);
    return Ok;
}

Result getBlob(HVM vm, Integer idx, UserPointer* data) {
    BlobStream* b = blobOf(vm, idx);
    if (!b) return throwError(vm, "invalid type tag");
    *data = b->data();
    return Ok;
}

Integer getBlobSize(HVM vm, Integer idx) {
    BlobStream* b = blobOf(vm, idx);
    return b ? b->size() : -1;
}

UserPointer createBlob(HVM vm, Integer size) {
    BlobStream* b = nullptr;
    Value v = newBlobInstance(vm, size < 0 ? 0 : size, &b);
    if (v.isNull()) return nullptr;
    vm->push(v);
    return b->data();
}

// ----------------------------------------------------------------------------------------------
// file (io library)
// ----------------------------------------------------------------------------------------------
static Integer file_constructor(HVM vm) {
    const Value& self = vm->at(1);
    if (self.type != ObjectType::Instance) return nativeError(vm, "invalid type tag");
    const Value& p = vm->at(2);
    FILE* f = nullptr;
    bool owns = true;
    if (p.type == ObjectType::String) {
        const char* mode = vm->gettop() > 2 && vm->at(3).type == ObjectType::String ? vm->at(3).s->data : "r";
        f = std::fopen(p.s->data, mode);
        if (!f) return nativeError(vm, "cannot open file");
    } else if (p.type == ObjectType::UserPointer) {
        f = static_cast<FILE*>(p.p);
        owns = vm->gettop() > 2 ? isTrue(vm->at(3)) : false;
    } else {
        return nativeError(vm, "wrong parameter");
    }
    self.inst->up = static_cast<Stream*>(new FileStream(f, owns));
    self.inst->hook = releaseStream;
    return 0;
}

static Integer file_close(HVM vm) {
    const Value& self = vm->at(1);
    if (self.type != ObjectType::Instance || !self.inst->up || !hasTag(self.inst->cls, &kFileTag))
        return nativeError(vm, "invalid type tag");
    static_cast<FileStream*>(static_cast<Stream*>(self.inst->up))->close();
    return 0;
}

static Integer file_typeof(HVM vm) {
    vm->push(makeString(vm->ss, "file"));
    return 1;
}

static const NativeReg kFileMethods[] = {
    {"constructor", file_constructor, -2, "x"},
    {"_typeof", file_typeof, 1, "x"},
    {"close", file_close, 1, "x"},
    {nullptr, nullptr, 0, nullptr},
};

static Integer io_loadfile(HVM vm) {
    Value path(vm->at(2));
    bool raise = vm->gettop() > 2 ? isTrue(vm->at(3)) : false;
    if (failed(loadFile(vm, path.s->data, raise))) return -1;
    return 1;
}

static Integer io_dofile(HVM vm) {
    Value path(vm->at(2));
    bool raise = vm->gettop() > 2 ? isTrue(vm->at(3)) : false;
    push(vm, 1);  // `this` of the caller
    if (failed(doFile(vm, path.s->data, true, raise))) return -1;
    return 1;
}

static Integer io_writeclosuretofile(HVM vm) {
    return nativeError(vm, "writeclosuretofile is not supported: bytecode serialization is disabled");
}

static const NativeReg kIOFuncs[] = {
    {"loadfile", io_loadfile, -2, ".sb"},
    {"dofile", io_dofile, -2, ".sb"},
    {"writeclosuretofile", io_writeclosuretofile, 3, ".sc"},
    {nullptr, nullptr, 0, nullptr},
};

Result registerIOLib(HVM vm) {
    Value& t = vm->at(-1);
    if (t.type != ObjectType::Table) return throwError(vm, "a table is expected");
    Value tv(t);
    SharedState* ss = vm->ss;
    Value base = streamClass(vm);
    Class* c = ss->newClass(base.cls);
    Value cv(c);
    c->typetag = &kFileTag;
    addMethods(vm, cv, kFileMethods);
    tv.t->newSlot(makeString(ss, "file"), cv);
    registerFunctions(vm, tv.t, kIOFuncs);
    struct Std {
        const char* name;
        FILE* f;
    } stds[] = {{"stdout", stdout}, {"stdin", stdin}, {"stderr", stderr}};
    for (const Std& s : stds) {
        Instance* in = ss->newInstance(c);
        Value iv(in);
        in->up = static_cast<Stream*>(new FileStream(s.f, false));
        in->hook = releaseStream;
        tv.t->newSlot(makeString(ss, s.name), iv);
    }
    return Ok;
}

}  // namespace Squirrel
