// Through the window: an extraction into the image's own folder never
// writes over the image, a damaged entry gets no file, and choosing an
// image undoes an import that was cut off.

#include "disc/ImageJournal.h"
#include "format/ByteOrder.h"
#include "tests/unpacker/UnpackerFixture.h"

#include <gtest/gtest.h>

namespace qorlu::test {
namespace {

using tools::PatternBytes;

TEST(ExtractSafety, BesideTheImageWithAnEntryOfItsNameAndADamagedSize) {
    TempDir dir;
    const std::string bin = dir / "game disc.bin";
    const std::vector<tools::AfsBuildEntry> entries = {{"FIRST.BIN", PatternBytes(3000, 1), 0},
                                                       {"game disc.bin", PatternBytes(4000, 2), 0},
                                                       {"DATA/HURT.BIN", PatternBytes(5000, 3), 0},
                                                       {"LAST.BIN", PatternBytes(100, 4), 0}};
    auto afs = tools::BuildAfs(entries);
    WriteLE32(&afs.bytes[8 + 8 * 2 + 4], 0xFFFFFFF0u); // entry 2's size: near 4 GiB
    WriteImageWithArchive(bin, afs.bytes, 40, CDiscImage::kExpectedArchiveSize);
    const auto image = ReadFileBytes(bin);

    Window w;
    w.dlg.show();
    ASSERT_TRUE(w.ChooseImage(bin));
    ASSERT_TRUE(w.ChooseFolder(dir.Path().string()));
    w.Start()->click();
    ASSERT_TRUE(w.dlg.m_progressDlg.IsOpen());
    ASSERT_TRUE(ProcessUntil([&] { return !w.dlg.m_progressDlg.IsOpen(); }));

    EXPECT_EQ(ReadFileBytes(bin), image) << "the image is byte-identical";
    EXPECT_EQ(ReadFileBytes(dir / "FIRST.BIN"), entries[0].data);
    EXPECT_EQ(ReadFileBytes(dir / "LAST.BIN"), entries[3].data);
    EXPECT_FALSE(std::filesystem::exists(dir.Path() / "DATA" / "HURT.BIN"));
    EXPECT_EQ(w.system.Texts(), (std::vector<std::string>{
                                    "Extract complete!", "2 entries could not be written. The first:\ngame disc.bin"}));
    EXPECT_TRUE(w.dlg.isVisible());
}

TEST(ExtractSafety, ChoosingAnImageUndoesAnInterruptedImportOnce) {
    SampleImage sample;
    const auto before = ReadFileBytes(sample.path);
    auto halfWritten = before;
    std::fill_n(halfWritten.begin() + 41 * 2352 + 24, 2048, std::uint8_t{0xEE});
    {
        SectorPlan plan;
        plan.rawSectorSize = 2352;
        plan.sectors = {41};
        plan.before.assign(before.begin() + 41 * 2352, before.begin() + 42 * 2352);
        plan.after.assign(halfWritten.begin() + 41 * 2352, halfWritten.begin() + 42 * 2352);
        CImageJournal journal(JournalPathFor(sample.path), before.size(), *IdentityOf(sample.path));
        ASSERT_TRUE(journal.Write(plan));
    }
    WriteFileBytes(sample.path, halfWritten);

    Window w;
    w.dlg.show();
    ASSERT_TRUE(w.ChooseImage(sample.path));
    EXPECT_EQ(w.system.Texts(), std::vector<std::string>{"An interrupted import was undone: " + sample.path});
    EXPECT_EQ(ReadFileBytes(sample.path), before);
    EXPECT_FALSE(std::filesystem::exists(JournalPathFor(sample.path)));
    EXPECT_EQ(w.dlg.m_controller.m_archive.m_nEntryCount, sample.entries.size());
}

} // namespace
} // namespace qorlu::test
