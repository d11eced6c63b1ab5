// Composing a message with a large attachment is dominated by base64: a 10 MiB file must
// be composed at well above 300 MB/s of base64 output so that sending it is never held up
// by the composing. The delivery benchmarks live in bench_mail_delivery.cpp.
#include "messaging/ZEM_A_E_MailDelivery.h"

#include "BenchMain.h"

#include <QApplication>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype kTenMiB = 10 * 1024 * 1024;

const QByteArray &tenMiB()
{
    static const QByteArray data = [] {
        QByteArray bytes(kTenMiB, Qt::Uninitialized);
        QRandomGenerator generator(42);
        generator.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
        return bytes;
    }();
    return data;
}

// Base64 with CR LF every 76 characters, as in an attachment part.
qsizetype base64OutputSize(qsizetype bytes)
{
    const qsizetype groups = (bytes + 2) / 3;
    return groups * 4 + groups / 19 * 2;
}

void BM_ComposeTenMiBAttachment(benchmark::State &state)
{
    const QList<ZEM_A_MailAttachment> attachments{
        ZEM_A_MailAttachment(QStringLiteral("data.bin"), tenMiB())};
    const QString text = QStringLiteral("The measurements are attached.\n");
    qsizetype messageSize = 0;
    for (auto _ : state) {
        const QByteArray message =
            ZEM_A_E_MailDelivery::mailMessage(text, QStringLiteral("Measurements"),
                                              QStringLiteral("ann@example.org"),
                                              QStringLiteral("John <john@example.org>"), attachments);
        messageSize = message.size();
        benchmark::DoNotOptimize(message.constData());
    }
    state.SetBytesProcessed(state.iterations() * base64OutputSize(kTenMiB));
    state.counters["message_bytes"] = double(messageSize);
}
BENCHMARK(BM_ComposeTenMiBAttachment)->Unit(benchmark::kMillisecond);

void BM_EncodeBase64(benchmark::State &state)
{
    const QByteArray &data = tenMiB();
    for (auto _ : state) {
        const QByteArray encoded = ZEM_A_E_MailDelivery::encodeBase64(data, 76);
        benchmark::DoNotOptimize(encoded.constData());
    }
    state.SetBytesProcessed(state.iterations() * base64OutputSize(kTenMiB));
}
BENCHMARK(BM_EncodeBase64)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runKitBenchmarks<QApplication>(argc, argv, [] { return !tenMiB().isEmpty(); });
}
