#pragma once

#include <cstdint>
#include <string>

// Finding, raising and closing another program's main window, and looking at
// its process. X11 here; a Windows build puts the Win32 calls behind the same
// functions.
namespace findwindow {

using TWindowId = std::uint64_t; // 0: none

// Whether other programs' windows can be searched: an X11 display. Under
// Wayland or without a display the search is unavailable and finds nothing.
bool Available();

// The process exists and has not ended.
bool ProcessAlive(std::int64_t pid);
// The executable of a process, symbolic links resolved; empty when unknown.
std::string ProcessExe(std::int64_t pid);

// The first top-level window of process pid with exactly this title that has
// no owner (WM_TRANSIENT_FOR) and is viewable or iconified; 0 when none. Any
// program may claim a process id on its window: with a role given, only a
// window whose WM_WINDOW_ROLE is exactly that role counts.
TWindowId FindProcessMainWindow(std::int64_t pid, const std::string& title,
                                const std::string& role = {});
bool IsIconic(TWindowId w);

// Restores w if iconified and brings it to the front, above main.
void BringToFront(TWindowId w, TWindowId main);
// Asks the window's program to close it, as its close box does.
void PostQuit(TWindowId w);

} // namespace findwindow
