#pragma once

// Chooses Qt's offscreen platform when no display is named and the user chose no platform, so
// that a launch from cron or a systemd timer starts instead of aborting. Call before the
// application object is made; true when it chose offscreen.
bool UseOffscreenWithoutDisplay();

// True when the running application's windows can be seen by someone: it runs on a platform that
// shows them, not on the offscreen one.
bool WindowsAreSeen();
