// The main window: start-up state, the Start button rule, image and folder
// choices with their failures, the free-space threshold and the filter modes.

#include "tests/unpacker/UnpackerFixture.h"

#include <QMimeData>
#include <QDragEnterEvent>
#include <QUrl>

#include <gtest/gtest.h>

namespace qorlu::test {
namespace {

// A drag of `paths` entering the window; true when the window accepted it.
bool DragEnters(QWidget& window, const std::vector<std::string>& paths) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    mime.setUrls(urls);
    QDragEnterEvent e(QPoint(10, 10), Qt::CopyAction | Qt::LinkAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &e);
    return e.isAccepted();
}

TEST(UnpackerWindow, StartsWithBothBoxesCheckedStartDisabledAndNothingChosen) {
    Window w;
    ASSERT_NE(w.Start(), nullptr);
    EXPECT_FALSE(w.Start()->isEnabled());
    EXPECT_TRUE(w.AdxBox()->isChecked());
    EXPECT_TRUE(w.OtherBox()->isChecked());
    EXPECT_EQ(w.EditText(res::kIdcImagePath), "");
    EXPECT_EQ(w.EditText(res::kIdcOutputDir), "");
    EXPECT_TRUE(w.dlg.acceptDrops());
    EXPECT_FALSE(w.dlg.m_dropTarget.m_bArmed);
    EXPECT_EQ(w.dlg.m_dropTarget.m_pOwner, &w.dlg);
    EXPECT_EQ(w.dlg.windowTitle().toStdString(), "qorlu_unpacker");
    ASSERT_NE(w.dlg.AboutAction(), nullptr);
    EXPECT_EQ(w.dlg.AboutAction()->text().toStdString(), "&About qorlu_unpacker...");
}

TEST(UnpackerWindow, StartIsEnabledExactlyWithImageFolderAndABox) {
    SampleImage image;
    struct Row {
        bool image, folder, adx, other;
    };
    for (int bits = 0; bits < 16; ++bits) {
        const Row r{(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
        SCOPED_TRACE(::testing::Message()
                     << "image " << r.image << " folder " << r.folder << " adx " << r.adx << " other " << r.other);
        Window w;
        // Boxes first (before any choice), then the choices, then the boxes
        // again: the rule must hold whatever the order.
        if (!r.adx) w.AdxBox()->click();
        if (!r.other) w.OtherBox()->click();
        EXPECT_FALSE(w.Start()->isEnabled());
        if (r.image) {
            ASSERT_TRUE(w.ChooseImage(image.path));
        }
        if (r.folder) {
            ASSERT_TRUE(w.ChooseFolder(image.dir / "out"));
        }
        const bool expected = r.image && r.folder && (r.adx || r.other);
        EXPECT_EQ(w.Start()->isEnabled(), expected);
        // Toggling a box off and on again comes back to the same state.
        w.AdxBox()->click();
        w.AdxBox()->click();
        EXPECT_EQ(w.Start()->isEnabled(), expected);
        EXPECT_EQ(w.AdxBox()->isChecked(), r.adx);
    }
}

TEST(UnpackerWindow, UncheckingBothBoxesDisablesStartAndEitherBoxEnablesItAgain) {
    SampleImage image;
    Window w;
    ASSERT_TRUE(w.ChooseImage(image.path));
    ASSERT_TRUE(w.ChooseFolder(image.dir / "out"));
    EXPECT_TRUE(w.Start()->isEnabled());
    w.AdxBox()->click();
    EXPECT_TRUE(w.Start()->isEnabled());
    w.OtherBox()->click();
    EXPECT_FALSE(w.Start()->isEnabled());
    w.OtherBox()->click();
    EXPECT_TRUE(w.Start()->isEnabled());
}

TEST(UnpackerWindow, ASuccessfulImageChoiceShowsThePathAndArmsTheDropTarget) {
    SampleImage image;
    Window w;
    ASSERT_TRUE(w.ChooseImage(image.path));
    EXPECT_EQ(w.dlg.m_controller.m_strImagePath, image.path);
    EXPECT_EQ(w.EditText(res::kIdcImagePath), image.path);
    EXPECT_TRUE(w.dlg.m_dropTarget.m_bArmed);
    EXPECT_EQ(w.dlg.m_dropTarget.m_pNameRecords, w.dlg.m_controller.m_archive.m_pNameRecords.get());
    EXPECT_EQ(w.dlg.m_dropTarget.m_nNameCount, image.entries.size());
    EXPECT_FALSE(w.Start()->isEnabled()) << "no folder yet";
    EXPECT_TRUE(w.owned.Texts().empty());
    EXPECT_TRUE(w.system.Texts().empty());
}

// An image choice that fails, after one that worked: path and edit empty,
// Start disabled, drags refused; the box comes from where the failure is found.
TEST(UnpackerWindow, AFailedImageChoiceEmptiesThePathDisablesStartAndRefusesDrags) {
    SampleImage good;
    // No archive record at all: the locator's own box.
    const std::string noArchive = good.dir / "other.bin";
    WriteFileBytes(noArchive, std::vector<std::uint8_t>(40 * 2352, 0));
    // Located, but the index is refused (count 0): the window's own box.
    const std::string emptyIndex = good.dir / "empty.bin";
    WriteImageWithArchive(emptyIndex, std::vector<std::uint8_t>(4096, 0), 40, CDiscImage::kExpectedArchiveSize);
    struct Row {
        std::string path;
        std::vector<std::string> systemTexts;
        std::vector<std::string> ownedTexts;
    } rows[] = {
        {noArchive, {"file not found in the ISO!\nThis is not a QORLU ISO file!"}, {}},
        {emptyIndex, {}, {"filedata.afs load error!"}},
        {good.dir / "missing.bin", {"Can not open ISO file!"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        Window w;
        ASSERT_TRUE(w.ChooseImage(good.path));
        ASSERT_TRUE(w.ChooseFolder(good.dir / "out"));
        ASSERT_TRUE(w.Start()->isEnabled());
        w.system.Clear();
        EXPECT_FALSE(w.ChooseImage(row.path));
        EXPECT_EQ(w.dlg.m_controller.m_strImagePath, "");
        EXPECT_EQ(w.EditText(res::kIdcImagePath), "");
        EXPECT_FALSE(w.Start()->isEnabled());
        EXPECT_FALSE(w.dlg.m_dropTarget.m_bArmed);
        EXPECT_EQ(w.dlg.m_dropTarget.m_pNameRecords, nullptr);
        EXPECT_FALSE(DragEnters(w.dlg, {good.dir / "TITLE.ADX"}));
        // The locator's messages are only checked for their first line; the
        // rest is its own business.
        const auto sys = w.system.Texts();
        ASSERT_EQ(sys.size(), row.systemTexts.size());
        for (std::size_t i = 0; i < sys.size(); ++i)
            EXPECT_EQ(sys[i].substr(0, row.systemTexts[i].size()), row.systemTexts[i]);
        EXPECT_EQ(w.owned.Texts(), row.ownedTexts);
        for (const Notice& n : w.owned.Notices()) {
            EXPECT_FALSE(n.systemModal);
            EXPECT_FALSE(n.title.has_value()) << "the program's name as title";
            EXPECT_EQ(n.buttons, Buttons::Ok);
        }
        // Clicking a box afterwards does not bring Start back.
        w.AdxBox()->click();
        w.AdxBox()->click();
        EXPECT_FALSE(w.Start()->isEnabled());
    }
}

TEST(UnpackerWindow, ACancelledImageDialogKeepsTheLoadedIndexPathAndButton) {
    SampleImage image;
    Window w;
    ASSERT_TRUE(w.ChooseImage(image.path));
    ASSERT_TRUE(w.ChooseFolder(image.dir / "out"));
    const AfsNameRecord* records = w.dlg.m_controller.m_archive.m_pNameRecords.get();
    w.platform.image.reset();
    w.dlg.OnSelectImage();
    EXPECT_EQ(w.platform.imageDialogs, 2);
    EXPECT_EQ(w.dlg.m_controller.m_strImagePath, image.path);
    EXPECT_EQ(w.EditText(res::kIdcImagePath), image.path);
    EXPECT_TRUE(w.Start()->isEnabled());
    EXPECT_TRUE(w.dlg.m_dropTarget.m_bArmed);
    EXPECT_EQ(w.dlg.m_controller.m_archive.m_pNameRecords.get(), records);
    EXPECT_EQ(w.dlg.m_controller.m_archive.m_nEntryCount, image.entries.size());
    EXPECT_TRUE(w.owned.Texts().empty());
    EXPECT_TRUE(w.system.Texts().empty());
}

TEST(UnpackerWindow, ACancelledFolderDialogKeepsTheFolder) {
    SampleImage image;
    Window w;
    ASSERT_TRUE(w.ChooseImage(image.path));
    ASSERT_TRUE(w.ChooseFolder(image.dir / "out"));
    w.platform.folder.reset();
    w.platform.available = 0;
    w.dlg.OnSelectOutputDir();
    EXPECT_EQ(w.dlg.m_controller.m_strOutputDir, image.dir / "out");
    EXPECT_EQ(w.EditText(res::kIdcOutputDir), image.dir / "out");
    EXPECT_TRUE(w.Start()->isEnabled());
    EXPECT_EQ(w.platform.spaceAsked.size(), 1u) << "no space test without a choice";
    EXPECT_TRUE(w.owned.Texts().empty());
}

TEST(UnpackerWindow, FreeSpaceMustBeMoreThan550000000Bytes) {
    SampleImage image;
    struct Row {
        std::optional<std::uint64_t> available;
        bool accepted;
    } rows[] = {
        {550000000, false}, {550000001, true},  {std::nullopt, false},
        {0, false},         {549999999, false}, {UINT64_MAX, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.available ? std::to_string(*row.available) : "unknown");
        Window w;
        ASSERT_TRUE(w.ChooseImage(image.path));
        // A folder that passed before: a refused choice must clear it.
        ASSERT_TRUE(w.ChooseFolder(image.dir / "before"));
        ASSERT_TRUE(w.Start()->isEnabled());
        w.platform.available = row.available;
        const std::string folder = image.dir / "chosen";
        EXPECT_EQ(w.ChooseFolder(folder), row.accepted);
        EXPECT_EQ(w.platform.spaceAsked.back(), folder);
        EXPECT_EQ(w.Start()->isEnabled(), row.accepted);
        EXPECT_EQ(w.dlg.m_controller.m_strOutputDir, row.accepted ? folder : "");
        EXPECT_EQ(w.EditText(res::kIdcOutputDir), row.accepted ? folder : "");
        if (row.accepted) {
            EXPECT_TRUE(w.owned.Texts().empty());
        } else {
            ASSERT_EQ(w.owned.Notices().size(), 1u);
            const Notice n = w.owned.Notices()[0];
            EXPECT_EQ(n.text, "Free space on disk not enough!");
            EXPECT_FALSE(n.systemModal);
            EXPECT_FALSE(n.title.has_value());
            EXPECT_EQ(n.icon, Icon::None);
        }
    }
}

TEST(UnpackerWindow, TheFilterModeFollowsTheBoxes) {
    struct Row {
        bool adx, other;
        std::int32_t mode;
    } rows[] = {{true, true, 2}, {true, false, 0}, {false, true, 1}};
    for (const Row& row : rows) {
        Window w;
        if (!row.adx) w.AdxBox()->click();
        if (!row.other) w.OtherBox()->click();
        EXPECT_EQ(w.dlg.FilterModeFromBoxes(), row.mode) << row.adx << row.other;
    }
}

TEST(SystemPlatform, TheWindowsOwnDialogsAreOwnedByIt) {
    MessageRecorder system;
    unpacker::CUnpackerDlg dlg(&system);
    ASSERT_NE(dlg.SystemPlatform(), nullptr);
    EXPECT_EQ(dlg.SystemPlatform()->Owner(), &dlg);
    FakePlatform fake;
    unpacker::CUnpackerDlg faked(&system, &fake);
    EXPECT_EQ(faked.SystemPlatform(), nullptr);
}

TEST(SystemPlatform, AvailableBytesOfAFolderAndOfAPathThatDoesNotExist) {
    TempDir dir;
    unpacker::CSystemPlatform platform;
    const auto here = platform.AvailableBytes(dir.Path().string());
    ASSERT_TRUE(here.has_value());
    EXPECT_EQ(*here, std::filesystem::space(dir.Path()).available);
    EXPECT_FALSE(platform.AvailableBytes(dir / "no/such/folder").has_value());
}

} // namespace
} // namespace qorlu::test
