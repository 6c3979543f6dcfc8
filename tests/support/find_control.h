#pragma once
// Finds a window's control by its object name, as UI automation does: the windows keep their controls
// private. A missing control ends the test at once with its name.

#include <QObject>
#include <QtGlobal>

namespace navix {

template<class T>
T *Find(const QObject &window, const char *name)
{
    T *control = window.findChild<T *>(QString::fromLatin1(name));
    if (!control)
        qFatal("no control %s in %s", name, qPrintable(window.objectName()));
    return control;
}

} // namespace navix
