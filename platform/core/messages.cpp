// The message queue and its retrieval order, posting and sending, the quit
// request, timers and the clock.

#include <algorithm>

#include "platform/core/core.h"

namespace pxNative {
namespace {

bool matches(const MSG& msg, HWND filter, UINT low, UINT high) {
    if (filter != nullptr && msg.hwnd != filter) return false;
    if (low == 0 && high == 0) return true;
    return msg.message >= low && msg.message <= high;
}

bool inRange(UINT message, UINT low, UINT high) {
    return (low == 0 && high == 0) || (message >= low && message <= high);
}

std::int64_t periodNs(const Timer& timer) { return static_cast<std::int64_t>(timer.periodMs) * 1'000'000; }

// As Windows does before it hands out a mouse message of a window that does
// not hold the capture: WM_NCHITTEST asks where on the window the pointer is,
// and WM_SETCURSOR lets the window set the pointer's shape for that place.
void askWhereThePointerIs(const QueuedMessage& entry, const MSG& msg) {
    if (state().capture == msg.hwnd) return;
    const LRESULT where =
        callProcedure(msg.hwnd, WM_NCHITTEST, 0,
                      MAKELPARAM(static_cast<std::uint16_t>(entry.screenX), static_cast<std::uint16_t>(entry.screenY)));
    callProcedure(msg.hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(msg.hwnd),
                  MAKELPARAM(static_cast<std::uint16_t>(where), static_cast<std::uint16_t>(msg.message)));
}

// Applies a resize or destruction that retrieval reached.
void applySent(const QueuedMessage& entry) {
    if (Window* record = findWindow(entry.msg.hwnd)) {
        if (record->resizeQueued == entry.sequence) record->resizeQueued = -1;
        if (entry.kind == QueuedMessage::Kind::destroyed) record->destroyQueued = false;
    }
    if (entry.kind == QueuedMessage::Kind::resize)
        applyResize(entry.msg.hwnd, static_cast<std::int32_t>(entry.msg.wParam),
                    static_cast<std::int32_t>(entry.msg.lParam));
    else
        applyDestroyed(entry.msg.hwnd);
}

// A posted message leaves the queue.
void takePosted(std::size_t index) {
    State& s = state();
    if (s.posted[index].closeRequest)
        if (Window* record = findWindow(s.posted[index].msg.hwnd)) record->closeQueued = false;
    s.posted.erase(s.posted.begin() + static_cast<std::ptrdiff_t>(index));
}

// One look at everything retrievable now, in Win32's retrieval order: posted
// messages, then input (each in arrival order), then WM_QUIT once neither is
// left, WM_PAINT, WM_TIMER. Resizes and destructions that arrived before the
// posted message handed out (all of them, before input) are applied and sent
// to their window whatever the filter, as the sent messages they stand for
// come before everything else.
//
// Without a filter each step takes the front of a list, so retrieval costs
// the same however much is waiting; a filter skips what it does not take.
bool retrieve(MSG& out, HWND filter, UINT low, UINT high, bool remove) {
    backend::pollEvents();
    State& s = state();

    for (;;) {
        std::size_t posted = 0;
        while (posted < s.posted.size() && !matches(s.posted[posted].msg, filter, low, high)) ++posted;
        const bool found = posted < s.posted.size();
        if (!s.sent.empty() && (!found || s.sent.front().sequence < s.posted[posted].sequence)) {
            const QueuedMessage entry = s.sent.front();
            s.sent.pop_front();
            applySent(entry);  // the window procedure may change the queue: look again
            continue;
        }
        if (!found) break;
        out = s.posted[posted].msg;
        if (remove) takePosted(posted);
        return true;
    }

    for (std::size_t i = 0; i < s.input.size();) {
        const QueuedMessage::Kind kind = s.input[i].kind;
        // Mouse input and leaves are decided now, from the capture and grab
        // as they are at this point; what goes to no one is dropped.
        MSG msg = s.input[i].msg;
        HWND target = msg.hwnd;
        bool goes = true;
        if (kind == QueuedMessage::Kind::mouse)
            goes = (target = mouseTarget(s.input[i], msg)) != nullptr;
        else if (kind == QueuedMessage::Kind::leave)
            goes = leaveDue(s.input[i]);
        if (!goes) {
            if (!remove) {
                ++i;
                continue;
            }
            const QueuedMessage entry = s.input[i];
            s.input.erase(s.input.begin() + static_cast<std::ptrdiff_t>(i));
            noteRetrieved(entry, nullptr);
            continue;
        }
        if (matches(msg, filter, low, high)) {
            out = msg;
            if (remove) {
                const QueuedMessage entry = s.input[i];
                s.input.erase(s.input.begin() + static_cast<std::ptrdiff_t>(i));
                noteRetrieved(entry, target);
                if (kind == QueuedMessage::Kind::mouse) askWhereThePointerIs(entry, msg);
            }
            return true;
        }
        ++i;
    }

    // The quit request ignores the filters, as on Windows.
    if (s.quitPending) {
        out = makeMessage(nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0);
        if (remove) s.quitPending = false;
        return true;
    }

    // WM_PAINT stays retrievable until the window is validated.
    if (inRange(WM_PAINT, low, high)) {
        for (const auto& [key, window] : s.windows) {
            if (!window->visible || !window->invalid || window->invalid->empty()) continue;
            if (filter != nullptr && window->handle != filter) continue;
            out = makeMessage(window->handle, WM_PAINT, 0, 0);
            return true;
        }
    }

    if (inRange(WM_TIMER, low, high)) {
        const std::int64_t now = nowNs();
        Timer* due = nullptr;
        for (Timer& timer : s.timers) {
            if (timer.dueNs > now || (filter != nullptr && timer.window != filter)) continue;
            if (due == nullptr || timer.dueNs < due->dueNs || (timer.dueNs == due->dueNs && timer.order < due->order))
                due = &timer;
        }
        if (due != nullptr) {
            out = makeMessage(due->window, WM_TIMER, due->id, reinterpret_cast<LPARAM>(due->callback));
            // The next deadline is the first point of the timer's grid after
            // now: ticks missed while the program was busy are dropped, so a
            // slow frame never leaves a backlog of WM_TIMER behind it.
            if (remove) due->dueNs += periodNs(*due) * ((now - due->dueNs) / periodNs(*due) + 1);
            return true;
        }
    }
    return false;
}

}  // namespace

std::int64_t nowNs() { return backend::nowNs(); }

DWORD messageTime() { return static_cast<DWORD>(static_cast<std::uint64_t>(nowNs() / 1'000'000)); }

MSG makeMessage(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wparam;
    msg.lParam = lparam;
    msg.time = messageTime();
    msg.pt = POINT{clampToLong(state().pointerScreenX), clampToLong(state().pointerScreenY)};
    return msg;
}

std::int64_t enqueue(QueuedMessage entry) {
    State& s = state();
    entry.sequence = s.nextSequence++;
    switch (entry.kind) {
    case QueuedMessage::Kind::posted: s.posted.push_back(entry); break;
    case QueuedMessage::Kind::key:
    case QueuedMessage::Kind::mouse:
    case QueuedMessage::Kind::leave: s.input.push_back(entry); break;
    case QueuedMessage::Kind::resize:
    case QueuedMessage::Kind::destroyed: s.sent.push_back(entry); break;
    }
    return entry.sequence;
}

bool inputFull() {
    const State& s = state();
    return s.input.size() + s.sent.size() >= s.inputLimit;
}

std::optional<std::int64_t> nextTimerDeadline(HWND filter) {
    std::optional<std::int64_t> earliest;
    for (const Timer& timer : state().timers) {
        if (filter != nullptr && timer.window != filter) continue;
        if (!earliest || timer.dueNs < *earliest) earliest = timer.dueNs;
    }
    return earliest;
}

void forgetWindow(HWND window) {
    State& s = state();
    for (auto* list : {&s.posted, &s.input, &s.sent})
        list->erase(std::remove_if(list->begin(), list->end(),
                                   [&](const QueuedMessage& entry) { return entry.msg.hwnd == window; }),
                    list->end());
    s.timers.erase(
        std::remove_if(s.timers.begin(), s.timers.end(), [&](const Timer& timer) { return timer.window == window; }),
        s.timers.end());
    if (s.capture == window) s.capture = nullptr;
    if (s.grab == window) s.grab = nullptr;
    s.deviceContexts.erase(std::remove_if(s.deviceContexts.begin(), s.deviceContexts.end(),
                                          [&](const DeviceContext& context) { return context.window == window; }),
                           s.deviceContexts.end());
}

void applyResize(HWND window, std::int32_t width, std::int32_t height) {
    Window* record = findWindow(window);
    if (record == nullptr) return;
    const std::int32_t oldWidth = record->image.width;
    const std::int32_t oldHeight = record->image.height;
    // A size whose image memory cannot be had leaves the window as it was,
    // with its image and its client size: nothing happened that it could see.
    if (!record->image.resize(width, height)) return;
    if (record->invalid) {
        record->invalid = intersect(*record->invalid, clientRect(*record));
        if (record->invalid->empty()) record->invalid.reset();
    }
    const WPARAM kind = width == 0 && height == 0 ? SIZE_MINIMIZED : SIZE_RESTORED;
    callProcedure(window, WM_SIZE, kind, MAKELPARAM(width, height));

    record = findWindow(window);
    if (record == nullptr) return;
    const bool widthChanged = width != oldWidth;
    const bool heightChanged = height != oldHeight;
    const bool grew = width > oldWidth || height > oldHeight;
    if (grew || (widthChanged && (record->classStyle & CS_HREDRAW)) ||
        (heightChanged && (record->classStyle & CS_VREDRAW)))
        InvalidateRect(window, nullptr, TRUE);
}

void applyDestroyed(HWND window) {
    if (findWindow(window) == nullptr) return;
    DestroyWindow(window);
    for (const auto& [key, record] : state().windows)
        if (record->parent == nullptr && !record->destroying) return;
    PostQuitMessage(0);
}

}  // namespace pxNative

using namespace pxNative;

BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (lpMsg == nullptr || (hWnd != nullptr && findWindow(hWnd) == nullptr)) return -1;
    for (;;) {
        if (retrieve(*lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) return lpMsg->message == WM_QUIT ? 0 : 1;
        if (hWnd != nullptr && findWindow(hWnd) == nullptr) return -1;
        // Nothing to hand out: sleep until a native event or the next timer.
        backend::waitEvents(nextTimerDeadline(hWnd));
    }
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
    if (lpMsg == nullptr || (hWnd != nullptr && findWindow(hWnd) == nullptr)) return FALSE;
    return retrieve(*lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (hWnd != nullptr && findWindow(hWnd) == nullptr) return FALSE;
    // System messages whose lparam points at a record the sender fills can
    // only be sent; a posted one would carry a pointer to nothing.
    if (Msg == WM_CREATE || Msg == WM_NCCREATE || Msg == WM_GETMINMAXINFO) return FALSE;
    State& s = state();
    if (s.posted.size() >= kPostedLimit) {
        s.lastErrorCode = ERROR_NOT_ENOUGH_QUOTA;
        return FALSE;
    }
    QueuedMessage entry;
    entry.msg = makeMessage(hWnd, Msg, wParam, lParam);
    enqueue(entry);
    return TRUE;
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    return callProcedure(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (lpMsg == nullptr) return FALSE;
    const UINT message = lpMsg->message;
    if (message != WM_KEYDOWN && message != WM_SYSKEYDOWN && message != WM_KEYUP && message != WM_SYSKEYUP)
        return FALSE;
    if (message == WM_KEYUP || message == WM_SYSKEYUP) return TRUE;

    // Characters of the keys that type the same one on every layout; the
    // character message is the next one retrieved.
    const auto held = [](int vk) { return (GetKeyState(vk) & 0x8000) != 0; };
    const WPARAM vk = lpMsg->wParam;
    WPARAM character = 0;
    if (vk >= 'A' && vk <= 'Z') {
        if (held(VK_CONTROL))
            character = vk - 'A' + 1;
        else
            character = held(VK_SHIFT) ? vk : vk - 'A' + 'a';
    } else if (vk >= '0' && vk <= '9' && !held(VK_SHIFT)) {
        character = vk;
    } else if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_TAB || vk == VK_BACK || vk == VK_ESCAPE) {
        character = vk == VK_RETURN ? '\r' : vk;
    }
    if (character != 0) {
        QueuedMessage entry;
        entry.msg = makeMessage(lpMsg->hwnd, message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR, character, lpMsg->lParam);
        entry.sequence = --state().firstSequence;
        state().posted.push_front(entry);
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
    if (lpMsg == nullptr) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam != 0) {
        // Only the callback of a running timer is called, never an address
        // that merely arrived in a posted message.
        for (const Timer& timer : state().timers) {
            if (timer.window == lpMsg->hwnd && timer.id == lpMsg->wParam &&
                reinterpret_cast<LPARAM>(timer.callback) == lpMsg->lParam) {
                const ProcedureCall running;
                timer.callback(lpMsg->hwnd, WM_TIMER, timer.id, messageTime());
                return 0;
            }
        }
        return 0;
    }
    if (lpMsg->hwnd == nullptr) return 0;
    return callProcedure(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

DWORD WINAPI GetLastError() { return state().lastErrorCode; }

VOID WINAPI PostQuitMessage(int nExitCode) {
    state().quitPending = true;
    state().quitCode = nExitCode;
}

UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    if (hWnd == nullptr || findWindow(hWnd) == nullptr) return 0;
    State& s = state();
    const UINT period = std::clamp<UINT>(uElapse, USER_TIMER_MINIMUM, 0x7FFFFFFF);
    const std::int64_t due = nowNs() + static_cast<std::int64_t>(period) * 1'000'000;
    // With a window, the identifier is the caller's, 0 included (WM_TIMER then
    // carries 0 and KillTimer takes 0); the result only says it worked.
    const UINT_PTR result = nIDEvent != 0 ? nIDEvent : 1;
    for (Timer& timer : s.timers) {
        if (timer.window == hWnd && timer.id == nIDEvent) {
            timer.periodMs = period;
            timer.dueNs = due;
            timer.callback = lpTimerFunc;
            return result;
        }
    }
    Timer timer;
    timer.window = hWnd;
    timer.id = nIDEvent;
    timer.periodMs = period;
    timer.dueNs = due;
    timer.order = s.nextOrder++;
    timer.callback = lpTimerFunc;
    s.timers.push_back(timer);
    return result;
}

BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    auto& timers = state().timers;
    const auto it = std::find_if(timers.begin(), timers.end(),
                                 [&](const Timer& timer) { return timer.window == hWnd && timer.id == uIDEvent; });
    if (it == timers.end()) return FALSE;
    timers.erase(it);
    return TRUE;
}

BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* lpFrequency) {
    if (lpFrequency == nullptr) return FALSE;
    lpFrequency->QuadPart = 1'000'000'000;
    return TRUE;
}

BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* lpPerformanceCount) {
    if (lpPerformanceCount == nullptr) return FALSE;
    lpPerformanceCount->QuadPart = nowNs();
    return TRUE;
}
