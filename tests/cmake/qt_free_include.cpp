// Compiled by the qt_free_guard test with a Qt-free library's flags and
// Qt's include paths: the build must stop at the guard.
#include <QString>

int main() { return QString().size(); }
