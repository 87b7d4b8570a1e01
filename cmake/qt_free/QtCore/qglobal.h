// Every Qt header includes this one first. Qt-free libraries get this
// folder ahead of Qt's own on their include path (tarn_qt_free in the top
// CMakeLists.txt), so that a Qt include there stops the build here.
#error "A Qt header was included in a Qt-free library: keep Qt in client/shell and scheduler/app"
