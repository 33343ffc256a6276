// Squirrel 3 language engine: embedding interface.
//
// The engine is driven through a value stack, in the style familiar from other embeddable
// script engines. Every function takes the VM handle (HVM); stack indexes are 1-based from the
// bottom of the current frame, or negative counting from the top (-1 is the top).
//
// Inside a native function the stack holds the call arguments: index 1 is `this`, 2.. the
// parameters. A native returns 1 when it pushed a return value, 0 for none (null), or a
// negative value (use `throwError`/`throwObject`) to raise an error.
//
// No C++ exception ever leaves these functions. Errors are reported through Result values;
// the error object itself can be read with getLastError().
//
// A binding typically looks like this:
//
//   Integer playerGetName(HVM vm) {              // this (an instance) is at index 1
//       UserPointer p;
//       if (failed(getInstanceUp(vm, 1, &p, &kPlayerTag, true))) return Error;
//       pushString(vm, static_cast<Player*>(p)->name().c_str());
//       return 1;
//   }
//
//   pushRootTable(vm);
//   pushString(vm, "Player");
//   newClass(vm, false);
//   setTypeTag(vm, -1, &kPlayerTag);
//   pushString(vm, "getName");
//   newClosure(vm, playerGetName, 0);
//   setParamsCheck(vm, 1, "x");
//   newSlot(vm, -3, false);                      // Player.getName <- native
//   newSlot(vm, -3, false);                      // ::Player <- class
//   pop(vm, 1);
//
// Values kept by the host outside the stack are held with getStackObject + addRef (or the Ref
// helper) and given back with release.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Squirrel {

using Integer = int64_t;
using Unsigned = uint64_t;
using Float = float;
using UserPointer = void*;
using TypeTag = const void*;
using Result = Integer;

constexpr Result Ok = 0;
constexpr Result Error = -1;
inline bool succeeded(Result r) { return r >= 0; }
inline bool failed(Result r) { return r < 0; }

// Value kinds, as seen by the embedder. `typeof` names are given by typeName().
enum class ObjectType : uint8_t {
    Null = 0,
    Bool,
    Integer,
    Float,
    UserPointer,
    // Kinds from here on are reference counted.
    String,
    Table,
    Array,
    Closure,
    NativeClosure,
    Class,
    Instance,
    Generator,
    Thread,
    UserData,
    WeakRef,
    FuncProto,
    Outer,
};

// Bit masks of value kinds, as used by native parameter checks (see setParamsCheck).
enum TypeMask : uint32_t {
    MaskNull = 1u << 0,
    MaskInteger = 1u << 1,
    MaskFloat = 1u << 2,
    MaskBool = 1u << 3,
    MaskString = 1u << 4,
    MaskTable = 1u << 5,
    MaskArray = 1u << 6,
    MaskUserData = 1u << 7,
    MaskClosure = 1u << 8,
    MaskNativeClosure = 1u << 9,
    MaskGenerator = 1u << 10,
    MaskUserPointer = 1u << 11,
    MaskThread = 1u << 12,
    MaskFuncProto = 1u << 13,
    MaskClass = 1u << 14,
    MaskInstance = 1u << 15,
    MaskWeakRef = 1u << 16,
    MaskOuter = 1u << 17,
    MaskAny = 0xFFFFFFFFu,
};

struct VM;          // a thread of execution with its own stack; the first one owns the shared state
using HVM = VM*;
struct RefCounted;  // internal object header

// A raw reference to any value, for keeping values outside the stack. It holds a counted
// reference only while registered with addRef (and until the matching release).
struct Object {
    ObjectType type = ObjectType::Null;
    union {
        Integer integer;
        Float real;
        bool boolean;
        UserPointer pointer;
        RefCounted* ref;
    } value{0};
};

// Native function: returns 1 (value on top of the stack is the result), 0 (null) or < 0 (error).
using NativeFunction = Integer (*)(HVM vm);
// Called when an instance or userdata is freed. `size` is the userdata size (0 for instances).
using ReleaseHook = Integer (*)(UserPointer p, Integer size);
using CompileErrorHandler = void (*)(HVM vm, const char* message, const char* source, Integer line,
                                     Integer column);
using PrintFunction = void (*)(HVM vm, const char* text, size_t length);
// Debug hook: event is 'c' (call), 'r' (return) or 'l' (line).
using NativeDebugHook = void (*)(HVM vm, Integer event, const char* source, Integer line,
                                 const char* function);
// Called every `interval` executed backward jumps and calls; a non-zero return aborts the
// script with the error "execution aborted" (not catchable by scripts).
using StepHook = int (*)(HVM vm, void* user);

enum class VMState { Idle, Running, Suspended };

// ----------------------------------------------------------------------------------------------
// VM lifetime and configuration
// ----------------------------------------------------------------------------------------------
HVM open(Integer initialStackSize = 1024);   // the base library is registered in the root table
void close(HVM vm);                           // frees everything, cycles included
// Creates a thread sharing the VM's global state and pushes it on `friendVm`'s stack.
HVM newThread(HVM friendVm, Integer initialStackSize = 1024);
HVM getMainVM(HVM vm);
void setForeignPtr(HVM vm, UserPointer p);
UserPointer getForeignPtr(HVM vm);
void setSharedForeignPtr(HVM vm, UserPointer p);
UserPointer getSharedForeignPtr(HVM vm);
void setPrintFunction(HVM vm, PrintFunction print, PrintFunction error);
PrintFunction getPrintFunction(HVM vm);
PrintFunction getErrorFunction(HVM vm);
// Sends formatted text to the print/error function.
void printf(HVM vm, const char* fmt, ...);
void errorf(HVM vm, const char* fmt, ...);

// Limits. maxCallDepth bounds script recursion ("stack overflow"); the memory limit makes
// allocations past the budget raise "out of memory" errors (0 = unlimited).
void setMaxCallDepth(HVM vm, Integer depth);
void setMemoryLimit(HVM vm, size_t bytes);
size_t getMemoryUsage(HVM vm);
void setStepHook(HVM vm, StepHook hook, void* user, Integer interval);

// ----------------------------------------------------------------------------------------------
// Compiling
// ----------------------------------------------------------------------------------------------
// Compiles a buffer and pushes the resulting closure (the main function, taking varargs).
Result compileBuffer(HVM vm, const char* source, Integer length, const char* sourceName,
                     bool raiseError = true);
void setCompilerErrorHandler(HVM vm, CompileErrorHandler handler);
void enableDebugInfo(HVM vm, bool enable);
// Report compile errors through the runtime error handler as well.
void notifyAllExceptions(HVM vm, bool enable);

// ----------------------------------------------------------------------------------------------
// Stack
// ----------------------------------------------------------------------------------------------
Integer getTop(HVM vm);
void setTop(HVM vm, Integer newTop);
void pop(HVM vm, Integer count);
void popTop(HVM vm);
void push(HVM vm, Integer idx);        // pushes a copy of the value at idx
void remove(HVM vm, Integer idx);
void replace(HVM vm, Integer idx);     // pops the top into idx
Integer compare(HVM vm);               // compares -2 and -1: <0, 0, >0
Result reserveStack(HVM vm, Integer size);
Integer toAbsoluteIndex(HVM vm, Integer idx);

// ----------------------------------------------------------------------------------------------
// Pushing values
// ----------------------------------------------------------------------------------------------
void pushNull(HVM vm);
void pushBool(HVM vm, bool b);
void pushInteger(HVM vm, Integer n);
void pushFloat(HVM vm, Float f);
void pushString(HVM vm, const char* s, Integer length = -1);
void pushUserPointer(HVM vm, UserPointer p);
void pushThread(HVM vm, HVM thread);
void pushObject(HVM vm, const Object& obj);
void pushRootTable(HVM vm);
void pushConstTable(HVM vm);
void pushRegistryTable(HVM vm);
// Pop a table and make it the root (of this VM) or the constant table (of all threads).
// Closures keep the root table they were created with; code compiled later sees the new one.
Result setRootTable(HVM vm);
Result setConstTable(HVM vm);
void newTable(HVM vm);
void newTableEx(HVM vm, Integer initialCapacity);
void newArray(HVM vm, Integer size);
// Pops `freeVars` values and makes them the free variables of the new native closure.
void newClosure(HVM vm, NativeFunction fn, Integer freeVars = 0);
// Creates a class; when hasBase is true the base class is popped from the top first.
Result newClass(HVM vm, bool hasBase);
// Creates an instance of the class at idx without calling its constructor.
Result createInstance(HVM vm, Integer idx);
// Pushes a userdata of `size` bytes and returns its memory.
UserPointer newUserData(HVM vm, Integer size);

// ----------------------------------------------------------------------------------------------
// Reading values
// ----------------------------------------------------------------------------------------------
ObjectType getType(HVM vm, Integer idx);
const char* typeName(ObjectType t);
Result typeOf(HVM vm, Integer idx);                 // pushes the `typeof` string (honours _typeof)
Result toString(HVM vm, Integer idx);               // pushes the `tostring` result (honours _tostring)
void toBool(HVM vm, Integer idx, bool* b);          // script truthiness
Result getBool(HVM vm, Integer idx, bool* b);
Result getInteger(HVM vm, Integer idx, Integer* n);  // accepts floats too (truncated)
Result getFloat(HVM vm, Integer idx, Float* f);      // accepts integers too
// The text stays valid while the string is referenced (on the stack or elsewhere).
Result getString(HVM vm, Integer idx, const char** s);
Result getStringAndSize(HVM vm, Integer idx, const char** s, Integer* size);
Result getUserPointer(HVM vm, Integer idx, UserPointer* p);
Result getUserData(HVM vm, Integer idx, UserPointer* p, TypeTag* tag);
Result getThread(HVM vm, Integer idx, HVM* thread);
Result getClosureInfo(HVM vm, Integer idx, Integer* nparams, Integer* nfreevars);
Integer getSize(HVM vm, Integer idx);               // length of string/array/table/userdata, -1 otherwise
Integer getHash(HVM vm, Integer idx);
Result getClosureName(HVM vm, Integer idx);         // pushes the function name (or null)

// ----------------------------------------------------------------------------------------------
// Objects: tables, arrays, classes, instances
// ----------------------------------------------------------------------------------------------
// Pops key and value; creates or replaces the slot in the table/class at idx ("<-").
Result newSlot(HVM vm, Integer idx, bool isStatic = false);
// Pops key, value and attributes (pushed in that order: key, value, attributes).
Result newMember(HVM vm, Integer idx, bool isStatic = false);
Result rawNewMember(HVM vm, Integer idx, bool isStatic = false);
// Pops key and value; assigns an existing slot ("=").
Result set(HVM vm, Integer idx);
Result rawSet(HVM vm, Integer idx);
// Pops a key and pushes the value found (delegates and metamethods are honoured by get).
Result get(HVM vm, Integer idx);
Result rawGet(HVM vm, Integer idx);
// Pops a key and deletes the slot; pushes the old value when pushValue is set.
Result deleteSlot(HVM vm, Integer idx, bool pushValue);
Result rawDeleteSlot(HVM vm, Integer idx, bool pushValue);
// Pops a key and tells whether it exists (raw).
bool rawIn(HVM vm, Integer idx);
Result clear(HVM vm, Integer idx);
Result arrayAppend(HVM vm, Integer idx);                // pops the value
Result arrayPop(HVM vm, Integer idx, bool pushValue);
Result arrayResize(HVM vm, Integer idx, Integer newSize);
Result arrayReverse(HVM vm, Integer idx);
Result arrayRemove(HVM vm, Integer idx, Integer itemIdx);
Result arrayInsert(HVM vm, Integer idx, Integer destPos);  // pops the value
Result setDelegate(HVM vm, Integer idx);                   // pops the delegate (table or null)
Result getDelegate(HVM vm, Integer idx);
Result clone(HVM vm, Integer idx);
// Iteration: push null, then call next() repeatedly; each success pushes key and value,
// leaving the iterator below them. Returns Error at the end.
Result next(HVM vm, Integer idx);

Result setTypeTag(HVM vm, Integer idx, TypeTag tag);       // class or userdata
Result getTypeTag(HVM vm, Integer idx, TypeTag* tag);
Result setClassUserDataSize(HVM vm, Integer idx, Integer size);  // extra bytes for each instance
Result setInstanceUp(HVM vm, Integer idx, UserPointer p);
// Reads the user pointer; with a non-null tag the instance's class (or a base) must carry it.
Result getInstanceUp(HVM vm, Integer idx, UserPointer* p, TypeTag tag, bool throwError = false);
Result setReleaseHook(HVM vm, Integer idx, ReleaseHook hook);   // instance, class or userdata
ReleaseHook getReleaseHook(HVM vm, Integer idx);
Result getClass(HVM vm, Integer idx);
Result getBase(HVM vm, Integer idx);
bool instanceOf(HVM vm);                                   // instance at -2 of class at -1
Result setAttributes(HVM vm, Integer idx);  // pops key (null = class) and value; pushes old value
Result getAttributes(HVM vm, Integer idx);  // pops key (null = class); pushes attributes
Result getMemberHandle(HVM vm, Integer idx, Integer* handle);  // pops key
Result getByHandle(HVM vm, Integer idx, Integer handle);
Result setByHandle(HVM vm, Integer idx, Integer handle);       // pops value

// ----------------------------------------------------------------------------------------------
// Functions and calls
// ----------------------------------------------------------------------------------------------
// Native parameter check: nparams > 0 exact count (this included), < 0 at least -nparams,
// 0 = any. typemask: one entry per parameter starting with `this`; letters
// o null, i integer, f float, n number, s string, t table, a array, u userdata,
// c closure, g generator, p userpointer, v thread, x instance, y class, b bool, w weakref,
// . any; alternatives joined with '|'. Checks apply to the native closure at the top.
Result setParamsCheck(HVM vm, Integer nparams, const char* typemask);
Result setNativeClosureName(HVM vm, Integer idx, const char* name);
Result setFreeVariable(HVM vm, Integer idx, Integer n);   // pops the value
Result getFreeVariable(HVM vm, Integer idx, Integer n);   // pushes it
Result bindEnv(HVM vm, Integer idx);                      // pops env, pushes bound closure
Result setClosureRoot(HVM vm, Integer idx);               // pops a table
Result getClosureRoot(HVM vm, Integer idx);
// Calls the closure below `nparams` arguments (the first argument is `this`). The arguments
// are popped and the closure stays; with retval the result is pushed. raiseError runs the
// runtime error handler for errors that no script catches. When the called code suspends the
// thread, the call returns with the VM in the Suspended state and the suspend value pushed.
Result call(HVM vm, Integer nparams, bool retval, bool raiseError = true);
Result resumeGenerator(HVM vm, bool retval, bool raiseError = true);  // generator at -1
Result wakeupVM(HVM vm, bool resumedRet, bool retval, bool raiseError, bool throwError = false);
Result suspendVM(HVM vm);   // only from a native called by the thread's script
VMState getVMState(HVM vm);
Result getCallee(HVM vm, Integer level);

// Errors: a native does `return throwError(vm, "text");`
Result throwError(HVM vm, const char* message);
Result throwObject(HVM vm);            // pops the error value
void getLastError(HVM vm);             // pushes it
void resetError(HVM vm);
void setErrorHandler(HVM vm);          // pops a closure (or null)
void setDebugHook(HVM vm);             // pops a closure (or null)
void setNativeDebugHook(HVM vm, NativeDebugHook hook);

struct StackInfo {
    const char* function = nullptr;  // "unknown" when anonymous
    const char* source = nullptr;    // "NATIVE" for native functions
    Integer line = -1;
};
// level 0 is the running function (a native calling stackInfos sees itself at 0).
Result stackInfos(HVM vm, Integer level, StackInfo* info);
// Pushes the value of local number `idx` (0 = innermost declared) of the frame at `level`
// and returns its name, or nullptr when there is no such local.
const char* getLocal(HVM vm, Integer level, Integer idx);

// ----------------------------------------------------------------------------------------------
// References
// ----------------------------------------------------------------------------------------------
Result getStackObject(HVM vm, Integer idx, Object* obj);   // no reference is taken
void resetObject(Object* obj);
void addRef(HVM vm, Object* obj);       // counted: every addRef needs one release
bool release(HVM vm, Object* obj);      // true when the last counted reference went away
Integer getRefCount(HVM vm, const Object* obj);
void weakRef(HVM vm, Integer idx);      // pushes a weak reference (plain values are pushed as is)
Result getWeakRefValue(HVM vm, Integer idx);  // pushes the target, or null once it died
bool objectToBool(const Object* obj);
Integer objectToInteger(const Object* obj);
Float objectToFloat(const Object* obj);
const char* objectToString(const Object* obj);
// Garbage collection: frees unreachable cycles and returns how many objects were freed.
Integer collectGarbage(HVM vm);
// Pushes an array of the unreachable objects (or null) instead of freeing them.
Result resurrectUnreachable(HVM vm);

// RAII helper holding a counted reference to a value.
class Ref {
public:
    Ref() = default;
    Ref(HVM vm, Integer idx) { reset(vm, idx); }
    Ref(const Ref& o) : vm_(o.vm_), obj_(o.obj_) { if (vm_) addRef(vm_, &obj_); }
    Ref& operator=(const Ref& o) {
        if (this != &o) {
            Ref tmp(o);
            swap(tmp);
        }
        return *this;
    }
    Ref(Ref&& o) noexcept : vm_(o.vm_), obj_(o.obj_) { o.vm_ = nullptr; resetObject(&o.obj_); }
    Ref& operator=(Ref&& o) noexcept {
        swap(o);
        return *this;
    }
    ~Ref() { reset(); }
    void reset() {
        if (vm_) release(vm_, &obj_);
        vm_ = nullptr;
        resetObject(&obj_);
    }
    void reset(HVM vm, Integer idx) {
        reset();
        vm_ = vm;
        getStackObject(vm, idx, &obj_);
        addRef(vm_, &obj_);
    }
    void push(HVM vm) const { pushObject(vm, obj_); }
    const Object& object() const { return obj_; }
    ObjectType type() const { return obj_.type; }
    bool isNull() const { return obj_.type == ObjectType::Null; }
    void swap(Ref& o) noexcept {
        HVM v = vm_; vm_ = o.vm_; o.vm_ = v;
        Object t = obj_; obj_ = o.obj_; o.obj_ = t;
    }

private:
    HVM vm_ = nullptr;
    Object obj_;
};

// Version information.
constexpr const char* VersionString = "Squirrel 3.2 stable";
constexpr Integer VersionNumber = 320;

}  // namespace Squirrel
