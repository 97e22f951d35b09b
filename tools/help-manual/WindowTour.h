#pragma once

#include <QImage>
#include <QMap>
#include <QString>

// Screenshots of the program's real main window, offscreen, in the states a
// technician meets: "ready" (port and size chosen), "running" (the rescale
// in progress), "success" (the new values shown) and "failure" (the message
// box over the window). The texts are those of the translators installed
// when it runs. Empty, with the reason in `error`, if a state was not
// reached.
QMap<QString, QImage> takeWindowTour(QString* error);
