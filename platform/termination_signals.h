#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

namespace velmora {

// Turns SIGTERM and SIGINT into a Qt signal delivered by the event loop, so a
// host that ends the saver with a signal gets an orderly end. The handler
// only writes one byte into a pipe; the loop reads it and emits `received`.
// One instance per process; the previous handlers come back when it goes.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    TerminationSignals();
    ~TerminationSignals() override;
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

signals:
    void received();

private:
    void drain();

    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace velmora
