#pragma once

namespace cto {

// Descriptors that must still be free for the windows to come up and answer
// the keyboard (the display's connection, the threads' wake-up pipes, the
// keyboard map and fonts, the desktop's buses). Qt and GLib end the process
// (abort) when a thread's wake-up pipe cannot be had, and with fewer free the
// window shows but takes no key: short of them, no window is tried.
inline constexpr long kDescriptorsTheWindowsNeed = 24;

// Descriptors a run may still open beyond those the window already holds:
// the survey, the response file and its replacement, the run's lock, the
// connection and the resolver's, the certificate stores' databases, each card
// probe's pipes, the save dialog's folder watch.
inline constexpr long kDescriptorsARunNeeds = 64;

// Raises the soft limit on open descriptors to what a run needs with ample
// room, within the hard limit; never lowers it. Called first thing in main,
// while the process has one thread.
void makeRoomForDescriptors();

// Throws EFOpenError, naming the system's limit, when fewer than `needed`
// descriptors could still be opened.
void checkRoomForDescriptors(long needed);

} // namespace cto
