// The archive targets: locate and load, extract every entry, import over one.

#include "archive/AfsArchive.h"
#include "archive/AfsLayout.h"
#include "archive/ExtractJob.h"
#include "archive/ArchiveLoading.h"
#include "disc/ImageJournal.h"
#include "fuzz/FuzzChecks.h"
#include "fuzz/FuzzWorkspace.h"
#include "format/ByteOrder.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/MessageRecorder.h"
#include "tests/support/QuietProgress.h"
#include "tools/AfsBuilder.h"
#include "archive/ExtractProgress.h"

#include <algorithm>
#include <atomic>
#include <numeric>
#include <vector>

namespace qorlu::fuzz {

namespace {

// No extraction may write a file longer than the image; this limit keeps
// one that tries from filling the disk of the machine running the fuzzer.
constexpr unsigned long long kOutputLimit = 8 * 1024 * 1024;
// Entries looked at one by one in the checks; the rest are only loaded.
constexpr std::uint32_t kCheckedEntries = 4096;

void ScriptAnswers(test::MessageRecorder& sink, const DiscInput& disc) {
    for (int i = 0; i < 8; ++i) sink.AnswerNext((disc.flags & kAnswerYes) ? Answer::Yes : Answer::No);
}

// Where the archive lies in the image file that was opened, as the loaded
// archive says, and what the image holds of it.
struct Geometry {
    std::uint64_t raw = 2352, header = 24, user = 2048;
    std::uint64_t start = 0;
    std::uint64_t available = 0; // archive bytes the image holds

    std::uint64_t Position(std::uint64_t offset) const {
        return (start + offset / user) * raw + header + offset % user;
    }
};

Geometry GeometryOf(const CAfsArchive& archive, std::uint64_t imageLength) {
    Geometry g;
    g.raw = static_cast<std::uint64_t>(archive.m_nRawSectorSize);
    g.header = static_cast<std::uint64_t>(archive.m_nSectorHeaderSize);
    g.user = g.raw - g.header - static_cast<std::uint64_t>(archive.m_nSectorTrailerSize);
    g.start = static_cast<std::uint64_t>(archive.m_nStartSector);
    const std::uint64_t first = g.start * g.raw;
    if (imageLength > first) {
        const std::uint64_t rest = (imageLength - first) % g.raw;
        g.available =
            (imageLength - first) / g.raw * g.user + (rest > g.header ? std::min(rest - g.header, g.user) : 0);
    }
    return g;
}

// The room of every entry, worked out here on its own: from the entry's
// offset to the nearest of the next entry in offset order (ties in table
// order), the name directory and the end of what the image holds. A null
// entry (offset and size 0) has none and ends no other's room; neither has
// an entry that starts inside the count and table or inside the name
// directory.
std::vector<std::uint64_t> ExpectedRooms(const CAfsArchive& archive, std::uint64_t available) {
    const std::uint64_t n = archive.m_nEntryCount;
    const std::uint64_t tableEnd = afs::TableEnd(n);
    const std::uint64_t names = archive.m_nNameDirOffset;
    const std::uint64_t namesEnd = names + afs::NameDirBytes(n);
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < n; ++i)
        if (archive.GetEntryOffset(i) != 0 || archive.GetEntrySize(i) != 0) order.push_back(i);
    std::stable_sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return archive.GetEntryOffset(a) < archive.GetEntryOffset(b);
    });
    std::vector<std::uint64_t> rooms(static_cast<std::size_t>(n), 0);
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::uint64_t offset = archive.GetEntryOffset(order[k]);
        if (offset < tableEnd || (offset >= names && offset < namesEnd)) continue;
        std::uint64_t limit = available;
        if (k + 1 < order.size()) limit = std::min<std::uint64_t>(limit, archive.GetEntryOffset(order[k + 1]));
        if (offset < names) limit = std::min(limit, names);
        rooms[order[k]] = limit > offset ? limit - offset : 0;
    }
    return rooms;
}

std::string Entry(std::uint32_t i) { return "entry " + std::to_string(i); }

Finding CheckLoadedIndex(const CAfsArchive& archive, const Geometry& g) {
    const std::uint64_t n = archive.m_nEntryCount;
    if (n == 0) return "an index of no entries was loaded";
    if (afs::TableEnd(n) > g.available) return "the loaded entry table reaches past the image";
    if (archive.m_nNameDirOffset + afs::NameDirBytes(n) > g.available)
        return "the loaded name directory reaches past the image";
    const auto rooms = ExpectedRooms(archive, g.available);
    for (std::uint32_t i = 0; i < std::min<std::uint64_t>(n, kCheckedEntries); ++i) {
        const std::uint64_t space = archive.GetEntrySpace(i);
        if (space > rooms[i])
            return Entry(i) + " is given " + std::to_string(space) + " bytes of room, where it has " +
                   std::to_string(rooms[i]);
    }
    return {};
}

// Loads the index of a placed disc the way the tools do.
bool Load(CAfsArchive& archive, const PlacedDisc& placed, IMessageSink& owner) {
    return LocateAndLoadIndex(archive, placed.chosen.string(), owner);
}

// The opened image file: the only file of the disc's folder that the
// archive's own path names, or the one that changed.
std::uint64_t LargestFileIn(const Snapshot& shot) {
    std::uint64_t largest = 0;
    for (const auto& [key, bytes] : shot)
        if (bytes) largest = std::max<std::uint64_t>(largest, bytes->size());
    return largest;
}

using test::QuietProgress;

} // namespace

Finding CheckLocate(std::span<const std::uint8_t> input) {
    const DiscInput disc = ParseDiscInput(input);
    const fs::path root = FreshFolder();
    const PlacedDisc placed = PlaceDisc(disc, root / "disc");
    const Snapshot before = TakeSnapshot(root);
    test::MessageRecorder sink;
    ScriptAnswers(sink, disc);
    CAfsArchive archive(sink);
    const bool loaded = Load(archive, placed, sink);
    if (const std::string change = DescribeChange(before, TakeSnapshot(root)); !change.empty())
        return "locating and loading wrote to the disc's folder: " + change;
    if (!loaded) {
        if (sink.Texts().empty()) return "a refused image was refused without a message";
        if (archive.m_nEntryCount != 0 && archive.m_pEntries == nullptr)
            return "a refused index has entries but no table";
        return {};
    }
    const auto image = GetFile(placed.imageFile);
    std::uint64_t length = image ? image->size() : 0;
    // A sheet may name another file of the folder as its image; the largest bounds them all.
    length = std::max(length, LargestFileIn(before));
    const Geometry g = GeometryOf(archive, length);
    if (!(disc.flags & kThroughCue)) {
        if (const Finding f = CheckLoadedIndex(archive, GeometryOf(archive, image ? image->size() : 0)); !f.empty())
            return f;
    } else if (archive.m_nNameDirOffset + afs::NameDirBytes(archive.m_nEntryCount) > g.available) {
        return "the loaded name directory reaches past every file of the folder";
    }
    for (std::uint32_t i = 0; i < std::min(archive.m_nEntryCount, kCheckedEntries); ++i) (void)archive.GetEntryName(i);
    return {};
}

Finding CheckExtract(std::span<const std::uint8_t> input) {
    const DiscInput disc = ParseDiscInput(input);
    const fs::path root = FreshFolder();
    const bool intoImageFolder = (disc.flags & kIntoImageFolder) != 0;
    DiscInput placedInput = disc;
    // Extracting beside the image: the image is the file to keep safe, so
    // no sheet is placed there that an entry of its name could replace.
    if (intoImageFolder) placedInput.flags &= static_cast<std::uint8_t>(~kThroughCue);
    const PlacedDisc placed = PlaceDisc(placedInput, root / "work" / "disc");
    const fs::path out = intoImageFolder ? placed.folder : root / "work" / "out";
    fs::create_directories(out);
    test::MessageRecorder sink;
    ScriptAnswers(sink, disc);
    CAfsArchive archive(sink);
    if (!Load(archive, placed, sink)) return {};

    const Snapshot before = TakeSnapshot(root);
    QuietProgress progress;
    const std::int32_t filter = (disc.flags >> kFilterShift) & 3;
    sink.Clear();
    bool started = false;
    {
        test::FileSizeLimit limit(kOutputLimit);
        CExtractJob job(archive);
        started = job.StartExtract(out.string(), filter, &progress) != 0;
        job.Wait();
    }
    if (!started) return {};
    if (progress.closes.load() != 1)
        return "the job closed its window " + std::to_string(progress.closes.load()) + " times";
    const Snapshot after = TakeSnapshot(root);

    // Nothing but the output folder may change; beside the image, nothing
    // that was there before.
    Snapshot keptBefore, keptAfter;
    const std::string outKey = out.lexically_relative(root).generic_string();
    for (const auto& [key, bytes] : before) {
        const bool inOut = key.rfind(outKey + "/", 0) == 0;
        if (!inOut || intoImageFolder) keptBefore[key] = bytes;
    }
    for (const auto& [key, bytes] : after) {
        const bool inOut = key.rfind(outKey + "/", 0) == 0;
        if (!inOut || (intoImageFolder && before.contains(key))) keptAfter[key] = bytes;
    }
    if (const std::string change = DescribeChange(keptBefore, keptAfter); !change.empty())
        return "the extraction changed a file outside its output: " + change;

    const std::uint64_t imageLength = LargestFileIn(before);
    for (const auto& [key, bytes] : after) {
        if (bytes && bytes->size() > imageLength && !before.contains(key))
            return "\"" + key + "\" is " + std::to_string(bytes->size()) + " bytes long, the image only " +
                   std::to_string(imageLength);
    }

    const auto texts = sink.Texts();
    const auto closing = std::count_if(texts.begin(), texts.end(), [](const std::string& t) {
        return t == "Extract complete!" || t == "Extract aborted!";
    });
    if (closing != 1) return "the job showed " + std::to_string(closing) + " closing messages";
    if (std::find(texts.begin(), texts.end(), "Extract aborted!") != texts.end())
        return "an uncancelled job was aborted";
    if (texts.size() > 1) return {}; // failures were reported

    // No failure reported: every selected entry arrived whole (the last
    // entry of each name is the one whose file stays).
    std::map<std::string, std::uint32_t> lastOfName;
    for (std::uint32_t i = 0; i < archive.m_nEntryCount; ++i) {
        const std::string name = archive.GetEntryName(i);
        if (!IsEntrySelected(name, filter)) continue;
        lastOfName[fs::path(name).lexically_normal().generic_string()] = i;
    }
    for (const auto& [name, i] : lastOfName) {
        const auto it = after.find((fs::path(outKey) / name).lexically_normal().generic_string());
        if (it == after.end() || !it->second)
            return "\"Extract complete!\" alone, but " + Entry(i) + " (\"" + name + "\") has no file";
        if (it->second->size() != archive.GetEntrySize(i))
            return "\"Extract complete!\" alone, but the file of " + Entry(i) + " is " +
                   std::to_string(it->second->size()) + " bytes, not " + std::to_string(archive.GetEntrySize(i));
    }
    return {};
}

Finding CheckImport(std::span<const std::uint8_t> input) {
    const DiscInput disc = ParseDiscInput(input);
    const fs::path root = FreshFolder();
    const PlacedDisc placed = PlaceDisc(disc, root / "disc");
    test::MessageRecorder sink;
    ScriptAnswers(sink, disc);
    CAfsArchive archive(sink);
    if (!Load(archive, placed, sink) || archive.m_nEntryCount == 0) return {};

    const std::uint32_t index = disc.entry % archive.m_nEntryCount;
    const Bytes data = tools::PatternBytes(disc.replacementLength, disc.flags);
    const fs::path replacement = root / "modified" / "entry.dat";
    fs::create_directories(replacement.parent_path());
    PutFile(replacement, data);

    const Snapshot before = TakeSnapshot(placed.folder);
    const std::uint64_t oldOffset = archive.GetEntryOffset(index);
    const std::uint64_t nameDir = archive.m_nNameDirOffset;
    sink.Clear();
    const int imported = archive.ImportEntry(replacement.string(), index);
    const Snapshot after = TakeSnapshot(placed.folder);
    if (!imported && sink.Texts().empty()) return "a failed import showed no message";

    // At most one file changed: the image, in the same length.
    std::string changedKey;
    for (const auto& [key, bytes] : before) {
        const auto it = after.find(key);
        if (it == after.end()) return "the import removed \"" + key + "\"";
        if (it->second != bytes) {
            if (!changedKey.empty()) return "the import changed two files";
            changedKey = key;
        }
    }
    for (const auto& [key, bytes] : after)
        if (!before.contains(key)) return "the import left \"" + key + "\" behind";
    if (fs::exists(JournalPathFor(placed.imageFile.string()))) return "the import left its journal behind";
    if (changedKey.empty()) return {}; // refused, or the same bytes written again
    if (!imported) return "a failed import changed \"" + changedKey + "\"";
    const Bytes& old = *before.at(changedKey);
    const Bytes& now = *after.at(changedKey);
    if (old.size() != now.size())
        return "the import changed the image's length from " + std::to_string(old.size()) + " to " +
               std::to_string(now.size());

    // The archive ranges that may change: the entry's room and its two size fields.
    const Geometry g = GeometryOf(archive, old.size());
    const std::uint64_t room = ExpectedRooms(archive, g.available)[index];
    struct Range {
        std::uint64_t begin, end;
    };
    const Range allowed[] = {{oldOffset, oldOffset + room},
                             {afs::EntrySizeAt(index), afs::EntrySizeAt(index) + 4},
                             {afs::NameSizeCopyAt(nameDir, index), afs::NameSizeCopyAt(nameDir, index) + 4}};
    auto archiveOffsetAllowed = [&](std::uint64_t o) {
        return std::any_of(std::begin(allowed), std::end(allowed),
                           [&](const Range& r) { return o >= r.begin && o < r.end; });
    };
    auto sectorHoldsAllowed = [&](std::uint64_t sector) {
        if (sector < g.start) return false;
        const std::uint64_t first = (sector - g.start) * g.user, last = first + g.user;
        return std::any_of(std::begin(allowed), std::end(allowed),
                           [&](const Range& r) { return r.begin < last && first < r.end; });
    };
    for (std::uint64_t p = 0; p < old.size(); ++p) {
        if (old[p] == now[p]) continue;
        const std::uint64_t sector = p / g.raw, within = p % g.raw;
        bool ok = false;
        if (within >= g.header && within < g.header + g.user && sector >= g.start)
            ok = archiveOffsetAllowed((sector - g.start) * g.user + within - g.header);
        else if (within >= g.header + g.user)
            ok = sectorHoldsAllowed(sector); // the checksums of a sector that was written
        if (!ok)
            return "importing " + std::to_string(data.size()) + " bytes over " + Entry(index) + " (offset " +
                   std::to_string(oldOffset) + ", room " + std::to_string(room) + ") changed image byte " +
                   std::to_string(p);
    }

    // The import is complete: a fresh load sees the new bytes.
    test::MessageRecorder second;
    CAfsArchive reread(second);
    if (!Load(reread, placed, second)) return "the image no longer loads after an import";
    if (reread.m_nEntryCount <= index) return "the entry count changed";
    const std::uint32_t recorded = reread.GetEntrySize(index);
    if (recorded < data.size() || recorded > room)
        return "recorded size " + std::to_string(recorded) + " for " + std::to_string(data.size()) +
               " bytes in a room of " + std::to_string(room);
    Bytes back(data.size());
    if (!reread.OpenImage(CDiscImage::OpenMode::ReadOnly)) return "the image no longer opens";
    const bool read = reread.ReadAt(reread.GetEntryOffset(index), back.data(), static_cast<std::uint32_t>(back.size()));
    reread.CloseImage();
    if (!read || back != data) return "the entry does not hold the imported bytes";
    return {};
}

} // namespace qorlu::fuzz
