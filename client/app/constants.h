// SPDX-License-Identifier: GPL-2.0-or-later
// Program-wide constants of the client.
#pragma once

#ifndef VELMORANT_VERSION
#error "VELMORANT_VERSION comes from the build (project() in CMakeLists.txt)"
#endif

namespace Velmorant {

// The client's version, shown by the code window and sent by the update check.
inline constexpr char kProgramVersion[] = VELMORANT_VERSION;

// The product's web address: what the web link window offers while its box
// is empty.
inline constexpr char kProductWebAddress[] = "https://www.velmorant.com";

// The local server a running client listens on; a second start talks to it.
inline constexpr char kSingleInstanceName[] = "AppVelmorantAccessClient";

// The only message of the single-instance protocol: five bytes, no framing.
inline constexpr char kFocusMessage[] = "FOCUS";

} // namespace Velmorant

namespace Velmorant {

// Passed by the elevated relaunch: the new instance first waits (a few
// seconds at most) for the old one's local server to go away, so it does not
// hand "FOCUS" to a client that is about to exit. Never passed on again.
inline constexpr char kElevatedRelaunchMarker[] = "--velmorant-relaunched";

} // namespace Velmorant
