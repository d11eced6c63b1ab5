#include "ZemTestEnv.h"

#include "platform/Pasteboard.h"

#include <QCoreApplication>
#include <QMimeData>
#include <QUrl>

#include <memory>

class tst_Pasteboard : public QObject
{
    Q_OBJECT

private slots:
    // What other programs read: the standard formats, and the kit's types read back from them.
    void standardTypesTravelAsMimeFormats()
    {
        QMimeData mime;
        QVERIFY(platform::setPropertyList(&mime, platform::kStringType, QStringLiteral("Grüße")));
        QVERIFY(platform::setPropertyList(&mime, platform::kFilenamesType, QStringList{QStringLiteral("/tmp/a b")}));
        QVERIFY(platform::setPropertyList(&mime, platform::kUrlType, QUrl(QStringLiteral("https://example.org/x"))));
        QVERIFY(platform::setPropertyList(&mime, QStringLiteral("ContactsType"), QVariantList{3, 5}));
        QCOMPARE(mime.text(), QStringLiteral("Grüße"));
        QCOMPARE(mime.data(QStringLiteral("text/plain;charset=utf-8")), QStringLiteral("Grüße").toUtf8());
        QCOMPARE(mime.urls(), (QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/tmp/a b")),
                                           QUrl(QStringLiteral("https://example.org/x"))}));
        QCOMPARE(platform::pasteboardTypes(&mime),
                 (QStringList{platform::kStringType, platform::kFilenamesType, platform::kUrlType, QStringLiteral("ContactsType")}));
        QCOMPARE(platform::propertyList(&mime, platform::kFilenamesType), QVariant(QStringList{QStringLiteral("/tmp/a b")}));
        QCOMPARE(platform::propertyList(&mime, platform::kUrlType), QVariant(QStringLiteral("https://example.org/x")));
        QCOMPARE(platform::propertyList(&mime, QStringLiteral("ContactsType")), QVariant(QVariantList{3, 5}));
        // A list is no text, and a text is no file list.
        QVERIFY(!platform::setPropertyList(&mime, platform::kHtmlType, QVariantList{1}));
        QVERIFY(!mime.hasFormat(QStringLiteral("text/html")));
    }

    // Unknown, malformed and oversized payloads read as absent rather than as garbage.
    void badPayloadsReadAsAbsent()
    {
        QMimeData mime;
        QVERIFY(!platform::propertyList(&mime, QStringLiteral("NoSuchType")).isValid());
        mime.setData(QStringLiteral("Broken"), "[1, 2");
        mime.setData(QStringLiteral("Bare"), "{\"a\": 1}");
        QVERIFY(!platform::propertyList(&mime, QStringLiteral("Broken")).isValid());
        QVERIFY(!platform::propertyList(&mime, QStringLiteral("Bare")).isValid());
        QByteArray huge = "[\"" + QByteArray(platform::kMaxPasteboardPayload, 'x') + "\"]";
        mime.setData(QStringLiteral("Huge"), huge);
        QVERIFY(!platform::propertyList(&mime, QStringLiteral("Huge")).isValid());
        huge.chop(huge.size() - platform::kMaxPasteboardPayload + 2);
        mime.setData(QStringLiteral("Huge"), huge + "\"]");
        QVERIFY(platform::propertyList(&mime, QStringLiteral("Huge")).isValid());
        mime.setData(QStringLiteral("text/uri-list"), QByteArray(platform::kMaxPasteboardPayload + 1, 'f'));
        QVERIFY(!platform::propertyList(&mime, platform::kFilenamesType).isValid());
    }

    // Records stay in this process: another process's token, a forged or a stale one is absent.
    void localPayloadsStayInThisProcess()
    {
        QObject source;
        auto record = std::make_unique<QObject>();
        auto mime = std::make_unique<QMimeData>();
        const int before = platform::localEntryCount();
        platform::setLocalPropertyList(mime.get(), QStringLiteral("ROWS"), QVariant::fromValue(QList<QObject *>{record.get()}), &source);
        platform::setLocalPropertyList(mime.get(), QStringLiteral("ROWS"), QVariant::fromValue(QList<QObject *>{record.get(), &source}), &source);
        QCOMPARE(platform::localEntryCount(), before + 1); // rewritten, not stranded
        QCOMPARE(platform::propertyList(mime.get(), QStringLiteral("ROWS")).value<QList<QObject *>>(),
                 (QList<QObject *>{record.get(), &source}));
        QCOMPARE(platform::localSource(mime.get(), QStringLiteral("ROWS")), &source);
        record.reset();
        QCOMPARE(platform::propertyList(mime.get(), QStringLiteral("ROWS")).value<QList<QObject *>>(), QList<QObject *>{&source});

        const QByteArray token = mime->data(QStringLiteral("ROWS"));
        const QList<QByteArray> parts = token.split(':');
        QCOMPARE(parts.size(), 4);
        const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
        QCOMPARE(parts.at(1), pid);
        QMimeData foreign;
        QByteArray otherPid = token;
        otherPid.replace(':' + pid + ':', ':' + QByteArray::number(QCoreApplication::applicationPid() + 1) + ':');
        foreign.setData(QStringLiteral("ROWS"), otherPid);
        foreign.setData(QStringLiteral("Forged"), "zem-local:1:2:x:y");
        for (const QString &type : {QStringLiteral("ROWS"), QStringLiteral("Forged")}) {
            QVERIFY(!platform::propertyList(&foreign, type).isValid());
            QVERIFY(!platform::localSource(&foreign, type));
        }
        QVERIFY(platform::pasteboardTypes(&foreign).isEmpty());

        QMimeData copy;
        copy.setData(QStringLiteral("ROWS"), token);
        mime.reset(); // the entry goes with its QMimeData
        QCOMPARE(platform::localEntryCount(), before);
        QVERIFY(!platform::propertyList(&copy, QStringLiteral("ROWS")).isValid());
    }

    // QMimeData that is never deleted cannot grow the store past its bound.
    void storeIsBounded()
    {
        std::vector<std::unique_ptr<QMimeData>> kept;
        for (int i = 0; i < platform::kMaxLocalEntries + 5; ++i) {
            kept.push_back(std::make_unique<QMimeData>());
            platform::setLocalPropertyList(kept.back().get(), QStringLiteral("N"), i);
        }
        QCOMPARE(platform::localEntryCount(), platform::kMaxLocalEntries);
        QVERIFY(!platform::propertyList(kept.front().get(), QStringLiteral("N")).isValid());
        QCOMPARE(platform::propertyList(kept.back().get(), QStringLiteral("N")), QVariant(platform::kMaxLocalEntries + 4));
    }
};

ZEM_TEST_MAIN(tst_Pasteboard)
#include "tst_Pasteboard.moc"
