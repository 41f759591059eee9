// The converter window, offscreen: drops on its two zones start the export
// and the import through posted messages, with the exact messages.

#include "resources/BitmapperResources.h"
#include "ui/qt/ControlId.h"
#include "ui/qt/PrivateMessage.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tests/texture/TextureFixtures.h"
#include "texture/qt/BitmapperDlg.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

class BitmapperWindow : public ::testing::Test {
protected:
    TempDir dir;
    MessageRecorder rec;
    CBitmapperDlg dlg;

    BitmapperWindow() { dlg.SetMessageSink(&rec); }

    std::string Put(const std::string& name, const Bytes& bytes) {
        const std::string path = dir / name;
        WriteFileBytes(path, bytes);
        return path;
    }
    // A drop as the platform delivers it, then the posted message handled.
    void Drop(gui::CDropStatic& zone, const QStringList& paths) {
        zone.OnDropFiles(paths);
        QCoreApplication::processEvents();
    }
    static QString Q(const std::string& s) { return QString::fromStdString(s); }
};

TEST_F(BitmapperWindow, ZonesAreBoundAndWired) {
    EXPECT_EQ(dlg.windowTitle(), "qorlu_bitmapper");
    EXPECT_EQ(&dlg.m_exportZone, gui::FindControl(&dlg, 1000));
    EXPECT_EQ(&dlg.m_importZone, gui::FindControl(&dlg, 1001));
    EXPECT_EQ(dlg.m_exportZone.text(), "Texture ==> Bitmap\n\ndrag and drop texture file here");
    EXPECT_EQ(dlg.m_importZone.text(), "Bitmap==>Texture\n\ndrag and drop bitmap file here");
    EXPECT_EQ(dlg.m_exportZone.m_pOwner, &dlg);
    EXPECT_EQ(dlg.m_exportZone.m_nMessage, 2024u);
    EXPECT_EQ(dlg.m_importZone.m_pOwner, &dlg);
    EXPECT_EQ(dlg.m_importZone.m_nMessage, 2025u);
    EXPECT_TRUE(dlg.m_exportZone.acceptDrops());
    EXPECT_TRUE(dlg.m_importZone.acceptDrops());
    EXPECT_FALSE(dlg.m_hIcon.isNull());
    EXPECT_TRUE(dlg.m_exportZone.m_strPath.empty());
}

// The "done" run: a container (8- and 4-bit textures, a skipped header,
// filler) and a flag sheet go out and back through the two zones.
TEST_F(BitmapperWindow, ContainerAndSheetGoOutAndBackThroughTheZones) {
    Bytes c;
    AppendFiller(c, 64);
    AppendBlock(c, {.depthCode = 4, .width = 12, .height = 5, .seed = 5});
    AppendFiller(c, 16);
    AppendHeaderOnly(c, {.presenceA = 0});
    const std::size_t four = AppendBlock(c, {.depthCode = 9, .width = 8, .height = 4, .seed = 6});
    AppendFiller(c, 7);
    const std::string container = Put("LEVEL.BIN", c);
    std::vector<std::size_t> images;
    const Bytes sheet = BuildSheet({.count = 2, .width = 9, .height = 4}, &images);
    const std::string sheetPath = Put("FLAGS.FLG", sheet);

    dlg.m_exportZone.OnDropFiles({Q(container)});
    EXPECT_TRUE(rec.Texts().empty()) << "the drop posts; the export runs later";
    QCoreApplication::processEvents();
    Drop(dlg.m_exportZone, {Q(sheetPath)});
    EXPECT_EQ(rec.Texts(), (Texts{"OK!", "OK!"}));
    for (const std::string& bmp :
         {container + "_000.bmp", container + "_001.bmp", sheetPath + "_000.bmp", sheetPath + "_001.bmp"}) {
        EXPECT_TRUE(std::filesystem::exists(bmp)) << bmp;
    }
    EXPECT_FALSE(std::filesystem::exists(container + "_002.bmp"));

    rec.Clear();
    for (const std::string& bmp :
         {container + "_000.bmp", container + "_001.bmp", sheetPath + "_000.bmp", sheetPath + "_001.bmp"}) {
        Drop(dlg.m_importZone, {Q(bmp)});
    }
    EXPECT_EQ(rec.Texts(), Texts(4, "OK!"));
    EXPECT_EQ(ReadFileBytes(container), c);
    EXPECT_EQ(ReadFileBytes(sheetPath), sheet);

    // One edited pixel in each: the top row is the bitmap's last row.
    Bytes bmp = ReadFileBytes(container + "_001.bmp");
    bmp[118 + 3 * 4 + 0] = 0x9F;
    WriteFileBytes(container + "_001.bmp", bmp);
    Bytes sheetBmp = ReadFileBytes(sheetPath + "_000.bmp");
    sheetBmp[1078 + 3 * 12 + 8] = 0x42;
    WriteFileBytes(sheetPath + "_000.bmp", sheetBmp);
    rec.Clear();
    Drop(dlg.m_importZone, {Q(container + "_001.bmp")});
    Drop(dlg.m_importZone, {Q(sheetPath + "_000.bmp")});
    EXPECT_EQ(rec.Texts(), (Texts{"OK!", "OK!"}));
    Bytes expected = c;
    expected[four + 128] = 0xF9;
    EXPECT_EQ(ReadFileBytes(container), expected);
    Bytes expectedSheet = sheet;
    expectedSheet[images[0] + 8] = 0x42;
    EXPECT_EQ(ReadFileBytes(sheetPath), expectedSheet);
}

TEST_F(BitmapperWindow, EachZoneDoesOnlyItsOwnWork) {
    Bytes c;
    AppendBlock(c, {.depthCode = 4, .width = 4, .height = 4});
    const std::string container = Put("T.BIN", c);
    // A container on the import zone is not a bitmap, and nothing is exported.
    Drop(dlg.m_importZone, {Q(container)});
    EXPECT_EQ(rec.Texts(), Texts{"not a bitmap file!"});
    EXPECT_FALSE(std::filesystem::exists(container + "_000.bmp"));

    // A bitmap on the export zone is scanned as a container, never imported.
    const std::string bmp = Put("T.BIN_000.bmp", Bytes(1078 + 16, 0x66));
    rec.Clear();
    Drop(dlg.m_exportZone, {Q(bmp)});
    EXPECT_EQ(rec.Texts(), Texts{"This is not a texture file?"});
    EXPECT_EQ(ReadFileBytes(container), c);
}

TEST_F(BitmapperWindow, SeveralFilesAtOnceHandleOnlyTheFirst) {
    Bytes c;
    AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2});
    const std::string first = Put("ONE.BIN", c);
    const std::string second = Put("TWO.BIN", c);
    Drop(dlg.m_exportZone, {Q(first), Q(second)});
    EXPECT_EQ(rec.Texts(), Texts{"OK!"});
    EXPECT_TRUE(std::filesystem::exists(first + "_000.bmp"));
    EXPECT_FALSE(std::filesystem::exists(second + "_000.bmp"));
}

TEST_F(BitmapperWindow, DropEventFromThePlatformReachesTheExport) {
    Bytes c;
    AppendBlock(c, {.depthCode = 0, .width = 8, .height = 2});
    const std::string path = Put("DRAG.BIN", c);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Q(path))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dlg.m_exportZone, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dlg.m_exportZone, &drop);
    QCoreApplication::processEvents();
    EXPECT_EQ(rec.Texts(), Texts{"OK!"});
    EXPECT_TRUE(std::filesystem::exists(path + "_000.bmp"));
}

} // namespace
} // namespace qorlu::test
