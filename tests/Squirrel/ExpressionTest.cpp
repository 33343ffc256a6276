// Randomly built integer expressions with side effects on fields and array elements, checked
// against a direct evaluation here: catches register allocation and evaluation order faults
// of the compiler.
#include "TestEngine.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <sstream>

namespace {

using Squirrel::Integer;

struct State {
    Integer a = 3, b = 5, tz = 1, a0 = 2, ov = 4;
};

Integer wrapAdd(Integer x, Integer y) { return Integer(uint64_t(x) + uint64_t(y)); }
Integer wrapSub(Integer x, Integer y) { return Integer(uint64_t(x) - uint64_t(y)); }
Integer wrapMul(Integer x, Integer y) { return Integer(uint64_t(x) * uint64_t(y)); }

struct Expr {
    std::string text;
    std::function<Integer(State&)> eval;
};

class Builder {
public:
    explicit Builder(uint32_t seed) : rng_(seed) {}

    Expr build(int depth) {
        if (depth <= 0 || pick(100) < 15) return leaf();
        switch (pick(17)) {
        case 0: return binary("+", depth, wrapAdd);
        case 1: return binary("-", depth, wrapSub);
        case 2: return binary("*", depth, wrapMul);
        case 3: return binary("&", depth, [](Integer x, Integer y) { return x & y; });
        case 4: return binary("|", depth, [](Integer x, Integer y) { return x | y; });
        case 5: return binary("^", depth, [](Integer x, Integer y) { return x ^ y; });
        case 6: {
            Expr c = build(depth - 1), x = build(depth - 1), y = build(depth - 1);
            return {"(" + c.text + " ? " + x.text + " : " + y.text + ")",
                    [c, x, y](State& s) { return c.eval(s) != 0 ? x.eval(s) : y.eval(s); }};
        }
        case 7: {
            Expr x = build(depth - 1), y = build(depth - 1);
            return {"(" + x.text + " && " + y.text + ")", [x, y](State& s) {
                        Integer v = x.eval(s);
                        return v != 0 ? y.eval(s) : v;
                    }};
        }
        case 8: {
            Expr x = build(depth - 1), y = build(depth - 1);
            return {"(" + x.text + " || " + y.text + ")", [x, y](State& s) {
                        Integer v = x.eval(s);
                        return v != 0 ? v : y.eval(s);
                    }};
        }
        case 9: {
            Expr x = build(depth - 1);
            return {"id(" + x.text + ")", x.eval};
        }
        case 10: return store("t.z", &State::tz, depth, false);
        case 11: return store("arr[0]", &State::a0, depth, true);
        case 12: return store("o.v", &State::ov, depth, pick(2) == 0);
        case 13: return {"(++t.z)", [](State& s) { return s.tz = wrapAdd(s.tz, 1); }};
        case 14: return {"(t.z++)", [](State& s) {
                             Integer v = s.tz;
                             s.tz = wrapAdd(v, 1);
                             return v;
                         }};
        case 15: return {"(arr[0]--)", [](State& s) {
                             Integer v = s.a0;
                             s.a0 = wrapSub(v, 1);
                             return v;
                         }};
        default: {
            Expr x = build(depth - 1), y = build(depth - 1);
            return {"((" + x.text + " < " + y.text + ") ? 1 : 0)", [x, y](State& s) {
                        Integer l = x.eval(s);
                        Integer r = y.eval(s);
                        return Integer(l < r ? 1 : 0);
                    }};
        }
        }
    }

private:
    int pick(int n) { return int(rng_() % uint32_t(n)); }

    Expr leaf() {
        switch (pick(6)) {
        case 0: {
            Integer v = pick(40) - 9;
            std::string t = v < 0 ? "(" + std::to_string(v) + ")" : std::to_string(v);
            return {t, [v](State&) { return v; }};
        }
        case 1: return {"a", [](State& s) { return s.a; }};
        case 2: return {"t.z", [](State& s) { return s.tz; }};
        case 3: return {"arr[0]", [](State& s) { return s.a0; }};
        case 4: return {"id(b)", [](State& s) { return s.b; }};
        default: return {"o.v", [](State& s) { return s.ov; }};
        }
    }

    Expr binary(const char* op, int depth, Integer (*fn)(Integer, Integer)) {
        Expr x = build(depth - 1), y = build(depth - 1);
        return {"(" + x.text + " " + op + " " + y.text + ")", [x, y, fn](State& s) {
                    Integer l = x.eval(s);
                    Integer r = y.eval(s);
                    return fn(l, r);
                }};
    }

    Expr store(const char* target, Integer State::*slot, int depth, bool compound) {
        Expr x = build(depth - 1);
        if (compound)
            return {"(" + std::string(target) + " += " + x.text + ")", [x, slot](State& s) {
                        Integer v = x.eval(s);
                        s.*slot = wrapAdd(s.*slot, v);
                        return s.*slot;
                    }};
        return {"(" + std::string(target) + " = " + x.text + ")", [x, slot](State& s) {
                    Integer v = x.eval(s);
                    s.*slot = v;
                    return v;
                }};
    }

    std::mt19937 rng_;
};

class RandomExpressions : public ::testing::TestWithParam<uint32_t> {};

TEST_P(RandomExpressions, MatchDirectEvaluation) {
    Builder builder(GetParam());
    State state;
    std::ostringstream script, expected;
    script << "function id(v) { return v; }\n"
              "function main() {\n"
              "local a = 3, b = 5; local t = { z = 1 }; local arr = [2, 9];\n"
              "class O { v = 4; } local o = O(); local r = 0;\n";
    for (int i = 0; i < 60; ++i) {
        Expr e = builder.build(4);
        switch (i % 3) {
        case 0:
            script << "print((" << e.text << ") + \"\\n\");\n";
            expected << e.eval(state) << "\n";
            break;
        case 1:
            script << "r = " << e.text << "; print(r + \"\\n\");\n";
            expected << e.eval(state) << "\n";
            break;
        default: {
            script << "local v" << i << " = " << e.text << "; print(v" << i
                   << " + \" \" + t.z + \" \" + arr[0] + \" \" + o.v + \"\\n\");\n";
            Integer v = e.eval(state);
            expected << v << " " << state.tz << " " << state.a0 << " " << state.ov << "\n";
        }
        }
    }
    script << "}\nmain();\n";
    SquirrelTest::TestEngine engine;
    EXPECT_EQ(engine.output(script.str()), expected.str()) << script.str();
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomExpressions, ::testing::Range(1u, 13u));

}  // namespace
