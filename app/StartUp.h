#pragma once

class TApplication;

// Titles the application and creates its windows: the main window first, so it is the
// main window and exists before the compact window's first copy, then the compact
// window, hidden.
void StartUp(TApplication& application);
