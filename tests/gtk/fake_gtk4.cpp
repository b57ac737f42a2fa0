// SPDX-License-Identifier: MIT
// Stands in for GTK 4 already loaded by a host: answers the version query
// the way libgtk-4 does, and nothing else.
extern "C" __attribute__((visibility("default"))) unsigned gtk_get_major_version() { return 4; }
