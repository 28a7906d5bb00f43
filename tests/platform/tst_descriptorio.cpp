// Descriptor I/O: a call a signal interrupts is made again, so a read or write
// that waits (a pipe with nothing in it, or full) goes on after the signal.

#include "platform/DescriptorIO.h"

#include <QtTest>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <pthread.h>
#include <thread>
#include <unistd.h>

class tst_DescriptorIO : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void interrupted_data();
    void interrupted();
};

namespace {

volatile std::sig_atomic_t signalsCaught = 0;

void Caught(int) {
    signalsCaught = signalsCaught + 1;
}

} // namespace

void tst_DescriptorIO::interrupted_data() {
    QTest::addColumn<bool>("write"); // the waiting call is a write (else a read)
    QTest::newRow("read of an empty pipe") << false;
    QTest::newRow("write into a full pipe") << true;
}

void tst_DescriptorIO::interrupted() {
    QFETCH(bool, write);
    int fds[2];
    QCOMPARE(::pipe(fds), 0);
    // No SA_RESTART: the waiting call ends with EINTR.
    struct sigaction action {};
    action.sa_handler = Caught;
    QCOMPARE(::sigaction(SIGUSR1, &action, nullptr), 0);
    std::size_t filled = 0;
    if (write) {
        ::fcntl(fds[1], F_SETFL, O_NONBLOCK);
        char block[4096] = {};
        while (::write(fds[1], block, sizeof block) > 0)
            filled += sizeof block;
        ::fcntl(fds[1], F_SETFL, 0);
    }
    signalsCaught = 0;
    const pthread_t waiting = ::pthread_self();
    std::thread other([&] {
        for (int i = 0; i < 5; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ::pthread_kill(waiting, SIGUSR1);
        }
        char buffer[4096];
        ssize_t n = 1;
        while (write && filled > 0 && n > 0) {
            n = ::read(fds[0], buffer, std::min(filled, sizeof buffer));
            filled -= n > 0 ? static_cast<std::size_t>(n) : 0;
        }
        if (!write)
            (void)::write(fds[1], "data", 4);
    });
    std::size_t got = 0;
    char into[4] = {};
    const int err = write ? WriteAll(fds[1], "more") : ReadSome(fds[0], into, sizeof into, got);
    other.join();
    ::close(fds[0]);
    ::close(fds[1]);
    QVERIFY(signalsCaught > 0);
    QCOMPARE(err, 0);
    if (!write)
        QCOMPARE(QByteArray(into, static_cast<int>(got)), QByteArray("data"));
}

QTEST_APPLESS_MAIN(tst_DescriptorIO)
#include "tst_descriptorio.moc"
