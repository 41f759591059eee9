#pragma once
// What the extraction job needs of the window that stands in for the main
// window while it runs (the progress window, or the command line's progress
// line). The job calls these from its worker thread; SetRange, SetPos and
// SetText return once the window has taken them in.

#include <cstdint>
#include <string>

namespace qorlu {

// Which entries a job extracts, by the upper-cased name's last four characters.
enum FilterMode : std::int32_t {
    kFilterAdxOnly = 0, // names ending in ".ADX"
    kFilterOthers = 1,  // every other name
    kFilterAll = 2,     // all entries (as is any other value)
};

// True when an entry named `name` (any case) is extracted in `mode`.
bool IsEntrySelected(const std::string& name, std::int32_t mode);

class IExtractProgress {
public:
    virtual ~IExtractProgress() = default;
    // Read before each entry; a cancel takes effect between entries.
    virtual bool IsCancelled() = 0;
    virtual void SetRange(int lower, int upper) = 0;
    // Before each extracted entry: its index over all entries.
    virtual void SetPos(int position) = 0;
    // Before each extracted entry: its upper-case name.
    virtual void SetText(std::string text) = 0;
    // The job's end, after its last message was closed: the window closes and
    // the main window is shown again (the progress window's IDOK).
    virtual void Close() = 0;
};

} // namespace qorlu
