#include "platform/application.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdlib>

namespace platform {

namespace {
bool DisplayAvailable() {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (display && *display) || (wayland && *wayland);
}
} // namespace

struct Application::Impl {
    std::unique_ptr<QCoreApplication> app;
};

Application::Application(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
    if (QCoreApplication::instance())
        return; // one application object per process; an existing one is used
    const char* platformName = std::getenv("QT_QPA_PLATFORM");
    if ((!platformName || !*platformName) && !DisplayAvailable())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    impl_->app = std::make_unique<QApplication>(argc, argv);
}

Application::~Application() = default;

int Application::exec() { return QCoreApplication::exec(); }

bool EnsureCoreApplication() {
    if (QCoreApplication::instance())
        return false;
    // Kept for the rest of the process: destroying it while libraries that use it
    // are unloaded would leave their objects without an event loop.
    static int argc = 1;
    static char name[] = "varnel";
    static char* argv[] = {name, nullptr};
    new QCoreApplication(argc, argv);
    return true;
}

bool HasDisplay() {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr)
        return QGuiApplication::platformName() != QLatin1String("offscreen") &&
               QGuiApplication::platformName() != QLatin1String("minimal");
    return DisplayAvailable();
}

void Quit(int code) { QCoreApplication::exit(code); }

} // namespace platform
