// The application object of the library the frame is built into. The frame is a
// static library compiled into each plug-in, so every plug-in keeps its own.
#include "frame/plugin_entry.h"

#include <QCoreApplication>

namespace {
QObject* currentApplication = nullptr;
}

QObject* frame::application() {
    return currentApplication ? currentApplication : QCoreApplication::instance();
}

void frame::setApplication(QObject* application) {
    currentApplication = application;
}
