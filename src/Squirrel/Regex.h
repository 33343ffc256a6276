// Regular expressions in the dialect of the Squirrel standard library.
//
// The matcher does not backtrack into repetitions: a repeated item stops repeating as soon
// as what follows it can match. Alternatives are tried left to right.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Squirrel {

class Regex {
public:
    struct Match {
        const char* begin = nullptr;
        int64_t len = 0;
    };

    // Compiles the pattern; returns false and sets error() on failure.
    bool compile(const char* pattern);
    const std::string& error() const { return error_; }

    // Whole-text match.
    bool match(const char* text, const char* end);
    // First match at or after `begin`; positions are pointers into the text.
    bool search(const char* begin, const char* end, const char** outBegin, const char** outEnd);
    int subExpCount() const { return int(matches_.size()); }
    // Node visits of the last match or search.
    int64_t work() const { return startBudget_ - budget_; }
    // Bounds the node visits of one match or search (a match that runs out fails).
    void setBudget(int64_t visits) { startBudget_ = visits; }
    const Match& subExp(int i) const { return matches_[size_t(i)]; }

private:
    enum Kind : uint8_t { CHAR, ANY, CLASS, NCLASS, CCLASS, RANGE, BOL, EOL, WB, MB, EXPR, NOCAPEXPR, OR, GREEDY };
    struct Node {
        Kind kind;
        int left = -1;   // CHAR: char; CCLASS: class letter; RANGE: from; MB: open; groups, OR, GREEDY: node
        int right = -1;  // RANGE: to; MB: close; EXPR: capture index; OR: node; GREEDY: min << 16 | max
        int next = -1;
    };

    int newNode(Kind k, int left = -1, int right = -1);
    [[noreturn]] void fail(const char* msg);
    void expect(char c);
    int parseList();
    int parseElement();
    int parseClass();
    int parseCharNode(bool inClass);
    int parseNumber();

    const char* matchNode(const Node* node, const char* str, const Node* next);
    static bool matchCClass(int cls, unsigned char c);
    bool matchClass(const Node* node, unsigned char c) const;
    unsigned char at(const char* p) const { return p < eol_ ? (unsigned char)*p : 0; }

    std::vector<Node> nodes_;
    std::vector<Match> matches_;
    std::string error_;
    const char* p_ = nullptr;
    const char* patternEnd_ = nullptr;
    int first_ = 0;
    int nsubexp_ = 0;
    int depth_ = 0;
    const char* bol_ = nullptr;
    const char* eol_ = nullptr;
    int currSubExp_ = 0;
    int64_t budget_ = 0;  // bounds the work of a single match
    int64_t startBudget_ = INT64_MAX;
};

}  // namespace Squirrel
