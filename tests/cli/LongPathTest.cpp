// Images and folders more than 300 characters deep: an extraction, an
// import and the undo of an interrupted import's journal, with the names
// given as full paths (to the program) and as short names relative to a
// current folder that deep (in this process: no program starts in such a
// folder under Wine). Each must leave what the same steps leave in a
// shallow folder.

#include "cli/Commands.h"
#include "disc/ImageJournal.h"
#include "io/FileLayer.h"
#include "base/Text.h"
#include "tests/support/RunCommand.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

namespace qorlu {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::RunProgram;
using test::TempDir;
using test::WriteFileBytes;

const std::string kQorlu = QORLU_CLI_PATH;

// The name the test's own std::filesystem calls get: on Windows the long
// form, which they need past 260 characters.
fs::path Long(const fs::path& p) {
#ifdef _WIN32
    return fs::path(L"\\\\?\\" + fs::absolute(p).lexically_normal().wstring());
#else
    return p;
#endif
}

std::string Sep(std::string s) {
    for (char& c : s)
        if (c == '/') c = kPathSeparator;
    return s;
}

// Seven folders of 45 characters below the temporary folder.
fs::path DeepFolder(const TempDir& dir) {
    fs::path deep = dir.Path();
    for (int i = 0; i < 7; ++i) deep /= "folder" + std::to_string(i) + std::string(38, 'x');
    fs::create_directories(Long(deep));
    return deep;
}

// Relative path -> bytes of every file below the shallow folder `root`.
std::map<std::string, std::vector<std::uint8_t>> Files(const fs::path& root) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[e.path().lexically_relative(root).generic_string()] = ReadFileBytes(e.path());
    return files;
}

// The same files below the deep folder `root`, each read by its name (the
// long form is no root that std::filesystem walks reliably).
std::map<std::string, std::vector<std::uint8_t>>
SameNamesBelow(const fs::path& root, const std::map<std::string, std::vector<std::uint8_t>>& like) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& [name, bytes] : like) {
        const fs::path file = Long(root / Sep(name));
        if (fs::exists(file)) files[name] = ReadFileBytes(file);
    }
    return files;
}

// The current folder for as long as it lives.
class InFolder {
public:
    explicit InFolder(const fs::path& folder) : m_before(fs::current_path()) { fs::current_path(Long(folder)); }
    ~InFolder() { fs::current_path(m_before); }

private:
    fs::path m_before;
};

struct Extracted {
    std::map<std::string, std::vector<std::uint8_t>> files;
    std::vector<std::uint8_t> imageAfterImport;
};

// The sample extracted in a shallow folder, and the image after the import
// of its font container with one byte turned over.
Extracted Reference(const TempDir& dir) {
    const std::string image = dir / "shallow.bin";
    fs::copy_file(QORLU_SAMPLE_IMAGE, image);
    const auto extract = RunProgram(kQorlu, {"extract", image, dir / "shallow"});
    EXPECT_EQ(extract.exitCode, 0) << extract.err;
    Extracted r{Files(dir.Path() / "shallow"), {}};
    const std::string font = Sep(dir / "shallow/TEXTURE/FONT.TEX");
    auto bytes = ReadFileBytes(font);
    bytes.back() ^= 0xFF;
    WriteFileBytes(font, bytes);
    const auto import = RunProgram(kQorlu, {"import", image, font, "--yes"});
    EXPECT_EQ(import.exitCode, 0) << import.err;
    r.imageAfterImport = ReadFileBytes(image);
    return r;
}

TEST(LongPaths, ExtractAndImportBelowAFolderMoreThan300CharactersDeep) {
    TempDir dir;
    const Extracted expected = Reference(dir);
    ASSERT_FALSE(expected.files.empty());
    const fs::path deep = DeepFolder(dir);
    ASSERT_GT(deep.string().size(), 300u);
    struct Row {
        const char* name;
        bool relative;
    } rows[] = {{"full paths", false}, {"names relative to a deep current folder", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path here = deep / (row.relative ? "relative" : "absolute");
        fs::create_directory(Long(here));
        fs::copy_file(QORLU_SAMPLE_IMAGE, Long(here / "sample.bin"));
        const std::string font = Sep("out/TEXTURE/FONT.TEX");
        if (row.relative) {
            const InFolder in(here);
            EXPECT_EQ(cli::RunExtract({"sample.bin", "out"}), 0);
            auto bytes = ReadFileBytes(Long(here / font));
            bytes.back() ^= 0xFF;
            WriteFileBytes(Long(here / font), bytes);
            EXPECT_EQ(cli::RunImport({"sample.bin", font, "--yes"}), 0);
        } else {
            const std::string image = (here / "sample.bin").string();
            const auto extract = RunProgram(kQorlu, {"extract", image, (here / "out").string()});
            EXPECT_EQ(extract.exitCode, 0) << extract.err;
            auto bytes = ReadFileBytes(Long(here / font));
            bytes.back() ^= 0xFF;
            WriteFileBytes(Long(here / font), bytes);
            const auto import = RunProgram(kQorlu, {"import", image, (here / font).string(), "--yes"});
            EXPECT_EQ(import.exitCode, 0) << import.err;
            EXPECT_NE(import.out.find("file import OK!"), std::string::npos) << import.out;
        }
        auto shallow = expected.files;
        auto files = SameNamesBelow(here / "out", shallow);
        // The font container differs by the byte turned over for the import.
        files.erase("TEXTURE/FONT.TEX");
        shallow.erase("TEXTURE/FONT.TEX");
        EXPECT_EQ(files, shallow);
        EXPECT_TRUE(ReadFileBytes(Long(here / "sample.bin")) == expected.imageAfterImport)
            << "the image differs from the one imported into in a shallow folder";
    }
}

TEST(LongPaths, AnInterruptedImportsJournalThatDeepIsUndoneByTheNextOpen) {
    TempDir dir;
    const fs::path deep = DeepFolder(dir);
    struct Row {
        const char* name;
        bool relative;
    } rows[] = {{"full path", false}, {"name relative to a deep current folder", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path image = deep / (std::string(row.relative ? "relative" : "absolute") + ".bin");
        fs::copy_file(QORLU_SAMPLE_IMAGE, Long(image));
        const auto original = ReadFileBytes(Long(image));
        // An import of sector 20 cut off after its write: the journal holds
        // the old bytes, the image the new ones.
        SectorPlan plan;
        plan.rawSectorSize = 2352;
        plan.sectors = {20};
        plan.before.assign(original.begin() + 20 * 2352, original.begin() + 21 * 2352);
        plan.after = plan.before;
        for (auto& b : plan.after) b ^= 0x5A;
        const std::string journal = JournalPathFor(image.string());
        const auto identity = IdentityOf(image.string());
        ASSERT_TRUE(identity);
        ASSERT_TRUE(CImageJournal(journal, original.size(), *identity).Write(plan));
        auto cut = original;
        std::copy(plan.after.begin(), plan.after.end(), cut.begin() + 20 * 2352);
        WriteFileBytes(Long(image), cut);
        ASSERT_EQ(IdentityOf(image.string()), identity) << "the image must stay the same file";

        if (row.relative) {
            const InFolder in(deep);
            EXPECT_EQ(cli::RunList({image.filename().string()}), 0);
        } else {
            const auto list = RunProgram(kQorlu, {"list", image.string()});
            EXPECT_EQ(list.exitCode, 0) << list.err;
            EXPECT_NE(list.err.find("An interrupted import was undone: " + image.string()), std::string::npos)
                << list.err;
        }
        EXPECT_TRUE(ReadFileBytes(Long(image)) == original) << "the old sector is not back";
        EXPECT_FALSE(fs::exists(Long(journal))) << "the journal is left";
    }
}

} // namespace
} // namespace qorlu
