// Internal state of the engine: the shared state, threads (VMs) and the core operations.
#pragma once

#include "Object.h"
#include "Opcodes.h"

#include <string>
#include <vector>

namespace Squirrel {

struct CallFrame {
    const Instr* ip = nullptr;  // next instruction (script frames)
    Value func;                 // closure or native closure being run
    uint32_t base = 0;          // stack index of `this`
    uint32_t top = 0;           // end of the frame's registers
    int32_t target = -1;        // caller register receiving the result (relative), -1 none
    uint16_t ntraps = 0;
    uint8_t flags = 0;
    Value gen;                  // generator owning this frame
};

enum FrameFlags : uint8_t {
    FRAME_ROOT = 1,     // returning from this frame leaves the execute loop
    FRAME_NATIVE = 2,
    FRAME_GENERATOR = 4,
    FRAME_CTOR = 8,     // constructor call: the result is `this`
};

struct SharedState {
    // memory accounting
    size_t bytesAllocated = 0;
    size_t memoryLimit = 0;

    // interned strings
    String** strBuckets = nullptr;
    uint32_t strMask = 0;
    uint32_t strCount = 0;

    // every collectable object
    GCObject gcHead;

    // deferred destruction keeps freeing iterative
    std::vector<RefCounted*> pendingFree;
    bool freeing = false;
    bool closing = false;

    Value registry;
    Value consts;
    Value metaNames[MM_COUNT];
    Value strConstructor;
    Value strThis;
    Value strVargv;

    Value tableDelegate, arrayDelegate, stringDelegate, numberDelegate, closureDelegate,
        generatorDelegate, threadDelegate, classDelegate, instanceDelegate, weakrefDelegate;

    CompileErrorHandler compileErrorHandler = nullptr;
    PrintFunction printFn = nullptr;
    PrintFunction errorFn = nullptr;
    NativeDebugHook nativeDebugHook = nullptr;
    bool debugInfo = false;  // compile OP_LINE instructions for the debug hook
    bool notifyAllExceptions = false;
    UserPointer foreignPtr = nullptr;
    VM* mainVM = nullptr;

    StepHook stepHook = nullptr;
    void* stepUser = nullptr;
    Integer stepInterval = 0;
    Integer stepCounter = 0;
    Integer maxCallDepth = 200000;
    // Native stack guard: re-entering the interpreter (metamethods, callbacks) stops with an
    // error once this many bytes of the native stack are in use below the first entry.
    size_t nativeStackLimit = size_t(4) << 20;
    const char* nativeStackBase = nullptr;
    int nativeEntries = 0;
    bool nativeStackExhausted() const {
        if (!nativeStackBase) return false;
        const char* here = static_cast<const char*>(__builtin_frame_address(0));
        return here < nativeStackBase && size_t(nativeStackBase - here) > nativeStackLimit;
    }

    void* alloc(size_t n);
    void* tryAlloc(size_t n);  // null when the system has no memory left
    // Work done by natives counts against the step budget of the step hook.
    void charge(Integer steps) {
        if (stepHook) stepCounter -= steps;
    }
    void dealloc(void* p, size_t n);
    bool memoryRefused = false;  // an allocation was refused: the script is stopped
    bool overBudget(size_t extra) {
        if (memoryLimit != 0 && bytesAllocated + extra > memoryLimit) {
            memoryRefused = true;
            return true;
        }
        return false;
    }

    String* intern(const char* s, size_t len);
    String* internConcat(const char* a, size_t la, const char* b, size_t lb);
    void insertString(String* s);
    String* findString(const char* s, size_t len, uint32_t hash) const;
    void initStrings();
    String* intern(const char* s) { return intern(s, std::strlen(s)); }
    String* intern(const std::string& s) { return intern(s.data(), s.size()); }
    void removeString(String* s);

    void linkGC(GCObject* o) {
        o->gcNext = gcHead.gcNext;
        o->gcPrev = &gcHead;
        gcHead.gcNext->gcPrev = o;
        gcHead.gcNext = o;
    }
    static void unlinkGC(GCObject* o) {
        o->gcPrev->gcNext = o->gcNext;
        o->gcNext->gcPrev = o->gcPrev;
        o->gcPrev = o->gcNext = nullptr;
    }

    Table* newTable(uint32_t capacity = 0);
    Array* newArray(uint32_t size);
    Closure* newClosure(FuncProto* proto, Table* root);
    NativeClosure* newNativeClosure(NativeFunction fn, uint32_t nouters);
    Class* newClass(Class* base);
    Instance* newInstance(Class* cls);
    Generator* newGenerator(const Value& closure);
    UserData* newUserData(Integer size);
    FuncProto* newFuncProto();
    Outer* newOuter();
    WeakRefObj* weakRefOf(RefCounted* o);
    VM* newThread(VM* friendVm, uint32_t stackSize);
};

struct VM : GCObject {
    Value* stack = nullptr;
    uint32_t stackCap = 0;
    uint32_t top = 0;
    std::vector<CallFrame> frames;
    std::vector<TrapInfo> traps;
    Outer* openOuters = nullptr;
    Value root;
    Value lastError;
    Value errorHandler;
    Value debugHook;
    VMState state = VMState::Idle;
    int nestedCalls = 0;        // execute() invocations on the native stack
    bool suspendRequested = false;
    bool aborted = false;       // the step hook stopped the script
    int32_t suspendTarget = -1;  // register of the suspended frame receiving the wakeup value
    uint32_t callBaseTop = 0;    // stack top to restore when a suspended call finally returns
    bool pendingThrow = false;
    bool pendingReturn = false;  // the suspended frame returns the wakeup value
    bool resuming = false;       // the next execute() continues a suspended thread
    bool nativeTailCall = false; // the native just called asked for a tail call of its `this`
    int suspendedTraps = 0;
    Value suspendValue;
    UserPointer foreignPtr = nullptr;
    std::string scratch;

    // ---- stack helpers -------------------------------------------------------------------
    bool growStack(uint32_t needed);
    bool ensureStack(uint32_t needed) {
        return needed <= stackCap || growStack(needed);
    }
    void push(const Value& v) {
        if (top >= stackCap) growStack(top + 1);
        stack[top++] = v;
    }
    void push(Value&& v) {
        if (top >= stackCap) growStack(top + 1);
        stack[top++] = std::move(v);
    }
    void pop(uint32_t n = 1) {
        while (n--) stack[--top].setNull();
    }
    Value& topValue() { return stack[top - 1]; }
    uint32_t frameBase() const { return frames.empty() ? 0 : frames.back().base; }
    // 1-based index of the current native frame (negative from the top)
    Value& at(Integer idx) {
        if (idx < 0) return stack[top + idx];
        return stack[frameBase() + uint32_t(idx) - 1];
    }
    Integer absIndex(Integer idx) const {
        return idx < 0 ? Integer(top) + idx - Integer(frameBase()) + 1 : idx;
    }
    Integer gettop() const { return Integer(top - frameBase()); }
    void settop(uint32_t newTop);  // absolute

    // ---- errors --------------------------------------------------------------------------
    bool raise(const char* fmt, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 2, 3)))
#endif
        ;
    bool raiseValue(const Value& v) {
        lastError = v;
        return false;
    }
    bool raiseIndexError(const Value& key);
    bool raiseArithError(char op, const Value& a, const Value& b);
    bool raiseCompareError(const Value& a, const Value& b);
    bool raiseParamTypeError(Integer param, uint32_t mask, ObjectType got);

    // ---- object operations (false = error raised) ---------------------------------------
    enum GetFlags { GET_RAW = 1, GET_NO_ERROR = 2, GET_ROOT_FALLBACK = 4 };
    bool get(const Value& self, const Value& key, Value& out, int flags);
    bool set(const Value& self, const Value& key, const Value& val, bool rootFallback);
    bool newSlot(const Value& self, const Value& key, const Value& val, bool isStatic);
    bool newMember(const Value& cls, const Value& key, const Value& val, const Value& attrs,
                   bool isStatic, bool raw);
    bool deleteSlot(const Value& self, const Value& key, Value& out);
    bool rawGet(const Value& self, const Value& key, Value& out);
    bool rawSet(const Value& self, const Value& key, const Value& val);
    bool clone(const Value& self, Value& out);
    bool arith(int op, const Value& a, const Value& b, Value& out);
    bool bitwise(int op, const Value& a, const Value& b, Value& out);
    bool compare(const Value& a, const Value& b, Integer& result);
    bool compareOp(int kind, const Value& a, const Value& b, bool& result);
    static bool equals(const Value& a, const Value& b);
    bool negate(const Value& a, Value& out);
    bool toString(const Value& v, Value& out);
    bool typeOf(const Value& v, Value& out);
    bool concat(const Value& a, const Value& b, Value& out);
    bool instanceOf(const Value& a, const Value& b, bool& result);
    bool exists(const Value& container, const Value& key, bool& result);
    bool getDelegateMethod(const Value& self, int mm, Value& out);
    bool callMetaMethod(const Value& func, const Value& self, int nargs, const Value* args,
                        Value& out);

    // ---- calls ----------------------------------------------------------------------------
    // Calls func with args at stack[argBase .. argBase+nargs) (this first).
    bool call(const Value& func, uint32_t argBase, uint32_t nargs, Value& result, bool raiseError);
    // Pushes this and args, calls, pops them.
    bool callWith(const Value& func, const Value& self, int nargs, const Value* args,
                  Value& result, bool raiseError);
    bool execute(uint32_t entryFrames, bool raiseError, Value& result);
    bool callNative(NativeClosure* nc, uint32_t base, uint32_t nargs, Value& result, bool& suspended);
    inline bool startScriptCall(Closure* cl, uint32_t base, uint32_t nargs, int32_t target,
                                uint8_t flags);
    bool prepareArgs(Closure* cl, uint32_t base, uint32_t nargs);
    bool makeGenerator(Closure* cl, uint32_t base, uint32_t nargs, Value& out);
    bool construct(Class* cls, uint32_t base, uint32_t nargs, Value& result);
    int getImpl(const Value& self, const Value& key, Value& out, int flags);
    int getDelegated(const Value& self, Table* delegate, const Value& key, Value& out);
    int setFallback(const Value& self, const Value& key, const Value& val);
    int callGetMeta(const Value& mm, const Value& self, const Value& key, Value& out);
    Outer* findOuter(uint32_t stackIdx);
    void unwindFrame();
    void popFrameValues(CallFrame& f);
    Table* currentRoot();
    Value* defaultDelegate(ObjectType t);
    bool inErrorHandler = false;
    int delegateDepth = 0;
    bool resumeGenerator(Generator* gen, int32_t target, uint8_t flags);
    bool argCountOk(Closure* cl, uint32_t nargs);
    void closeOuters(uint32_t fromIndex);
    void callErrorHandler(const Value& error);
    void callDebugHook(int event, const Value& func, int32_t line);
    bool stepCheck();
    // Charges work about to be done by a native to the step budget; false (error raised)
    // when the step hook stops the script.
    bool chargeSteps(Integer steps) {
        if (!ss->stepHook) return true;
        ss->stepCounter -= steps;
        return ss->stepCounter > 0 || stepCheck();
    }

    // ---- threads --------------------------------------------------------------------------
    bool wakeup(const Value& val, Value& result, bool raiseError, bool throwError);

    // ---- debug ----------------------------------------------------------------------------
    int32_t frameLine(size_t frameIdx) const;

    SharedState* shared() const { return ss; }
};

inline Value Value::thread(VM* vm) { return Value(ObjectType::Thread, vm); }

// Formats a number the way tostring and string concatenation do.
void formatInteger(std::string& out, Integer v);
void formatFloat(std::string& out, Float f);
// Formats a key for error messages ("%.14g" for floats, type name for other objects).
std::string printableKey(const Value& v);

Value makeString(SharedState* ss, const char* s, size_t len);
inline Value makeString(SharedState* ss, const char* s) { return makeString(ss, s, std::strlen(s)); }
inline Value makeString(SharedState* ss, const std::string& s) { return makeString(ss, s.data(), s.size()); }

// Compiler entry point: returns false with an error message and its position.
struct CompileError {
    std::string message;
    Integer line = 0;
    Integer column = 0;
};
bool compileSource(VM* vm, const char* src, size_t len, const char* sourceName, Value& proto,
                   CompileError& err);

// Collector
Integer collectGarbage(SharedState* ss, VM* vm, Array* resurrect);
void finalizeAll(SharedState* ss);

// Standard parts
void registerBaseLib(VM* vm);
void initDefaultDelegates(VM* vm);
Value createNativeClosure(VM* vm, NativeFunction fn, Integer nparams, const char* mask,
                          const char* name);
bool compileTypeMask(const char* mask, std::vector<uint32_t>& out);
std::string typeMaskString(uint32_t mask);

}  // namespace Squirrel
