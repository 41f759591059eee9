// The packer window, offscreen: drops on its two zones export and import
// through the posted messages; the zone, not the file, decides which.

#include "packer/BlockExport.h"
#include "packer/qt/PackerDlg.h"
#include "ui/qt/ControlId.h"
#include "tests/packer/BlockFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>

namespace qorlu::test {
namespace {

namespace fs = std::filesystem;
using Texts = std::vector<std::string>;

QString Q(const std::string& s) { return QString::fromStdString(s); }

class PackerWindow : public ::testing::Test {
protected:
    PackerWindow() { m_dlg.SetMessageSink(&m_rec); }

    // A drop as the platform hands it to the zone, then the posted message.
    Texts Drop(gui::CDropStatic& zone, const QStringList& paths) {
        m_rec.Clear();
        zone.OnDropFiles(paths);
        QCoreApplication::processEvents();
        return m_rec.Texts();
    }

    TempDir m_dir;
    MessageRecorder m_rec;
    CPackerDlg m_dlg;
};

TEST_F(PackerWindow, ZonesAreBoundToTheirControlsAndWired) {
    EXPECT_EQ(m_dlg.windowTitle(), "qorlu_packer");
    EXPECT_EQ(&m_dlg.m_exportZone, gui::FindControl(&m_dlg, 1002));
    EXPECT_EQ(&m_dlg.m_importZone, gui::FindControl(&m_dlg, 1003));
    EXPECT_EQ(m_dlg.m_exportZone.text(), "Export\n\ndrag and drop compressed file here");
    EXPECT_EQ(m_dlg.m_importZone.text(), "Import\n\ndrag and drop exported file here");
    EXPECT_LT(m_dlg.m_exportZone.geometry().bottom(), m_dlg.m_importZone.geometry().top());
    EXPECT_EQ(m_dlg.m_exportZone.m_pOwner, &m_dlg);
    EXPECT_EQ(m_dlg.m_exportZone.m_nMessage, 2024u);
    EXPECT_EQ(m_dlg.m_importZone.m_pOwner, &m_dlg);
    EXPECT_EQ(m_dlg.m_importZone.m_nMessage, 2025u);
    EXPECT_TRUE(m_dlg.m_exportZone.acceptDrops());
    EXPECT_TRUE(m_dlg.m_importZone.acceptDrops());
    EXPECT_FALSE(m_dlg.acceptDrops());
    EXPECT_TRUE(m_dlg.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(m_dlg.m_hIcon.isNull());
}

// A multi-block container with an index goes out, comes back with one block
// larger and one smaller, and goes out again, all through the zones.
TEST_F(PackerWindow, ContainerGoesOutAndBackThroughTheZones) {
    FixtureContainer plan;
    plan.layout = 0;
    plan.extraEntry = true;
    plan.trailer = BytesOf("data after the last block");
    for (std::uint32_t k = 0; k < 4; ++k) plan.blocks.push_back({SampleText(3000 + 2000 * k, 70 + k), {}, {}, 0, true});
    const std::string container = m_dir / "STAGE.DAT";
    WriteFileBytes(container, BuildIndexedContainer(plan).bytes);

    EXPECT_EQ(Drop(m_dlg.m_exportZone, {Q(container)}), Texts{"OK!"});
    EXPECT_EQ(m_dlg.m_exportZone.m_strPath, container);
    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(ReadFileBytes(NumberedBlockName(container, k)), plan.blocks[k].data);

    plan.blocks[0].data = NoiseBytes(7000, 3);
    plan.blocks[2].data = BytesOf("tiny");
    WriteFileBytes(NumberedBlockName(container, 0), plan.blocks[0].data);
    WriteFileBytes(NumberedBlockName(container, 2), plan.blocks[2].data);
    EXPECT_EQ(Drop(m_dlg.m_importZone, {Q(NumberedBlockName(container, 2))}), Texts{"OK!"});
    EXPECT_EQ(Drop(m_dlg.m_importZone, {Q(NumberedBlockName(container, 0))}), Texts{"OK!"});
    EXPECT_EQ(m_dlg.m_importZone.m_strPath, NumberedBlockName(container, 0));
    // The index and every later block where the rules put them.
    EXPECT_EQ(ReadFileBytes(container), BuildIndexedContainer(plan).bytes);

    for (std::size_t k = 0; k < 4; ++k) fs::remove(NumberedBlockName(container, k));
    EXPECT_EQ(Drop(m_dlg.m_exportZone, {Q(container)}), Texts{"OK!"});
    for (std::size_t k = 0; k < 4; ++k) EXPECT_EQ(ReadFileBytes(NumberedBlockName(container, k)), plan.blocks[k].data);

    for (const auto& n : m_rec.Notices()) {
        EXPECT_FALSE(n.title.has_value()); // the program's name
        EXPECT_FALSE(n.systemModal);       // owned by the window
    }
}

TEST_F(PackerWindow, TheZoneDecidesNotTheFile) {
    const std::string container = m_dir / "ONE.DAT";
    const auto built = BuildSingleBlockContainer({SampleText(2000, 1)}, 32, {});
    WriteFileBytes(container, built.bytes);
    // A container on the import zone is not an exported file.
    EXPECT_EQ(Drop(m_dlg.m_importZone, {Q(container)}), Texts{"not a extracted file!"});
    EXPECT_FALSE(fs::exists(NumberedBlockName(container, 0)));
    // An exported file on the export zone is exported, not imported.
    const std::string exported = NumberedBlockName(container, 0);
    WriteFileBytes(exported, SampleText(500, 2));
    EXPECT_EQ(Drop(m_dlg.m_exportZone, {Q(exported)}), Texts{"this is not a zlib compressed file."});
    EXPECT_EQ(ReadFileBytes(container), built.bytes);
}

TEST_F(PackerWindow, OnlyTheFirstOfSeveralFilesIsHandled) {
    const std::string first = m_dir / "A.DAT";
    const std::string second = m_dir / "B.DAT";
    WriteFileBytes(first, BuildSingleBlockContainer({SampleText(900, 3)}, 16, {}).bytes);
    WriteFileBytes(second, BuildSingleBlockContainer({SampleText(900, 4)}, 16, {}).bytes);
    EXPECT_EQ(Drop(m_dlg.m_exportZone, {Q(first), Q(second)}), Texts{"OK!"});
    EXPECT_TRUE(fs::exists(NumberedBlockName(first, 0)));
    EXPECT_FALSE(fs::exists(NumberedBlockName(second, 0)));
}

TEST_F(PackerWindow, WorkStartsOnlyWhenThePostedMessageIsHandled) {
    const std::string container = m_dir / "C.DAT";
    WriteFileBytes(container, BuildSingleBlockContainer({SampleText(900, 5)}, 16, {}).bytes);
    m_dlg.m_exportZone.OnDropFiles({Q(container)});
    EXPECT_TRUE(m_rec.Texts().empty());
    EXPECT_FALSE(fs::exists(NumberedBlockName(container, 0)));
    QCoreApplication::processEvents();
    EXPECT_EQ(m_rec.Texts(), Texts{"OK!"});
}

// A drop event as Qt delivers it from the desktop, on a zone and on the
// window beside the zones.
TEST_F(PackerWindow, DesktopDropEvents) {
    const std::string container = m_dir / "D.DAT";
    WriteFileBytes(container, BuildSingleBlockContainer({SampleText(900, 6)}, 16, {}).bytes);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(Q(container))});

    QDragEnterEvent enterOutside(QPoint(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_dlg, &enterOutside);
    EXPECT_FALSE(enterOutside.isAccepted());
    QDropEvent outside(QPointF(2, 2), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_dlg, &outside);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_rec.Texts().empty());
    EXPECT_FALSE(fs::exists(NumberedBlockName(container, 0)));

    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_dlg.m_exportZone, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent onZone(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&m_dlg.m_exportZone, &onZone);
    QCoreApplication::processEvents();
    EXPECT_EQ(m_rec.Texts(), Texts{"OK!"});
    EXPECT_TRUE(fs::exists(NumberedBlockName(container, 0)));
}

} // namespace
} // namespace qorlu::test
