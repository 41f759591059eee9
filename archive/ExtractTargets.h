#pragma once
// The output side of one extraction: the folders that entries' names ask
// for, each made once, and the rule that the image being read is never one
// of the files written.
//
// The image's identity (device and file number) is taken once; each output
// path is then looked up at most once and compared with it. A path inside a
// folder that this object created needs no look-up at all: the folder was
// empty when it was made, so the image can not be reached through it.

#include <cstdint>
#include <string>
#include <unordered_map>

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

    // Path look-ups made so far, the image's own included.
    std::uint64_t LookUps() const { return m_lookUps; }

private:
    std::string m_imageFile;
    bool m_identityKnown = false;
    std::uint64_t m_device = 0;
    std::uint64_t m_fileNumber = 0;
    mutable std::uint64_t m_lookUps = 0;
    // Folder path -> made empty by this object (false: it was there already).
    std::unordered_map<std::string, bool> m_folders;
};

} // namespace qorlu
