// Delivery over loopback to the test suite's recording server: the cost of one SMTP
// dialogue per message (connect, greeting, HELO, envelope, data) with a fresh instance
// each time, as a host delivering one message per worker would.
#include "messaging/ZEM_A_E_MailDelivery.h"

#include "../tests/messaging/SmtpServers.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kMessages = 200;

std::unique_ptr<SmtpRecorder> g_recorder;

/** The recorder, started on first use and stopped while the application still exists. */
SmtpRecorder *recorder()
{
    if (!g_recorder) {
        g_recorder = std::make_unique<SmtpRecorder>();
        if (!g_recorder->start(QStringLiteral("127.0.0.1"))) {
            g_recorder.reset();
            return nullptr;
        }
        qAddPostRoutine([] { g_recorder.reset(); });
    }
    return g_recorder.get();
}

void BM_DeliverSmallMessages(benchmark::State &state)
{
    SmtpRecorder *server = recorder();
    if (!server) {
        state.SkipWithError("cannot start smtp_recorder.py");
        return;
    }
    const QString to = QStringLiteral("rcpt@example.test");
    const QString from = QStringLiteral("sender@example.test");
    QList<QByteArray> messages;
    for (int i = 0; i < kMessages; ++i)
        messages.append(ZEM_A_E_MailDelivery::mailMessage(
            QStringLiteral("Message %1.\nA short text of a few lines,\nas a notice would be.\n")
                .arg(i),
            QStringLiteral("Notice %1").arg(i), to, from));

    for (auto _ : state) {
        for (const QByteArray &message : messages) {
            ZEM_A_E_MailDelivery delivery;
            if (!delivery.sendMail(message, to, from, QStringLiteral("127.0.0.1"), server->port())) {
                state.SkipWithError("a delivery failed");
                return;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}

} // namespace

BENCHMARK(BM_DeliverSmallMessages)->Unit(benchmark::kMillisecond)->UseRealTime();
