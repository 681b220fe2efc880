// The Qt application object every host of this system runs in: programs and tests
// create one with Application (offscreen when there is no display); libraries
// loaded by a program that has none call EnsureCoreApplication.
#pragma once

#include <memory>

namespace platform {

// Creates the GUI application once for the process. Without a display (no
// DISPLAY or WAYLAND_DISPLAY) and no QT_QPA_PLATFORM given, the offscreen
// platform is chosen before construction.
class Application {
public:
    Application(int& argc, char** argv);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the event loop until Quit() is called; returns the exit code.
    int exec();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Makes sure a Qt core application exists; creates one (kept for the process's
// life) when the loading program has none. Returns true when it created it.
bool EnsureCoreApplication();

// True when a display is available for widgets (not the offscreen platform).
bool HasDisplay();

// Ends Application::exec with the given code.
void Quit(int code = 0);

} // namespace platform
