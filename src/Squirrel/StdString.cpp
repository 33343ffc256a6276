// string library: format, strip, split, escape, startswith, endswith and the regexp class.
#include "Regex.h"
#include "Squirrel/StdLib.h"
#include "Stream.h"

#include <cctype>
#include <cinttypes>

namespace Squirrel {

namespace {

const int kRegexTag = 0;

bool isSpace(char c) { return std::isspace((unsigned char)c) != 0; }

}  // namespace

// Formats the arguments that follow the format string at formatIdx.
static bool formatImpl(HVM vm, Integer formatIdx, std::string& out) {
    const Value& fv = vm->at(formatIdx);
    if (fv.type != ObjectType::String) {
        nativeError(vm, "format must be a string");
        return false;
    }
    Value fmtv(fv);
    const char* f = fmtv.s->data;
    size_t flen = fmtv.s->len;
    Integer nparam = formatIdx + 1;
    Integer top = vm->gettop();
    out.clear();
    for (size_t i = 0; i < flen;) {
        char c = f[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < flen && f[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        ++i;
        if (nparam > top) {
            nativeError(vm, "not enough parameters for the given format string");
            return false;
        }
        std::string spec = "%";
        while (i < flen && std::strchr("-+ #0", f[i])) spec += f[i++];
        int w = 0;
        while (i < flen && std::isdigit((unsigned char)f[i])) {
            spec += f[i++];
            if (++w > 2) {
                nativeError(vm, "width format too long");
                return false;
            }
        }
        if (i < flen && f[i] == '.') {
            spec += f[i++];
            int p = 0;
            while (i < flen && std::isdigit((unsigned char)f[i])) {
                spec += f[i++];
                if (++p > 2) {
                    nativeError(vm, "precision format too long");
                    return false;
                }
            }
        }
        if (i >= flen) {
            nativeError(vm, "invalid format");
            return false;
        }
        char conv = f[i++];
        const Value& arg = vm->at(nparam);
        char buf[256];
        int n = 0;
        switch (conv) {
        case 'd': case 'i': case 'o': case 'u': case 'x': case 'X': {
            Integer iv;
            if (arg.isNumeric())
                iv = arg.toInteger();
            else if (arg.type == ObjectType::Bool)
                iv = arg.b ? 1 : 0;
            else {
                nativeError(vm, "integer expected for the specified format");
                return false;
            }
            spec += "ll";
            spec += conv;
            n = std::snprintf(buf, sizeof buf, spec.c_str(), (long long)iv);
            break;
        }
        case 'c': {
            Integer iv;
            if (arg.isNumeric())
                iv = arg.toInteger();
            else if (arg.type == ObjectType::Bool)
                iv = arg.b ? 1 : 0;
            else {
                nativeError(vm, "integer expected for the specified format");
                return false;
            }
            spec += conv;
            n = std::snprintf(buf, sizeof buf, spec.c_str(), int(iv));
            break;
        }
        case 'f': case 'F': case 'g': case 'G': case 'e': case 'E': {
            if (!arg.isNumeric()) {
                nativeError(vm, "float expected for the specified format");
                return false;
            }
            spec += conv;
            n = std::snprintf(buf, sizeof buf, spec.c_str(), double(arg.toFloat()));
            break;
        }
        case 's': {
            if (arg.type != ObjectType::String) {
                nativeError(vm, "string expected for the specified format");
                return false;
            }
            spec += conv;
            int need = std::snprintf(nullptr, 0, spec.c_str(), arg.s->data);
            if (need < 0) need = 0;
            if (vm->ss->overBudget(out.size() + size_t(need))) {
                nativeError(vm, "out of memory");
                return false;
            }
            std::string tmp(size_t(need) + 1, '\0');
            std::snprintf(&tmp[0], tmp.size(), spec.c_str(), arg.s->data);
            tmp.resize(size_t(need));
            out += tmp;
            ++nparam;
            continue;
        }
        default:
            nativeError(vm, "invalid format");
            return false;
        }
        if (n < 0) n = 0;
        if (size_t(n) >= sizeof buf) n = int(sizeof buf) - 1;
        out.append(buf, size_t(n));
        ++nparam;
    }
    return true;
}

Result formatString(HVM vm, Integer formatStringIdx, Integer* outLength, char** outText) {
    std::string& s = vm->scratch;
    if (!formatImpl(vm, formatStringIdx, s)) return Error;
    *outLength = Integer(s.size());
    *outText = &s[0];
    return Ok;
}

namespace {

Integer str_format(HVM vm) {
    std::string s;
    if (!formatImpl(vm, 2, s)) return -1;
    vm->push(makeString(vm->ss, s));
    return 1;
}

Integer str_printf(HVM vm) {
    std::string s;
    if (!formatImpl(vm, 2, s)) return -1;
    if (vm->ss->printFn) vm->ss->printFn(vm, s.data(), s.size());
    return 0;
}

Integer stripImpl(HVM vm, bool left, bool right) {
    String* s = vm->at(2).s;
    const char* b = s->data;
    const char* e = s->data + s->len;
    if (left)
        while (b < e && isSpace(*b)) ++b;
    if (right)
        while (e > b && isSpace(e[-1])) --e;
    vm->push(makeString(vm->ss, b, size_t(e - b)));
    return 1;
}
Integer str_strip(HVM vm) { return stripImpl(vm, true, true); }
Integer str_lstrip(HVM vm) { return stripImpl(vm, true, false); }
Integer str_rstrip(HVM vm) { return stripImpl(vm, false, true); }

Integer str_split(HVM vm) {
    Value sv(vm->at(2)), sepv(vm->at(3));
    bool skipEmpty = vm->gettop() > 3 && isTrue(vm->at(4));
    const char* s = sv.s->data;
    size_t len = sv.s->len;
    const char* seps = sepv.s->data;
    size_t nseps = sepv.s->len;
    Array* a = vm->ss->newArray(0);
    Value av(a);
    size_t start = 0;
    size_t i = 0;
    for (; i < len; ++i) {
        if (std::memchr(seps, s[i], nseps)) {
            if (!skipEmpty || i > start) a->append(makeString(vm->ss, s + start, i - start));
            start = i + 1;
        }
    }
    if (i != start) a->append(makeString(vm->ss, s + start, i - start));
    vm->push(av);
    return 1;
}

Integer str_escape(HVM vm) {
    String* s = vm->at(2).s;
    std::string out;
    out.reserve(s->len);
    for (uint32_t i = 0; i < s->len; ++i) {
        unsigned char c = (unsigned char)s->data[i];
        switch (c) {
        case '"': out += "\\\""; break;
        case '\'': out += "\\'"; break;
        case '\\': out += "\\\\"; break;
        case 0: out += "\\0"; break;
        default:
            if (std::isprint(c)) {
                out += char(c);
            } else {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                out += buf;
            }
        }
    }
    vm->push(makeString(vm->ss, out));
    return 1;
}

Integer str_startswith(HVM vm) {
    String* s = vm->at(2).s;
    String* p = vm->at(3).s;
    bool r = p->len <= s->len && std::memcmp(s->data, p->data, p->len) == 0;
    vm->push(Value(r));
    return 1;
}

Integer str_endswith(HVM vm) {
    String* s = vm->at(2).s;
    String* p = vm->at(3).s;
    bool r = p->len <= s->len && std::memcmp(s->data + s->len - p->len, p->data, p->len) == 0;
    vm->push(Value(r));
    return 1;
}

// ----------------------------------------------------------------------------------------------
// regexp class
// ----------------------------------------------------------------------------------------------
Integer releaseRegex(UserPointer p, Integer) {
    delete static_cast<Regex*>(p);
    return 1;
}

Regex* regexOf(HVM vm) {
    const Value& self = vm->at(1);
    if (self.type != ObjectType::Instance || !self.inst->up || self.inst->cls->typetag != &kRegexTag) {
        nativeError(vm, "invalid type tag");
        return nullptr;
    }
    Regex* r = static_cast<Regex*>(self.inst->up);
    // with a step budget a pathological pattern cannot run away
    r->setBudget(vm->ss->stepHook ? 2000000 : INT64_MAX);
    return r;
}

Integer regexp_constructor(HVM vm) {
    const Value& self = vm->at(1);
    Regex* r = new Regex();
    if (!r->compile(vm->at(2).s->data)) {
        Integer e = nativeError(vm, "%s", r->error().c_str());
        delete r;
        return e;
    }
    self.inst->up = r;
    self.inst->hook = releaseRegex;
    return 0;
}

Value matchTable(HVM vm, const char* str, const char* begin, const char* end) {
    Table* t = vm->ss->newTable();
    Value tv(t);
    t->newSlot(makeString(vm->ss, "begin"), Value(Integer(begin - str)));
    t->newSlot(makeString(vm->ss, "end"), Value(Integer(end - str)));
    return tv;
}

Integer regexp_match(HVM vm) {
    Regex* r = regexOf(vm);
    if (!r) return -1;
    Value sv(vm->at(2));
    const char* s = sv.s->data;
    vm->push(Value(r->match(s, s + std::strlen(s))));
    vm->ss->charge(r->work() / 4);
    return 1;
}

bool searchStart(HVM vm, const char* s, const char** begin) {
    Integer start = 0;
    if (vm->gettop() > 2) start = vm->at(3).toInteger();
    Integer len = Integer(std::strlen(s));
    if (start < 0 || start > len) {
        nativeError(vm, "invalid starting position");
        return false;
    }
    *begin = s + start;
    return true;
}

// The search search() and capture() share: the regexp, the subject string and where the match
// lies. -1 after an error, 0 without a match, 1 with one.
Integer runSearch(HVM vm, Regex*& r, const char*& s, const char*& b, const char*& e) {
    r = regexOf(vm);
    if (!r) return -1;
    Value sv(vm->at(2));
    s = sv.s->data;
    const char* from;
    if (!searchStart(vm, s, &from)) return -1;
    bool found = r->search(from, s + std::strlen(s), &b, &e);
    vm->ss->charge(r->work() / 4);
    return found ? 1 : 0;
}

Integer regexp_search(HVM vm) {
    Regex* r;
    const char *s, *b, *e;
    const Integer result = runSearch(vm, r, s, b, e);
    if (result != 1) return result;
    vm->push(matchTable(vm, s, b, e));
    return 1;
}

Integer regexp_capture(HVM vm) {
    Regex* r;
    const char *s, *b, *e;
    const Integer result = runSearch(vm, r, s, b, e);
    if (result != 1) return result;
    Array* a = vm->ss->newArray(0);
    Value av(a);
    for (int i = 0; i < r->subExpCount(); ++i) {
        const Regex::Match& m = r->subExp(i);
        if (m.len > 0 && m.begin)
            a->append(matchTable(vm, s, m.begin, m.begin + m.len));
        else
            a->append(matchTable(vm, s, s, s));
    }
    vm->push(av);
    return 1;
}

Integer regexp_subexpcount(HVM vm) {
    Regex* r = regexOf(vm);
    if (!r) return -1;
    vm->push(Value(Integer(r->subExpCount())));
    return 1;
}

Integer regexp_typeof(HVM vm) {
    vm->push(makeString(vm->ss, "regexp"));
    return 1;
}

const NativeReg kRegexpMethods[] = {
    {"constructor", regexp_constructor, 2, ".s"},
    {"search", regexp_search, -2, "xsn"},
    {"match", regexp_match, 2, "xs"},
    {"capture", regexp_capture, -2, "xsn"},
    {"subexpcount", regexp_subexpcount, 1, "x"},
    {"_typeof", regexp_typeof, 1, "x"},
    {nullptr, nullptr, 0, nullptr},
};

const NativeReg kStringFuncs[] = {
    {"format", str_format, -2, ".s"},
    {"printf", str_printf, -2, ".s"},
    {"strip", str_strip, 2, ".s"},
    {"lstrip", str_lstrip, 2, ".s"},
    {"rstrip", str_rstrip, 2, ".s"},
    {"split", str_split, -3, ".ssb"},
    {"escape", str_escape, 2, ".s"},
    {"startswith", str_startswith, 3, ".ss"},
    {"endswith", str_endswith, 3, ".ss"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

Result registerStringLib(HVM vm) {
    Value& t = vm->at(-1);
    if (t.type != ObjectType::Table) return throwError(vm, "a table is expected");
    Value tv(t);
    SharedState* ss = vm->ss;
    Class* c = ss->newClass(nullptr);
    Value cv(c);
    c->typetag = &kRegexTag;
    for (const NativeReg* r = kRegexpMethods; r->name; ++r)
        vm->newMember(cv, makeString(ss, r->name), createNativeClosure(vm, r->fn, r->nparams, r->mask, r->name),
                      Value(), false, true);
    tv.t->newSlot(makeString(ss, "regexp"), cv);
    registerFunctions(vm, tv.t, kStringFuncs);
    return Ok;
}

}  // namespace Squirrel
