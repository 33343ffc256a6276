// system library: environment, processes, clocks and dates.
#include "BaseLib.h"
#include "Squirrel/StdLib.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace Squirrel {

namespace {

Integer sys_getenv(HVM vm) {
    const char* v = std::getenv(vm->at(2).s->data);
    if (!v) return 0;
    vm->push(makeString(vm->ss, v));
    return 1;
}

Integer sys_system(HVM vm) {
    vm->push(Value(Integer(std::system(vm->at(2).s->data))));
    return 1;
}

Integer sys_clock(HVM vm) {
    vm->push(Value(Float(double(std::clock()) / double(CLOCKS_PER_SEC))));
    return 1;
}

Integer sys_time(HVM vm) {
    vm->push(Value(Integer(std::time(nullptr))));
    return 1;
}

Integer sys_remove(HVM vm) {
    if (std::remove(vm->at(2).s->data) != 0) return nativeError(vm, "remove() failed");
    return 0;
}

Integer sys_rename(HVM vm) {
    if (std::rename(vm->at(2).s->data, vm->at(3).s->data) != 0) return nativeError(vm, "rename() failed");
    return 0;
}

Integer sys_date(HVM vm) {
    std::time_t t = std::time(nullptr);
    char format = 'l';
    if (vm->gettop() > 1) t = std::time_t(vm->at(2).toInteger());
    if (vm->gettop() > 2) format = char(vm->at(3).toInteger());
    std::tm tmv;
    std::tm* r = format == 'u' ? gmtime_r(&t, &tmv) : localtime_r(&t, &tmv);
    if (!r) return nativeError(vm, "crt api failure");
    SharedState* ss = vm->ss;
    Table* tb = ss->newTable();
    Value tv(tb);
    auto slot = [&](const char* k, int v) { tb->newSlot(makeString(ss, k), Value(Integer(v))); };
    slot("sec", tmv.tm_sec);
    slot("min", tmv.tm_min);
    slot("hour", tmv.tm_hour);
    slot("day", tmv.tm_mday);
    slot("month", tmv.tm_mon);
    slot("year", tmv.tm_year + 1900);
    slot("wday", tmv.tm_wday);
    slot("yday", tmv.tm_yday);
    vm->push(tv);
    return 1;
}

const NativeReg kSystemFuncs[] = {
    {"getenv", sys_getenv, 2, ".s"},  {"system", sys_system, 2, ".s"}, {"date", sys_date, -1, ".nn"},
    {"clock", sys_clock, 0, nullptr}, {"time", sys_time, 1, nullptr},  {"remove", sys_remove, 2, ".s"},
    {"rename", sys_rename, 3, ".ss"}, {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Result registerSystemLib(HVM vm) {
    Value& t = vm->at(-1);
    if (t.type != ObjectType::Table) return throwError(vm, "a table is expected");
    Value tv(t);
    registerFunctions(vm, tv.t, kSystemFuncs);
    return Ok;
}

}  // namespace Squirrel
