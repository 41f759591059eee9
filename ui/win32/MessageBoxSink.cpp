#include "ui/win32/MessageBoxSink.h"

#include "ui/win32/WideText.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>

namespace qorlu::win32 {

Answer CMessageBoxSink::Show(const Notice& notice) {
    UINT flags = notice.buttons == Buttons::YesNo ? MB_YESNO : MB_OK;
    if (notice.icon == Icon::Information) flags |= MB_ICONINFORMATION;
    if (notice.icon == Icon::Question) flags |= MB_ICONQUESTION;
    flags |= notice.systemModal ? MB_SYSTEMMODAL : MB_APPLMODAL;
    const std::wstring title = Wide(notice.title ? *notice.title : std::string(m_programName ? m_programName : ""));
    const DWORD thread = GetCurrentThreadId();
    {
        const std::lock_guard lock(m_mutex);
        m_showing.push_back(thread);
    }
    const int answer =
        MessageBoxW(notice.systemModal ? nullptr : m_owner, Wide(notice.text).c_str(), title.c_str(), flags);
    {
        const std::lock_guard lock(m_mutex);
        std::erase(m_showing, thread);
    }
    if (notice.buttons != Buttons::YesNo) return Answer::Ok;
    return answer == IDYES ? Answer::Yes : Answer::No;
}

void CMessageBoxSink::CloseBoxesOfOtherThreads() {
    std::vector<DWORD> threads;
    {
        const std::lock_guard lock(m_mutex);
        threads = m_showing;
    }
    for (const DWORD thread : threads) {
        if (thread == GetCurrentThreadId()) continue;
        EnumThreadWindows(
            thread,
            [](HWND box, LPARAM) -> BOOL {
                PostMessageW(box, WM_CLOSE, 0, 0);
                return TRUE;
            },
            0);
    }
}

} // namespace qorlu::win32
