#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace velmora {

// Turns the signals a screen-saver host sends its saver into Qt signals
// delivered by the event loop: SIGTERM and SIGINT ask for an orderly end
// (`received`); SIGUSR1 asks the saver to start its animation again
// (`restart_requested`), as a screen locker does when its password prompt
// closes, and never ends it. The handler only notes the request and writes
// a wake-up byte into a pipe; the loop reads it and emits. One instance per
// process; the previous handlers come back when it goes.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    TerminationSignals();
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

signals:
    void received();
    void restart_requested();

private:
    void drain();

    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace velmora
