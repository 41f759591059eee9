// Writes that fail: a bitmap that cannot be written completely, a container
// that cannot be written in place, and one that cannot be opened for
// writing. The file size limit makes the system refuse writes past a given
// offset; an unprivileged child process meets a container it may read but
// not write.

#include "format/ByteReader.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/texture/TextureFixtures.h"
#include "texture/TextureExport.h"
#include "texture/TextureImport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qorlu::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

// Runs `operation` where `readOnlyFile` may be read but not written, and
// returns the messages it showed. Root writes read-only files, so as root
// the operation runs in a child process that has given up its rights.
Texts WithoutWriteAccess(const std::filesystem::path& folder, const std::string& readOnlyFile,
                         const std::function<void(IMessageSink&)>& operation) {
    namespace fs = std::filesystem;
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    fs::permissions(readOnlyFile, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (geteuid() != 0) {
        MessageRecorder rec;
        operation(rec);
        return rec.Texts();
    }
    int fds[2];
    if (pipe(fds) != 0) return {"pipe failed"};
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        const gid_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(3);
        MessageRecorder rec;
        operation(rec);
        std::string all;
        for (const auto& t : rec.Texts()) all += t + '\0';
        const bool wrote = write(fds[1], all.data(), all.size()) == static_cast<ssize_t>(all.size());
        _exit(wrote ? 0 : 4);
    }
    close(fds[1]);
    std::string all;
    char buffer[256];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) all.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return {"child failed"};
    Texts texts;
    for (std::size_t start = 0, end; (end = all.find('\0', start)) != std::string::npos; start = end + 1) {
        texts.push_back(all.substr(start, end - start));
    }
    return texts;
}

class WriteFailure : public TextureFileTest {};

TEST_F(WriteFailure, CutOffBitmapIsReportedAndRemoved) {
    Bytes c;
    AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2}); // bitmap of 126 bytes
    AppendBlock(c, {.depthCode = 4, .width = 8, .height = 8}); // bitmap of 1142 bytes
    AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2});
    const std::string path = Put("F.BIN", c);
    const Bytes sheet = BuildSheet({.count = 2, .width = 4, .height = 4}); // bitmaps of 1094 bytes
    const std::string sheetPath = Put("F.FLG", sheet);
    {
        FileSizeLimit limit(1000);
        ASSERT_TRUE(limit.Ok());
        ExportTextures(rec, path);
        ExportTextures(rec, sheetPath);
    }
    EXPECT_EQ(rec.Texts(),
              (Texts{"can not write file\n" + path + "_001.bmp", "can not write file\n" + sheetPath + "_000.bmp"}));
    EXPECT_EQ(ReadFileBytes(path + "_000.bmp").size(), 126u);
    EXPECT_FALSE(Exists(path + "_001.bmp"));
    EXPECT_FALSE(Exists(path + "_002.bmp"));
    EXPECT_FALSE(Exists(sheetPath + "_000.bmp"));
    EXPECT_FALSE(Exists(sheetPath + "_001.bmp"));
}

TEST_F(WriteFailure, FailedWriteIntoTheContainerIsReportedInsteadOfOk) {
    Bytes c;
    AppendFiller(c, 4096);
    AppendBlock(c, {.depthCode = 4, .width = 4, .height = 4});
    const std::string path = Put("G.BIN", c);
    WriteFileBytes(path + "_000.bmp", Bytes(1078 + 16, 0x33));

    const Bytes sheet = BuildSheet({.count = 1, .width = 4, .height = 4});
    // The same sheet moved up by 4096 bytes, behind a copy of its header and
    // table whose entry points at image 0 beyond 4096.
    const auto image0 = CByteReader(sheet).LE32(20);
    ASSERT_TRUE(image0);
    Bytes bigSheet(4096 + sheet.size(), 0);
    std::copy(sheet.begin(), sheet.end(), bigSheet.begin() + 4096);
    std::copy(sheet.begin(), sheet.begin() + 28, bigSheet.begin());
    WriteLE32(&bigSheet[20], *image0 + 4096);
    const std::string sheetPath = Put("G.FLG", bigSheet);
    WriteFileBytes(sheetPath + "_000.bmp", Bytes(1078 + 16, 0x33));
    {
        FileSizeLimit limit(2048);
        ASSERT_TRUE(limit.Ok());
        ImportTexture(rec, path + "_000.bmp");
        ImportTexture(rec, sheetPath + "_000.bmp");
    }
    EXPECT_EQ(rec.Texts(), (Texts{"can not write file\n" + path, "can not write file\n" + sheetPath}));
    EXPECT_EQ(ReadFileBytes(path), c);
    EXPECT_EQ(ReadFileBytes(sheetPath), bigSheet);
}

TEST_F(WriteFailure, ContainerThatCannotBeOpenedForWriting) {
    Bytes c;
    AppendBlock(c, {.depthCode = 4, .width = 4, .height = 4});
    const std::string path = Put("H.BIN", c);
    WriteFileBytes(path + "_000.bmp", Bytes(1078 + 16, 0x44));
    const Bytes sheet = BuildSheet({.count = 1, .width = 4, .height = 4});
    const std::string sheetPath = Put("H.FLG", sheet);
    WriteFileBytes(sheetPath + "_000.bmp", Bytes(1078 + 16, 0x44));

    EXPECT_EQ(WithoutWriteAccess(dir.Path(), path, [&](IMessageSink& s) { ImportTexture(s, path + "_000.bmp"); }),
              Texts{"can not write original texture file!"});
    EXPECT_EQ(
        WithoutWriteAccess(dir.Path(), sheetPath, [&](IMessageSink& s) { ImportTexture(s, sheetPath + "_000.bmp"); }),
        Texts{"can not write original texture file!"});
    EXPECT_EQ(ReadFileBytes(path), c);
    EXPECT_EQ(ReadFileBytes(sheetPath), sheet);
}

} // namespace
} // namespace qorlu::test
