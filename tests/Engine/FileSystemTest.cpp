#include "EmbeddedArchive.h"
#include "Engine/FileSystem.h"
#include "Engine/MemoryStream.h"
#include "Engine/TARArchive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

using namespace Tessera3D;
namespace fs = std::filesystem;

namespace {

std::string ReadAll(Stream* pStream) {
    std::string out;
    char buffer[4096];
    while (size_t read = pStream->Read(buffer, sizeof(buffer))) out.append(buffer, read);
    return out;
}

std::string ReadDiskFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteDiskFile(const fs::path& path, const std::string& contents) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << contents;
}

CTARArchive* LoadEmbeddedArchive() {
    auto* pArchive = new CTARArchive;
    auto pStream = MakeStrong<CMemoryStream>(static_cast<const void*>(g_EmbeddedArchive), g_EmbeddedArchiveSize);
    EXPECT_TRUE(pArchive->Read(pStream.Get()));
    return pArchive;
}

// The members of the built-in archive and where their sources live.
const char* const kEmbeddedMembers[] = {
    "DADIdudivare/GTAIIIEnums.h", "DADIdudivare/GTAIVEnums.h", "DADIdudivare/GTASAEnums.h",
    "DADIdudivare/GTAVCEnums.h",  "vehiclecolours.conf",       "vehiclecolours_iv.conf",
    "vehiclecolours_sa.conf",     "vehiclecolours_vc.conf",
};

// A scratch folder standing in for the executable's folder.
class FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "vfs-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_Root = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(m_Root, ignored);
    }
    std::map<std::string, std::string> List(CVirtualFileMgr& manager, const char* path) {
        std::map<std::string, std::string> names;
        manager.ForEachEntry(path, [&](const CFileMgr::tDirectoryEntry& e) {
            EXPECT_EQ(names.count(e.m_Name), 0u) << e.m_Name << " reported twice";
            names[e.m_Name] = std::string(e.m_bIsFile ? "file" : "") + (e.m_bIsDirectory ? "dir" : "") + "@" + e.m_Path;
            return true;
        });
        return names;
    }

    fs::path m_Root;
};

} // namespace

TEST(MountedPath, JoinsBaseAndPath) {
    struct Case { const char* base; const char* path; const char* joined; } cases[] = {
        {"/srv/game", "/a.txt", "/srv/game/a.txt"},
        {"/srv/game", "a.txt", "/srv/game/a.txt"},
        {"/srv/game/", "/a/b.txt", "/srv/game/a/b.txt"},  // the base keeps its own slash
        {"C:\\game\\", "/a.txt", "C:\\game\\a.txt"},
        {"/srv/game", "", "/srv/game"},
        {"", "/a.txt", "/a.txt"},
        {"", "a.txt", "a.txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(CMountedPath(c.base).Join(c.path), c.joined) << c.base << " + " << c.path;
}

TEST_F(FileSystemTest, CreateMakesDirectoriesAndTruncates) {
    const fs::path file = m_Root / "one" / "two" / "three.txt";
    Strong<Stream> pStream = CFileMgr::Create(file.string().c_str());
    ASSERT_TRUE(pStream);
    EXPECT_EQ(pStream->Write("hello", 5), 5u);
    // Read and write on the same stream.
    ASSERT_TRUE(pStream->Seek(0, SEEK_ORIGIN_BEGIN));
    EXPECT_EQ(ReadAll(pStream.Get()), "hello");
    pStream = nullptr;
    EXPECT_EQ(ReadDiskFile(file), "hello");

    pStream = CFileMgr::Create(file.string().c_str());
    ASSERT_TRUE(pStream);
    pStream = nullptr;
    EXPECT_EQ(fs::file_size(file), 0u);

    // Through a mount, relative to its base.
    CMountedPath mount(m_Root.string().c_str());
    pStream = mount.Create("/deeper/still/x.bin");
    ASSERT_TRUE(pStream);
    pStream = nullptr;
    EXPECT_TRUE(fs::is_regular_file(m_Root / "deeper" / "still" / "x.bin"));
    EXPECT_FALSE(CFileMgr::Create((m_Root / "one").string().c_str())) << "a directory is not a file";
    EXPECT_FALSE(CFileMgr::Create(""));
}

TEST_F(FileSystemTest, MountedPathOpenExistsEnumerate) {
    WriteDiskFile(m_Root / "a.txt", "alpha");
    fs::create_directories(m_Root / "sub");
    CMountedPath mount(m_Root.string().c_str());

    Strong<Stream> pStream = mount.Open("/a.txt", false);
    ASSERT_TRUE(pStream);
    EXPECT_EQ(ReadAll(pStream.Get()), "alpha");
    EXPECT_EQ(pStream->Write("x", 1), 0u) << "opened for reading only";
    pStream = mount.Open("a.txt", true);
    ASSERT_TRUE(pStream);
    EXPECT_EQ(pStream->Write("A", 1), 1u);
    pStream = nullptr;
    EXPECT_EQ(ReadDiskFile(m_Root / "a.txt"), "Alpha");
    EXPECT_FALSE(mount.Open("missing.txt", false));
    EXPECT_FALSE(mount.Open("missing.txt", true)) << "opening for writing does not create";
    EXPECT_FALSE(mount.Open("sub", false)) << "a directory is not a stream";

    struct Case { const char* path; bool asFile; bool asDirectory; } cases[] = {
        {"/a.txt", true, false}, {"sub", false, true}, {"", false, true}, {"missing", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mount.Exists(c.path, true, false), c.asFile) << c.path;
        EXPECT_EQ(mount.Exists(c.path, false, true), c.asDirectory) << c.path;
    }

    const std::string root = m_Root.string();
    using Listing = std::map<std::string, std::string>;
    EXPECT_EQ(List(mount, "/"), (Listing{{"a.txt", "file@" + root + "/"}, {"sub", "dir@" + root + "/"}}));
    EXPECT_EQ(List(mount, "missing"), Listing{});
    int calls = 0;
    EXPECT_FALSE(mount.ForEachEntry("/", [&](const CFileMgr::tDirectoryEntry&) { return ++calls, false; }));
    EXPECT_EQ(calls, 1);
}

TEST(EmbeddedArchive, ServesTheDataFilesByteForByte) {
    std::unique_ptr<CTARArchive> pArchive(LoadEmbeddedArchive());
    ASSERT_GT(pArchive->GetEntryCount(), 0u);
    EXPECT_STREQ(pArchive->GetEntry(0).m_szName, "DADIdudivare/GTAIIIEnums.h");
    ASSERT_EQ(pArchive->GetEntryCount(), std::size(kEmbeddedMembers));
    for (size_t i = 0; i < std::size(kEmbeddedMembers); ++i) {
        const char* name = kEmbeddedMembers[i];
        EXPECT_STREQ(pArchive->GetEntry(i).m_szName, name);
        Strong<Stream> pStream = pArchive->Open(name, false);
        ASSERT_TRUE(pStream) << name;
        EXPECT_EQ(ReadAll(pStream.Get()), ReadDiskFile(fs::path(EMBEDDED_DATA_DIR) / name)) << name;
    }
    EXPECT_FALSE(pArchive->Exists("/dadidudivare/gtaiiienums.h", true, true)) << "lookups are case-sensitive";
    EXPECT_FALSE(pArchive->Exists("/CMakeLists.txt", true, true));
    EXPECT_FALSE(pArchive->Exists("/include", true, true));
}

TEST_F(FileSystemTest, MountsInOrder) {
    // The executable's folder first, then the built-in archive, as at start-up.
    WriteDiskFile(m_Root / "DADIdudivare" / "GTAIIIEnums.h", "override");
    WriteDiskFile(m_Root / "commandline.txt", "say hi");
    fs::create_directories(m_Root / "vehiclecolours_vc.conf"); // a folder hiding an archive file's name
    CFileSystem files;
    files.Mount(new CMountedPath((m_Root.string() + "/").c_str()));
    files.Mount(LoadEmbeddedArchive());
    ASSERT_EQ(files.GetMountCount(), 2u);

    Strong<Stream> pStream = files.Open("/DADIdudivare/GTAIIIEnums.h", false);
    ASSERT_TRUE(pStream);
    EXPECT_EQ(ReadAll(pStream.Get()), "override");
    pStream = files.Open("vehiclecolours.conf", false); // made absolute, served by the archive
    ASSERT_TRUE(pStream);
    EXPECT_EQ(ReadAll(pStream.Get()), ReadDiskFile(fs::path(EMBEDDED_DATA_DIR) / "vehiclecolours.conf"));
    pStream = files.Open("/commandline.txt", false);
    ASSERT_TRUE(pStream);
    EXPECT_EQ(ReadAll(pStream.Get()), "say hi");
    EXPECT_FALSE(files.Open("/nothing.txt", false));

    EXPECT_TRUE(files.Exists("/DADIdudivare/GTAVCEnums.h", true, false));
    EXPECT_TRUE(files.Exists("/DADIdudivare", false, true));
    EXPECT_FALSE(files.Exists("/DADIdudivare", true, false));
    EXPECT_TRUE(files.Exists("/vehiclecolours_vc.conf", true, false)) << "the archive still has it as a file";

    // Each name once, flagged by the first mount that reports it, with the path as asked.
    using Listing = std::map<std::string, std::string>;
    EXPECT_EQ(List(files, "/"), (Listing{
                                    {"DADIdudivare", "dir@/"},
                                    {"commandline.txt", "file@/"},
                                    {"vehiclecolours.conf", "file@/"},
                                    {"vehiclecolours_iv.conf", "file@/"},
                                    {"vehiclecolours_sa.conf", "file@/"},
                                    {"vehiclecolours_vc.conf", "dir@/"},
                                }));
    EXPECT_EQ(List(files, "/DADIdudivare"), (Listing{
                                                {"GTAIIIEnums.h", "file@/DADIdudivare"},
                                                {"GTAIVEnums.h", "file@/DADIdudivare"},
                                                {"GTASAEnums.h", "file@/DADIdudivare"},
                                                {"GTAVCEnums.h", "file@/DADIdudivare"},
                                            }));
    int calls = 0;
    EXPECT_FALSE(files.ForEachEntry("/", [&](const CFileMgr::tDirectoryEntry&) { return ++calls, false; }));
    EXPECT_EQ(calls, 1);

    std::string resolved;
    ASSERT_TRUE(files.ResolvePath("/DADIdudivare/GTAIIIEnums.h", resolved));
    EXPECT_EQ(resolved, m_Root.string() + "/DADIdudivare/GTAIIIEnums.h");
    ASSERT_TRUE(files.ResolvePath("/DADIdudivare", resolved));
    EXPECT_EQ(resolved, m_Root.string() + "/DADIdudivare");
    EXPECT_FALSE(files.ResolvePath("/vehiclecolours_sa.conf", resolved)) << "only in the archive";
    EXPECT_FALSE(files.ResolvePath("/nothing", resolved));
}

TEST_F(FileSystemTest, CreatePassesOverTheArchive) {
    CFileSystem files;
    files.Mount(LoadEmbeddedArchive());
    files.Mount(new CMountedPath(m_Root.string().c_str()));
    Strong<Stream> pStream = files.Create("Documentation/Defines.xml");
    ASSERT_TRUE(pStream);
    EXPECT_EQ(pStream->Write("<x/>", 4), 4u);
    pStream = nullptr;
    EXPECT_EQ(ReadDiskFile(m_Root / "Documentation" / "Defines.xml"), "<x/>");
    // Writing never reaches an archive member, even where no disk file exists.
    EXPECT_FALSE(files.Open("/vehiclecolours.conf", true));

    CFileSystem empty;
    EXPECT_FALSE(empty.Open("/a", false));
    EXPECT_FALSE(empty.Create("/a"));
    EXPECT_FALSE(empty.Exists("/", true, true));
    EXPECT_TRUE(empty.ForEachEntry("/", [](const CFileMgr::tDirectoryEntry&) { return false; }));
}
