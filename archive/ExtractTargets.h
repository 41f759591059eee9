#pragma once
// The output side of one extraction: the folders that entries' names ask
// for, each made once, and the rule that the image being read is never one
// of the files written.
//
// The image's identity (device and file number) is taken once; each output
// path is then looked up at most once and compared with it. A path inside a
// folder that this object created needs no look-up at all unless the job
// wrote a name there that differs from it only in letter case: the folder
// was empty when it was made, so nothing else can be reached through it.
//
// Two entries whose names differ only in letter case are one file on a file
// system that ignores case: the first keeps it, the second is not written.

#include "io/FileLayer.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace qorlu {

class ExtractTargets {
public:
    // `imageFile`: the file the entries are read from.
    explicit ExtractTargets(std::string imageFile);

    // Makes every folder of `name` below `folder` (which ends in a
    // separator) that this object has not made or found before. True when
    // the entry's own folder was created here, i.e. started out empty.
    bool MakeFolders(const std::string& folder, const std::string& name);

    // Whether writing `target` would write the image: the same file under
    // this name (a hard or symbolic link to it, or its name in another
    // letter case on a file system that ignores case). A path that can not
    // be looked at is not the image (opening it will tell).
    bool IsTheImage(const std::string& target) const;

    // What writing the entry to `target` would hit (`freshFolder`: its folder
    // was made empty by this job): the image, a file that this job wrote
    // under another name, or nothing.
    enum class Clash { None, TheImage, AnotherEntry };
    Clash ClashAt(const std::string& target, bool freshFolder) const;
    // Notes a file this job wrote whole.
    void Remember(const std::string& target, const FileIdentity& written);

    // Path look-ups made so far, the image's own included.
    std::uint64_t LookUps() const { return m_lookUps; }

private:
    std::optional<FileIdentity> LookUp(const std::string& target) const;

    std::string m_imageFile;
    std::optional<FileIdentity> m_image;
    mutable std::uint64_t m_lookUps = 0;
    // Files written by this job, by (volume, number), with their paths; and
    // the paths in upper case.
    std::map<std::pair<std::uint64_t, std::uint64_t>, std::string> m_written;
    std::unordered_set<std::string> m_writtenUpper;
    // Folder path -> made empty by this object (false: it was there already).
    std::unordered_map<std::string, bool> m_folders;
};

} // namespace qorlu
