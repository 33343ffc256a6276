#include "Regex.h"

#include <cctype>
#include <cstring>
#include <stdexcept>

namespace Squirrel {

namespace {
struct RegexError {};
constexpr int kMaxDepth = 100;
}  // namespace

int Regex::newNode(Kind k, int left, int right) {
    Node n;
    n.kind = k;
    n.left = left;
    n.right = right;
    if (k == EXPR) n.right = nsubexp_++;
    nodes_.push_back(n);
    return int(nodes_.size() - 1);
}

void Regex::fail(const char* msg) {
    error_ = msg;
    throw RegexError();
}

void Regex::expect(char c) {
    if (*p_ != c) fail("expected paren");
    ++p_;
}

int Regex::parseNumber() {
    int ret = *p_++ - '0';
    int positions = 10;
    while (std::isdigit((unsigned char)*p_)) {
        ret = ret * 10 + (*p_++ - '0');
        if (positions == 1000000000) fail("overflow in numeric constant");
        positions *= 10;
    }
    return ret;
}

int Regex::parseCharNode(bool inClass) {
    if (*p_ == '\\') {
        ++p_;
        char c = *p_;
        switch (c) {
        case 'n': ++p_; return newNode(CHAR, '\n');
        case 't': ++p_; return newNode(CHAR, '\t');
        case 'r': ++p_; return newNode(CHAR, '\r');
        case 'f': ++p_; return newNode(CHAR, '\f');
        case 'v': ++p_; return newNode(CHAR, '\v');
        case 'a': case 'A': case 'w': case 'W': case 's': case 'S': case 'd': case 'D':
        case 'x': case 'X': case 'c': case 'C': case 'p': case 'P': case 'l': case 'L':
        case 'u': case 'U':
            ++p_;
            return newNode(CCLASS, (unsigned char)c);
        case 'm': {
            char open = p_[1];
            char close = open ? p_[2] : 0;
            p_ += open ? (close ? 3 : 2) : 1;
            if (!open || !close) fail("balanced chars expected");
            if (open == close) fail("open/close char can't be the same");
            return newNode(MB, (unsigned char)open, (unsigned char)close);
        }
        case 0:
            fail("letter expected for argument of escape sequence");
            break;
        case 'b':
        case 'B':
            if (!inClass) {
                ++p_;
                return newNode(WB, (unsigned char)c);
            }
            [[fallthrough]];  // a literal letter inside a class
        default:
            ++p_;
            return newNode(CHAR, (unsigned char)c);
        }
    }
    if (!std::isprint((unsigned char)*p_)) fail("letter expected");
    return newNode(CHAR, (unsigned char)*p_++);
}

int Regex::parseClass() {
    int ret;
    if (*p_ == '^') {
        ret = newNode(NCLASS);
        ++p_;
    } else {
        ret = newNode(CLASS);
    }
    if (*p_ == ']') fail("empty class");
    int chain = ret;
    int first = -1;
    while (*p_ != ']' && p_ != patternEnd_) {
        if (*p_ == '-' && first != -1) {
            if (*p_++ == ']') fail("unfinished range");
            if (p_ == patternEnd_) fail("unfinished range");
            const Node& f = nodes_[size_t(first)];
            if (f.kind == CCLASS) fail("cannot use character classes in ranges");
            int from = f.left;
            int to = parseCharNode(true);
            if (nodes_[size_t(to)].kind != CHAR) fail("cannot use character classes in ranges");
            int toChar = nodes_[size_t(to)].left;
            if (from > toChar) fail("invalid range");
            Node& r = nodes_[size_t(to)];
            r.kind = RANGE;
            r.left = from;
            r.right = toChar;
            nodes_[size_t(chain)].next = to;
            chain = to;
            first = -1;
        } else {
            if (first != -1) {
                nodes_[size_t(chain)].next = first;
                chain = first;
            }
            first = parseCharNode(true);
        }
    }
    if (first != -1) nodes_[size_t(chain)].next = first;
    nodes_[size_t(ret)].left = nodes_[size_t(ret)].next;
    nodes_[size_t(ret)].next = -1;
    return ret;
}

int Regex::parseElement() {
    if (++depth_ > kMaxDepth) fail("expression too complex");
    int head = -1, tail = -1;
    for (;;) {
        int ret;
        switch (*p_) {
        case '(': {
            ++p_;
            int expr;
            if (*p_ == '?') {
                ++p_;
                expect(':');
                expr = newNode(NOCAPEXPR);
            } else {
                expr = newNode(EXPR);
            }
            int inner = parseList();
            nodes_[size_t(expr)].left = inner;
            ret = expr;
            expect(')');
            break;
        }
        case '[':
            ++p_;
            ret = parseClass();
            expect(']');
            break;
        case '$':
            ++p_;
            ret = newNode(EOL);
            break;
        case '.':
            ++p_;
            ret = newNode(ANY);
            break;
        default:
            ret = parseCharNode(false);
            break;
        }
        bool greedy = false;
        unsigned p0 = 0, p1 = 0;
        switch (*p_) {
        case '*': p0 = 0; p1 = 0xFFFF; ++p_; greedy = true; break;
        case '+': p0 = 1; p1 = 0xFFFF; ++p_; greedy = true; break;
        case '?': p0 = 0; p1 = 1; ++p_; greedy = true; break;
        case '{':
            ++p_;
            if (!std::isdigit((unsigned char)*p_)) fail("number expected");
            p0 = unsigned(parseNumber()) & 0xFFFF;
            switch (*p_) {
            case '}':
                p1 = p0;
                ++p_;
                break;
            case ',':
                ++p_;
                p1 = 0xFFFF;
                if (std::isdigit((unsigned char)*p_)) p1 = unsigned(parseNumber()) & 0xFFFF;
                expect('}');
                break;
            default:
                fail(", or } expected");
            }
            greedy = true;
            break;
        default: break;
        }
        if (greedy) {
            int g = newNode(GREEDY, ret, int((p0 << 16) | p1));
            ret = g;
        }
        if (head < 0)
            head = ret;
        else
            nodes_[size_t(tail)].next = ret;
        tail = ret;
        char c = *p_;
        if (c == '|' || c == ')' || c == '*' || c == '+' || c == '\0' || p_ >= patternEnd_) break;
    }
    --depth_;
    return head;
}

int Regex::parseList() {
    if (++depth_ > kMaxDepth) fail("expression too complex");
    int ret = -1;
    if (*p_ == '^') {
        ++p_;
        ret = newNode(BOL);
    }
    int e = parseElement();
    if (ret != -1)
        nodes_[size_t(ret)].next = e;
    else
        ret = e;
    if (*p_ == '|') {
        ++p_;
        int orNode = newNode(OR);
        nodes_[size_t(orNode)].left = ret;
        int right = parseList();
        nodes_[size_t(orNode)].right = right;
        ret = orNode;
    }
    --depth_;
    return ret;
}

bool Regex::compile(const char* pattern) {
    nodes_.clear();
    error_.clear();
    nsubexp_ = 0;
    depth_ = 0;
    p_ = pattern;
    patternEnd_ = pattern + std::strlen(pattern);
    try {
        first_ = newNode(EXPR);
        int res = parseList();
        nodes_[size_t(first_)].left = res;
        if (*p_ != '\0') fail("unexpected character");
    } catch (RegexError&) {
        return false;
    }
    matches_.assign(size_t(nsubexp_), Match());
    return true;
}

bool Regex::matchCClass(int cls, unsigned char c) {
    switch (cls) {
    case 'a': return std::isalpha(c);
    case 'A': return !std::isalpha(c);
    case 'w': return std::isalnum(c) || c == '_';
    case 'W': return !std::isalnum(c) && c != '_';
    case 's': return std::isspace(c);
    case 'S': return !std::isspace(c);
    case 'd': return std::isdigit(c);
    case 'D': return !std::isdigit(c);
    case 'x': return std::isxdigit(c);
    case 'X': return !std::isxdigit(c);
    case 'c': return std::iscntrl(c);
    case 'C': return !std::iscntrl(c);
    case 'p': return std::ispunct(c);
    case 'P': return !std::ispunct(c);
    case 'l': return std::islower(c);
    case 'L': return !std::islower(c);
    case 'u': return std::isupper(c);
    case 'U': return !std::isupper(c);
    default: return false;
    }
}

bool Regex::matchClass(const Node* node, unsigned char c) const {
    for (;;) {
        switch (node->kind) {
        case RANGE:
            if (c >= node->left && c <= node->right) return true;
            break;
        case CCLASS:
            if (matchCClass(node->left, c)) return true;
            break;
        default:
            if (c == node->left) return true;
            break;
        }
        if (node->next == -1) return false;
        node = &nodes_[size_t(node->next)];
    }
}

const char* Regex::matchNode(const Node* node, const char* str, const Node* next) {
    if (--budget_ < 0) return nullptr;
    switch (node->kind) {
    case GREEDY: {
        const Node* stopNode = node->next != -1 ? &nodes_[size_t(node->next)] : next;
        unsigned p0 = unsigned(node->right) >> 16, p1 = unsigned(node->right) & 0xFFFF;
        unsigned n = 0;
        const char* s = str;
        const char* good = str;
        while (n == 0xFFFF || n < p1) {
            s = matchNode(&nodes_[size_t(node->left)], s, stopNode);
            if (!s) break;
            ++n;
            good = s;
            if (stopNode) {
                // stop repeating as soon as what follows can match here
                bool optionalNext = stopNode->kind == GREEDY && (unsigned(stopNode->right) >> 16) == 0;
                if (!optionalNext) {
                    const Node* gnext = nullptr;
                    if (stopNode->next != -1)
                        gnext = &nodes_[size_t(stopNode->next)];
                    else if (next && next->next != -1)
                        gnext = &nodes_[size_t(next->next)];
                    if (matchNode(stopNode, s, gnext)) {
                        if (p0 == p1 && p0 == n) break;
                        if (n >= p0 && p1 == 0xFFFF) break;
                        if (n >= p0 && n <= p1) break;
                    }
                }
            }
            if (s >= eol_) break;
        }
        if (p0 == p1 && p0 == n) return good;
        if (n >= p0 && p1 == 0xFFFF) return good;
        if (n >= p0 && n <= p1) return good;
        return nullptr;
    }
    case OR: {
        for (int side = 0; side < 2; ++side) {
            int start = side == 0 ? node->left : node->right;
            if (start == -1) return str;
            const char* asd = str;
            const Node* temp = &nodes_[size_t(start)];
            while ((asd = matchNode(temp, asd, nullptr)) != nullptr) {
                if (temp->next != -1)
                    temp = &nodes_[size_t(temp->next)];
                else
                    return asd;
            }
        }
        return nullptr;
    }
    case EXPR:
    case NOCAPEXPR: {
        if (node->left == -1) return str;
        const Node* n = &nodes_[size_t(node->left)];
        const char* cur = str;
        int capture = -1;
        if (node->kind == EXPR && node->right == currSubExp_) {
            capture = currSubExp_;
            matches_[size_t(capture)].begin = cur;
            ++currSubExp_;
        }
        int tempCap = currSubExp_;
        for (;;) {
            const Node* subNext = n->next != -1 ? &nodes_[size_t(n->next)] : next;
            cur = matchNode(n, cur, subNext);
            if (!cur) {
                if (capture != -1) {
                    matches_[size_t(capture)].begin = nullptr;
                    matches_[size_t(capture)].len = 0;
                }
                return nullptr;
            }
            if (n->next == -1) break;
            n = &nodes_[size_t(n->next)];
        }
        currSubExp_ = tempCap;
        if (capture != -1) matches_[size_t(capture)].len = cur - matches_[size_t(capture)].begin;
        return cur;
    }
    case WB: {
        // whitespace is the only word separator; tests this character and the next one
        unsigned char c0 = at(str), c1 = at(str + 1);
        unsigned char prev = str > bol_ ? at(str - 1) : 0;
        bool boundary = (str == bol_ && !std::isspace(c0)) || (str == eol_ && !std::isspace(prev)) ||
                        (!std::isspace(c0) && std::isspace(c1)) || (std::isspace(c0) && !std::isspace(c1));
        if (boundary) return node->left == 'b' ? str : nullptr;
        return node->left == 'b' ? nullptr : str;
    }
    case BOL: return str == bol_ ? str : nullptr;
    case EOL: return str == eol_ ? str : nullptr;
    case ANY:
        if (str >= eol_) return nullptr;
        return str + 1;
    case CLASS:
    case NCLASS: {
        if (str >= eol_) return nullptr;
        bool in = node->left != -1 && matchClass(&nodes_[size_t(node->left)], (unsigned char)*str);
        if (in == (node->kind == CLASS)) return str + 1;
        return nullptr;
    }
    case CCLASS:
        if (str >= eol_) return nullptr;
        return matchCClass(node->left, (unsigned char)*str) ? str + 1 : nullptr;
    case MB: {
        if (str >= eol_ || (unsigned char)*str != node->left) return nullptr;
        int depth = 1;
        while (++str < eol_) {
            if ((unsigned char)*str == node->right) {
                if (--depth == 0) return str + 1;
            } else if ((unsigned char)*str == node->left) {
                ++depth;
            }
        }
        return nullptr;
    }
    case CHAR:
        if (str >= eol_ || (unsigned char)*str != node->left) return nullptr;
        return str + 1;
    default:
        return nullptr;
    }
}

bool Regex::match(const char* text, const char* end) {
    for (Match& m : matches_) m = Match();
    bol_ = text;
    eol_ = end;
    currSubExp_ = 0;
    budget_ = startBudget_;
    const char* res = matchNode(&nodes_[size_t(first_)], text, nullptr);
    return res != nullptr && res == eol_;
}

bool Regex::search(const char* begin, const char* end, const char** outBegin, const char** outEnd) {
    for (Match& m : matches_) m = Match();
    if (begin >= end) return false;
    bol_ = begin;
    eol_ = end;
    budget_ = startBudget_;
    const char* cur = nullptr;
    const char* start = begin;
    do {
        cur = start;
        int node = first_;
        while (node != -1) {
            currSubExp_ = 0;
            cur = matchNode(&nodes_[size_t(node)], cur, nullptr);
            if (!cur) break;
            node = nodes_[size_t(node)].next;
        }
        ++start;
    } while (cur == nullptr && start != end && budget_ > 0);
    if (!cur) return false;
    --start;
    if (outBegin) *outBegin = start;
    if (outEnd) *outEnd = cur;
    return true;
}

}  // namespace Squirrel
