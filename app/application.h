#pragma once

#include <QApplication>

namespace velmora {

// The program's application object. An error that no handler catches ends
// the user operation it interrupted and is shown in an error box, instead
// of unwinding through the event loop and ending the program.
class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace velmora
