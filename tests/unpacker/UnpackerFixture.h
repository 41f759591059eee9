#pragma once
// What the unpacker window tests share: a scripted platform (dialogs and
// free space), a disc image holding a small archive, the main window wired
// to message recorders, and a wait that keeps the event loop running.

#include "archive/AfsArchive.h"
#include "resources/UnpackerResources.h"
#include "base/Text.h"
#include "ui/qt/ControlId.h"
#include "tests/support/DiscFixture.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/TempDir.h"
#include "tools/AfsBuilder.h"
#include "unpacker/qt/UnpackerDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qorlu::test {

namespace res = qorlu::resources::unpacker;

// Answers the dialogs from a script: a value is the user's choice, nullopt Cancel.
class FakePlatform final : public unpacker::IUnpackerPlatform {
public:
    std::optional<std::string> image;
    std::optional<std::string> folder;
    std::optional<std::uint64_t> available = std::uint64_t{1} << 40;

    int imageDialogs = 0;
    int folderDialogs = 0;
    std::vector<std::string> spaceAsked;
    // The folder each dialog was opened in, in order.
    std::vector<std::string> imageStarts;
    std::vector<std::string> folderStarts;

    bool BrowseImageFile(const std::string& start, std::string& path) override {
        ++imageDialogs;
        imageStarts.push_back(start);
        if (!image) return false;
        path = *image;
        return true;
    }
    bool BrowseFolder(const std::string& start, std::string& out) override {
        ++folderDialogs;
        folderStarts.push_back(start);
        if (!folder) return false;
        out = *folder;
        return true;
    }
    std::optional<std::uint64_t> AvailableBytes(const std::string& f) override {
        spaceAsked.push_back(f);
        return available;
    }
    std::string HomeFolder() override { return unpacker::HomeFolder(); }
};

// Turns "\\" into the platform's separator.
inline std::string Native(std::string s) {
    for (char& c : s)
        if (c == '\\') c = kPathSeparator;
    return s;
}

// The archive of the tests. Names pick out the matching rules: two entries
// named CLICK.ADX and two named README.TXT in different folders (the lower
// index must win), a root entry, a name of exactly 32 bytes, ".adx" in
// either case.
inline std::vector<tools::AfsBuildEntry> SampleEntries() {
    using tools::PatternBytes;
    return {
        {"BGM/TITLE.ADX", PatternBytes(5000, 1), 0},                  // 0
        {"se/Click.adx", PatternBytes(3000, 2), 0},                   // 1
        {"DATA/A/B.BIN", PatternBytes(100, 3), 0},                    // 2
        {"README.TXT", PatternBytes(7, 4), 0},                        // 3
        {"DATA/MAP.ADX", PatternBytes(2048, 5), 0},                   // 4
        {"MOVIE/README.TXT", PatternBytes(9, 6), 0},                  // 5
        {"BGM2/CLICK.ADX", PatternBytes(11, 7), 0},                   // 6
        {"LONG/ABCDEFGHIJKLMNOPQRSTUVWXYZ0", PatternBytes(12, 8), 0}, // 7: 32 bytes
        {"DATA/EMPTY.BIN", {}, 0},                                    // 8
    };
}

struct SampleImage {
    TempDir dir;
    std::vector<tools::AfsBuildEntry> entries = SampleEntries();
    tools::AfsLayout layout = tools::BuildAfs(entries);
    std::string path = dir / "game disc.bin";

    // The record gives the size of the game's archive, so that locating it
    // shows no size warning.
    SampleImage() { WriteImageWithArchive(path, layout.bytes, 40, CDiscImage::kExpectedArchiveSize); }
};

// The main window with recorders for both kinds of boxes and a fake platform.
struct Window {
    MessageRecorder system; // the archive's and the job's boxes
    MessageRecorder owned;  // the window's own boxes
    FakePlatform platform;
    unpacker::CUnpackerDlg dlg{&system, &platform};

    Window() { dlg.SetMessageSink(&owned); }

    QPushButton* Start() { return gui::FindControlAs<QPushButton>(&dlg, res::kIdcStartExtract); }
    QCheckBox* AdxBox() { return gui::FindControlAs<QCheckBox>(&dlg, res::kIdcExtractAdx); }
    QCheckBox* OtherBox() { return gui::FindControlAs<QCheckBox>(&dlg, res::kIdcExtractOther); }
    std::string EditText(int id) {
        auto* edit = gui::FindControlAs<QPlainTextEdit>(&dlg, id);
        return edit ? edit->toPlainText().toStdString() : "<no edit>";
    }

    bool ChooseImage(const std::string& path) {
        platform.image = path;
        dlg.OnSelectImage();
        return !dlg.m_controller.m_strImagePath.empty();
    }
    bool ChooseFolder(const std::string& folder) {
        platform.folder = folder;
        dlg.OnSelectOutputDir();
        return !dlg.m_controller.m_strOutputDir.empty();
    }
};

// Runs the event loop until `done` holds or `timeoutMs` passed; the result of `done`.
inline bool ProcessUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Every regular file below `root`: relative path ("/"-separated) -> bytes.
inline std::map<std::string, std::vector<std::uint8_t>> FileTree(const std::filesystem::path& root) {
    std::map<std::string, std::vector<std::uint8_t>> tree;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
        if (e.is_regular_file()) tree[e.path().lexically_relative(root).generic_string()] = ReadFileBytes(e.path());
    }
    return tree;
}

} // namespace qorlu::test
