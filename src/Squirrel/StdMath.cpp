// math library: results are single precision like the rest of the engine.
#include "BaseLib.h"
#include "Squirrel/StdLib.h"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace Squirrel {

namespace {

Integer pushFloatResult(HVM vm, double d) {
    vm->push(Value(Float(d)));
    return 1;
}

#define MATH_FN1(name, expr)                              \
    Integer math_##name(HVM vm) {                         \
        double x = double(vm->at(2).toFloat());           \
        return pushFloatResult(vm, expr);                 \
    }

MATH_FN1(sqrt, std::sqrt(x))
MATH_FN1(sin, std::sin(x))
MATH_FN1(cos, std::cos(x))
MATH_FN1(asin, std::asin(x))
MATH_FN1(acos, std::acos(x))
MATH_FN1(log, std::log(x))
MATH_FN1(log10, std::log10(x))
MATH_FN1(tan, std::tan(x))
MATH_FN1(atan, std::atan(x))
MATH_FN1(floor, std::floor(x))
MATH_FN1(ceil, std::ceil(x))
MATH_FN1(exp, std::exp(x))
MATH_FN1(fabs, std::fabs(x))

Integer math_atan2(HVM vm) {
    return pushFloatResult(vm, std::atan2(double(vm->at(2).toFloat()), double(vm->at(3).toFloat())));
}

Integer math_pow(HVM vm) {
    return pushFloatResult(vm, std::pow(double(vm->at(2).toFloat()), double(vm->at(3).toFloat())));
}

Integer math_srand(HVM vm) {
    std::srand(unsigned(vm->at(2).toInteger()));
    return 0;
}

Integer math_rand(HVM vm) {
    vm->push(Value(Integer(std::rand())));
    return 1;
}

// Works on a C int, like the reference: only the low 32 bits count.
Integer math_abs(HVM vm) {
    int32_t x = int32_t(uint32_t(uint64_t(vm->at(2).toInteger())));
    Integer r = x == INT32_MIN ? Integer(INT32_MIN) : Integer(x < 0 ? -x : x);
    vm->push(Value(r));
    return 1;
}

const NativeReg kMathFuncs[] = {
    {"sqrt", math_sqrt, 2, ".n"},   {"sin", math_sin, 2, ".n"},     {"cos", math_cos, 2, ".n"},
    {"asin", math_asin, 2, ".n"},   {"acos", math_acos, 2, ".n"},   {"log", math_log, 2, ".n"},
    {"log10", math_log10, 2, ".n"}, {"tan", math_tan, 2, ".n"},     {"atan", math_atan, 2, ".n"},
    {"atan2", math_atan2, 3, ".nn"}, {"pow", math_pow, 3, ".nn"},   {"floor", math_floor, 2, ".n"},
    {"ceil", math_ceil, 2, ".n"},   {"exp", math_exp, 2, ".n"},     {"srand", math_srand, 2, ".n"},
    {"rand", math_rand, 1, nullptr}, {"fabs", math_fabs, 2, ".n"},  {"abs", math_abs, 2, ".n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Result registerMathLib(HVM vm) {
    Value& t = vm->at(-1);
    if (t.type != ObjectType::Table) return throwError(vm, "a table is expected");
    Value tv(t);
    registerFunctions(vm, tv.t, kMathFuncs);
    tv.t->newSlot(makeString(vm->ss, "RAND_MAX"), Value(Integer(RAND_MAX)));
    tv.t->newSlot(makeString(vm->ss, "PI"), Value(Float(3.14159265358979323846)));
    return Ok;
}

}  // namespace Squirrel
