#include "unpacker/UnpackerController.h"

#include "archive/ArchiveLoading.h"
#include "archive/ImportMatching.h"
#include "disc/PatchFiles.h"
#include "resources/UnpackerResources.h"
#include "io/FileLayer.h"
#include "io/NativePath.h"

#include <filesystem>

namespace qorlu {

namespace res = resources::unpacker;

namespace {

// The boxes of a patch's failures; its success is told by the window's own box.
class FailuresOnly final : public IMessageSink {
public:
    explicit FailuresOnly(IMessageSink& sink) : m_sink(sink) {}
    Answer Show(const Notice& notice) override {
        return notice.outcome == Outcome::Success ? Answer::Ok : m_sink.Show(notice);
    }

private:
    IMessageSink& m_sink;
};

// The folder holding `path`, when that folder exists; empty otherwise.
std::string ExistingParent(const std::string& path) {
    if (path.empty()) return {};
    const std::filesystem::path parent = PathFromUtf8(path).parent_path();
    return !parent.empty() && KindOf(Utf8FromPath(parent)) == NameKind::Folder ? Utf8FromPath(parent) : std::string();
}

bool IsExistingFolder(const std::string& path) { return !path.empty() && KindOf(path) == NameKind::Folder; }

} // namespace

CUnpackerController::CUnpackerController(IUnpackerView& view, IUnpackerPlatform& platform, CImportMatches& matches,
                                         IMessageSink& systemSink)
    : m_view(view), m_platform(platform), m_matches(matches), m_archive(systemSink) {}

CUnpackerController::~CUnpackerController() { m_job.Stop({}); }

CUnpackerController::DropHold::DropHold(CUnpackerController& controller) : m_controller(controller) {
    m_controller.m_matches.BeginHold();
}

CUnpackerController::DropHold::~DropHold() {
    if (m_controller.m_matches.EndHold()) m_controller.m_view.PostImportDropped();
}

void CUnpackerController::OnInitDialog() {
    m_view.CheckBox(res::kIdcExtractAdx, true);
    m_view.CheckBox(res::kIdcExtractOther, true);
    // "Start Extract" stays disabled, as the template creates it.
}

std::string CUnpackerController::ImageDialogStart() const {
    const std::string folder = ExistingParent(m_strLastImage);
    return folder.empty() ? m_platform.HomeFolder() : folder;
}

std::string CUnpackerController::FolderDialogStart() const {
    if (IsExistingFolder(m_strLastFolder)) return m_strLastFolder;
    const std::string imageFolder = ExistingParent(m_strLastImage);
    return imageFolder.empty() ? m_platform.HomeFolder() : imageFolder;
}

void CUnpackerController::UpdateStartButton() {
    const bool anyBox = m_view.IsBoxChecked(res::kIdcExtractAdx) || m_view.IsBoxChecked(res::kIdcExtractOther);
    m_view.EnableStart(!m_strImagePath.empty() && !m_strOutputDir.empty() && anyBox);
}

void CUnpackerController::OnSelectImage() {
    const DropHold hold(*this);
    std::string chosen = m_strImagePath;
    if (!m_platform.BrowseImageFile(ImageDialogStart(), chosen)) return; // cancelled: nothing changes
    m_strImagePath = chosen;
    m_strLastImage = chosen;
    ReloadIndex();
    if (m_strImagePath.empty()) return;
    UpdateStartButton();
    m_view.ShowImagePath(m_strImagePath);
}

void CUnpackerController::OnSelectOutputDir() {
    const DropHold hold(*this);
    std::string chosen = m_strOutputDir;
    if (!m_platform.BrowseFolder(FolderDialogStart(), chosen)) return; // cancelled: nothing changes
    m_strOutputDir = chosen;
    m_strLastFolder = chosen;
    // Tested here only, when the folder is chosen, not again at Start.
    if (!HasEnoughFreeSpace(m_platform.AvailableBytes(m_strOutputDir))) {
        m_strOutputDir.clear();
        m_view.EnableStart(false);
        m_view.WindowMessages().Show(WindowNotice("Free space on disk not enough!", Outcome::Failure));
        m_view.ShowOutputDir(m_strOutputDir);
        return;
    }
    UpdateStartButton();
    m_view.ShowOutputDir(m_strOutputDir);
}

void CUnpackerController::OnStartExtract() { m_view.OpenProgressWindow(); }

std::int32_t CUnpackerController::FilterModeFromBoxes() const {
    const bool adx = m_view.IsBoxChecked(res::kIdcExtractAdx);
    const bool other = m_view.IsBoxChecked(res::kIdcExtractOther);
    if (adx && !other) return kFilterAdxOnly;
    if (other && !adx) return kFilterOthers;
    return kFilterAll;
}

int CUnpackerController::OnBeginExtract(IExtractProgress& progress) {
    const DropHold hold(*this);
    if (m_job.StartExtract(m_strOutputDir, FilterModeFromBoxes(), &progress) == 0) {
        // No job started, so no job will close the progress window: close it
        // the way a job does, which shows the main window again.
        m_view.CloseProgressWindow();
    }
    return 0;
}

int CUnpackerController::OnImportDropped() {
    // Never inside another operation's box: such a drop waits for its end.
    if (!m_matches.BeginDropHandling()) return 0;
    const DropHold hold(*this);
    // The lists are read afresh at each step; each import ends before the
    // next question.
    for (std::uint32_t k = 0;
         k < m_matches.m_nMatchCount && k < m_matches.m_pMatchIndex.size() && k < m_matches.m_strMatchPaths.size();
         ++k) {
        const auto index = static_cast<std::uint32_t>(m_matches.m_pMatchIndex[k]);
        const std::string path = m_matches.m_strMatchPaths[k];
        ConfirmAndImport(m_archive, m_view.WindowMessages(), index, path);
        if (m_archive.LastImportFoundImageChanged()) {
            // Another program changed the archive: the index is loaded again
            // and the target re-armed with it. The matches left belong to the
            // old index, so they are not offered; the user drops again.
            ReloadIndex();
            return 0;
        }
    }
    const std::vector<std::string> patches = m_matches.m_strPatchPaths;
    for (const std::string& patch : patches) {
        if (m_strImagePath.empty()) break;
        if (m_view.WindowMessages().Show(PatchQuestionNotice(patch)) != Answer::Yes) continue;
        FailuresOnly failures(m_archive.Messages());
        const bool ok = ApplyPatchFile(m_strImagePath, patch, false, failures);
        m_view.WindowMessages().Show(
            WindowNotice(ok ? "patch apply OK!" : "patch apply error!", ok ? Outcome::Success : Outcome::Failure));
        // The patch may have changed the archive and its index.
        if (ok) ReloadIndex();
    }
    return 0;
}

Notice PatchQuestionNotice(const std::string& patch) {
    Notice n;
    n.text = "Apply this patch to the image?\n" + patch;
    n.title = "";
    n.buttons = Buttons::YesNo;
    n.icon = Icon::Question;
    n.outcome = Outcome::Question;
    return n;
}

void CUnpackerController::ReloadIndex() {
    const DropHold hold(*this);
    if (LocateAndLoadIndex(m_archive, m_strImagePath, m_view.WindowMessages())) {
        m_matches.Arm(m_archive.m_pNameRecords.get(), m_archive.m_nEntryCount);
        return;
    }
    m_matches.Disarm();
    m_strImagePath.clear();
    m_view.EnableStart(false);
    m_view.ShowImagePath(m_strImagePath);
}

void CUnpackerController::StopJob(const std::function<void()>& serveWindow) { m_job.Stop(serveWindow); }

} // namespace qorlu
