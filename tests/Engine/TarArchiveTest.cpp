#include "Engine/MemoryStream.h"
#include "Engine/TARArchive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

using namespace Tessera3D;

namespace {

enum eChecksum { SUM_UNSIGNED, SUM_SIGNED, SUM_WRONG };

struct Member {
    Member(std::string name_, std::string data_, char type_ = '0', std::string prefix_ = "",
           eChecksum checksum_ = SUM_UNSIGNED)
        : name(std::move(name_)), data(std::move(data_)), type(type_), prefix(std::move(prefix_)), checksum(checksum_) {}

    std::string name;
    std::string data;
    char type = '0';
    std::string prefix;
    eChecksum checksum = SUM_UNSIGNED;
    bool ustar = true;
};

void PutField(std::string& header, size_t offset, size_t size, const std::string& value) {
    memcpy(&header[offset], value.data(), std::min(size, value.size()));
}

std::string Octal(unsigned long long value, int digits) {
    char text[32];
    snprintf(text, sizeof(text), "%0*llo", digits, value);
    return text;
}

// One ustar header as common writers lay it out, with the checksum computed as asked.
std::string Header(const Member& m) {
    std::string h(512, '\0');
    PutField(h, 0, 100, m.name);
    PutField(h, 100, 8, "0000644");
    PutField(h, 108, 8, "0000000");
    PutField(h, 116, 8, "0000000");
    PutField(h, 124, 12, Octal(m.data.size(), 11));
    PutField(h, 136, 12, Octal(946684800, 11));
    h[156] = m.type;
    if (m.ustar) PutField(h, 257, 8, std::string("ustar\0" "00", 8));
    PutField(h, 345, 155, m.prefix);
    PutField(h, 148, 8, "        ");
    long long unsignedSum = 0, signedSum = 0;
    for (char c : h) {
        unsignedSum += static_cast<unsigned char>(c);
        signedSum += static_cast<signed char>(c);
    }
    const long long sum = m.checksum == SUM_SIGNED ? signedSum : m.checksum == SUM_WRONG ? unsignedSum + 1 : unsignedSum;
    PutField(h, 148, 8, Octal(static_cast<unsigned long long>(sum), 6) + std::string("\0 ", 2));
    return h;
}

std::string Archive(const std::vector<Member>& members, bool terminate = true) {
    std::string out;
    for (const Member& m : members) {
        out += Header(m);
        out += m.data;
        out.append((512 - m.data.size() % 512) % 512, '\0');
    }
    if (terminate) out.append(1024, '\0');
    return out;
}

std::string ReadAll(Stream* pStream) {
    std::string out;
    char buffer[100];
    while (size_t read = pStream->Read(buffer, sizeof(buffer))) out.append(buffer, read);
    return out;
}

// Holds the bytes, their stream and the archive read from them.
struct Loaded {
    explicit Loaded(std::string bytes) : m_Bytes(std::move(bytes)) {
        m_pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(m_Bytes.data()), m_Bytes.size());
        m_bRead = m_Archive.Read(m_pStream.Get());
    }
    std::string Contents(const char* path) {
        Strong<Stream> pStream = m_Archive.Open(path, false);
        return pStream ? ReadAll(pStream.Get()) : "<none>";
    }
    std::map<std::string, std::string> List(const char* path) {
        std::map<std::string, std::string> names; // name -> "file"/"dir" and the reported path
        m_Archive.ForEachEntry(path, [&](const CFileMgr::tDirectoryEntry& e) {
            names[e.m_Name] = std::string(e.m_bIsFile ? "file" : "") + (e.m_bIsDirectory ? "dir" : "") + "@" + e.m_Path;
            return true;
        });
        return names;
    }

    std::string m_Bytes;
    Strong<CMemoryStream> m_pStream;
    CTARArchive m_Archive;
    bool m_bRead;
};

} // namespace

TEST(TarArchive, TreeLookupAndRangeStreams) {
    Loaded tar(Archive({
        {"a.txt", "alpha"},
        {"dir/b.txt", std::string(700, 'b')}, // crosses a block
        {"dir/sub/c.txt", ""},
        {"Dir/File.TXT", "upper"},
    }));
    ASSERT_TRUE(tar.m_bRead);
    EXPECT_EQ(tar.Contents("a.txt"), "alpha");
    EXPECT_EQ(tar.Contents("/dir/b.txt"), std::string(700, 'b'));
    EXPECT_EQ(tar.Contents("dir/sub/c.txt"), "");

    // Lookups are case-sensitive.
    EXPECT_EQ(tar.Contents("Dir/File.TXT"), "upper");
    EXPECT_EQ(tar.Contents("dir/file.txt"), "<none>");
    EXPECT_EQ(tar.Contents("DIR/B.TXT"), "<none>");

    struct Case { const char* path; bool asFile; bool asDirectory; } cases[] = {
        {"a.txt", true, false}, {"/dir", false, true}, {"dir/sub", false, true}, {"", false, true},
        {"/", false, true}, {"missing", false, false}, {"a.txt/x", false, false}, {"dir//b.txt", false, false},
        {"dir/", false, false}, {"dir/b.txt/", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(tar.m_Archive.Exists(c.path, true, false), c.asFile) << c.path;
        EXPECT_EQ(tar.m_Archive.Exists(c.path, false, true), c.asDirectory) << c.path;
    }
    EXPECT_EQ(tar.Contents("dir"), "<none>");
    EXPECT_EQ(tar.Contents("dir//b.txt"), "<none>");

    using Listing = std::map<std::string, std::string>;
    EXPECT_EQ(tar.List("/"), (Listing{{"a.txt", "file@"}, {"dir", "dir@"}, {"Dir", "dir@"}}));
    EXPECT_EQ(tar.List("/dir"), (Listing{{"b.txt", "file@dir"}, {"sub", "dir@dir"}}));
    EXPECT_EQ(tar.List("dir/sub"), (Listing{{"c.txt", "file@dir/sub"}}));
    EXPECT_EQ(tar.List("a.txt"), Listing{});
    EXPECT_EQ(tar.List("nothing"), Listing{});
    int calls = 0;
    EXPECT_FALSE(tar.m_Archive.ForEachEntry("/", [&](const CFileMgr::tDirectoryEntry&) { return ++calls, false; }));
    EXPECT_EQ(calls, 1);

    // A member stream is a window positioned at 0 that outlives the archive and its owner's handle.
    Strong<Stream> pMember = tar.m_Archive.Open("dir/b.txt", false);
    ASSERT_TRUE(pMember);
    EXPECT_EQ(pMember->GetLength(), 700);
    EXPECT_EQ(pMember->Tell(), 0);
    tar.m_Archive.Read(nullptr);
    tar.m_pStream = nullptr;
    EXPECT_EQ(ReadAll(pMember.Get()), std::string(700, 'b'));
    EXPECT_EQ(tar.Contents("a.txt"), "<none>");
}

TEST(TarArchive, ReadOnly) {
    Loaded tar(Archive({{"a.txt", "alpha"}}));
    ASSERT_TRUE(tar.m_bRead);
    EXPECT_FALSE(tar.m_Archive.Open("a.txt", true));
    EXPECT_FALSE(tar.m_Archive.Create("a.txt"));
    EXPECT_FALSE(tar.m_Archive.Create("new.txt"));
    Strong<Stream> pMember = tar.m_Archive.Open("a.txt", false);
    ASSERT_TRUE(pMember);
    // The archive image behind it is read-only as well.
    EXPECT_EQ(pMember->Write("x", 1), 0u);
    EXPECT_EQ(tar.Contents("a.txt"), "alpha");
}

TEST(TarArchive, Checksums) {
    const std::string accented = "caf\xC3\xA9.txt"; // high bytes make the two sums differ
    struct Case { const char* what; eChecksum first; eChecksum second; bool reads; } cases[] = {
        {"unsigned sums", SUM_UNSIGNED, SUM_UNSIGNED, true},
        {"signed sums", SUM_SIGNED, SUM_SIGNED, true},
        {"mixed", SUM_SIGNED, SUM_UNSIGNED, true},
        {"second header bad", SUM_UNSIGNED, SUM_WRONG, false},
        {"first header bad", SUM_WRONG, SUM_UNSIGNED, false},
    };
    for (const Case& c : cases) {
        Loaded tar(Archive({{accented, "one", '0', "", c.first}, {"two.txt", "two", '0', "\xFF", c.second}}));
        EXPECT_EQ(tar.m_bRead, c.reads) << c.what;
        if (c.reads) {
            EXPECT_EQ(tar.Contents(accented.c_str()), "one") << c.what;
            EXPECT_EQ(tar.Contents("\xFF/two.txt"), "two") << c.what;
        } else {
            // Rejected whole: nothing of it stays, not even the good members.
            EXPECT_EQ(tar.m_Archive.GetEntryCount(), 0u) << c.what;
            EXPECT_EQ(tar.m_Archive.GetStream(), nullptr) << c.what;
            EXPECT_EQ(tar.Contents(accented.c_str()), "<none>") << c.what;
            EXPECT_FALSE(tar.m_Archive.Exists("", false, true)) << c.what;
        }
    }
}

TEST(TarArchive, NamesFromPrefixAndCut) {
    const std::string prefix155(155, 'p'), name100(100, 'n');
    Member nonUstar{"plain.txt", "3", '0', "ignored"};
    nonUstar.ustar = false;
    Loaded tar(Archive({
        {"file.txt", "1", '0', "long/prefix"},
        {name100, "2"},                         // a name field without its NUL
        {name100, "4", '0', prefix155},         // 155 + "/" + 100 = 256 characters
        nonUstar,                               // the prefix only counts in ustar headers
    }));
    ASSERT_TRUE(tar.m_bRead);
    ASSERT_EQ(tar.m_Archive.GetEntryCount(), 4u);
    EXPECT_STREQ(tar.m_Archive.GetEntry(0).m_szName, "long/prefix/file.txt");
    EXPECT_EQ(tar.Contents("long/prefix/file.txt"), "1");
    EXPECT_EQ(tar.Contents(name100.c_str()), "2");
    const std::string cut = (prefix155 + "/" + name100).substr(0, 255);
    EXPECT_EQ(std::string(tar.m_Archive.GetEntry(2).m_szName), cut);
    EXPECT_EQ(tar.Contents(cut.c_str()), "4");
    EXPECT_STREQ(tar.m_Archive.GetEntry(3).m_szName, "plain.txt");
    EXPECT_EQ(tar.Contents("plain.txt"), "3");
    EXPECT_EQ(tar.m_Archive.GetEntry(0).m_ModifiedTime, 946684800);
}

TEST(TarArchive, MemberTypesAndConflicts) {
    Loaded tar(Archive({
        {"same.txt", "first"},
        {"same.txt", "second"},                 // a later duplicate never replaces the first
        {"emptydir/", "", '5'},                 // directory members add nothing to the tree
        {"link", "", '2'},                      // links are skipped
        {"PaxHeaders/x", std::string(600, 'x'), 'x'}, // skipped with its data
        {"nultype.txt", "nul", '\0'},           // NUL is a regular file
        {"contiguous.txt", "c", '7'},
        {"a", "file a"},
        {"a/b", "under a file"},                // a file is in the way: left out
        {"plumless", "p"},                      // these two share a CRC-32
        {"buckeroo", "b"},
        {"x//y", "empty component"},
        {"/abs", "leading slash"},
    }));
    ASSERT_TRUE(tar.m_bRead);
    EXPECT_EQ(tar.Contents("same.txt"), "first");
    EXPECT_FALSE(tar.m_Archive.Exists("emptydir", true, true));
    EXPECT_FALSE(tar.m_Archive.Exists("link", true, true));
    EXPECT_FALSE(tar.m_Archive.Exists("PaxHeaders", true, true));
    EXPECT_FALSE(tar.m_Archive.Exists("contiguous.txt", true, true));
    EXPECT_EQ(tar.Contents("nultype.txt"), "nul");
    EXPECT_EQ(tar.Contents("a"), "file a");
    EXPECT_EQ(tar.Contents("a/b"), "<none>");
    EXPECT_EQ(tar.Contents("plumless"), "p");
    EXPECT_EQ(tar.Contents("buckeroo"), "b");
    EXPECT_FALSE(tar.m_Archive.Exists("x", true, true));
    EXPECT_EQ(tar.Contents("abs"), "<none>");
    // Entries: every '0', NUL and '5' member, in archive order.
    std::vector<std::string> names;
    for (size_t i = 0; i < tar.m_Archive.GetEntryCount(); ++i) names.push_back(tar.m_Archive.GetEntry(i).m_szName);
    EXPECT_EQ(names, (std::vector<std::string>{"same.txt", "same.txt", "emptydir/", "nultype.txt", "a", "a/b",
                                               "plumless", "buckeroo", "x//y", "/abs"}));
    EXPECT_EQ(tar.m_Archive.GetEntry(2).m_Type, '5');
    EXPECT_EQ(tar.m_Archive.GetEntry(3).m_Type, '0');
}

TEST(TarArchive, EndOfArchive) {
    const std::string one = Archive({{"one", "1"}}, false);
    struct Case { const char* what; std::string bytes; bool reads; size_t entries; } cases[] = {
        {"empty stream", "", true, 0},
        {"no end blocks", one, true, 1},
        {"short last header", one + std::string(100, 'z'), true, 1},
        {"zero block ends it", one + std::string(512, '\0') + Archive({{"two", "2"}}), true, 1},
    };
    for (const Case& c : cases) {
        Loaded tar(c.bytes);
        EXPECT_EQ(tar.m_bRead, c.reads) << c.what;
        EXPECT_EQ(tar.m_Archive.GetEntryCount(), c.entries) << c.what;
    }
}

// Hostile headers with valid checksums: nothing may be trusted beyond the stream.
TEST(TarArchive, MalformedHeadersAreRefused) {
    auto withField = [](size_t offset, const std::string& value) {
        std::string h = Header({"f", "data"});
        memcpy(&h[offset], value.data(), value.size());
        // Re-sum with the field in place.
        memset(&h[148], ' ', 8);
        long long sum = 0;
        for (char c : h) sum += static_cast<unsigned char>(c);
        const std::string text = Octal(static_cast<unsigned long long>(sum), 6);
        memcpy(&h[148], text.c_str(), 7);
        return h + std::string("data") + std::string(508, '\0');
    };
    struct Case { const char* what; std::string bytes; bool reads; } cases[] = {
        {"size past the stream", withField(124, "77777777777"), false},
        {"size one byte past the stream", withField(124, "00000001001"), false},
        {"size up to the end", withField(124, "00000001000"), true}, // exactly the 512 bytes that follow
        {"garbage digit in size", withField(124, "0000000x004"), false},
        {"digit 8 in size", withField(124, "00000000008"), false},
        {"base-256 size", withField(124, std::string("\x80\0\0\0\0\0\0\0\0\0\0\x04", 12)), false},
        {"size with leading spaces", withField(124, "         4 "), true},
        {"size field without terminator", withField(124, "000000000004"), true},
        {"garbage modification time", withField(136, "zzzzzzzzzzz"), true},
        {"name without NUL", withField(0, std::string(100, 'q')), true},
    };
    for (const Case& c : cases) {
        Loaded tar(c.bytes);
        EXPECT_EQ(tar.m_bRead, c.reads) << c.what;
        if (!c.reads) {
            EXPECT_EQ(tar.m_Archive.GetEntryCount(), 0u) << c.what;
        }
    }
    // A lying checksum field is just a bad checksum.
    std::string h = Header({"f", ""});
    memcpy(&h[148], "9999999", 7);
    EXPECT_FALSE(Loaded(h).m_bRead);
}

TEST(TarArchive, ReadingAgainReplacesTheContent) {
    Loaded first(Archive({{"old", "o"}}));
    const std::string second = Archive({{"new", "n"}});
    auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(second.data()), second.size());
    ASSERT_TRUE(first.m_Archive.Read(pStream.Get()));
    EXPECT_EQ(first.Contents("old"), "<none>");
    EXPECT_EQ(first.Contents("new"), "n");
}
