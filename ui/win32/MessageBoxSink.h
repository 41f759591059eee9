#pragma once
// The windows' message boxes.

#include "base/Message.h"
#include <windows.h>

#include <mutex>
#include <vector>

namespace qorlu::win32 {

// Boxes shown with MessageBoxW: owned by `owner` with the program's name as
// title, or, for system-modal notices, ownerless and above every window.
class CMessageBoxSink final : public IMessageSink {
public:
    CMessageBoxSink(HWND owner, const char* programName) : m_owner(owner), m_programName(programName) {}
    void SetOwner(HWND owner) { m_owner = owner; }
    Answer Show(const Notice& notice) override;
    // Closes the boxes that other threads show through this sink at this
    // moment (the extraction job's end box, when the window closes).
    void CloseBoxesOfOtherThreads();

private:
    HWND m_owner;
    const char* m_programName;
    std::mutex m_mutex;
    std::vector<DWORD> m_showing; // threads inside Show
};

} // namespace qorlu::win32
