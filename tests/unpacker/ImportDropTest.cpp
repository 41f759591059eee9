// Files dragged onto the main window: which drags are taken, how files are
// matched to entries, and the questions and imports after a drop.

#include "tests/unpacker/UnpackerFixture.h"
#include "archive/ImportMatching.h"
#include "disc/PatchFiles.h"
#include "tests/support/RunCommand.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <cstring>
#include <functional>

#include <gtest/gtest.h>

namespace qorlu::test {
namespace {

constexpr Qt::DropActions kAllActions = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;

void SetFiles(QMimeData& mime, const std::vector<std::string>& paths) {
    QList<QUrl> urls;
    for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
    mime.setUrls(urls);
}

struct Effect {
    bool accepted;
    Qt::DropAction action;
};

Effect Enter(QWidget& window, const QMimeData& mime, Qt::DropActions actions = kAllActions) {
    QDragEnterEvent e(QPoint(20, 20), actions, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &e);
    return {e.isAccepted(), e.dropAction()};
}

// Moves and drops go straight to the window's drop target, as the window
// hands them on. (QApplication would route a synthetic move or drop to the
// last widget that took a drag entry, which may be a window of an earlier test.)
bool ToTarget(unpacker::CUnpackerDlg& window, QEvent& e) {
    return static_cast<QObject&>(window.m_dropTarget).eventFilter(&window, &e);
}

Effect Move(unpacker::CUnpackerDlg& window, const QMimeData& mime) {
    QDragMoveEvent e(QPoint(30, 30), kAllActions, &mime, Qt::LeftButton, Qt::NoModifier);
    e.ignore();
    EXPECT_TRUE(ToTarget(window, e));
    return {e.isAccepted(), e.dropAction()};
}

Effect Drop(unpacker::CUnpackerDlg& window, const QMimeData& mime) {
    QDropEvent e(QPointF(30, 30), kAllActions, &mime, Qt::LeftButton, Qt::NoModifier);
    e.ignore();
    EXPECT_TRUE(ToTarget(window, e));
    return {e.isAccepted(), e.dropAction()};
}

struct Loaded : Window {
    SampleImage image;
    Loaded() { EXPECT_TRUE(ChooseImage(image.path)); }
    std::vector<std::pair<int, std::string>> Matches() const {
        std::vector<std::pair<int, std::string>> m;
        const auto& t = dlg.m_dropTarget;
        EXPECT_EQ(t.m_pMatchIndex.size(), t.m_nMatchCount);
        EXPECT_EQ(t.m_strMatchPaths.size(), t.m_nMatchCount);
        for (std::size_t k = 0; k < t.m_pMatchIndex.size() && k < t.m_strMatchPaths.size(); ++k)
            m.emplace_back(t.m_pMatchIndex[k], t.m_strMatchPaths[k]);
        return m;
    }
    std::uint32_t Space(int i) const {
        const auto n = static_cast<std::size_t>(i);
        return (n + 1 < image.layout.offsets.size() ? image.layout.offsets[n + 1] : image.layout.nameDirOffset) -
               image.layout.offsets[n];
    }
};

TEST(ImportDrop, EveryDragIsRefusedBeforeAnImageIsLoaded) {
    Window w;
    TempDir dir;
    QMimeData mime;
    SetFiles(mime, {dir / "TITLE.ADX", dir / "README.TXT"});
    const Effect e = Enter(w.dlg, mime);
    EXPECT_FALSE(e.accepted);
    EXPECT_FALSE(Move(w.dlg, mime).accepted);
    EXPECT_EQ(w.dlg.m_dropTarget.m_nMatchCount, 0u);
    EXPECT_EQ(w.dlg.m_dropTarget.m_dropEffect, DropEffect::None);
    // A drop that arrives all the same is not taken and asks nothing.
    EXPECT_FALSE(Drop(w.dlg, mime).accepted);
    ProcessUntil([] { return false; }, 50);
    EXPECT_TRUE(w.owned.Texts().empty());
}

TEST(ImportDrop, FilesAreMatchedByNameInAnyCaseAndTheLowestIndexWins) {
    Loaded w;
    const auto p = [&](const std::string& rel) { return Native(w.image.dir / rel); };
    struct Row {
        std::vector<std::string> files;
        std::vector<std::pair<int, std::string>> matches;
    } rows[] = {
        // Letter case does not count; the path is kept as dragged.
        {{p("mods/title.adx")}, {{0, p("mods/title.adx")}}},
        // se/Click.adx (1) and BGM2/CLICK.ADX (6): always the lower.
        {{p("mods/CLICK.ADX")}, {{1, p("mods/CLICK.ADX")}}},
        // The same name from two folders: the same entry, once per path.
        {{p("one/B.BIN"), p("two/b.bin")}, {{2, p("one/B.BIN")}, {2, p("two/b.bin")}}},
        // Three files, the first matching nothing: two matches in list order.
        {{p("mods/NOPE.BIN"), p("mods/Map.adx"), p("mods/readme.TXT")},
         {{4, p("mods/Map.adx")}, {3, p("mods/readme.TXT")}}},
        // An entry at the archive's root matches (and wins over MOVIE/README.TXT).
        {{p("README.TXT")}, {{3, p("README.TXT")}}},
        // A name of exactly 32 bytes is compared on those bytes only.
        {{p("x/abcdefghijklmnopqrstuvwxyz0")}, {{7, p("x/abcdefghijklmnopqrstuvwxyz0")}}},
        {{p("x/ABCDEFGHIJKLMNOPQRSTUVWXYZ01")}, {}},
        // Whole names only: no prefix, no suffix, no folder names.
        {{p("mods/TITLE.ADX.bak"), p("mods/ITLE.ADX"), p("BGM"), p("x/DATA")}, {}},
        {{p("mods/EMPTY.BIN")}, {{8, p("mods/EMPTY.BIN")}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.files.front());
        QMimeData mime;
        SetFiles(mime, row.files);
        const Effect e = Enter(w.dlg, mime);
        EXPECT_EQ(e.accepted, !row.matches.empty());
        if (e.accepted) {
            EXPECT_EQ(e.action, Qt::LinkAction);
            EXPECT_EQ(w.Matches(), row.matches);
            const Effect over = Move(w.dlg, mime);
            EXPECT_TRUE(over.accepted);
            EXPECT_EQ(over.action, Qt::LinkAction);
        } else {
            EXPECT_TRUE(w.Matches().empty()) << "a drag with files but no match empties the lists";
            EXPECT_FALSE(Move(w.dlg, mime).accepted);
        }
    }
    EXPECT_TRUE(w.owned.Texts().empty()) << "matching is never reported";
}

TEST(ImportDrop, TheBytesAfterA32ByteNameNeverTakePart) {
    Loaded w;
    // The name field of entry 7 has no zero byte; make the bytes after it
    // look like more name.
    AfsNameRecord& record = w.dlg.m_controller.m_archive.m_pNameRecords[7];
    for (std::uint8_t& b : record.unused) b = 'Q';
    QMimeData mime;
    SetFiles(mime, {w.image.dir / "ABCDEFGHIJKLMNOPQRSTUVWXYZ0"});
    EXPECT_TRUE(Enter(w.dlg, mime).accepted);
    ASSERT_EQ(w.Matches().size(), 1u);
    EXPECT_EQ(w.Matches()[0].first, 7);
    SetFiles(mime, {w.image.dir / "ABCDEFGHIJKLMNOPQRSTUVWXYZ0QQ"});
    EXPECT_FALSE(Enter(w.dlg, mime).accepted);
}

TEST(ImportDrop, ADragWithoutLocalFilesIsRefusedAndKeepsTheLastLists) {
    Loaded w;
    QMimeData files;
    SetFiles(files, {w.image.dir / "TITLE.ADX"});
    ASSERT_TRUE(Enter(w.dlg, files).accepted);
    const auto before = w.Matches();
    ASSERT_EQ(before.size(), 1u);

    QMimeData text;
    text.setText("TITLE.ADX");
    EXPECT_FALSE(Enter(w.dlg, text).accepted);
    EXPECT_FALSE(Move(w.dlg, text).accepted);
    EXPECT_EQ(w.Matches(), before);

    QMimeData remote;
    remote.setUrls({QUrl("https://example.org/TITLE.ADX")});
    EXPECT_FALSE(Enter(w.dlg, remote).accepted);
    EXPECT_EQ(w.Matches(), before);
    EXPECT_EQ(w.dlg.m_dropTarget.m_dropEffect, DropEffect::None);
}

TEST(ImportDrop, ASourceThatOffersNoLinkGetsItsOwnProposedAction) {
    Loaded w;
    QMimeData mime;
    SetFiles(mime, {w.image.dir / "TITLE.ADX"});
    const Effect e = Enter(w.dlg, mime, Qt::CopyAction);
    EXPECT_TRUE(e.accepted);
    EXPECT_EQ(e.action, Qt::CopyAction);
}

TEST(ImportDrop, ADropAsksAboutEachMatchAndImportsOnYes) {
    Loaded w;
    const std::string title = Native(w.image.dir / "mods/title.adx");
    const std::string readme = Native(w.image.dir / "mods/README.TXT");
    const std::string big = Native(w.image.dir / "big/B.BIN");
    std::filesystem::create_directories(w.image.dir / "mods");
    std::filesystem::create_directories(w.image.dir / "big");
    const auto newTitle = tools::PatternBytes(5500, 99);
    WriteFileBytes(title, newTitle);
    WriteFileBytes(readme, tools::PatternBytes(5, 98));
    WriteFileBytes(big, tools::PatternBytes(w.Space(2) + 1, 97)); // one byte more than the slot

    QMimeData mime;
    SetFiles(mime, {title, w.image.dir / "mods/NOPE.BIN", readme, big});
    ASSERT_TRUE(Enter(w.dlg, mime).accepted);
    ASSERT_TRUE(Move(w.dlg, mime).accepted);
    w.owned.AnswerNext(Answer::Yes);
    w.owned.AnswerNext(Answer::No);
    w.owned.AnswerNext(Answer::Yes);
    const Effect dropped = Drop(w.dlg, mime);
    EXPECT_TRUE(dropped.accepted);
    EXPECT_TRUE(w.owned.Texts().empty()) << "the drop posts; the questions come from the queue";
    ASSERT_TRUE(ProcessUntil([&] { return w.owned.Texts().size() >= 5; }, 5000));
    QCoreApplication::processEvents();

    const auto question = [](int index, int size, std::uint32_t space, const std::string& path) {
        return "index = " + std::to_string(index) + "\nsize = " + std::to_string(size) +
               "\navailable space = " + std::to_string(space) + "\n" + path + "\n\n Import this file ?";
    };
    const std::vector<std::string> expected = {
        question(0, 5000, w.Space(0), title), "file import OK!",    question(3, 7, w.Space(3), readme),
        question(2, 100, w.Space(2), big),    "file import error!",
    };
    EXPECT_EQ(w.owned.Texts(), expected);
    const auto notices = w.owned.Notices();
    for (std::size_t i : {0u, 2u, 3u}) {
        EXPECT_EQ(notices[i].title, std::optional<std::string>(""));
        EXPECT_EQ(notices[i].buttons, Buttons::YesNo);
        EXPECT_EQ(notices[i].icon, Icon::Question);
        EXPECT_FALSE(notices[i].systemModal);
    }
    for (std::size_t i : {1u, 4u}) {
        EXPECT_FALSE(notices[i].title.has_value());
        EXPECT_EQ(notices[i].buttons, Buttons::Ok);
        EXPECT_EQ(notices[i].icon, Icon::None);
        EXPECT_FALSE(notices[i].systemModal);
    }
    // The archive's own reason for the refused import.
    EXPECT_EQ(w.system.Texts(), std::vector<std::string>{"file size too large!"});

    // Read back from the image with a fresh archive.
    MessageRecorder quiet;
    CAfsArchive fresh(quiet);
    ASSERT_TRUE(fresh.LocateArchive(w.image.path, "filedata.afs"));
    ASSERT_TRUE(fresh.LoadIndex());
    const std::string out = w.image.dir / "readback";
    std::filesystem::create_directory(out);
    ASSERT_TRUE(fresh.OpenImage(CDiscImage::OpenMode::ReadOnly));
    for (std::uint32_t i : {0u, 2u, 3u}) EXPECT_EQ(fresh.ExtractEntry(out, i), 1);
    fresh.CloseImage();
    EXPECT_EQ(ReadFileBytes(Native(out + "/BGM/TITLE.ADX")), newTitle);
    EXPECT_EQ(ReadFileBytes(Native(out + "/DATA/A/B.BIN")), w.image.entries[2].data);
    EXPECT_EQ(ReadFileBytes(Native(out + "/README.TXT")), w.image.entries[3].data);
}

TEST(ImportDrop, AnsweringNoToEveryQuestionLeavesTheImageByteForByte) {
    Loaded w;
    const auto before = ReadFileBytes(w.image.path);
    const std::string a = Native(w.image.dir / "TITLE.ADX");
    const std::string b = Native(w.image.dir / "README.TXT");
    WriteFileBytes(a, tools::PatternBytes(10, 1));
    WriteFileBytes(b, tools::PatternBytes(10, 2));
    QMimeData mime;
    SetFiles(mime, {a, b});
    ASSERT_TRUE(Enter(w.dlg, mime).accepted);
    ASSERT_TRUE(Drop(w.dlg, mime).accepted);
    ASSERT_TRUE(ProcessUntil([&] { return w.owned.Texts().size() >= 2; }, 5000));
    QCoreApplication::processEvents();
    EXPECT_EQ(w.owned.Texts().size(), 2u);
    EXPECT_EQ(ReadFileBytes(w.image.path), before);
    EXPECT_TRUE(w.system.Texts().empty());
}

// A new image re-arms the target with the new archive's records: drags are
// matched against the new names only.
TEST(ImportDrop, ANewImageReArmsTheTargetWithItsOwnNames) {
    Loaded w;
    SampleImage other;
    other.entries = {{"VOICE/HELLO.ADX", tools::PatternBytes(10, 1), 0}};
    other.layout = tools::BuildAfs(other.entries);
    WriteImageWithArchive(other.path, other.layout.bytes, 40, CDiscImage::kExpectedArchiveSize);
    ASSERT_TRUE(w.ChooseImage(other.path));
    EXPECT_EQ(w.dlg.m_dropTarget.m_pNameRecords, w.dlg.m_controller.m_archive.m_pNameRecords.get());
    EXPECT_EQ(w.dlg.m_dropTarget.m_nNameCount, 1u);
    QMimeData mime;
    SetFiles(mime, {w.image.dir / "TITLE.ADX"});
    EXPECT_FALSE(Enter(w.dlg, mime).accepted);
    SetFiles(mime, {w.image.dir / "hello.adx"});
    EXPECT_TRUE(Enter(w.dlg, mime).accepted);
    EXPECT_EQ(w.Matches(), (std::vector<std::pair<int, std::string>>{{0, Native(w.image.dir / "hello.adx")}}));
}

} // namespace
} // namespace qorlu::test

namespace qorlu::test {
namespace {

// Another program imports into the image while the window has it loaded:
// the window's import finds the index changed, writes nothing, loads the
// index again and offers the entry anew with its new size.
TEST(ImportDrop, AnIndexChangedByAnotherProgramIsLoadedAgainBeforeAnyWrite) {
    Loaded w;
    const std::string theirs = w.image.dir / "theirs/TITLE.ADX";
    const std::string mine = w.image.dir / "mine/TITLE.ADX";
    std::filesystem::create_directories(w.image.dir / "theirs");
    std::filesystem::create_directories(w.image.dir / "mine");
    WriteFileBytes(theirs, tools::PatternBytes(4500, 45));
    WriteFileBytes(mine, tools::PatternBytes(5500, 55));
    const CommandResult other = RunProgram(QORLU_CLI_PATH, {"import", w.image.path, theirs, "--yes"});
    ASSERT_EQ(other.exitCode, 0) << other.err;
    const auto changed = ReadFileBytes(w.image.path);

    const auto dropMine = [&] {
        QMimeData mime;
        SetFiles(mime, {mine});
        EXPECT_TRUE(Enter(w.dlg, mime).accepted);
        w.owned.AnswerNext(Answer::Yes);
        EXPECT_TRUE(Drop(w.dlg, mime).accepted);
        ASSERT_TRUE(ProcessUntil([&] { return w.owned.Texts().size() >= 2; }, 5000));
        QCoreApplication::processEvents();
    };
    dropMine();
    ASSERT_EQ(w.owned.Texts().size(), 2u);
    EXPECT_EQ(w.owned.Texts()[1], "file import error!");
    EXPECT_NE(w.system.Texts().back().find(ImageChangedSinceLoad(w.image.path)), std::string::npos)
        << w.system.Texts().back();
    EXPECT_EQ(ReadFileBytes(w.image.path), changed) << "nothing was written";
    EXPECT_EQ(w.dlg.m_controller.m_archive.GetEntrySize(0), 4500u) << "the index was loaded again";

    w.owned.Clear();
    dropMine();
    ASSERT_EQ(w.owned.Texts().size(), 2u);
    EXPECT_NE(w.owned.Texts()[0].find("size = 4500\n"), std::string::npos) << w.owned.Texts()[0];
    EXPECT_EQ(w.owned.Texts()[1], "file import OK!");
    EXPECT_EQ(w.dlg.m_controller.m_archive.GetEntrySize(0), 5500u);
}

TEST(ImportDrop, ADroppedPatchIsAskedAboutAndAppliedToTheImage) {
    struct Case {
        const char* name;
        Answer answer;
        bool forThisImage;
        bool changes;
        std::vector<std::string> windowBoxes; // after the question
        const char* systemBox;                // the failure's, if any
    };
    const Case cases[] = {
        {"yes", Answer::Yes, true, true, {"patch apply OK!"}, nullptr},
        {"no", Answer::No, true, false, {}, nullptr},
        {"for another image",
         Answer::Yes,
         false,
         false,
         {"patch apply error!"},
         "The patch was made for another image"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded w;
        // The modified image: entry 3 (README.TXT, at the archive's root)
        // holds other bytes of its length.
        const std::string modified = w.image.dir / "modified.bin";
        std::filesystem::copy_file(w.image.path, modified);
        {
            MessageRecorder quiet;
            CAfsArchive archive(quiet);
            ASSERT_TRUE(archive.LocateArchive(modified, "filedata.afs") && archive.LoadIndex());
            const std::string edited = w.image.dir / "README.TXT";
            WriteFileBytes(edited, tools::PatternBytes(7, 99));
            ASSERT_EQ(archive.ImportEntry(edited, 3), 1);
        }
        std::string original = w.image.path;
        if (!c.forThisImage) {
            // Made from a copy whose checked bytes differ from this image's.
            original = w.image.dir / "other.bin";
            std::filesystem::copy_file(w.image.path, original);
            auto bytes = ReadFileBytes(original);
            bytes[0x9320 + 10] ^= 0xFF;
            WriteFileBytes(original, bytes);
        }
        const std::string patch = w.image.dir / "mod.PPF";
        MessageRecorder quiet;
        ASSERT_TRUE(MakePatchFile(original, modified, patch, {}, quiet));
        const auto before = ReadFileBytes(w.image.path);

        QMimeData mime;
        SetFiles(mime, {patch});
        EXPECT_TRUE(Enter(w.dlg, mime).accepted) << "a patch is taken like a match";
        w.owned.AnswerNext(c.answer);
        EXPECT_TRUE(Drop(w.dlg, mime).accepted);
        ASSERT_TRUE(ProcessUntil(
            [&] { return !w.owned.Texts().empty() && (c.answer == Answer::No || w.owned.Texts().size() > 1); }));
        const auto texts = w.owned.Texts();
        EXPECT_EQ(texts[0], "Apply this patch to the image?\n" + patch);
        EXPECT_EQ(std::vector<std::string>(texts.begin() + 1, texts.end()), c.windowBoxes);
        const auto system = w.system.Texts();
        if (c.systemBox) {
            ASSERT_EQ(system.size(), 1u);
            EXPECT_EQ(system[0].rfind(c.systemBox, 0), 0u) << system[0];
        } else {
            EXPECT_TRUE(system.empty());
        }
        EXPECT_EQ(ReadFileBytes(w.image.path) == ReadFileBytes(modified), c.changes);
        if (!c.changes) {
            EXPECT_EQ(ReadFileBytes(w.image.path), before);
        }
        // The index is the image's as it is now, and the target armed with it.
        EXPECT_TRUE(w.dlg.m_dropTarget.m_bArmed);
        EXPECT_EQ(w.dlg.m_dropTarget.m_pNameRecords, w.dlg.m_controller.m_archive.m_pNameRecords.get());
    }
}

// The window's boxes, recorded; while each is up, `during` runs, as the box's
// own message loop would hand the window its events.
class BoxLoop final : public IMessageSink {
public:
    std::function<void(const Notice&)> during;
    MessageRecorder recorder;
    std::vector<std::string> shownInsideABox;

    Answer Show(const Notice& notice) override {
        if (m_depth > 0) shownInsideABox.push_back(notice.text);
        const Answer answer = recorder.Show(notice);
        ++m_depth;
        if (during) during(notice);
        --m_depth;
        return answer;
    }

private:
    int m_depth = 0;
};

TEST(ImportDrop, TheHoldOfAWindowOperationRefusesDragsAndKeepsTheLists) {
    // Each row: what happens after a drag entry that matched one file, and
    // whether a second drag is then taken.
    struct Row {
        const char* name;
        std::function<void(CImportMatches&)> then;
        bool secondTaken;
    } rows[] = {
        {"nothing", [](CImportMatches&) {}, true},
        {"held", [](CImportMatches& m) { m.BeginHold(); }, false},
        {"held twice, released once",
         [](CImportMatches& m) {
             m.BeginHold();
             m.BeginHold();
             m.EndHold();
         },
         false},
        {"held and released",
         [](CImportMatches& m) {
             m.BeginHold();
             m.EndHold();
         },
         true},
        {"dropped, not yet handled", [](CImportMatches& m) { m.TakeDrop(); }, false},
        {"dropped and handled",
         [](CImportMatches& m) {
             m.TakeDrop();
             m.BeginDropHandling();
         },
         true},
        {"dropped, its message inside a hold",
         [](CImportMatches& m) {
             m.TakeDrop();
             m.BeginHold();
             m.BeginDropHandling();
             m.EndHold();
         },
         false},
    };
    AfsNameRecord names[2] = {};
    std::memcpy(names[0].name, "TITLE.ADX", 9);
    std::memcpy(names[1].name, "README.TXT", 10);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CImportMatches m;
        m.Arm(names, 2);
        const std::vector<std::string> first{"mods/TITLE.ADX"};
        ASSERT_EQ(m.MatchDrag(&first), DropEffect::Link);
        row.then(m);
        EXPECT_EQ(m.EffectNow(), m.Held() ? DropEffect::None : DropEffect::Link) << "a drop of the first drag";
        const std::vector<std::string> second{"mods/README.TXT"};
        EXPECT_EQ(m.MatchDrag(&second), row.secondTaken ? DropEffect::Link : DropEffect::None);
        EXPECT_EQ(m.m_strMatchPaths, row.secondTaken ? second : first);
    }
}

TEST(ImportDrop, ADropMessageInsideAHoldWaitsForItsEndUnlessTheIndexIsLoadedAgain) {
    const AfsNameRecord names[1] = {};
    struct Row {
        const char* name;
        bool armedDuringTheHold;
        bool postedAgain;
    } rows[] = {{"same index", false, true}, {"index loaded again", true, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CImportMatches m;
        m.Arm(names, 1);
        m.TakeDrop();
        m.BeginHold();
        m.BeginHold();
        EXPECT_FALSE(m.BeginDropHandling()) << "the message came inside the hold";
        if (row.armedDuringTheHold) m.Arm(names, 1);
        EXPECT_FALSE(m.EndHold()) << "one hold is left";
        EXPECT_EQ(m.EndHold(), row.postedAgain);
        if (row.postedAgain) {
            EXPECT_TRUE(m.BeginDropHandling()) << "the message posted again";
        }
    }
    // A drop whose message is still on its way when the index is loaded
    // again is not handled when it comes; the next one is.
    CImportMatches m;
    m.Arm(names, 1);
    m.TakeDrop();
    m.Arm(names, 1);
    EXPECT_FALSE(m.BeginDropHandling());
    EXPECT_TRUE(m.BeginDropHandling());
}

// A drop taken just before another operation's box comes up: the box's loop
// hands its message to the window, which asks nothing inside the box; once
// the box is closed, the drop is asked about. A drag while the box is up is
// refused.
TEST(ImportDrop, NoDropIsHandledInsideAnotherOperationsBox) {
    Loaded w;
    BoxLoop boxes;
    w.dlg.SetMessageSink(&boxes);
    const std::string readme = Native(w.image.dir / "mods/README.TXT");
    std::filesystem::create_directories(w.image.dir / "mods");
    WriteFileBytes(readme, tools::PatternBytes(5, 98));
    QMimeData mime;
    SetFiles(mime, {readme});
    ASSERT_TRUE(Enter(w.dlg, mime).accepted);
    ASSERT_TRUE(Drop(w.dlg, mime).accepted);

    QMimeData other;
    SetFiles(other, {w.image.dir / "TITLE.ADX"});
    bool refusedInside = false;
    boxes.during = [&](const Notice& n) {
        if (n.text != "Free space on disk not enough!") return;
        refusedInside = !Enter(w.dlg, other).accepted && !Move(w.dlg, other).accepted;
        // The box's loop: the drop's message arrives now.
        ProcessUntil([] { return false; }, 100);
    };
    // Not enough room: the folder's box comes up before the drop is handled.
    w.platform.available = 1;
    EXPECT_FALSE(w.ChooseFolder(w.image.dir.Path().string()));
    EXPECT_TRUE(refusedInside);
    EXPECT_TRUE(boxes.shownInsideABox.empty()) << boxes.shownInsideABox.front();
    ASSERT_EQ(boxes.recorder.Texts().size(), 1u) << "nothing asked inside the box";

    ASSERT_TRUE(ProcessUntil([&] { return boxes.recorder.Texts().size() == 2; }));
    EXPECT_EQ(boxes.recorder.Texts()[1],
              "index = 3\nsize = 7\navailable space = 2048\n" + readme + "\n\n Import this file ?");
    EXPECT_EQ(w.Matches(), (std::vector<std::pair<int, std::string>>{{3, readme}}));
}

} // namespace
} // namespace qorlu::test
